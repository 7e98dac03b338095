#pragma once
// Little-endian integers inside byte buffers, read and written byte-wise so that unaligned
// offsets are safe on every host.
#include <cstdint>
#include <cstring>

inline std::uint32_t GetLE32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}
inline std::int32_t GetLE32s(const std::uint8_t* p) { return static_cast<std::int32_t>(GetLE32(p)); }
inline std::uint64_t GetLE64(const std::uint8_t* p) {
  return std::uint64_t(GetLE32(p)) | std::uint64_t(GetLE32(p + 4)) << 32;
}
inline std::int64_t GetLE64s(const std::uint8_t* p) { return static_cast<std::int64_t>(GetLE64(p)); }

inline void PutLE32(std::uint8_t* p, std::uint32_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
  p[2] = std::uint8_t(v >> 16);
  p[3] = std::uint8_t(v >> 24);
}
inline void PutLE64(std::uint8_t* p, std::uint64_t v) {
  PutLE32(p, std::uint32_t(v));
  PutLE32(p + 4, std::uint32_t(v >> 32));
}
