// The profile reader on arbitrary files: byte order marks, UTF-16 text, code page 936 lead and
// trail bytes around "[", "]" and "=", lines ending in CR, LF or neither.
//
// Input: a length byte and that many bytes of section name, a length byte and that many bytes
// of key name, then the file. A fixed section and key are looked up as well.
#include <cstdlib>
#include <string>

#include "fuzz/FuzzFiles.h"
#include "platform/Ini.h"

namespace {

// The next length-prefixed name; empty when the input runs out.
std::string TakeName(const std::uint8_t*& data, std::size_t& size) {
  if (size == 0) return {};
  const std::size_t n = std::min<std::size_t>(data[0] % 32, size - 1);
  std::string name(reinterpret_cast<const char*>(data + 1), n);
  data += 1 + n;
  size -= 1 + n;
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string section = TakeName(data, size);
  const std::string key = TakeName(data, size);
  const std::string path = fuzzfiles::Write("p.ini", data, size);
  const std::string value = platform::ReadProfileString(path, section, key, "\x01");
  // A value is a trimmed part of one line of the file (or the default).
  if (value.find_first_of("\r\n") != std::string::npos) std::abort();
  platform::ReadProfileString(path, "Settings", "name", "");
  return 0;
}
