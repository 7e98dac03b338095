// The free space manager: map geometry, first allocations, extent reuse, trimming, growth across
// map page boundaries, persistence, damaged maps and a randomized run against the invariants.
#include <gtest/gtest.h>

#include <random>

#include "cfs/file/CFSLittleEndian.h"
#include "cfs/space/FreeSpaceManager.h"
#include "platform/Exception.h"
#include "tests/cfs/space/SpaceTestUtil.h"

using namespace spacetest;
using storagetest::ErrorOf;
using storagetest::ScratchDir;

namespace {

std::vector<std::int32_t> Take(TFreeSpaceManager& fs, std::int32_t n, std::int32_t hint, bool uniform) {
  TIntegerArray pages;
  EXPECT_TRUE(fs.GetPages(n, hint, pages, uniform));
  return List(pages);
}

void Release(TFreeSpaceManager& fs, const std::vector<std::int32_t>& pages) {
  TIntegerArray a = Array(pages);
  fs.FreePages(a);
}

std::vector<std::int32_t> Range(std::int32_t from, std::int32_t to) {
  std::vector<std::int32_t> v;
  for (std::int32_t p = from; p <= to; ++p) v.push_back(p);
  return v;
}

// Rewrites header fields of a closed container and fixes its checksum.
void PatchHeader(const std::string& name, std::size_t offset, std::int32_t value) {
  storagetest::Bytes raw = storagetest::ReadAll(name);
  TCFSHeader h;
  std::copy_n(raw.begin() + 280, 256, h.Bytes.begin());
  PutLE32(h.Bytes.data() + offset, static_cast<std::uint32_t>(value));
  h.UpdateChecksum();
  ASSERT_TRUE(storagetest::Patch(name, 280, storagetest::Bytes(h.Bytes.begin(), h.Bytes.end())));
}

// A data page that names itself.
bool WriteTagged(TPageFileManager& pf, std::int32_t pageNo) {
  TCFSPageRec rec;
  pf.InitPageRecord(rec);
  rec.Header.PageType = kPageTypeFileData;
  PutLE32(rec.Buffer.data(), static_cast<std::uint32_t>(pageNo));
  return pf.WritePage(rec, pageNo);
}

bool ReadsTagged(TPageFileManager& pf, std::int32_t pageNo) {
  TCFSPageRec rec;
  pf.InitPageRecord(rec);
  return pf.ReadPage(rec, pageNo) && GetLE32s(rec.Buffer.data()) == pageNo;
}

}  // namespace

TEST(FreeSpaceGeometry, MapSizesAndBoundaries) {
  const auto g = TFreeSpaceGeometry::For(4096, 8);
  EXPECT_EQ(g.D, 4064);
  EXPECT_EQ(g.PB, 4064);
  EXPECT_EQ(g.PX, 4064);
  EXPECT_EQ(g.GB, 4064);
  EXPECT_EQ(g.GX, 32512);
  EXPECT_EQ(g.PFSPageNo(1), 1 + 4064 * 8);
  EXPECT_EQ(g.GAMPageNo(1), 2 + 32512 * 8);
  EXPECT_TRUE(g.IsMapPage(1 + 4064 * 8));
  EXPECT_TRUE(g.IsMapPage(3 + 32512 * 8));
  EXPECT_FALSE(g.IsMapPage(2 + 4064 * 8));
  EXPECT_FALSE(g.IsMapPage(4));

  const auto s = TFreeSpaceGeometry::For(544, 8);
  EXPECT_EQ(s.PB, 512);
  EXPECT_EQ(s.PX, 512);
  EXPECT_EQ(s.GB, 512);
  EXPECT_EQ(s.GX, 4096);
  // Uneven extents: 8D is not a multiple of E, and a GAM page does not cover whole PFS pages.
  const auto odd = TFreeSpaceGeometry::For(544, 3);
  EXPECT_EQ(odd.PB, 511);
  EXPECT_EQ(odd.PX, 1362);
  EXPECT_EQ(odd.GB, 510);
  EXPECT_EQ(odd.GX, 4080);
  auto pf = NewContainer("odd", true, 544, 3);
  EXPECT_NE(ErrorOf([&] { TFreeSpaceManager fs(*pf); }).find("TFreeSpaceManager.Create - unsupported geometry"),
            std::string::npos);
}

TEST(FreeSpace, FirstAllocationsInNewContainer) {
  ScratchDir dir;
  {
    auto pf = NewContainer(dir / "a.cfs");
    TFreeSpaceManager fs(*pf);
    EXPECT_EQ(fs.ExtentCount(), 0);
    EXPECT_EQ(Take(fs, 1, 1, false), std::vector<std::int32_t>{4});
    EXPECT_EQ(pf->Header().PageCount(), 9);
    EXPECT_EQ(pf->Header().PFSPageCount(), 1);
    EXPECT_EQ(pf->Header().GAMPageCount(), 1);
    EXPECT_EQ(ContainerBytes(*pf), 9 * 4096);
    EXPECT_TRUE(fs.IsExtentMixed(0));
    EXPECT_EQ(fs.MixedExtentCount(), 1);
    EXPECT_EQ(fs.FreeExtentCount(), 0);
    // Ordinary requests continue in the mixed extent, in ascending order.
    EXPECT_EQ(Take(fs, 3, 5, false), Range(5, 7));
    const std::vector<std::int32_t> owned{4, 5, 6, 7};
    CheckMaps(*pf, fs, &owned);
    // The map pages are stored with their types and read back by a fresh manager.
    TCFSPageRec rec;
    pf->InitPageRecord(rec);
    ASSERT_TRUE(pf->ReadPage(rec, 1, false, {}, fs.Geometry().PB));
    EXPECT_EQ(rec.Header.PageType, kPageTypePFS);
    ASSERT_TRUE(pf->ReadPage(rec, 2, false, {}, fs.Geometry().GB));
    EXPECT_EQ(rec.Header.PageType, kPageTypeGAM);
    ASSERT_TRUE(pf->ReadPage(rec, 3, false, {}, fs.Geometry().GB));
    EXPECT_EQ(rec.Header.PageType, kPageTypeSGAM);
  }
  auto pf = OpenContainer(dir / "a.cfs");
  TFreeSpaceManager fs(*pf);
  const std::vector<std::int32_t> owned{4, 5, 6, 7};
  CheckMaps(*pf, fs, &owned);
  EXPECT_EQ(Take(fs, 2, 1, false), std::vector<std::int32_t>({8, 9}));
}

TEST(FreeSpace, UniformRequestsTakeWholeExtents) {
  auto pf = NewContainer("u", true);
  TFreeSpaceManager fs(*pf);
  // Extent 0 holds the maps and becomes mixed without serving the request.
  EXPECT_EQ(Take(fs, 1, 1, true), std::vector<std::int32_t>{9});
  EXPECT_EQ(pf->Header().PageCount(), 17);
  EXPECT_TRUE(fs.IsExtentMixed(0));
  EXPECT_FALSE(fs.IsExtentMixed(1));
  EXPECT_FALSE(fs.IsExtentFree(1));
  // A uniform request with a hint continues in the hint's extent, then takes a free extent.
  EXPECT_EQ(Take(fs, 9, 10, true), Range(10, 18));
  // An ordinary request fills the mixed extent 0 first, not the uniform extents.
  // Only 5 pages are left in extent 0; the rest of uniform extent 2 is not used, so the sixth
  // page comes from a new extent.
  EXPECT_EQ(Take(fs, 6, 1, false), std::vector<std::int32_t>({4, 5, 6, 7, 8, 25}));
  std::vector<std::int32_t> owned = Range(4, 18);
  owned.push_back(25);
  CheckMaps(*pf, fs, &owned);
}

TEST(FreeSpace, FreedExtentIsReusedWhole) {
  auto pf = NewContainer("r", true);
  TFreeSpaceManager fs(*pf);
  const auto a = Take(fs, 8, 1, true);  // extent 1: 9..16
  const auto b = Take(fs, 8, 17, true);  // extent 2: 17..24
  EXPECT_EQ(a, Range(9, 16));
  EXPECT_EQ(b, Range(17, 24));
  EXPECT_EQ(fs.FreeExtentCount(), 0);
  // Freeing all but one page of extent 1 does not free the extent.
  Release(fs, Range(9, 15));
  EXPECT_FALSE(fs.IsExtentFree(1));
  EXPECT_EQ(fs.FreeExtentCount(), 0);
  Release(fs, {16});
  EXPECT_TRUE(fs.IsExtentFree(1));
  EXPECT_EQ(fs.FreeExtentCount(), 1);
  // Freeing a free page again changes nothing.
  Release(fs, {16});
  EXPECT_EQ(fs.FreeExtentCount(), 1);
  const std::int32_t pageCount = pf->Header().PageCount();
  EXPECT_EQ(Take(fs, 8, 9, true), Range(9, 16));
  EXPECT_EQ(pf->Header().PageCount(), pageCount);
  std::vector<std::int32_t> owned = Range(9, 24);
  CheckMaps(*pf, fs, &owned);
}

// A hint into an extent whose first page is in use takes free pages from it without changing
// what kind of extent it is.
TEST(FreeSpace, HintIntoAnExtentInUseKeepsItsKind) {
  auto pf = NewContainer("h", true);
  TFreeSpaceManager fs(*pf);
  std::vector<std::int32_t> owned = Take(fs, 16, 9, true);  // extents 1 and 2, uniform
  Release(fs, {12});
  const std::int32_t mixed = fs.MixedExtentCount();
  EXPECT_EQ(Take(fs, 1, 9, false), std::vector<std::int32_t>{12});
  EXPECT_FALSE(fs.IsExtentMixed(1));
  EXPECT_EQ(fs.MixedExtentCount(), mixed);
  CheckMaps(*pf, fs, &owned);
  // Likewise a mixed extent stays mixed when a uniform request hints into it.
  std::vector<std::int32_t> more = Take(fs, 2, 1, false);  // 4, 5 from mixed extent 0
  owned.insert(owned.end(), more.begin(), more.end());
  EXPECT_EQ(Take(fs, 1, 4, true), std::vector<std::int32_t>{6});
  owned.push_back(6);
  EXPECT_TRUE(fs.IsExtentMixed(0));
  CheckMaps(*pf, fs, &owned);
}

TEST(FreeSpace, TrimsOnlyTheReleasedRunAtTheEnd) {
  ScratchDir dir;
  const std::string name = dir / "t.cfs";
  std::vector<std::int32_t> owned;
  {
    auto pf = NewContainer(name);
    TFreeSpaceManager fs(*pf);
    owned = Take(fs, 20, 1, false);  // 4..8, then extents 2 and 3 (9..23)
    EXPECT_EQ(pf->Header().PageCount(), 25);
    // A page in the middle: the length stays.
    Release(fs, {10});
    EXPECT_EQ(ContainerBytes(*pf), 25 * 4096);
    // The run 20..24 ends at the last used page: the file ends just before page 20. Page 18
    // stays: page 19 between is still in use.
    Release(fs, {18, 20, 21, 22, 23});
    EXPECT_EQ(ContainerBytes(*pf), 20 * 4096);
    EXPECT_EQ(pf->Header().PageCount(), 25);  // the trimmed pages remain free pages
    std::erase_if(owned, [](std::int32_t p) { return p == 10 || p == 18 || p >= 20; });
    CheckMaps(*pf, fs, &owned);
  }
  // Closed while trimmed: reopens, hands out the trimmed pages, and they are written before any
  // read (writing extends the file).
  {
    auto pf = OpenContainer(name);
    TFreeSpaceManager fs(*pf);
    CheckMaps(*pf, fs, &owned);
    const auto again = Take(fs, 6, 19, false);
    // The hint's extent first, in ascending order, up to its never used last page.
    EXPECT_EQ(again, std::vector<std::int32_t>({18, 20, 21, 22, 23, 24}));
    TCFSPageRec rec;
    pf->InitPageRecord(rec);
    // Not yet written: the page is beyond the end of the file and is not read.
    EXPECT_FALSE(pf->ReadPage(rec, 23));
    EXPECT_EQ(pf->LastError(), kPageErrHeaderRead);
    rec.Header.PageType = kPageTypeFileData;
    rec.Buffer.assign(rec.Buffer.size(), 0x5A);
    ASSERT_TRUE(pf->WritePage(rec, 23));
    EXPECT_EQ(ContainerBytes(*pf), 24 * 4096);
    ASSERT_TRUE(pf->ReadPage(rec, 23));
    EXPECT_EQ(rec.Buffer[100], 0x5A);
    owned.insert(owned.end(), again.begin(), again.end());
    CheckMaps(*pf, fs, &owned);
    // Everything released: only the maps are left. The file ends before page 11: page 10 was
    // already free, so the released run reaching the end starts at page 11.
    Release(fs, owned);
    owned.clear();
    CheckMaps(*pf, fs, &owned);
    EXPECT_EQ(ContainerBytes(*pf), 11 * 4096);
  }
  auto pf = OpenContainer(name);
  TFreeSpaceManager fs(*pf);
  CheckMaps(*pf, fs, &owned);
  EXPECT_EQ(Take(fs, 1, 1, false), std::vector<std::int32_t>{4});
}

TEST(FreeSpace, RefusesToFreeMapPagesAndPagesBelowTheExtentArea) {
  auto pf = NewContainer("f", true);
  TFreeSpaceManager fs(*pf);
  const auto owned = Take(fs, 3, 1, false);
  for (std::int32_t bad : {0, -1, 1, 2, 3}) {
    TIntegerArray pages = Array({4, bad});
    EXPECT_EQ(ErrorOf([&] { fs.FreePages(pages); }),
              "TFreeSpaceManager.FreePages - invalid page, pageNo = " + std::to_string(bad));
  }
  CheckMaps(*pf, fs, &owned);  // page 4 was not released either
}

// 544-byte pages keep the boundaries small: a PFS page covers 512 extents, a GAM page 4096.
TEST(FreeSpace, NewMapPagesAtTheBoundaries) {
  auto pf = NewContainer("b", true, 544, 8);
  TFreeSpaceManager fs(*pf);
  std::vector<std::int32_t> owned = Take(fs, 5 + 511 * 8, 1, false);
  EXPECT_EQ(fs.ExtentCount(), 512);
  EXPECT_EQ(pf->Header().PFSPageCount(), 1);
  // Extent 512 starts with the second PFS page; ordinary requests use the rest of it.
  auto more = Take(fs, 7, 1, false);
  EXPECT_EQ(more, Range(4098, 4104));
  EXPECT_EQ(pf->Header().PFSPageCount(), 2);
  EXPECT_EQ(fs.PFSPageMap()[1], 4097);
  EXPECT_FALSE(fs.IsPageFree(4097));
  owned.insert(owned.end(), more.begin(), more.end());
  CheckMaps(*pf, fs, &owned);
  // Up to extent 4095 (each PFS page's extent has 7 pages to give), then extent 4096 carries PFS
  // page 8, GAM page 1 and its SGAM page.
  std::int32_t upTo4095 = 0;
  for (std::int32_t e = 513; e < 4096; ++e) upTo4095 += e % 512 == 0 ? 7 : 8;
  more = Take(fs, upTo4095, 1, false);
  owned.insert(owned.end(), more.begin(), more.end());
  EXPECT_EQ(fs.ExtentCount(), 4096);
  EXPECT_EQ(pf->Header().GAMPageCount(), 1);
  more = Take(fs, 1, 1, true);  // uniform: the map extent is skipped
  EXPECT_EQ(more, std::vector<std::int32_t>{1 + 4097 * 8});
  owned.insert(owned.end(), more.begin(), more.end());
  EXPECT_EQ(pf->Header().PFSPageCount(), 9);
  EXPECT_EQ(pf->Header().GAMPageCount(), 2);
  EXPECT_EQ(fs.PFSPageMap()[8], 1 + 4096 * 8);
  EXPECT_EQ(fs.GAMPageMap()[1], 2 + 4096 * 8);
  EXPECT_TRUE(fs.IsExtentMixed(4096));
  CheckMaps(*pf, fs, &owned);
  more = Take(fs, 5, 1, false);
  EXPECT_EQ(more, Range(4 + 4096 * 8, 8 + 4096 * 8));
  owned.insert(owned.end(), more.begin(), more.end());
  CheckMaps(*pf, fs, &owned);
  // The new map pages were written with their types.
  TCFSPageRec rec;
  pf->InitPageRecord(rec);
  ASSERT_TRUE(pf->ReadPage(rec, 3 + 4096 * 8, false, {}, fs.Geometry().GB));
  EXPECT_EQ(rec.Header.PageType, kPageTypeSGAM);
}

// One page per extent: the three map pages of a GAM boundary fill three whole extents.
TEST(FreeSpace, MapPagesSpanningExtents) {
  for (std::int32_t e : {1, 2}) {
    SCOPED_TRACE(e);
    auto pf = NewContainer("s", true, 544, e);
    TFreeSpaceManager fs(*pf);
    ASSERT_EQ(fs.Geometry().GX % fs.Geometry().PX, 0);
    std::vector<std::int32_t> owned = Take(fs, 1, 1, false);
    EXPECT_EQ(owned, std::vector<std::int32_t>{4});
    auto more = Take(fs, 3, 1, true);
    owned.insert(owned.end(), more.begin(), more.end());
    CheckMaps(*pf, fs, &owned);
    // Up to the next GAM boundary and beyond.
    const std::int32_t gx = fs.Geometry().GX;
    more = Take(fs, (gx + 1) * e - fs.ExtentCount() * e, 1, false);
    owned.insert(owned.end(), more.begin(), more.end());
    EXPECT_EQ(pf->Header().GAMPageCount(), 2);
    CheckMaps(*pf, fs, &owned);
    EXPECT_FALSE(std::count(owned.begin(), owned.end(), 2 + gx * e));
  }
}

TEST(FreeSpace, FailedGrowthChangesNothing) {
  ScratchDir dir;
  const std::string name = dir / "ro.cfs";
  {
    auto pf = NewContainer(name);
    TFreeSpaceManager fs(*pf);
    Take(fs, 5 + 8 * 7, 1, false);  // extents 0..7 full
  }
  auto pf = OpenContainer(name, 0);  // read-only: the file cannot grow
  TFreeSpaceManager fs(*pf);
  const auto pfsBefore = fs.PFSBitmap();
  const auto gamBefore = fs.GAMBitmap();
  const auto sgamBefore = fs.SGAMBitmap();
  TIntegerArray pages;
  // Enough to cross the next PFS page boundary, so the header counts would change too.
  EXPECT_FALSE(fs.GetPages(4064 * 8, 1, pages, false));
  EXPECT_EQ(pages.Count(), 0);
  EXPECT_EQ(fs.ExtentCount(), 8);
  EXPECT_EQ(pf->Header().PFSPageCount(), 1);
  EXPECT_EQ(pf->Header().GAMPageCount(), 1);
  EXPECT_EQ(fs.PFSPageMap().Count(), 1);
  EXPECT_EQ(fs.PFSBitmap(), pfsBefore);
  EXPECT_EQ(fs.GAMBitmap(), gamBefore);
  EXPECT_EQ(fs.SGAMBitmap(), sgamBefore);
  CheckMaps(*pf, fs);
}

TEST(FreeSpace, DamagedMapsAndHeaders) {
  ScratchDir dir;
  const std::string name = dir / "d.cfs";
  {
    auto pf = NewContainer(name);
    TFreeSpaceManager fs(*pf);
    Take(fs, 20, 1, false);
  }
  const storagetest::Bytes good = storagetest::ReadAll(name);
  auto openError = [&] {
    return ErrorOf([&] {
      auto pf = OpenContainer(name);
      TFreeSpaceManager fs(*pf);
    });
  };
  EXPECT_EQ(openError(), "<no error>");
  // A changed bit in a map page fails its checksum.
  for (auto [page, message] : {std::pair{1, "TFreeSpaceManager.LoadPFS - can not load page, pageNo = 1"},
                               std::pair{2, "TFreeSpaceManager.LoadGAM - can not load page, pageNo = 2"},
                               std::pair{3, "TFreeSpaceManager.LoadGAM - can not load SGAM page, pageNo = 2"}}) {
    ASSERT_TRUE(storagetest::WriteAll(name, good));
    storagetest::Bytes raw = good;
    raw[static_cast<std::size_t>(280 + page * 4096 + 32 + 1)] ^= 0x10;
    ASSERT_TRUE(storagetest::WriteAll(name, raw));
    EXPECT_EQ(openError(), message);
  }
  // A map page of the wrong type.
  ASSERT_TRUE(storagetest::WriteAll(name, good));
  ASSERT_TRUE(storagetest::Patch(name, 280 + 4096 + 8, {kPageTypeGAM}));
  EXPECT_EQ(openError(), "TFreeSpaceManager.LoadPFS - can not load page, pageNo = 1");
  // Map counts that do not cover the extents, or more map pages than extents.
  ASSERT_TRUE(storagetest::WriteAll(name, good));
  PatchHeader(name, 32, 0);
  EXPECT_EQ(openError(), "TFreeSpaceManager.Create - PFSPageCount * FPageSize < FExtentCount!");
  ASSERT_TRUE(storagetest::WriteAll(name, good));
  PatchHeader(name, 28, 0);
  EXPECT_EQ(openError(), "TFreeSpaceManager.Create - GAMPageCount * FPageSize < FExtentCount!");
  ASSERT_TRUE(storagetest::WriteAll(name, good));
  PatchHeader(name, 32, 2);
  EXPECT_EQ(openError(), "TFreeSpaceManager.Create - PFSPageCount = 2, GAMPageCount = 1 do not match FExtentCount = 3!");
  // Map counts that fit a page count of 4065 extents, whose second PFS page would lie far
  // beyond the end of the file: refused before the maps are allocated or read.
  ASSERT_TRUE(storagetest::WriteAll(name, good));
  PatchHeader(name, 48, 1 + 4065 * 8);
  PatchHeader(name, 32, 2);
  EXPECT_EQ(openError(), "TFreeSpaceManager.Create - allocation map pages lie beyond the end of the file!");
  // A page count claiming far more extents than the maps can cover.
  ASSERT_TRUE(storagetest::WriteAll(name, good));
  PatchHeader(name, 48, 2000000000);
  EXPECT_EQ(openError(), "TFreeSpaceManager.Create - PFSPageCount * FPageSize < FExtentCount!");
}

// Random requests and releases, checking after each step that the maps agree with each other
// and with the pages handed out, and that a reopened container has the same maps.
TEST(FreeSpace, RandomizedAllocateAndFree) {
  ScratchDir dir;
  const std::string name = dir / "rnd.cfs";
  std::mt19937 rng(12345);
  std::vector<std::int32_t> owned;
  std::vector<std::uint8_t> pfs, gam, sgam;
  {
    auto pf = NewContainer(name, false, 544, 8);
    TFreeSpaceManager fs(*pf);
    for (int step = 0; step < 400; ++step) {
      if (owned.empty() || rng() % 3 != 0) {
        const std::int32_t n = 1 + static_cast<std::int32_t>(rng() % 20);
        const std::int32_t hint = owned.empty() ? 1 : owned[rng() % owned.size()] + 1;
        TIntegerArray pages;
        ASSERT_TRUE(fs.GetPages(n, hint, pages, rng() % 2 == 0));
        ASSERT_EQ(pages.Count(), n);
        // Like every caller, write the pages handed out (trimmed ones come back this way).
        for (auto p : List(pages)) {
          owned.push_back(p);
          ASSERT_TRUE(WriteTagged(*pf, p));
        }
      } else {
        std::shuffle(owned.begin(), owned.end(), rng);
        const std::size_t n = 1 + rng() % std::min<std::size_t>(owned.size(), 30);
        std::vector<std::int32_t> gone(owned.end() - static_cast<std::ptrdiff_t>(n), owned.end());
        owned.resize(owned.size() - n);
        Release(fs, gone);
        // The file never ends before the last page in use.
        ASSERT_GE(ContainerBytes(*pf), (std::int64_t(fs.LastUsedPage()) + 1) * 544);
      }
      CheckMaps(*pf, fs, &owned);
      if (HasFatalFailure()) return;
    }
    pfs = fs.PFSBitmap();
    gam = fs.GAMBitmap();
    sgam = fs.SGAMBitmap();
  }
  auto pf = OpenContainer(name);
  TFreeSpaceManager fs(*pf);
  EXPECT_EQ(fs.PFSBitmap(), pfs);
  EXPECT_EQ(fs.GAMBitmap(), gam);
  EXPECT_EQ(fs.SGAMBitmap(), sgam);
  CheckMaps(*pf, fs, &owned);
  // No trimming ever cut a page in use.
  for (auto p : owned) EXPECT_TRUE(ReadsTagged(*pf, p)) << p;
}
