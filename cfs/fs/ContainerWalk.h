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

// Calls visit for every item below the root. A directory whose chains loop cannot make this
// run forever: the directory holds a finite item list and each folder is entered once.
void WalkContainer(TContainerFS& fs, const std::function<void(const TCFSWalkEntry&)>& visit);
