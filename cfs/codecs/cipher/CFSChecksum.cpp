// XOR32 folds eight bytes at a time; CRC-16/ARC runs slice-by-8 over compile-time tables.
#include "cfs/codecs/cipher/CFSChecksum.h"

#include <array>
#include <bit>
#include <cstring>

namespace {

using TCrcTables = std::array<std::array<std::uint16_t, 256>, 8>;

// tables[k][b]: CRC contribution of byte b followed by k zero bytes.
constexpr TCrcTables MakeCrcTables() {
  TCrcTables t{};
  for (unsigned b = 0; b < 256; ++b) {
    unsigned crc = b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0xA001u : crc >> 1;
    t[0][b] = static_cast<std::uint16_t>(crc);
  }
  for (int k = 1; k < 8; ++k) {
    for (unsigned b = 0; b < 256; ++b) {
      const std::uint16_t prev = t[k - 1][b];
      t[k][b] = static_cast<std::uint16_t>((prev >> 8) ^ t[0][prev & 0xFF]);
    }
  }
  return t;
}

constexpr TCrcTables kCrc = MakeCrcTables();

std::uint64_t LoadLE64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) {
    std::uint64_t r = 0;
    for (int i = 0; i < 8; ++i) r |= std::uint64_t{p[i]} << (8 * i);
    v = r;
  }
  return v;
}

std::uint32_t Xor32(const std::uint8_t* p, std::size_t length) {
  std::uint64_t acc = 0;
  std::size_t i = 0;
  for (; i + 32 <= length; i += 32) {
    acc ^= LoadLE64(p + i) ^ LoadLE64(p + i + 8) ^ LoadLE64(p + i + 16) ^ LoadLE64(p + i + 24);
  }
  for (; i + 8 <= length; i += 8) acc ^= LoadLE64(p + i);
  std::uint32_t result = static_cast<std::uint32_t>(acc) ^ static_cast<std::uint32_t>(acc >> 32);
  if (i + 4 <= length) {
    result ^= std::uint32_t{p[i]} | (std::uint32_t{p[i + 1]} << 8) | (std::uint32_t{p[i + 2]} << 16) |
              (std::uint32_t{p[i + 3]} << 24);
  }
  return result;
}

std::uint32_t Crc16(const std::uint8_t* p, std::size_t length) {
  std::uint32_t crc = 0;
  for (; length >= 8; p += 8, length -= 8) {
    const std::uint32_t lo = crc ^ (std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8));
    crc = kCrc[7][lo & 0xFF] ^ kCrc[6][lo >> 8] ^ kCrc[5][p[2]] ^ kCrc[4][p[3]] ^ kCrc[3][p[4]] ^
          kCrc[2][p[5]] ^ kCrc[1][p[6]] ^ kCrc[0][p[7]];
  }
  for (; length > 0; ++p, --length) crc = (crc >> 8) ^ kCrc[0][(crc ^ *p) & 0xFF];
  return crc;
}

}  // namespace

std::uint32_t Checksum(const void* data, std::size_t length, int type) {
  if (length == 0 || data == nullptr) return 0;
  const auto p = static_cast<const std::uint8_t*>(data);
  switch (type) {
    case kChecksumXor32: return Xor32(p, length);
    case kChecksumCrc16: return Crc16(p, length);
    default: return 0;
  }
}

bool VerifyChecksum(const void* data, std::size_t length, int type, std::uint32_t value) {
  if (type != kChecksumXor32 && type != kChecksumCrc16) return true;
  return Checksum(data, length, type) == value;
}
