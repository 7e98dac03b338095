#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "cfs/codecs/compress/CFSBZip2.h"
#include "cfs/codecs/compress/CFSCompress.h"
#include "cfs/codecs/compress/CFSZlib.h"
#include "tests/cfs/codecs/compress/Samples.h"

namespace {

TEST(CompressMethods, BlockSizes) {
  const std::int32_t expect[10] = {0x100000, 0x80000,  0x100000, 0x100000, 0x180000,
                                   0x180000, 0x80000,  0x80000,  0x100000, 0x180000};
  for (int m = 0; m < 10; ++m) EXPECT_EQ(BlockSizeForMethod(m), expect[m]) << m;
  for (int m = 10; m < 256; ++m) EXPECT_EQ(BlockSizeForMethod(m), 0x100000) << m;
}

TEST(CompressMethods, EmptyInputFailsForEveryMethodAndTouchesNothing) {
  const std::uint8_t byte = 7;
  for (int m = 0; m < 256; ++m) {
    std::vector<std::uint8_t> out{1, 2, 3};
    TCFSBlockHeader header{11, 22, 33, 44};
    EXPECT_FALSE(CompressBuffer(&byte, 0, out, m, header)) << m;
    EXPECT_EQ(out, (std::vector<std::uint8_t>{1, 2, 3})) << m;
    EXPECT_EQ(header, (TCFSBlockHeader{11, 22, 33, 44})) << m;
  }
}

TEST(CompressMethods, ExpectedSizeZeroOrNegativeFailsForEveryMethod) {
  const std::vector<std::uint8_t> data = TextSample(1000);
  for (int m = 0; m < 256; ++m) {
    for (std::int32_t expected : {0, -1}) {
      std::vector<std::uint8_t> out;
      std::int32_t size = expected;
      EXPECT_FALSE(DecompressBuffer(data.data(), 1000, out, m, size)) << m;
      EXPECT_EQ(size, 0);
      EXPECT_TRUE(out.empty());
    }
  }
}

TEST(CompressMethods, MethodsOutsideTheTableFailBothWays) {
  const std::vector<std::uint8_t> data = TextSample(5000);
  for (int m = 10; m < 256; ++m) {
    std::vector<std::uint8_t> out;
    TCFSBlockHeader header{9, 5000, 0, 0};
    EXPECT_FALSE(CompressBuffer(data.data(), 5000, out, m, header)) << m;
    EXPECT_EQ(header.PackedSize, 0);
    EXPECT_EQ(header.UnpackedSize, 5000);
    std::int32_t size = 5000;
    EXPECT_FALSE(DecompressBuffer(data.data(), 5000, out, m, size)) << m;
  }
}

TEST(CompressMethods, CopyMethodPassesBytesThrough) {
  const std::vector<std::uint8_t> data = RandomSample(4321);
  std::vector<std::uint8_t> packed;
  TCFSBlockHeader header{0, 4321, 0xABCD, 77};
  ASSERT_TRUE(CompressBuffer(data.data(), 4321, packed, 0, header));
  EXPECT_EQ(packed, data);
  EXPECT_EQ(header, (TCFSBlockHeader{4321, 4321, 0xABCD, 77}));
  std::vector<std::uint8_t> out;
  std::int32_t size = 4321;
  ASSERT_TRUE(DecompressBuffer(packed.data(), 4321, out, 0, size));
  EXPECT_EQ(size, 4321);
  EXPECT_EQ(out, data);
}

TEST(CompressErrors, ClassesAndMessages) {
  const std::vector<std::uint8_t> garbage = RandomSample(300);
  try {
    ZlibDecompress(garbage.data(), garbage.size(), 1000);
    ADD_FAILURE() << "no exception";
  } catch (const EDecompressionError& e) {
    const EZlibError& base = e;
    const Exception& root = base;
    EXPECT_EQ(root.Message(), "error");
  }
  try {
    BZip2Decompress(garbage.data(), garbage.size(), 1000);
    ADD_FAILURE() << "no exception";
  } catch (const EBZDecompressionError& e) {
    const EBZip2Error& base = e;
    EXPECT_EQ(base.Message(), "error -5");  // BZ_DATA_ERROR_MAGIC
  }
  const std::vector<std::uint8_t> text = TextSample(50000);
  const std::vector<std::uint8_t> packed = BZip2Compress(text.data(), text.size(), 9);
  try {
    BZip2Decompress(packed.data(), packed.size() / 2, text.size());
    ADD_FAILURE() << "no exception";
  } catch (const EBZDecompressionError& e) {
    EXPECT_EQ(e.Message(), "error -7");  // ends early
  }
  try {
    BZip2Decompress(packed.data(), packed.size(), text.size() - 1);
    ADD_FAILURE() << "no exception";
  } catch (const EBZDecompressionError& e) {
    EXPECT_EQ(e.Message(), "error -8");  // more than expected
  }
  EXPECT_THROW(BZip2Compress(text.data(), text.size(), 0), EBZCompressionError);
  EXPECT_THROW(ZlibCompress(text.data(), text.size(), 42), ECompressionError);
}

}  // namespace
