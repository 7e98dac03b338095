#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "cfs/index/GrowthPolicy.h"
#include "cfs/index/IntegerArray.h"
#include "platform/Exception.h"

namespace {

std::vector<int> Items(const TIntegerArray& a) {
  std::vector<int> v;
  for (int i = 0; i < a.Count(); ++i) v.push_back(a[i]);
  return v;
}

TIntegerArray Make(std::initializer_list<int> values) {
  TIntegerArray a(0, 64, 4);
  for (int v : values) a.Add(v);
  return a;
}

TEST(GrowthPolicy, GrowsByDoublingStepUpToLimitAndShrinksToExactCount) {
  TGrowthPolicy p(4, 4, 16);
  EXPECT_EQ(p.Resize(0, 1), 8);  // step 4 -> 8, capacity 0 + 8
  EXPECT_EQ(p.GrowStep(), 8);
  EXPECT_EQ(p.Resize(1, 8), 8);  // fits: unchanged
  EXPECT_EQ(p.Resize(8, 9), 24);  // step 16 (limit), 8 + 16
  EXPECT_EQ(p.Resize(9, 25), 40);  // step stays at the limit
  EXPECT_EQ(p.GrowStep(), 16);
  EXPECT_EQ(p.Resize(25, 100), 100);  // a jump beyond capacity + step takes n
  // Shrinking: only when the shrink step is smaller than the slack, then to exactly n.
  EXPECT_EQ(p.Resize(100, 97), 100);  // slack 3 < shrink step 4: keep
  EXPECT_EQ(p.Resize(97, 50), 50);
  EXPECT_EQ(p.ShrinkStep(), 8);
  EXPECT_EQ(p.Resize(50, 0), 0);
}

TEST(GrowthPolicy, NoShrinkStepNeverShrinks) {
  TGrowthPolicy p(7, 0, 70);
  p.Resize(0, 100);
  EXPECT_EQ(p.Resize(100, 1), 100);
}

TEST(IntegerArray, SetCountZeroFillsAndReleases) {
  TIntegerArray a(3, 16, 2);
  EXPECT_EQ(Items(a), (std::vector<int>{0, 0, 0}));
  a.Set(2, 7);
  a.SetCount(5);
  EXPECT_EQ(Items(a), (std::vector<int>{0, 0, 7, 0, 0}));
  a.SetCount(0);
  EXPECT_EQ(a.Count(), 0);
  EXPECT_EQ(a.Capacity(), 0);
  EXPECT_THROW(a.SetCount(-1), Exception);
}

TEST(IntegerArray, InsertDeleteAndCheckedAccess) {
  TIntegerArray a = Make({1, 2, 3});
  a.Insert(0, 10);
  a.Insert(2, 20);
  a.Insert(99, 30);  // beyond the end appends
  a.Insert(a.Count(), 40);
  EXPECT_EQ(Items(a), (std::vector<int>{10, 1, 20, 2, 3, 30, 40}));
  a.Delete(0);
  a.Delete(a.Count() - 1);
  a.Delete(2);
  EXPECT_EQ(Items(a), (std::vector<int>{1, 20, 3, 30}));
  EXPECT_THROW(a.Get(4), Exception);
  EXPECT_THROW(a.Get(-1), Exception);
  EXPECT_THROW(a.Delete(4), Exception);
  EXPECT_THROW(a.Insert(-1, 0), Exception);
}

TEST(IntegerArray, MoveForwardBackwardAndNeighbours) {
  TIntegerArray a = Make({0, 1, 2, 3, 4, 5});
  a.Move(1, 4);  // forward: lands at to - 1
  EXPECT_EQ(Items(a), (std::vector<int>{0, 2, 3, 1, 4, 5}));
  a.Move(4, 0);  // backward: lands at to
  EXPECT_EQ(Items(a), (std::vector<int>{4, 0, 2, 3, 1, 5}));
  a.Move(2, 3);  // neighbours swap
  EXPECT_EQ(Items(a), (std::vector<int>{4, 0, 3, 2, 1, 5}));
  a.Move(3, 2);
  EXPECT_EQ(Items(a), (std::vector<int>{4, 0, 2, 3, 1, 5}));
  a.Move(0, 6);  // to the end
  EXPECT_EQ(Items(a), (std::vector<int>{0, 2, 3, 1, 5, 4}));
  a.Move(3, 3);
  EXPECT_EQ(Items(a), (std::vector<int>{0, 2, 3, 1, 5, 4}));
  EXPECT_THROW(a.Move(0, 7), Exception);
  EXPECT_THROW(a.Move(6, 0), Exception);
}

TEST(IntegerArray, SortBothDirections) {
  TIntegerArray empty(0, 16, 4);
  empty.Sort(true);
  EXPECT_EQ(empty.Count(), 0);
  TIntegerArray one = Make({5});
  one.Sort(false);
  EXPECT_EQ(Items(one), std::vector<int>{5});

  TIntegerArray a = Make({3, 9, 1});
  a.Sort(false);
  EXPECT_EQ(Items(a), (std::vector<int>{9, 3, 1}));

  // Many duplicates, sorted and reversed inputs are where Hoare partitioning goes wrong.
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    TIntegerArray b(0, 1024, 16);
    std::vector<int> expect;
    const int n = 1 + static_cast<int>(rng() % 500);
    for (int i = 0; i < n; ++i) {
      int v = round % 3 == 0 ? static_cast<int>(rng() % 4)
                             : round % 3 == 1 ? i : static_cast<int>(rng() & 0x7FFFFFFF) - (1 << 30);
      b.Add(v);
      expect.push_back(v);
    }
    const bool ascending = round % 2 == 0;
    b.Sort(ascending);
    if (ascending) {
      std::sort(expect.begin(), expect.end());
    } else {
      std::sort(expect.begin(), expect.end(), std::greater<int>());
    }
    EXPECT_EQ(Items(b), expect) << "round " << round;
  }
}

}  // namespace
