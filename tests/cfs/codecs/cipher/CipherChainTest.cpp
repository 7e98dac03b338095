// The feedback chaining of TCipherAES and TPageCipher, checked against a model built from the
// single-block functions, on both the AES-NI and the table-driven path.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cfs/codecs/cipher/CFSAesCore.h"
#include "cfs/codecs/cipher/CFSCipher.h"
#include "cfs/codecs/cipher/CFSHash.h"
#include "platform/Exception.h"
#include "tests/cfs/codecs/cipher/TestBytes.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kKey = "some page key";
const std::string kPageKey = std::string(32, '\x5A') + std::string(1, '\0');

// Key setup done step by step: RIPEMD-256 of the key string, AES-256, F0 = AES(fill block).
struct TModel {
  TAesKeySchedule s;
  std::uint8_t f0[16];
  explicit TModel(std::string_view keyString) {
    const auto k = THashRipeMD256::Digest(keyString);
    AesExpandKey(s, k.data(), k.size());
    std::uint8_t fill[16];
    std::memset(fill, kFeedbackFillByte, 16);
    AesPortableEncryptBlock(s, fill, f0);
  }
  Bytes Encode(const Bytes& plain) const {
    Bytes out(plain.size());
    std::uint8_t f[16], x[16];
    std::memcpy(f, f0, 16);
    std::size_t i = 0;
    for (; i + 16 <= plain.size(); i += 16) {
      for (int j = 0; j < 16; ++j) x[j] = plain[i + j] ^ f[j];
      AesPortableEncryptBlock(s, x, &out[i]);
      for (int j = 0; j < 16; ++j) f[j] ^= out[i + j];
    }
    if (i < plain.size()) {
      AesPortableEncryptBlock(s, f, x);
      for (std::size_t j = 0; i + j < plain.size(); ++j) out[i + j] = plain[i + j] ^ x[j];
    }
    return out;
  }
};

Bytes Encode(TAesBackend backend, std::string_view key, const Bytes& plain) {
  TCipherAES cipher(backend);
  cipher.InitKey(key);
  Bytes out(plain.size());
  cipher.EncodeBuffer(plain.data(), out.data(), plain.size());
  return out;
}

Bytes Decode(TAesBackend backend, std::string_view key, const Bytes& stored) {
  TCipherAES cipher(backend);
  cipher.InitKey(key);
  Bytes out(stored.size());
  cipher.DecodeBuffer(stored.data(), out.data(), stored.size());
  return out;
}

const TAesBackend kBackends[] = {TAesBackend::Best, TAesBackend::Portable};

TEST(CipherChain, MatchesModelAndRoundTripsEveryLengthUpTo100) {
  const TModel model(kKey);
  for (auto backend : kBackends) {
    for (std::size_t n = 0; n <= 100; ++n) {
      const Bytes plain = RandomData(n, static_cast<unsigned>(n) + 1);
      const Bytes stored = Encode(backend, kKey, plain);
      EXPECT_EQ(stored, model.Encode(plain)) << "length " << n;
      EXPECT_EQ(Decode(backend, kKey, stored), plain) << "length " << n;
    }
  }
}

TEST(CipherChain, WholePagesMatchModelAndEqualPagesGiveEqualBytes) {
  const TModel model(kPageKey);
  for (std::size_t n : {3584u, 4064u}) {
    const Bytes page = RandomData(n, 77);
    const Bytes fast = Encode(TAesBackend::Best, kPageKey, page);
    EXPECT_EQ(fast, model.Encode(page));
    EXPECT_EQ(fast, Encode(TAesBackend::Portable, kPageKey, page));
    EXPECT_EQ(fast, Encode(TAesBackend::Best, kPageKey, page)) << "nothing carries over between buffers";
    EXPECT_NE(fast, Encode(TAesBackend::Best, kKey, page));
    EXPECT_EQ(Decode(TAesBackend::Best, kPageKey, fast), page);
    EXPECT_EQ(Decode(TAesBackend::Portable, kPageKey, fast), page);
  }
}

TEST(CipherChain, ZeroBlockEnciphersToCipherOfF0AndTailUsesEncryptedFeedback) {
  const TModel model(kKey);
  std::uint8_t expected[16];
  AesPortableEncryptBlock(model.s, model.f0, expected);
  for (auto backend : kBackends) {
    const Bytes stored = Encode(backend, kKey, Bytes(16, 0));
    EXPECT_EQ(ToHex(stored.data(), 16), ToHex(expected, 16));

    // 20 bytes: the last 4 are the plain bytes XOR AES(F1), F1 = F0 xor Y0.
    Bytes plain = RandomData(20, 5);
    const Bytes out = Encode(backend, kKey, plain);
    std::uint8_t x[16], f1[16], stream[16];
    for (int j = 0; j < 16; ++j) x[j] = plain[j] ^ model.f0[j];
    AesPortableEncryptBlock(model.s, x, x);
    for (int j = 0; j < 16; ++j) f1[j] = model.f0[j] ^ x[j];
    AesPortableEncryptBlock(model.s, f1, stream);
    for (int j = 0; j < 4; ++j) EXPECT_EQ(out[16 + j], plain[16 + j] ^ stream[j]);

    // A buffer shorter than a block is XORed with AES(F0), which is the same stream as above.
    const Bytes shortOut = Encode(backend, kKey, Bytes(5, 0));
    EXPECT_EQ(ToHex(shortOut.data(), 5), ToHex(expected, 5));
  }
}

TEST(CipherChain, MultiBlockDecipherEqualsBlockByBlock) {
  const TModel model(kPageKey);
  const Bytes stored = RandomData(4064, 9);
  // Block by block: P = AES-decrypt(Y) xor F, F = F xor Y.
  Bytes expected(stored.size());
  std::uint8_t f[16];
  std::memcpy(f, model.f0, 16);
  for (std::size_t i = 0; i < stored.size(); i += 16) {
    AesPortableDecryptBlock(model.s, &stored[i], &expected[i]);
    for (int j = 0; j < 16; ++j) {
      expected[i + j] ^= f[j];
      f[j] ^= stored[i + j];
    }
  }
  for (auto backend : kBackends) {
    EXPECT_EQ(Decode(backend, kPageKey, stored), expected);
    // In place gives the same.
    Bytes inPlace = stored;
    TPageCipher pages(backend);
    ASSERT_TRUE(pages.Decode(kPageKey, inPlace.data(), inPlace.size()));
    EXPECT_EQ(inPlace, expected);
  }
  // The first plain block depends on the first stored block only.
  Bytes changed = stored;
  changed[100] ^= 1;
  const Bytes plain = Decode(TAesBackend::Best, kPageKey, changed);
  EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + 96, expected.begin()));
  EXPECT_NE(plain, expected);
}

TEST(CipherChain, KeyStringsCountEveryByteAndEmptyKeyLeavesCipherUnset) {
  const Bytes plain(32, 0x11);
  EXPECT_NE(Encode(TAesBackend::Best, std::string("a"), plain),
            Encode(TAesBackend::Best, std::string("a\0", 2), plain));

  const char* message = "TCipherAES is not initialized, call InitKey() first.";
  TCipherAES cipher;
  std::uint8_t buf[16] = {};
  for (int round = 0; round < 2; ++round) {
    try {
      cipher.EncodeBuffer(buf, buf, sizeof buf);
      ADD_FAILURE() << "enciphering without a key must raise";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), message);
    }
    EXPECT_THROW(cipher.DecodeBuffer(buf, buf, sizeof buf), Exception);
    cipher.InitKey(kKey);
    EXPECT_TRUE(cipher.Initialized());
    EXPECT_NO_THROW(cipher.EncodeBuffer(buf, buf, sizeof buf));
    cipher.InitKey("");  // an empty key string unsets it again
    EXPECT_FALSE(cipher.Initialized());
  }
}

TEST(PageCipher, EqualsFreshCipherAcrossKeySwitchesAndRefusesEmptyKey) {
  // More keys than the cache holds, used in turn, so entries are evicted and set up again.
  std::vector<std::string> keys;
  for (int i = 0; i < 6; ++i) keys.push_back(std::string(32, static_cast<char>('A' + i)) + std::string(1, '\0'));
  for (auto backend : kBackends) {
    TPageCipher pages(backend);
    for (int round = 0; round < 3; ++round) {
      for (std::size_t k = 0; k < keys.size(); ++k) {
        const Bytes plain = RandomData(4064, static_cast<unsigned>(round * 10 + k));
        Bytes data = plain;
        ASSERT_TRUE(pages.Encode(keys[k], data.data(), data.size()));
        EXPECT_EQ(data, Encode(TAesBackend::Portable, keys[k], plain));
        ASSERT_TRUE(pages.Decode(keys[k], data.data(), data.size()));
        EXPECT_EQ(data, plain);
      }
    }
    Bytes data(64, 1);
    EXPECT_FALSE(pages.Encode("", data.data(), data.size()));
    EXPECT_FALSE(pages.Decode("", data.data(), data.size()));
    EXPECT_EQ(data, Bytes(64, 1));
    EXPECT_FALSE(pages.Encode(kKey, nullptr, 16));
    EXPECT_TRUE(pages.Encode(kKey, data.data(), 0));
  }
}

}  // namespace
