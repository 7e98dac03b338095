// File system helpers built on the platform's primitives, the same on every platform.
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace platform {

bool ForceDirectories(const std::string& path) {
  std::string p = ExcludeTrailingPathDelimiter(path);
  if (p.empty()) return false;
  if (DirectoryExists(p)) return true;
  std::string parent = ExcludeTrailingPathDelimiter(ExtractFilePath(p));
  const bool isDrive = parent.size() == 2 && parent[1] == ':';
  if (!parent.empty() && parent != p && !isDrive && !DirectoryExists(parent) && !ForceDirectories(parent))
    return false;
  // Another process may have created it in the meantime.
  return CreateDirectory(p) || DirectoryExists(p);
}

}  // namespace platform
