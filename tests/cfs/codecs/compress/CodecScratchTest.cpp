#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "cfs/codecs/compress/CFSCompress.h"
#include "cfs/codecs/compress/CodecScratch.h"
#include "tests/cfs/codecs/compress/Samples.h"

namespace {

std::vector<std::uint8_t> Pack(const std::vector<std::uint8_t>& data, int method, TCodecScratch* scratch) {
  std::vector<std::uint8_t> packed;
  TCFSBlockHeader header{};
  EXPECT_TRUE(CompressBuffer(data.data(), static_cast<std::int32_t>(data.size()), packed,
                             static_cast<std::uint8_t>(method), header, scratch));
  return packed;
}

}  // namespace

// Work memory handed from block to block must not change a byte of the output, must not leak
// state between blocks of different codecs and must stop growing after the first block.
TEST(CodecScratch, SharedWorkMemoryGivesTheSameBytesAndIsReused) {
  TCodecScratch scratch;
  const std::vector<std::vector<std::uint8_t>> inputs = {TextSample(40000, 7), RandomSample(9000, 8),
                                                         TextSample(300, 9)};
  std::size_t blocksAfterFirstRound = 0;
  for (int round = 0; round < 3; ++round) {
    for (int method : {9, 1, 7, 5}) {
      for (const auto& data : inputs) {
        const std::vector<std::uint8_t> packed = Pack(data, method, &scratch);
        ASSERT_EQ(packed, Pack(data, method, nullptr)) << "method " << method;
        std::vector<std::uint8_t> out;
        std::int32_t size = static_cast<std::int32_t>(data.size());
        ASSERT_TRUE(DecompressBuffer(packed.data(), static_cast<std::int32_t>(packed.size()), out,
                                     static_cast<std::uint8_t>(method), size, &scratch));
        ASSERT_EQ(out, data) << "method " << method;
        // A damaged block fails cleanly and hands its work memory back all the same.
        std::vector<std::uint8_t> damaged(packed.begin(), packed.begin() + packed.size() / 2);
        size = static_cast<std::int32_t>(data.size());
        EXPECT_FALSE(DecompressBuffer(damaged.data(), static_cast<std::int32_t>(damaged.size()), out,
                                      static_cast<std::uint8_t>(method), size, &scratch));
      }
    }
    if (round == 0) blocksAfterFirstRound = scratch.BlockCount();
  }
  EXPECT_GT(blocksAfterFirstRound, 0u);
  EXPECT_EQ(scratch.BlockCount(), blocksAfterFirstRound);
  EXPECT_LE(scratch.HeldBytes(), TCodecScratch::kKeptBytes + (8u << 20));
}

TEST(CodecScratch, BlocksAreDistinctReusedAndTrimmed) {
  TCodecScratch scratch;
  void* a = scratch.Allocate(1000);
  void* b = scratch.Allocate(1000);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);  // a block in use is never handed out twice
  scratch.Release(a);
  EXPECT_EQ(scratch.Allocate(1000), a);
  scratch.Release(&scratch);  // not a block: ignored
  EXPECT_EQ(scratch.BlockCount(), 2u);

  // Unused blocks go once the held total would pass the limit; blocks in use stay.
  scratch.Release(a);
  void* big = scratch.Allocate(TCodecScratch::kKeptBytes - 500);
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(scratch.BlockCount(), 2u);  // b and big
  EXPECT_EQ(scratch.HeldBytes(), 1000 + TCodecScratch::kKeptBytes - 500);

  EXPECT_EQ(TCodecScratch::AllocateItems(&scratch, std::numeric_limits<std::size_t>::max() / 2, 3), nullptr);
}
