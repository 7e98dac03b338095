#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cfs/codecs/compress/CFSCompress.h"
#include "tests/cfs/codecs/compress/Samples.h"

namespace {

std::vector<std::uint8_t> Pack(const std::vector<std::uint8_t>& data, int method) {
  std::vector<std::uint8_t> packed;
  TCFSBlockHeader header{-1, 123, 456, 789};
  EXPECT_TRUE(CompressBuffer(data.data(), static_cast<std::int32_t>(data.size()), packed, method,
                             header))
      << "method " << method;
  EXPECT_EQ(header.PackedSize, static_cast<std::int32_t>(packed.size()));
  EXPECT_EQ(header.UnpackedSize, 123);  // the other fields are the caller's
  EXPECT_EQ(header.Crc, 456u);
  EXPECT_EQ(header.Next, 789u);
  return packed;
}

void ExpectUnpacks(const std::vector<std::uint8_t>& packed, int method,
                   const std::vector<std::uint8_t>& data, const std::string& what) {
  std::vector<std::uint8_t> out;
  std::int32_t size = static_cast<std::int32_t>(data.size());
  ASSERT_TRUE(DecompressBuffer(packed.data(), static_cast<std::int32_t>(packed.size()), out, method,
                               size))
      << what << ", method " << method;
  EXPECT_EQ(size, static_cast<std::int32_t>(data.size())) << what;
  EXPECT_TRUE(out == data) << what << ", method " << method;
}

TEST(CompressRoundTrip, EveryCodecOnTextRandomAndTinyInputs) {
  struct Sample {
    std::string name;
    std::vector<std::uint8_t> bytes;
  };
  const std::vector<Sample> samples = {
      {"text", TextSample(50000)},
      {"random", RandomSample(30000)},
      {"one byte", {0x42}},
      {"two bytes", {0x00, 0xFF}},
      {"zeros", std::vector<std::uint8_t>(70000, 0)},
  };
  for (int method : CodecMethods()) {
    for (const Sample& s : samples) {
      const std::vector<std::uint8_t> packed = Pack(s.bytes, method);
      ExpectUnpacks(packed, method, s.bytes, s.name);
    }
  }
}

TEST(CompressRoundTrip, FullBlocksOfEachMethod) {
  for (int method : CodecMethods()) {
    const std::vector<std::uint8_t> data =
        TextSample(static_cast<std::size_t>(BlockSizeForMethod(method)), method);
    const std::vector<std::uint8_t> packed = Pack(data, method);
    EXPECT_LT(packed.size(), data.size() / 3) << "method " << method;  // text compresses well
    ExpectUnpacks(packed, method, data, "full block");
  }
}

TEST(CompressRoundTrip, LevelIsNotNeededToDecode) {
  const std::vector<std::uint8_t> data = TextSample(300000, 9);
  const std::vector<std::uint8_t> zlib9 = Pack(data, 5);
  ExpectUnpacks(zlib9, 1, data, "level 9 as method 1");
  ExpectUnpacks(zlib9, 2, data, "level 9 as method 2");
  const std::vector<std::uint8_t> bz9 = Pack(data, 9);
  ExpectUnpacks(bz9, 7, data, "bzip2 -9 as method 7");
}

TEST(CompressRoundTrip, LargerExpectedSizeReportsWhatWasProduced) {
  const std::vector<std::uint8_t> data = TextSample(10000);
  for (int method : CodecMethods()) {
    const std::vector<std::uint8_t> packed = Pack(data, method);
    std::vector<std::uint8_t> out;
    std::int32_t size = 20000;
    ASSERT_TRUE(DecompressBuffer(packed.data(), static_cast<std::int32_t>(packed.size()), out,
                                 method, size))
        << method;
    EXPECT_EQ(size, 10000);
    EXPECT_EQ(out, data);
  }
}

#ifndef ZELK_HAVE_PPMD
TEST(CompressRoundTrip, PpmdMethodsFailCleanlyWithoutTheCoder) {
  const std::vector<std::uint8_t> data = TextSample(1000);
  for (int method : {3, 4, 6}) {
    std::vector<std::uint8_t> out;
    TCFSBlockHeader header;
    EXPECT_FALSE(CompressBuffer(data.data(), 1000, out, method, header));
    std::int32_t size = 1000;
    EXPECT_FALSE(DecompressBuffer(data.data(), 1000, out, method, size));
  }
}
#endif

}  // namespace
