#include <sys/random.h>

#include <cerrno>
#include <cstdint>

#include "platform/Random.h"

namespace platform {

bool RandomBytes(void* buffer, std::size_t count) {
  auto* p = static_cast<std::uint8_t*>(buffer);
  while (count > 0) {
    ssize_t n = getrandom(p, count, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace platform
