#include "backup/ReadBack.h"

#include <exception>
#include <vector>

#include "cfs/fs/CFSFileStream.h"
#include "cfs/fs/ContainerFS.h"
#include "cfs/fs/ContainerWalk.h"
#include "platform/Exception.h"
#include "platform/Text.h"

namespace {

// Reads every stored file through its block stream, which checks the page checksums and block
// CRCs on the way.
void ReadAll(TContainerFS& container, const std::string& password) {
  std::vector<char> buffer(1 << 16);
  WalkContainer(container, [&](const TCFSWalkEntry& e) {
    if (e.folder) return;
    TCFSFileStream stream(&container, "\\" + e.path, 0, password, "", "", 0);
    const std::int64_t size = stream.GetSize();
    std::int64_t done = 0;
    for (std::int32_t n; (n = stream.Read(buffer.data(), static_cast<std::int32_t>(buffer.size()))) > 0;) done += n;
    if (done != size) throw Exception(platform::Utf8ToCp936("读取不完整：") + "\\" + e.path);
  });
}

}  // namespace

std::string ReadBackContainer(const std::string& fileName, const std::string& password, int threadCount) {
  try {
    TContainerFS container(fileName, 0, password, "", "", 0);
    if (threadCount > 0) container.SetThreadCount(threadCount);
    ReadAll(container, password);
    return {};
  } catch (const std::exception& e) {
    return e.what();
  }
}
