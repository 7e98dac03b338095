#pragma once
// FILETIME (100 ns ticks since 1601-01-01, UTC) to a posix time and back. Internal to
// platform/posix.
#include <cstdint>
#include <ctime>

namespace platform::posix {

constexpr std::int64_t kUnixEpochAsFileTime = 116444736000000000LL;
constexpr std::int64_t kTicksPerSecond = 10000000;

inline timespec TimespecOf(std::int64_t fileTime) {
  const std::int64_t since = fileTime - kUnixEpochAsFileTime;
  // Floor division keeps times before 1970 correct.
  std::int64_t sec = since / kTicksPerSecond, rem = since % kTicksPerSecond;
  if (rem < 0) {
    rem += kTicksPerSecond;
    --sec;
  }
  timespec t{};
  t.tv_sec = static_cast<time_t>(sec);
  t.tv_nsec = static_cast<long>(rem * 100);
  return t;
}

inline std::int64_t FileTimeOf(const timespec& t) {
  return kUnixEpochAsFileTime + static_cast<std::int64_t>(t.tv_sec) * kTicksPerSecond + t.tv_nsec / 100;
}

}  // namespace platform::posix
