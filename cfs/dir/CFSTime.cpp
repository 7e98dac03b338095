#include "cfs/dir/CFSTime.h"

#include "platform/Time.h"

std::int64_t CFSFileTimeNow() {
  const std::int64_t local = platform::FileTimeUtcToLocal(platform::NowFileTimeUtc());
  std::uint16_t dosDate = 0, dosTime = 0;
  std::int64_t rounded = 0;
  if (platform::FileTimeToDosDateTime(local, dosDate, dosTime) &&
      platform::DosDateTimeToFileTime(dosDate, dosTime, rounded))
    return platform::FileTimeLocalToUtc(rounded);
  // Outside the DOS range (a clock set before 1980): the 2-second grain by arithmetic.
  constexpr std::int64_t kTwoSeconds = 20'000'000;
  return platform::FileTimeLocalToUtc(local - local % kTwoSeconds);
}
