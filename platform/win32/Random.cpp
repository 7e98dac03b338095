#include "platform/win32/Wide.h"

#include <bcrypt.h>

#include <algorithm>

#include "platform/Random.h"

namespace platform {

bool RandomBytes(void* buffer, std::size_t count) {
  auto* p = static_cast<unsigned char*>(buffer);
  while (count > 0) {
    ULONG n = static_cast<ULONG>(std::min<std::size_t>(count, 1u << 30));
    if (BCryptGenRandom(nullptr, p, n, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) return false;
    p += n;
    count -= n;
  }
  return true;
}

}  // namespace platform
