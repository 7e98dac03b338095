#pragma once
// Every item of a container, folders before their contents, in the directory's listing order.
#include <cstdint>
#include <functional>
#include <string>

#include "cfs/fs/ContainerFS.h"

struct TCFSWalkEntry {
  std::string path;  // from the root, without a leading "\"; folders end in "\"
  bool folder = false;
  std::int64_t size = 0;
  std::uint32_t attributes = 0;
  std::int64_t creationTime = 0;
  std::int64_t lastWriteTime = 0;
};

// Calls visit for every item below the root, going down from the root through the directory's
// parent links, so items whose parents loop are never reached and each item is visited once.
// The walk keeps its own stack (time and memory linear in the items) and enters folders no
// deeper than an export does: a folder nested deeper is passed to tooDeep and not entered, or,
// without tooDeep, raises "WalkContainer - folders nested too deep: <path>".
void WalkContainer(TContainerFS& fs, const std::function<void(const TCFSWalkEntry&)>& visit,
                   const std::function<void(const std::string& folderPath)>& tooDeep = {});
