#pragma once
// Profile (INI) value reading with the Windows rules: section and key compared without regard
// to case, the value trimmed of blanks, a missing file, section or key giving the default.
#include <string>

namespace platform {

std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& defaultValue);

}  // namespace platform
