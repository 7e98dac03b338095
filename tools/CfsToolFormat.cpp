#include "tools/CfsToolFormat.h"

#include <cstdio>

#include "platform/Time.h"

std::string FormatFileTime(std::int64_t fileTime) {
  // Up to the year 9999; anything else in an item is shown as unknown.
  constexpr std::int64_t kMax = 2650467743999999999;
  if (fileTime <= 0 || fileTime > kMax) return "-";
  const platform::LocalDateTime t = platform::FileTimeToDateTime(fileTime);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return buf;
}

std::string FormatAttributes(std::uint32_t a) {
  std::string s = "-----";
  if (a & 0x01) s[0] = 'R';
  if (a & 0x02) s[1] = 'H';
  if (a & 0x04) s[2] = 'S';
  if (a & 0x10) s[3] = 'D';
  if (a & 0x20) s[4] = 'A';
  return s;
}

std::string FormatMethod(std::uint8_t method) {
  static const char* const kNames[] = {"stored",     "zlib/1",     "zlib/5",     "ppmd/o5",    "ppmd/o13",
                                       "zlib/9",     "ppmd/o3", "bzip2/200k", "bzip2/600k", "bzip2/900k"};
  const std::string n = std::to_string(method);
  if (method < sizeof kNames / sizeof kNames[0]) return n + " " + kNames[method];
  return n + " unknown";
}

std::string PadLeft(const std::string& s, std::size_t width) {
  return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

std::string PadRight(const std::string& s, std::size_t width) {
  return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}
