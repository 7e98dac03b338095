#pragma once
// Containers for the free space and page map tests, and a checker of the allocation maps against
// each other and against the pages a test believes it owns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cfs/engine/PageFileManager.h"
#include "cfs/space/FreeSpaceManager.h"
#include "tests/cfs/file/StorageTestUtil.h"

namespace spacetest {

inline std::unique_ptr<TPageFileManager> NewContainer(const std::string& name, bool inMemory = false,
                                                      std::int32_t pageSize = 4096, std::int32_t extent = 8) {
  return std::make_unique<TPageFileManager>(name, kModeCreate, "", "",
      "", inMemory ? TCFSStorageFactory::Memory() : TCFSStorageFactory::Disk(), pageSize, extent, -1);
}

inline std::unique_ptr<TPageFileManager> OpenContainer(const std::string& name, std::uint16_t mode = 2) {
  return std::make_unique<TPageFileManager>(name, mode, "", "", "", TCFSStorageFactory::Disk(), 4096, 8, -1);
}

inline std::vector<std::int32_t> List(const TIntegerArray& a) { return {a.Data(), a.Data() + a.Count()}; }

inline TIntegerArray Array(const std::vector<std::int32_t>& v) {
  TIntegerArray a;
  for (auto x : v) a.Add(x);
  return a;
}

inline bool Bit(const std::vector<std::uint8_t>& map, std::int64_t n) { return (map[n >> 3] >> (n & 7)) & 1; }

// Checks everything the maps promise: the header counts fit the extents, every extent's GAM bit
// says whether all its pages are free, no extent is both free and mixed, the extent counters
// count the bits, the map pages are in use, and - when owned is given - the owned pages are
// distinct, in use, not map pages, and together with the map pages and `extra` they are exactly
// the pages in use.
inline void CheckMaps(const TPageFileManager& pf, const TFreeSpaceManager& fs,
                      const std::vector<std::int32_t>* owned = nullptr, const std::set<std::int32_t>& extra = {}) {
  const TFreeSpaceGeometry& g = fs.Geometry();
  const std::int32_t extents = fs.ExtentCount();
  ASSERT_EQ(extents, (pf.Header().PageCount() - 1) / g.E);
  ASSERT_EQ(pf.Header().PFSPageCount(), g.PFSPagesFor(extents));
  ASSERT_EQ(pf.Header().GAMPageCount(), g.GAMPagesFor(extents));
  std::int32_t free = 0, mixed = 0;
  for (std::int32_t e = 0; e < extents; ++e) {
    bool allFree = true;
    for (std::int32_t k = 0; k < g.E; ++k) allFree = allFree && Bit(fs.PFSBitmap(), std::int64_t(e) * g.E + k);
    ASSERT_EQ(Bit(fs.GAMBitmap(), e), allFree) << "extent " << e;
    ASSERT_FALSE(Bit(fs.GAMBitmap(), e) && Bit(fs.SGAMBitmap(), e)) << "extent " << e;
    free += Bit(fs.GAMBitmap(), e);
    mixed += Bit(fs.SGAMBitmap(), e);
  }
  ASSERT_EQ(fs.FreeExtentCount(), free);
  ASSERT_EQ(fs.MixedExtentCount(), mixed);
  std::set<std::int32_t> used;
  for (std::int32_t p = 1; p < 1 + extents * g.E; ++p)
    if (!fs.IsPageFree(p)) used.insert(p);
  std::set<std::int32_t> maps;
  for (std::int32_t k = 0; k < fs.PFSPageMap().Count(); ++k) maps.insert(fs.PFSPageMap()[k]);
  for (std::int32_t k = 0; k < fs.GAMPageMap().Count(); ++k) {
    maps.insert(fs.GAMPageMap()[k]);
    maps.insert(fs.GAMPageMap()[k] + 1);
  }
  for (auto p : maps) ASSERT_TRUE(used.count(p)) << "map page " << p << " is marked free";
  if (owned == nullptr) return;
  std::set<std::int32_t> expected(maps);
  expected.insert(extra.begin(), extra.end());
  for (auto p : *owned) {
    ASSERT_FALSE(maps.count(p)) << "map page " << p << " handed out";
    ASSERT_TRUE(expected.insert(p).second) << "page " << p << " owned twice";
  }
  ASSERT_EQ(used, expected);
}

// Bytes of the container as its storage file holds them.
inline std::int64_t ContainerBytes(TPageFileManager& pf) { return pf.File().GetSize(); }

}  // namespace spacetest
