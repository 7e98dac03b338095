#include "platform/win32/Wide.h"

#include "platform/Time.h"

namespace platform {

namespace {

FILETIME ToFt(std::int64_t v) {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(v));
  t.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(v) >> 32);
  return t;
}

std::int64_t FromFt(const FILETIME& t) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

}  // namespace

std::int64_t NowFileTimeUtc() {
  FILETIME t;
  GetSystemTimeAsFileTime(&t);
  return FromFt(t);
}

LocalDateTime NowLocal() {
  SYSTEMTIME s;
  GetLocalTime(&s);
  return {s.wYear, s.wMonth, s.wDay, s.wHour, s.wMinute, s.wSecond, s.wMilliseconds};
}

// Windows applies the current time-zone bias (DST included) whatever the date converted.
std::int64_t FileTimeUtcToLocal(std::int64_t utc) {
  FILETIME in = ToFt(utc), out;
  if (!FileTimeToLocalFileTime(&in, &out)) return utc;
  return FromFt(out);
}

std::int64_t FileTimeLocalToUtc(std::int64_t local) {
  FILETIME in = ToFt(local), out;
  if (!LocalFileTimeToFileTime(&in, &out)) return local;
  return FromFt(out);
}

}  // namespace platform
