#pragma once
// Clock and time-stamp conversions. FILETIME values are 100 ns units since 1601-01-01.
#include <cstdint>

namespace platform {

struct LocalDateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

std::int64_t NowFileTimeUtc();
LocalDateTime NowLocal();
std::int64_t FileTimeUtcToLocal(std::int64_t utc);
std::int64_t FileTimeLocalToUtc(std::int64_t local);
// DOS date and time (2-second grain). False when the time is outside 1980..2107.
bool FileTimeToDosDateTime(std::int64_t fileTime, std::uint16_t& dosDate, std::uint16_t& dosTime);
bool DosDateTimeToFileTime(std::uint16_t dosDate, std::uint16_t dosTime, std::int64_t& fileTime);
// Calendar fields <-> FILETIME without a time zone.
std::int64_t DateTimeToFileTime(const LocalDateTime& t);
LocalDateTime FileTimeToDateTime(std::int64_t fileTime);

}  // namespace platform
