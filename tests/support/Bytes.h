#pragma once
// Byte buffers for tests: text as bytes, reproducible patterns, hex, little-endian fields.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

// Deterministic pseudo-random bytes (no "A" so that no signature appears by chance).
Bytes Pattern(std::size_t n, std::uint32_t seed);

// "0a1b..." or "0A 1B ..." to bytes, and bytes to lower-case hex.
Bytes FromHex(std::string_view hex);
std::string ToHex(const std::uint8_t* data, std::size_t length);

// Little-endian unsigned fields of `size` bytes (1..8) at `at`; throws std::out_of_range past
// the end, so a test reading a damaged record fails instead of reading beyond it.
std::uint64_t LoadLE(std::span<const std::uint8_t> bytes, std::size_t at, int size);
inline std::uint64_t LoadLE(std::string_view bytes, std::size_t at, int size) {
  return LoadLE(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), at, size);
}
template <typename Data>
std::uint16_t U16(const Data& b, std::size_t at) { return static_cast<std::uint16_t>(LoadLE(b, at, 2)); }
template <typename Data>
std::uint32_t U32(const Data& b, std::size_t at) { return static_cast<std::uint32_t>(LoadLE(b, at, 4)); }
template <typename Data>
std::uint64_t U64(const Data& b, std::size_t at) { return LoadLE(b, at, 8); }

}  // namespace testsupport
