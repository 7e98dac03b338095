// Clock and time-zone conversions on posix (the C library's idea of local time, TZ included).
#include <time.h>

#include "platform/Time.h"
#include "platform/posix/FileTimes.h"

namespace platform {

namespace {

using posix::kTicksPerSecond;

// Offset of local time from UTC, in seconds, at the given UTC second.
long OffsetAt(time_t utc) {
  struct tm local;
  if (!localtime_r(&utc, &local)) return 0;
  return local.tm_gmtoff;
}

time_t ToUnixSeconds(std::int64_t fileTime) { return posix::TimespecOf(fileTime).tv_sec; }

}  // namespace

std::int64_t NowFileTimeUtc() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return posix::FileTimeOf(ts);
}

LocalDateTime NowLocal() { return FileTimeToDateTime(FileTimeUtcToLocal(NowFileTimeUtc())); }

std::int64_t FileTimeUtcToLocal(std::int64_t utc) {
  return utc + static_cast<std::int64_t>(OffsetAt(ToUnixSeconds(utc))) * kTicksPerSecond;
}

std::int64_t FileTimeLocalToUtc(std::int64_t local) {
  // The offset depends on the UTC instant; one refinement settles it outside DST transitions.
  std::int64_t guess = local - static_cast<std::int64_t>(OffsetAt(ToUnixSeconds(local))) * kTicksPerSecond;
  return local - static_cast<std::int64_t>(OffsetAt(ToUnixSeconds(guess))) * kTicksPerSecond;
}

}  // namespace platform
