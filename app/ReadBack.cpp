#include "app/ReadBack.h"

#include <exception>
#include <vector>

#include "app/Cp936Text.h"
#include "cfs/fs/CFSFileStream.h"
#include "cfs/fs/ContainerFS.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"

namespace {

// Reads every stored file below the container folder `dir` through its block stream, which
// checks the page checksums and block CRCs on the way.
void ReadAllBelow(TContainerFS& container, const std::string& dir, const std::string& password) {
  std::vector<std::string> folders;
  TSearchRec rec;
  for (std::int32_t r = container.FindFirst(dir + "*.*", 63, rec); r == 0; r = container.FindNext(rec)) {
    if (rec.Name == "." || rec.Name == "..") continue;
    if (rec.Attr & platform::kAttrDirectory) {
      folders.push_back(dir + rec.Name + "\\");
      continue;
    }
    TCFSFileStream stream(&container, dir + rec.Name, 0, password, "", "", 0);
    const std::int64_t size = stream.GetSize();
    std::vector<char> buffer(1 << 16);
    std::int64_t done = 0;
    for (;;) {
      std::int32_t n = stream.Read(buffer.data(), static_cast<std::int32_t>(buffer.size()));
      if (n <= 0) break;
      done += n;
    }
    if (done != size)
      throw Exception(Cp936("读取不完整：") + dir + rec.Name);
  }
  container.FindClose(rec);
  for (const std::string& folder : folders) ReadAllBelow(container, folder, password);
}

}  // namespace

std::string ReadBackContainer(const std::string& fileName, const std::string& password) {
  try {
    TContainerFS container(fileName, 0, password, "", "", 0);
    ReadAllBelow(container, "\\", password);
    return {};
  } catch (const std::exception& e) {
    return e.what();
  }
}
