// Checksum types 0 (XOR32) and 1 (CRC-16/ARC) against straightforward references.
#include <gtest/gtest.h>

#include "cfs/codecs/cipher/CFSChecksum.h"
#include "tests/cfs/codecs/cipher/TestBytes.h"

namespace {

std::uint32_t ReferenceCrc16(const std::uint8_t* p, std::size_t n) {
  std::uint32_t crc = 0;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int b = 0; b < 8; ++b) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

std::uint32_t ReferenceXor32(const std::uint8_t* p, std::size_t n) {
  std::uint32_t x = 0;
  for (std::size_t i = 0; i + 4 <= n; i += 4) {
    x ^= std::uint32_t{p[i]} | (std::uint32_t{p[i + 1]} << 8) | (std::uint32_t{p[i + 2]} << 16) |
         (std::uint32_t{p[i + 3]} << 24);
  }
  return x;
}

TEST(Checksum, Crc16ArcCheckValueAndReference) {
  EXPECT_EQ(Checksum("123456789", 9, kChecksumCrc16), 0xBB3Du);
  EXPECT_EQ(Checksum("", 0, kChecksumCrc16), 0u);
  const auto data = RandomData(600, 3);
  for (std::size_t n = 0; n <= data.size(); n += (n < 40 ? 1 : 37)) {
    EXPECT_EQ(Checksum(data.data(), n, kChecksumCrc16), ReferenceCrc16(data.data(), n)) << n;
  }
  EXPECT_TRUE(VerifyChecksum("123456789", 9, kChecksumCrc16, 0xBB3D));
  EXPECT_FALSE(VerifyChecksum("123456789", 9, kChecksumCrc16, 0xBB3C));
}

TEST(Checksum, Xor32OfLittleEndianWordsIgnoresTrailingBytes) {
  const std::uint8_t words[8] = {0x01, 0x02, 0x03, 0x04, 0x10, 0x20, 0x30, 0x40};
  EXPECT_EQ(Checksum(words, 8, kChecksumXor32), 0x04030201u ^ 0x40302010u);
  auto data = RandomData(4066, 4);
  const std::uint32_t whole = Checksum(data.data(), 4064, kChecksumXor32);
  for (std::size_t extra = 1; extra <= 3; ++extra) {
    EXPECT_EQ(Checksum(data.data(), 4064 + extra, kChecksumXor32), whole) << extra;
  }
  data[4064] ^= 0xFF;  // a trailing byte: no effect
  EXPECT_EQ(Checksum(data.data(), 4066, kChecksumXor32), whole);
  data[4063] ^= 0xFF;  // a byte of the last whole word: changes it
  EXPECT_NE(Checksum(data.data(), 4066, kChecksumXor32), whole);
  // Every length and start alignment against the plain word loop.
  for (std::size_t start = 0; start < 8; ++start) {
    for (std::size_t n = 0; n < 80; ++n) {
      EXPECT_EQ(Checksum(data.data() + start, n, kChecksumXor32), ReferenceXor32(data.data() + start, n));
    }
  }
}

TEST(Checksum, UnknownTypesComputeZeroAndAlwaysVerify) {
  const auto data = RandomData(64, 5);
  for (int type : {2, 7, -1, 255}) {
    EXPECT_EQ(Checksum(data.data(), data.size(), type), 0u);
    EXPECT_TRUE(VerifyChecksum(data.data(), data.size(), type, 0x12345678u));
  }
  EXPECT_FALSE(VerifyChecksum(data.data(), data.size(), kChecksumXor32,
                              Checksum(data.data(), data.size(), kChecksumXor32) ^ 1));
}

}  // namespace
