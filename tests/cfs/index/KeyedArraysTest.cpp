#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cfs/index/CFSHeadersArray.h"
#include "cfs/index/SortedPtrArray.h"
#include "platform/Exception.h"
#include "tests/support/Exceptions.h"

namespace {

using testsupport::ErrorOf;

struct Tracked {
  explicit Tracked(int* liveCounter) : live(liveCounter) { ++*live; }
  ~Tracked() { --*live; }
  int* live;
};

TEST(SortedPtrArray, KeepsKeysSortedAndFindsValues) {
  TSortedPtrArray<int> a(0, 64, 4);
  a.Add(5, std::make_unique<int>(50));
  a.Add(1, std::make_unique<int>(10));
  a.Add(3, std::make_unique<int>(30));
  ASSERT_EQ(a.Count(), 3);
  EXPECT_EQ(a.KeyAt(0), 1);
  EXPECT_EQ(a.KeyAt(1), 3);
  EXPECT_EQ(a.KeyAt(2), 5);
  EXPECT_EQ(*a.ValueAt(2), 50);
  ASSERT_NE(a.Find(3), nullptr);
  EXPECT_EQ(*a.Find(3), 30);
  EXPECT_EQ(a.Find(4), nullptr);
  EXPECT_EQ(a.IndexOf(4), -1);
  EXPECT_EQ(a.Search(4), 2);
  EXPECT_EQ(a.Search(0), 0);
  EXPECT_EQ(a.Search(9), 3);
  EXPECT_EQ(a.Search(5), 2);
}

TEST(SortedPtrArray, DeleteMessagesAndOwnership) {
  int live = 0;
  TSortedPtrArray<Tracked> a(0, 64, 4);
  EXPECT_EQ(ErrorOf([&] { a.Delete(1); }), "TSortedPtrArray.Delete - no elements in array!");
  for (int key : {5, 1, 3}) a.Add(key, std::make_unique<Tracked>(&live));
  EXPECT_EQ(live, 3);
  EXPECT_EQ(ErrorOf([&] { a.Delete(4); }),
            "TSortedPtrArray.Delete - element not found, key = 4, itemCount = 3!");
  a.Delete(3);
  EXPECT_EQ(live, 2);
  EXPECT_EQ(a.IndexOf(3), -1);
  std::unique_ptr<Tracked> taken = a.Take(5);
  EXPECT_EQ(live, 2);
  taken.reset();
  EXPECT_EQ(live, 1);
  EXPECT_THROW(a.DeleteAt(1), Exception);
  { TSortedPtrArray<Tracked> b; b.Add(0, std::make_unique<Tracked>(&live)); }
  EXPECT_EQ(live, 1);
}

TEST(SortedPtrArray, ManyKeysStaySortedAndNextKeyCounts) {
  TSortedPtrArray<int> a(0, 32, 2);
  for (int i = 0; i < 300; ++i) {
    const int key = (i * 7919) % 1009;
    a.Add(key, std::make_unique<int>(key));
  }
  for (int i = 1; i < a.Count(); ++i) ASSERT_LE(a.KeyAt(i - 1), a.KeyAt(i));
  for (int i = 0; i < a.Count(); ++i) EXPECT_EQ(*a.ValueAt(i), a.KeyAt(i));
  EXPECT_EQ(a.NextKey(), 0);
  EXPECT_EQ(a.NextKey(), 1);
  EXPECT_EQ(a.NextKey(), 2);
}

TEST(CFSHeadersArray, FindGivesLastKeyNotAbove) {
  TCFSHeadersArray h;
  EXPECT_EQ(h.Find(10), 0);
  for (int i = 0; i < 3; ++i) {
    TCFSBlockHeader r;
    r.PackedSize = i + 1;
    h.Add(r, i * 100);
  }
  EXPECT_EQ(h.Find(150), 1);
  EXPECT_EQ(h.Find(200), 2);
  EXPECT_EQ(h.Find(100000), 2);
  EXPECT_EQ(h.Find(-5), 0);
  EXPECT_EQ(h.Find(0), 0);
  EXPECT_EQ(h.Record(1).PackedSize, 2);
  EXPECT_EQ(h.Key(2), 200);
  EXPECT_THROW(h.Record(3), Exception);
}

TEST(CFSHeadersArray, GrowsPastManyBlocksAndCutsBack) {
  TCFSHeadersArray h;
  for (int i = 0; i < 25000; ++i) {
    TCFSBlockHeader r;
    r.UnpackedSize = i;
    h.Add(r, std::int64_t{i} * 0x180010);
  }
  EXPECT_GE(h.Capacity(), 25000);
  EXPECT_EQ(h.Find(std::int64_t{12345} * 0x180010 + 5), 12345);
  h.SetCount(10);
  EXPECT_EQ(h.Count(), 10);
  EXPECT_EQ(h.Record(9).UnpackedSize, 9);
  EXPECT_THROW(h.SetCount(11), Exception);
  h.Clear();
  EXPECT_EQ(h.Count(), 0);
  EXPECT_EQ(h.Capacity(), 0);
}

TEST(CFSBlockHeader, SixteenBytesLittleEndian) {
  TCFSBlockHeader h{-2, 0x180000, 0xBEEF, 0x12345678};
  std::uint8_t bytes[17] = {};
  h.Write(bytes + 1);  // unaligned on purpose
  const std::uint8_t expect[16] = {0xFE, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x18, 0x00,
                                   0xEF, 0xBE, 0x00, 0x00, 0x78, 0x56, 0x34, 0x12};
  EXPECT_EQ(0, std::memcmp(bytes + 1, expect, 16));
  EXPECT_EQ(TCFSBlockHeader::Read(bytes + 1), h);
}

}  // namespace
