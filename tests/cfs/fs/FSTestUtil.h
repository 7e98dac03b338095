#pragma once
// Containers in scratch folders and a consistency check of their page ownership.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "cfs/fs/ContainerFS.h"
#include "tests/cfs/file/StorageTestUtil.h"

namespace fstest {

using storagetest::Bytes;

// Compressible but not trivial: short runs of a small alphabet.
inline Bytes Compressible(std::size_t n, std::uint32_t seed) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (i % 16 == 0) seed = seed * 1103515245u + 12345u;
    out[i] = static_cast<std::uint8_t>('a' + ((seed >> 16) + i / 16) % 7);
  }
  return out;
}

inline Bytes ReadWhole(TContainerFS& fs, const std::string& name, const std::string& password = "") {
  const std::int32_t h = fs.FileOpen(name, 0, password, "", "");
  EXPECT_GE(h, 0) << name;
  if (h < 0) return {};
  Bytes out(static_cast<std::size_t>(fs.FileSeek(h, 2, 0)));
  fs.FileSeek(h, 0, 0);
  if (!out.empty()) {
    EXPECT_EQ(fs.FileRead(h, out.data(), static_cast<std::int32_t>(out.size())), std::int32_t(out.size()));
  }
  fs.FileClose(h);
  return out;
}

inline void WriteWhole(TContainerFS& fs, const std::string& name, const Bytes& data, const std::string& password = "") {
  const std::int32_t h = fs.FileOpen(name, kModeCreate, password, "", "");
  ASSERT_GE(h, 0) << name;
  if (!data.empty()) {
    EXPECT_EQ(fs.FileWrite(h, data.data(), std::int32_t(data.size())), std::int32_t(data.size()));
  }
  fs.FileClose(h);
}

inline std::int32_t DataPages(TContainerFS& fs, const std::string& name) {
  const std::int32_t n = fs.Directory().FindItem(name);
  const TCFSDirItem item = fs.Directory().ReadItem(n);
  if (item.FirstMapPageNo == -1) return 0;
  TIntegerArray* maps = nullptr;
  TIntegerArray* data = nullptr;
  fs.PageMaps().GetMaps(item, maps, data);
  return data->Count();
}

// Every page owned by a directory page, a map page or a data page is inside the container,
// marked used, not an allocation map page and owned once; each file owns exactly the data pages
// its size needs; and no used page is left without an owner.
inline void ExpectPagesConsistent(TContainerFS& fs) {
  std::set<std::int32_t> owned;
  const std::int32_t pageCount = fs.PageFile().Header().PageCount();
  auto own = [&](std::int32_t p, const std::string& what) {
    EXPECT_TRUE(p >= 1 && p < pageCount) << what << " page " << p;
    EXPECT_FALSE(fs.FreeSpace().Geometry().IsMapPage(p)) << what << " page " << p;
    EXPECT_FALSE(fs.FreeSpace().IsPageFree(p)) << what << " page " << p << " is marked free";
    EXPECT_TRUE(owned.insert(p).second) << what << " page " << p << " owned twice";
  };
  const TDIRManager& dir = fs.Directory();
  for (std::int32_t i = 0; i < dir.PageList().Count(); ++i) own(dir.PageList()[i], "directory");
  for (std::int32_t n = 0; n < dir.ItemCount(); ++n) {
    const TCFSDirItem& item = dir.Item(n);
    if (item.IsDeleted) {
      EXPECT_EQ(item.FirstMapPageNo, -1) << item.Name;
      continue;
    }
    if (item.FirstMapPageNo == -1) {
      EXPECT_EQ(item.Size, 0) << item.Name;
      continue;
    }
    TIntegerArray* maps = nullptr;
    TIntegerArray* data = nullptr;
    fs.PageMaps().GetMaps(item, maps, data);
    EXPECT_EQ(data->Count(), fs.PageMaps().PagesForSize(item.Size)) << item.Name;
    const TIntegerArray mapCopy = *maps, dataCopy = *data;  // the next GetMaps may drop them
    for (std::int32_t i = 0; i < mapCopy.Count(); ++i) own(mapCopy[i], item.Name + " map");
    for (std::int32_t i = 0; i < dataCopy.Count(); ++i) own(dataCopy[i], item.Name + " data");
  }
  const std::int32_t first = fs.FreeSpace().FirstExtentPage();
  const std::int64_t area = std::int64_t(fs.FreeSpace().ExtentCount()) * fs.FreeSpace().Geometry().E;
  for (std::int64_t i = 0; i < area && first + i < pageCount; ++i) {
    const auto p = static_cast<std::int32_t>(first + i);
    if (!fs.FreeSpace().IsPageFree(p) && !fs.FreeSpace().Geometry().IsMapPage(p)) {
      EXPECT_TRUE(owned.count(p)) << "page " << p << " is used but has no owner";
    }
  }
}

}  // namespace fstest
