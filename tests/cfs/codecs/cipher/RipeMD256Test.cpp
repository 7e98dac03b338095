// RIPEMD-256 against the published test vectors, and incremental hashing against one-shot.
#include <gtest/gtest.h>

#include <string>

#include "cfs/codecs/cipher/CFSHash.h"
#include "tests/cfs/codecs/cipher/TestBytes.h"

namespace {

std::string HexDigest(std::string_view message) {
  const auto d = THashRipeMD256::Digest(message);
  return ToHex(d.data(), d.size());
}

TEST(RipeMD256, PublishedVectors) {
  EXPECT_EQ(HexDigest(""), "02ba4c4e5f8ecd1877fc52d64d30e37a2d9774fb1e5d026380ae0168e3c5522d");
  EXPECT_EQ(HexDigest("a"), "f9333e45d857f5d90a91bab70a1eba0cfb1be4b0783c9acfcd883a9134692925");
  EXPECT_EQ(HexDigest("abc"), "afbd6e228b9d8cbbcef5ca2d03e6dba10ac0bc7dcbe4680e1e42d2e975459b65");
  EXPECT_EQ(HexDigest("message digest"), "87e971759a1ce47a514d5c914c392c9018c7c46bc14465554afcdf54a5070c0e");
  EXPECT_EQ(HexDigest("abcdefghijklmnopqrstuvwxyz"),
            "649d3034751ea216776bf9a18acc81bc7896118a5197968782dd1fd97d8d5133");
  EXPECT_EQ(HexDigest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "3843045583aac6c8c8d9128573e7a9809afb2a0f34ccc36ea9e72f16f6368e3f");
  EXPECT_EQ(HexDigest("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "5740a408ac16b720b84424ae931cbb1fe363d1d0bf4017f1a89f7ea6de77a0b8");
  std::string eightTimes;
  for (int i = 0; i < 8; ++i) eightTimes += "1234567890";
  EXPECT_EQ(HexDigest(eightTimes), "06fdcc7a409548aaf91368c06a6275b553e3f099bf0ea4edfd6778df89a890dd");
  EXPECT_EQ(HexDigest(std::string(1000000, 'a')),
            "ac953744e10e31514c150d4d8d7b677342e33399788296e43ae4850ce4f97978");
}

TEST(RipeMD256, PiecewiseInputGivesTheOneShotDigest) {
  // Lengths around the 64-byte block and the 56-byte padding boundary, fed in uneven pieces.
  for (std::size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 300u}) {
    const auto data = RandomData(length, static_cast<unsigned>(length));
    const std::string message(data.begin(), data.end());
    THashRipeMD256 hash;
    for (std::size_t pos = 0, piece = 1; pos < length; pos += piece, piece = piece * 2 + 1) {
      hash.Calc(data.data() + pos, std::min(piece, length - pos));
    }
    THashRipeMD256::TDigest d{};
    hash.Done(d.data());
    EXPECT_EQ(d, THashRipeMD256::Digest(message)) << length;
    // Done starts a new message.
    hash.Calc("abc", 3);
    hash.Done(d.data());
    EXPECT_EQ(d, THashRipeMD256::Digest("abc"));
  }
}

}  // namespace
