// Calendar and DOS time conversions shared by every platform.
#include "platform/Time.h"

namespace platform {

namespace {

constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kTicksPerDay = kTicksPerSecond * 86400;

// Days from 1601-01-01 to the given civil date (proleptic Gregorian).
std::int64_t DaysFrom1601(int y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t daysFrom0000 = era * 146097 + doe;  // days since 0000-03-01
  constexpr std::int64_t k1601 = 1600 / 400 * 146097 + (1600 % 400) * 365 + 306;  // 1601-01-01
  return daysFrom0000 - k1601;
}

void CivilFromDays(std::int64_t daysFrom1601, int& y, int& m, int& d) {
  constexpr std::int64_t k1601 = 1600 / 400 * 146097 + 306;
  std::int64_t z = daysFrom1601 + k1601;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

}  // namespace

std::int64_t DateTimeToFileTime(const LocalDateTime& t) {
  std::int64_t days = DaysFrom1601(t.year, t.month, t.day);
  return days * kTicksPerDay +
         ((static_cast<std::int64_t>(t.hour) * 60 + t.minute) * 60 + t.second) * kTicksPerSecond +
         static_cast<std::int64_t>(t.millisecond) * 10000;
}

LocalDateTime FileTimeToDateTime(std::int64_t fileTime) {
  std::int64_t days = fileTime / kTicksPerDay;
  std::int64_t rest = fileTime % kTicksPerDay;
  if (rest < 0) {
    rest += kTicksPerDay;
    --days;
  }
  LocalDateTime t;
  CivilFromDays(days, t.year, t.month, t.day);
  std::int64_t ms = rest / 10000;
  t.millisecond = static_cast<int>(ms % 1000);
  std::int64_t s = ms / 1000;
  t.second = static_cast<int>(s % 60);
  t.minute = static_cast<int>(s / 60 % 60);
  t.hour = static_cast<int>(s / 3600);
  return t;
}

bool FileTimeToDosDateTime(std::int64_t fileTime, std::uint16_t& dosDate, std::uint16_t& dosTime) {
  LocalDateTime t = FileTimeToDateTime(fileTime);
  if (fileTime < 0 || t.year < 1980 || t.year > 2107) return false;
  dosDate = static_cast<std::uint16_t>(((t.year - 1980) << 9) | (t.month << 5) | t.day);
  dosTime = static_cast<std::uint16_t>((t.hour << 11) | (t.minute << 5) | (t.second / 2));
  return true;
}

bool DosDateTimeToFileTime(std::uint16_t dosDate, std::uint16_t dosTime, std::int64_t& fileTime) {
  LocalDateTime t;
  t.year = 1980 + (dosDate >> 9);
  t.month = (dosDate >> 5) & 0x0F;
  t.day = dosDate & 0x1F;
  t.hour = dosTime >> 11;
  t.minute = (dosTime >> 5) & 0x3F;
  t.second = (dosTime & 0x1F) * 2;
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > kDays[t.month - 1] || t.hour > 23 ||
      t.minute > 59 || t.second > 59)
    return false;
  bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
  if (t.month == 2 && t.day == 29 && !leap) return false;
  fileTime = DateTimeToFileTime(t);
  return true;
}

}  // namespace platform
