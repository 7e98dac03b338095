#include "platform/Threads.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace platform {

int ParseThreadCount(const char* text) {
  if (!text || !*text) return 0;
  int n = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return 0;
    n = n * 10 + (*p - '0');
    if (n > kMaxThreads) return 0;
  }
  return n;
}

int ThreadCount() {
  if (const int n = ParseThreadCount(std::getenv("ZELK_THREADS")); n > 0) return n;
  const unsigned hw = std::thread::hardware_concurrency();
  return std::clamp(static_cast<int>(hw), 1, kMaxThreads);
}

}  // namespace platform
