#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "cfs/codecs/compress/CFSCompress.h"
#include "tests/cfs/codecs/compress/Samples.h"

namespace {

std::vector<std::uint8_t> Pack(const std::vector<std::uint8_t>& data, int method) {
  std::vector<std::uint8_t> packed;
  TCFSBlockHeader header;
  EXPECT_TRUE(CompressBuffer(data.data(), static_cast<std::int32_t>(data.size()), packed, method,
                             header));
  return packed;
}

// Decodes and checks the invariants every outcome must keep; returns the result.
bool Unpack(const std::vector<std::uint8_t>& packed, std::size_t length, int method,
            std::int32_t expected, std::vector<std::uint8_t>& out) {
  std::int32_t size = expected;
  const bool ok = DecompressBuffer(packed.data(), static_cast<std::int32_t>(length), out, method,
                                   size);
  EXPECT_EQ(static_cast<std::size_t>(size), out.size());
  EXPECT_LE(size, expected);
  if (!ok) {
    EXPECT_EQ(size, 0);
  }
  return ok;
}

TEST(CompressDamaged, TruncatedBlocksFail) {
  const std::vector<std::uint8_t> data = TextSample(60000);
  for (int method : CodecMethods()) {
    const std::vector<std::uint8_t> packed = Pack(data, method);
    for (std::size_t length : {std::size_t{1}, std::size_t{3}, std::size_t{10}, packed.size() / 2,
                               packed.size() - 5, packed.size() - 1}) {
      std::vector<std::uint8_t> out;
      EXPECT_FALSE(Unpack(packed, length, method, 60000, out))
          << "method " << method << ", length " << length;
    }
  }
}

TEST(CompressDamaged, OutputBeyondTheExpectedSizeIsRefused) {
  const std::vector<std::uint8_t> data = TextSample(60000);
  for (int method : CodecMethods()) {
    const std::vector<std::uint8_t> packed = Pack(data, method);
    for (std::int32_t expected : {59999, 1000, 1}) {
      std::vector<std::uint8_t> out;
      EXPECT_FALSE(Unpack(packed, packed.size(), method, expected, out))
          << "method " << method << ", expected " << expected;
    }
    // A damaged block header cannot make the codec reserve gigabytes.
    std::vector<std::uint8_t> out;
    EXPECT_FALSE(Unpack(packed, packed.size(), method, 0x7FFFFFFF, out)) << method;
  }
}

TEST(CompressDamaged, CorruptedBytesNeverOverrunOrCrash) {
  const std::vector<std::uint8_t> data = TextSample(20000, 5);
  std::mt19937 rng(99);
  for (int method : CodecMethods()) {
    const std::vector<std::uint8_t> packed = Pack(data, method);
    int failures = 0;
    for (int trial = 0; trial < 60; ++trial) {
      std::vector<std::uint8_t> bad = packed;
      for (int flips = 0; flips < 1 + trial % 4; ++flips) {
        bad[rng() % bad.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
      }
      std::vector<std::uint8_t> out;
      if (!Unpack(bad, bad.size(), method, 20000, out)) ++failures;
    }
    // zlib and bzip2 check their streams; nearly every corruption must be caught there.
    if (method != 3 && method != 4 && method != 6) {
      EXPECT_GT(failures, 50) << method;
    }
  }
}

TEST(CompressDamaged, GarbageAndForeignStreamsFail) {
  const std::vector<std::uint8_t> garbage = RandomSample(5000, 77);
  const std::vector<std::uint8_t> data = TextSample(5000);
  const std::vector<std::uint8_t> zlib = Pack(data, 2);
  const std::vector<std::uint8_t> bzip2 = Pack(data, 8);
  for (int method : {1, 2, 5, 7, 8, 9}) {
    std::vector<std::uint8_t> out;
    EXPECT_FALSE(Unpack(garbage, garbage.size(), method, 5000, out)) << method;
    const std::vector<std::uint8_t>& foreign = method <= 5 ? bzip2 : zlib;
    EXPECT_FALSE(Unpack(foreign, foreign.size(), method, 5000, out)) << method;
  }
}

#ifdef ZELK_HAVE_PPMD
TEST(CompressDamaged, PpmdParameterWordIsChecked) {
  const std::vector<std::uint8_t> data = TextSample(8000);
  const std::vector<std::uint8_t> packed = Pack(data, 6);
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(Unpack(packed, packed.size(), 6, 8000, out));
  EXPECT_EQ(out, data);

  std::vector<std::uint8_t> variant = packed;
  variant[1] = static_cast<std::uint8_t>((variant[1] & 0x0F) | 0x50);  // variant F
  EXPECT_FALSE(Unpack(variant, variant.size(), 6, 8000, out));

  // A memory size beyond what any method uses is refused before anything is allocated.
  std::vector<std::uint8_t> memory = packed;
  memory[0] = static_cast<std::uint8_t>(memory[0] | 0xF0);
  memory[1] = static_cast<std::uint8_t>(memory[1] | 0x0F);
  EXPECT_FALSE(Unpack(memory, memory.size(), 6, 8000, out));
}
#endif

}  // namespace
