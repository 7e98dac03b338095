#include "cfs/fs/ContainerWalk.h"

#include <set>

namespace {

void WalkFolder(TDIRManager& dir, const std::string& folder, std::set<std::string>& entered,
                const std::function<void(const TCFSWalkEntry&)>& visit) {
  if (!entered.insert(folder).second) return;
  std::vector<TCFSWalkEntry> entries;
  TSearchRec rec;
  if (dir.FindFirst("\\" + folder + "*.*", 63, rec) == 0) {
    do {
      if (rec.Name == "." || rec.Name == ".." || rec.Name.empty()) continue;
      TCFSWalkEntry e;
      e.folder = (rec.Attr & 0x10) != 0;
      e.path = folder + rec.Name + (e.folder ? "\\" : "");
      e.size = static_cast<std::int64_t>((std::uint64_t(rec.FindData.SizeHigh) << 32) | rec.FindData.SizeLow);
      e.attributes = rec.Attr;
      e.creationTime = rec.FindData.CreationTime;
      e.lastWriteTime = rec.FindData.LastWriteTime;
      entries.push_back(std::move(e));
    } while (dir.FindNext(rec) == 0);
    dir.FindClose(rec);
  }
  for (const TCFSWalkEntry& e : entries) {
    visit(e);
    if (e.folder) WalkFolder(dir, e.path, entered, visit);
  }
}

}  // namespace

void WalkContainer(TContainerFS& fs, const std::function<void(const TCFSWalkEntry&)>& visit) {
  std::set<std::string> entered;
  WalkFolder(fs.Directory(), "", entered, visit);
}
