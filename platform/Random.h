#pragma once
// The operating system's cryptographic random source.
#include <cstddef>

namespace platform {

// Fills the buffer; false when the source fails.
bool RandomBytes(void* buffer, std::size_t count);

}  // namespace platform
