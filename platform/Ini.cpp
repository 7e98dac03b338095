// Profile (INI) reading with the rules of Windows' GetPrivateProfileString, in portable code so
// that every platform reads code page 936 files the same way:
//  - lines end in CR LF, LF or CR; a UTF-8 byte order mark is skipped and a UTF-16LE file (with
//    its mark) is converted to code page 936;
//  - "[name]" starts a section; the name is the trimmed text before the first "]"; a "[" line
//    without "]" starts no section and is ignored;
//  - "key=value": key and value are trimmed; a value enclosed in a pair of matching single or
//    double quotes loses them; lines without "=" hold no value;
//  - section and key names compare without regard to ASCII case; the first section of that name
//    holding the key gives the value; anything missing gives the default.
#include "platform/Ini.h"

#include <string_view>
#include <vector>

#include "platform/File.h"
#include "platform/Text.h"

namespace platform {

namespace {

// Profiles are small; anything larger is not read at all rather than loaded whole.
constexpr std::int64_t kMaxProfileSize = 16 * 1024 * 1024;

bool LoadProfile(const std::string& path, std::string& text) {
  auto file = File::Open(path, FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting);
  if (!file) return false;
  std::int64_t size = file->Size();
  if (size < 0 || size > kMaxProfileSize) return false;
  text.resize(static_cast<std::size_t>(size));
  std::int64_t got = size == 0 ? 0 : file->Read(text.data(), size);
  if (got < 0) return false;
  text.resize(static_cast<std::size_t>(got));
  if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    // The Windows reader takes a UTF-8 profile as UTF-8 text.
    text = Utf8ToCp936(std::string_view(text).substr(3));
  } else if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
             static_cast<unsigned char>(text[1]) == 0xFE) {
    std::u16string wide;
    wide.reserve((text.size() - 2) / 2);
    for (std::size_t i = 2; i + 1 < text.size(); i += 2)
      wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(text[i]) |
                                           (static_cast<unsigned char>(text[i + 1]) << 8)));
    text = Utf16ToCp936(wide);
  }
  return true;
}

// Position of a single-byte character, skipping trail bytes ("]" is a possible trail byte).
std::size_t FindChar(std::string_view s, char c) {
  for (std::size_t i = 0; i < s.size(); i += CharLength(s, i))
    if (s[i] == c && CharLength(s, i) == 1) return i;
  return std::string_view::npos;
}

std::string Unquote(std::string v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

}  // namespace

std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& defaultValue) {
  std::string text;
  if (!LoadProfile(path, text)) return defaultValue;

  bool inSection = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    std::string line = Trim(std::string_view(text).substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    if (line[0] == '[') {
      std::size_t close = FindChar(line, ']');
      if (close == std::string_view::npos) continue;
      inSection = SameTextCp936(Trim(std::string_view(line).substr(1, close - 1)), Trim(section));
      continue;
    }
    if (!inSection) continue;
    std::size_t eq = line.find('=');  // "=" (0x3D) is never a trail byte
    if (eq == std::string::npos) continue;
    if (SameTextCp936(Trim(std::string_view(line).substr(0, eq)), Trim(key)))
      return Unquote(Trim(std::string_view(line).substr(eq + 1)));
  }
  return defaultValue;
}

}  // namespace platform
