#pragma once
// Where a container's part files come from. The multi-part file asks its factory for every part
// it opens or creates, so the engine never decides by itself whether a part lives on disk or in
// memory; a caller (a test, for one) can hand in files of its own, such as files that fail.
#include <functional>
#include <memory>
#include <string>

#include "cfs/file/CFSAbstractFile.h"

struct TCFSStorageFactory {
  using Maker = std::function<std::unique_ptr<TCFSAbstractFile>(const std::string& name, bool readOnly,
                                                                bool exclusive)>;
  // Makes an unopened part file of the given name.
  Maker NewFile;
  // The parts are held in memory only: opening an existing container reads its part files from
  // disk into the new parts, nothing on disk is ever written or deleted, and a closed container
  // keeps its parts so that it can be opened again.
  bool InMemory = false;

  // Parts are TCFSDiskFile.
  static TCFSStorageFactory Disk();
  // Parts are TCFSMemoryFile.
  static TCFSStorageFactory Memory();
};
