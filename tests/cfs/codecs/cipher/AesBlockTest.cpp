// AES block function against the FIPS-197 example vectors, and the AES-NI code against the
// table-driven code.
#include <gtest/gtest.h>

#include <cstring>

#include "cfs/codecs/cipher/CFSAesCore.h"
#include "tests/cfs/codecs/cipher/TestBytes.h"

namespace {

struct TKnownAnswer {
  std::size_t keyLength;
  int rounds;
  const char* cipherHex;
};

TEST(AesBlock, FipsExampleVectorsBothDirections) {
  // Key 00 01 02 ..., plaintext 00 11 22 ... ff, for 128-, 192- and 256-bit keys.
  const TKnownAnswer cases[] = {{16, 10, "69c4e0d86a7b0430d8cdb78070b4c55a"},
                                {24, 12, "dda97ca4864cdfe06eaf70a0ec0d7191"},
                                {32, 14, "8ea2b7ca516745bfeafc49904b496089"}};
  const auto plain = FromHex("00112233445566778899aabbccddeeff");
  for (const auto& c : cases) {
    std::uint8_t key[32];
    for (int i = 0; i < 32; ++i) key[i] = static_cast<std::uint8_t>(i);
    TAesKeySchedule s;
    AesExpandKey(s, key, c.keyLength);
    EXPECT_EQ(s.rounds, c.rounds);
    std::uint8_t out[16], back[16];
    AesPortableEncryptBlock(s, plain.data(), out);
    EXPECT_EQ(ToHex(out, 16), c.cipherHex) << c.keyLength;
    AesPortableDecryptBlock(s, out, back);
    EXPECT_EQ(0, std::memcmp(back, plain.data(), 16)) << c.keyLength;
    if (AesNiAvailable()) {
      std::uint8_t ni[16];
      AesNiEncryptBlock(s, plain.data(), ni);
      EXPECT_EQ(ToHex(ni, 16), c.cipherHex) << c.keyLength;
    }
  }
}

TEST(AesBlock, ShortKeysAreZeroPaddedAndChooseRoundsByLength) {
  const std::uint8_t key20[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
  std::uint8_t key24[24] = {};
  std::memcpy(key24, key20, sizeof key20);
  TAesKeySchedule a, b, c;
  AesExpandKey(a, key20, sizeof key20);
  AesExpandKey(b, key24, sizeof key24);
  EXPECT_EQ(a.rounds, 12);
  EXPECT_EQ(0, std::memcmp(a.encKeys, b.encKeys, sizeof a.encKeys));
  AesExpandKey(c, key20, 17);
  EXPECT_EQ(c.rounds, 12);
  AesExpandKey(c, key20, 16);
  EXPECT_EQ(c.rounds, 10);
  AesExpandKey(c, key20, 0);
  EXPECT_EQ(c.rounds, 10);
}

TEST(AesBlock, AesNiMatchesPortableOnRandomData) {
  if (!AesNiAvailable()) GTEST_SKIP() << "processor has no AES instructions";
  for (unsigned seed = 1; seed <= 8; ++seed) {
    const auto key = RandomData(32, seed);
    TAesKeySchedule s;
    AesExpandKey(s, key.data(), key.size());
    std::memcpy(s.feedback0, RandomData(16, seed + 100).data(), 16);
    // Block counts around the eight-block stride of the parallel decoder.
    for (std::size_t blocks : {0u, 1u, 7u, 8u, 9u, 16u, 23u, 254u}) {
      const auto data = RandomData(blocks * 16, seed * 1000 + static_cast<unsigned>(blocks));
      std::vector<std::uint8_t> ni(data.size()), portable(data.size());
      std::uint8_t f1[16], f2[16];
      std::memcpy(f1, s.feedback0, 16);
      std::memcpy(f2, s.feedback0, 16);
      AesNiEncodeBlocks(s, f1, data.data(), ni.data(), blocks);
      AesPortableEncodeBlocks(s, f2, data.data(), portable.data(), blocks);
      EXPECT_EQ(ni, portable) << "encode, blocks " << blocks;
      EXPECT_EQ(0, std::memcmp(f1, f2, 16));
      std::memcpy(f1, s.feedback0, 16);
      std::memcpy(f2, s.feedback0, 16);
      AesNiDecodeBlocks(s, f1, data.data(), ni.data(), blocks);
      AesPortableDecodeBlocks(s, f2, data.data(), portable.data(), blocks);
      EXPECT_EQ(ni, portable) << "decode, blocks " << blocks;
      EXPECT_EQ(0, std::memcmp(f1, f2, 16));
    }
  }
}

}  // namespace
