#include "cfs/fs/ContainerWalk.h"

#include <vector>

#include "cfs/fs/BulkSupport.h"
#include "cfs/fs/Quote.h"
#include "platform/Exception.h"

namespace {

// A folder being listed: its children are positions [next, end) of the parent index.
struct TFrame {
  std::int32_t next;
  std::int32_t end;
  std::size_t pathLength;  // of the folder's path, to cut back to when it is left
};

}  // namespace

void WalkContainer(TContainerFS& fs, const std::function<void(const TCFSWalkEntry&)>& visit,
                   const std::function<void(const std::string& folderPath)>& tooDeep) {
  const TDIRArray& items = fs.Directory().Items();
  const TIntegerArray& byParent = items.ParentIndex();
  // The parent index holds the live items sorted by parent (the listing order within one
  // folder); children[p + 1] is the run of the items whose parent is p.
  std::vector<std::pair<std::int32_t, std::int32_t>> children(static_cast<std::size_t>(items.ItemCount()) + 1, {0, 0});
  for (std::int32_t i = 0; i < byParent.Count();) {
    const std::int32_t parent = items.Item(byParent[i]).Parent;
    std::int32_t j = i + 1;
    while (j < byParent.Count() && items.Item(byParent[j]).Parent == parent) ++j;
    if (parent >= -1 && parent < items.ItemCount()) children[static_cast<std::size_t>(parent + 1)] = {i, j};
    i = j;
  }

  std::string path;
  std::vector<TFrame> stack;
  stack.push_back({children[0].first, children[0].second, 0});
  while (!stack.empty()) {
    TFrame& top = stack.back();
    if (top.next == top.end) {
      path.resize(top.pathLength);
      stack.pop_back();
      if (!stack.empty()) path.resize(stack.back().pathLength);
      continue;
    }
    const std::int32_t n = byParent[top.next++];
    const TCFSDirItem& item = items.Item(n);
    if (item.Name.empty() || item.Name == "." || item.Name == "..") continue;
    TCFSWalkEntry e;
    e.folder = (item.Attributes & TCFSDirItem::kFolderAttribute) != 0;
    e.path = path + item.Name + (e.folder ? "\\" : "");
    e.size = item.Size;
    e.attributes = item.Attributes;
    e.creationTime = item.CreationTime;
    e.lastWriteTime = item.LastWriteTime;
    visit(e);
    if (!e.folder) continue;
    if (static_cast<int>(stack.size()) > bulk::kMaxFolderDepth) {
      if (!tooDeep) throw Exception("WalkContainer - folders nested too deep: " + DoubleQuoted(e.path));
      tooDeep(e.path);
      continue;
    }
    path = e.path;
    const auto& run = children[static_cast<std::size_t>(n + 1)];
    stack.push_back({run.first, run.second, path.size()});
  }
}
