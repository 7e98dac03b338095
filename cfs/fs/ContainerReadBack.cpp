#include "cfs/fs/ContainerReadBack.h"

#include <memory>
#include <vector>

#include "cfs/fs/CFSFileStream.h"
#include "cfs/fs/ContainerWalk.h"
#include "cfs/fs/ExportAhead.h"

std::string ReadEveryFile(TContainerFS& container, const std::string& password) {
  std::vector<std::string> files;
  WalkContainer(container, [&](const TCFSWalkEntry& e) {
    if (!e.folder) files.push_back(e.path);
  });
  if (container.ThreadCount() > 1 && !files.empty()) {
    std::vector<std::string> names;
    for (const std::string& f : files) names.push_back("\\" + f);
    TExportAhead ahead(container, std::move(names), password, container.ThreadCount());
    for (std::size_t i = 0; i < files.size(); ++i) {
      TCFSFileStream& stream = ahead.Open(i, {});
      if (stream.Inner().ReadWhole(ahead, i) != stream.GetSize()) return files[i];
    }
    return {};
  }
  std::vector<char> buffer(1 << 16);
  for (const std::string& f : files) {
    TCFSFileStream stream(&container, "\\" + f, 0, password, "", "", 0);
    const std::int64_t size = stream.GetSize();
    std::int64_t done = 0;
    for (std::int32_t n; (n = stream.Read(buffer.data(), static_cast<std::int32_t>(buffer.size()))) > 0;) done += n;
    if (done != size) return f;
  }
  return {};
}
