#pragma once
// First output size for zlib and bzip2 compression: the input plus a tenth plus 12 bytes,
// rounded up to a multiple of 256, so that one pass normally suffices.
#include <cstddef>

inline std::size_t CompressedSizeEstimate(std::size_t inSize) {
  const std::size_t raw = inSize + inSize / 10 + 12;
  return (raw + 255) / 256 * 256;
}
