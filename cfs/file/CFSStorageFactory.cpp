#include "cfs/file/CFSStorageFactory.h"

#include "cfs/file/CFSDiskFile.h"
#include "cfs/file/CFSMemoryFile.h"

TCFSStorageFactory TCFSStorageFactory::Disk() {
  return {[](const std::string& name, bool readOnly, bool exclusive) -> std::unique_ptr<TCFSAbstractFile> {
            return std::make_unique<TCFSDiskFile>(name, readOnly, exclusive);
          },
          false};
}

TCFSStorageFactory TCFSStorageFactory::Memory() {
  return {[](const std::string& name, bool readOnly, bool exclusive) -> std::unique_ptr<TCFSAbstractFile> {
            return std::make_unique<TCFSMemoryFile>(name, readOnly, exclusive);
          },
          true};
}
