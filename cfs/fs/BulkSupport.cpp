#include "cfs/fs/BulkSupport.h"

#include "platform/Text.h"

namespace bulk {

int FolderDepth(std::string_view dir) {
  int depth = 0;
  for (std::size_t i = 0; i < dir.size(); i += platform::CharLength(dir, i))
    if (dir[i] == '\\') ++depth;
  return depth;
}

bool IsSafeExportName(std::string_view name) {
  if (name.empty()) return false;
  bool onlyDotsAndBlanks = true;
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t len = platform::CharLength(name, i);
    const auto c = static_cast<unsigned char>(name[i]);
    if (len == 1) {
      if (c < 0x20 || c == 0x7F || c == '\\' || c == '/' || c == ':') return false;
      if (c != '.' && c != ' ') onlyDotsAndBlanks = false;
    } else {
      onlyDotsAndBlanks = false;
    }
    i += len;
  }
  return !onlyDotsAndBlanks;
}

}  // namespace bulk
