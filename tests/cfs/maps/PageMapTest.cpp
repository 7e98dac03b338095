// Page maps of stored files: first pages, page counts at the size and chain boundaries, growth
// and shrinking, persistence, the cache, damaged chains and a randomized run against the
// allocation maps.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "cfs/file/CFSLittleEndian.h"
#include "cfs/maps/UserFilePageMapManager.h"
#include "platform/Exception.h"
#include "tests/cfs/space/SpaceTestUtil.h"

using namespace spacetest;
using storagetest::ErrorOf;
using storagetest::ScratchDir;

namespace {

// The engine below the streams: page file, free space and page maps.
struct Engine {
  std::unique_ptr<TPageFileManager> pf;
  std::unique_ptr<TFreeSpaceManager> fs;
  std::unique_ptr<TUserFilePageMapManager> maps;

  explicit Engine(std::unique_ptr<TPageFileManager> pageFile) : pf(std::move(pageFile)) {
    fs = std::make_unique<TFreeSpaceManager>(*pf);
    maps = std::make_unique<TUserFilePageMapManager>(*pf, *fs);
  }
  // Fresh caches, as after reopening.
  void ResetMaps() { maps = std::make_unique<TUserFilePageMapManager>(*pf, *fs); }
};

TCFSDirItem NewFile() {
  TCFSDirItem f;
  f.FirstMapPageNo = -1;
  f.Size = 0;
  return f;
}

std::pair<std::vector<std::int32_t>, std::vector<std::int32_t>> Maps(Engine& e, const TCFSDirItem& f) {
  TIntegerArray* m = nullptr;
  TIntegerArray* d = nullptr;
  e.maps->GetMaps(f, m, d);
  return {List(*m), List(*d)};
}

// Sets the size as a caller does: pages first, then the stored size.
void Resize(Engine& e, TCFSDirItem& f, std::int64_t size) {
  ASSERT_TRUE(e.maps->SetFileSize(f, true, size));
  f.Size = size;
}

// Every page the files own (map and data pages), for CheckMaps.
std::vector<std::int32_t> Owned(Engine& e, const std::vector<TCFSDirItem>& files) {
  std::vector<std::int32_t> owned;
  for (const auto& f : files) {
    if (f.FirstMapPageNo == -1) continue;
    auto [m, d] = Maps(e, f);
    owned.insert(owned.end(), m.begin(), m.end());
    owned.insert(owned.end(), d.begin(), d.end());
  }
  return owned;
}

void WriteMapPage(TPageFileManager& pf, std::int32_t pageNo, std::int32_t next, const std::vector<std::int32_t>& entries,
                  std::uint8_t type = kPageTypeFileMap) {
  TCFSPageRec rec;
  pf.InitPageRecord(rec);
  rec.Header.PageType = type;
  rec.Header.NextPage = next;
  for (std::size_t i = 0; i < entries.size(); ++i)
    PutLE32(rec.Buffer.data() + 4 * i, static_cast<std::uint32_t>(entries[i]));
  ASSERT_TRUE(pf.WritePage(rec, pageNo));
}

std::pair<std::int32_t, std::vector<std::int32_t>> ReadMapPage(TPageFileManager& pf, std::int32_t pageNo,
                                                               std::size_t count) {
  TCFSPageRec rec;
  pf.InitPageRecord(rec);
  EXPECT_TRUE(pf.ReadPage(rec, pageNo));
  EXPECT_EQ(rec.Header.PageType, kPageTypeFileMap);
  std::vector<std::int32_t> entries;
  for (std::size_t i = 0; i < count; ++i) entries.push_back(GetLE32s(rec.Buffer.data() + 4 * i));
  return {rec.Header.NextPage, entries};
}

}  // namespace

TEST(PageMaps, FirstFileTakesMapAndDataPageAfterTheDirectory) {
  Engine e(NewContainer("first", true));
  TIntegerArray dir;
  ASSERT_TRUE(e.fs->GetPages(1, 1, dir, false));
  ASSERT_EQ(List(dir), std::vector<std::int32_t>{4});
  TCFSDirItem f = NewFile();
  ASSERT_TRUE(e.maps->AppendPages(f, 1, true));
  EXPECT_EQ(f.FirstMapPageNo, 5);
  EXPECT_EQ(Maps(e, f).second, std::vector<std::int32_t>{6});
  auto [next, entries] = ReadMapPage(*e.pf, 5, 2);
  EXPECT_EQ(next, -1);
  EXPECT_EQ(entries, std::vector<std::int32_t>({6, 0}));
  TCFSPageRec rec;
  e.pf->InitPageRecord(rec);
  ASSERT_TRUE(e.pf->ReadPage(rec, 6));
  EXPECT_EQ(rec.Header.PageType, kPageTypeFileData);
  EXPECT_EQ(std::count(rec.Buffer.begin(), rec.Buffer.end(), 0), 4064);

  EXPECT_EQ(ErrorOf([&] { e.maps->AppendPages(f, 0, true); }),
            "TUserFilePageMapManager.AppendPages - PageCount <= 0.");
  TCFSDirItem none = NewFile();
  EXPECT_EQ(ErrorOf([&] { Maps(e, none); }), "TUserFilePageMapManager.GetMaps - Invalid parameter FileRec.FirstMapPageNo");
  EXPECT_EQ(ErrorOf([&] { e.maps->DeletePagesFromEOF(none, 1); }),
            "TUserFilePageMapManager.DeletePagesFromEOF - File map not exists.");
}

TEST(PageMaps, PageCountsAndRangesAtThePageBoundary) {
  Engine e(NewContainer("sizes", true));
  EXPECT_EQ(e.maps->PagesForSize(0), 0);
  EXPECT_EQ(e.maps->PagesForSize(1), 1);
  EXPECT_EQ(e.maps->PagesForSize(4064), 1);
  EXPECT_EQ(e.maps->PagesForSize(4065), 2);
  EXPECT_EQ(e.maps->PagesForSize(1016LL * 4064), 1016);
  EXPECT_NE(ErrorOf([&] { e.maps->PagesForSize(std::int64_t(1) << 50); }), "<no error>");

  TCFSDirItem f = NewFile();
  Resize(e, f, 4064);
  EXPECT_EQ(Maps(e, f).second.size(), 1u);
  TIntegerArray pages;
  ASSERT_TRUE(e.maps->GetRangePages(f, false, pages, 4064, 0));
  EXPECT_EQ(pages.Count(), 1);  // the range ends with the file
  Resize(e, f, 4065);
  const auto data = Maps(e, f).second;
  ASSERT_EQ(data.size(), 2u);
  ASSERT_TRUE(e.maps->GetRangePages(f, false, pages, 4064, 0));
  EXPECT_EQ(List(pages), data);  // ends on a page boundary inside the file: the next page too
  ASSERT_TRUE(e.maps->GetRangePages(f, false, pages, 1, 4064));
  EXPECT_EQ(List(pages), std::vector<std::int32_t>{data[1]});
  // Without growing, a range beyond the end lists what exists.
  ASSERT_TRUE(e.maps->GetRangePages(f, false, pages, 10000, 4000));
  EXPECT_EQ(List(pages), data);
  ASSERT_TRUE(e.maps->GetRangePages(f, false, pages, 10, 9000));
  EXPECT_EQ(pages.Count(), 0);
  // Growing: the file gets the pages and the caller stores the size.
  ASSERT_TRUE(e.maps->GetRangePages(f, true, pages, 100, 3 * 4064 + 10));
  f.Size = 3 * 4064 + 110;
  EXPECT_EQ(pages.Count(), 1);
  EXPECT_EQ(Maps(e, f).second.size(), 4u);
  EXPECT_EQ(pages[0], Maps(e, f).second[3]);
  // Shrinking one byte into the previous page.
  Resize(e, f, 3 * 4064);
  EXPECT_EQ(Maps(e, f).second.size(), 3u);
  std::vector<std::int32_t> owned = Owned(e, {f});
  CheckMaps(*e.pf, *e.fs, &owned);
}

TEST(PageMaps, SecondMapPageAt1017PagesAndShrinkingToZero) {
  ScratchDir dir;
  const std::string name = dir / "chain.cfs";
  TCFSDirItem f = NewFile();
  std::vector<std::int32_t> data1017;
  {
    Engine e(NewContainer(name));
    Resize(e, f, 1016LL * 4064);
    auto [m, d] = Maps(e, f);
    ASSERT_EQ(m.size(), 1u);
    ASSERT_EQ(d.size(), 1016u);
    EXPECT_EQ(ReadMapPage(*e.pf, m[0], 0).first, -1);
    Resize(e, f, 1016LL * 4064 + 1);
    std::tie(m, d) = Maps(e, f);
    ASSERT_EQ(m.size(), 2u);
    ASSERT_EQ(d.size(), 1017u);
    // The first map page was rewritten to link the second, which lists the 1017th page.
    auto [next0, entries0] = ReadMapPage(*e.pf, m[0], 1016);
    EXPECT_EQ(next0, m[1]);
    EXPECT_EQ(entries0, std::vector<std::int32_t>(d.begin(), d.begin() + 1016));
    auto [next1, entries1] = ReadMapPage(*e.pf, m[1], 1);
    EXPECT_EQ(next1, -1);
    EXPECT_EQ(entries1[0], d[1016]);
    data1017 = d;
    std::vector<std::int32_t> owned = Owned(e, {f});
    CheckMaps(*e.pf, *e.fs, &owned);
  }
  Engine e(OpenContainer(name));
  EXPECT_EQ(Maps(e, f).second, data1017);
  // Back to one map page: the second is released and the first ends the chain again.
  Resize(e, f, 1016LL * 4064);
  auto [m, d] = Maps(e, f);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(ReadMapPage(*e.pf, m[0], 0).first, -1);
  e.ResetMaps();
  EXPECT_EQ(Maps(e, f).second, std::vector<std::int32_t>(data1017.begin(), data1017.begin() + 1016));
  // Size 0: every page goes, the file is cut back to the allocation maps.
  Resize(e, f, 0);
  EXPECT_EQ(f.FirstMapPageNo, -1);
  const std::vector<std::int32_t> none;
  CheckMaps(*e.pf, *e.fs, &none);
  EXPECT_EQ(ContainerBytes(*e.pf), 4 * 4096);
}

TEST(PageMaps, EmptyFileOwningAMapPageReleasesIt) {
  Engine e(NewContainer("empty", true));
  // A file of size 0 that still names its map page, as a failed write can leave it.
  TIntegerArray page;
  ASSERT_TRUE(e.fs->GetPages(1, 1, page, false));
  e.maps->SaveMaps(0, 1, TIntegerArray(), page);
  TCFSDirItem f = NewFile();
  f.FirstMapPageNo = page[0];
  EXPECT_EQ(Maps(e, f).first, std::vector<std::int32_t>{page[0]});
  EXPECT_EQ(Maps(e, f).second.size(), 0u);
  ASSERT_TRUE(e.maps->SetFileSize(f, true, 0));
  EXPECT_EQ(f.FirstMapPageNo, -1);
  EXPECT_TRUE(e.fs->IsPageFree(page[0]));
  const std::vector<std::int32_t> none;
  CheckMaps(*e.pf, *e.fs, &none);
}

TEST(PageMaps, MapsPersistAcrossReopen) {
  ScratchDir dir;
  const std::string name = dir / "persist.cfs";
  std::vector<TCFSDirItem> files(5, NewFile());
  std::map<std::int32_t, std::pair<std::vector<std::int32_t>, std::vector<std::int32_t>>> lists;
  {
    Engine e(NewContainer(name, false, 544, 8));
    const std::int64_t sizes[] = {1, 512, 513, 128 * 512 + 1, 300 * 512};
    for (std::size_t i = 0; i < files.size(); ++i) Resize(e, files[i], sizes[i]);
    Resize(e, files[1], 5000);  // interleaved growth
    for (const auto& f : files) lists[f.FirstMapPageNo] = Maps(e, f);
  }
  Engine e(OpenContainer(name));
  for (const auto& f : files) EXPECT_EQ(Maps(e, f), lists[f.FirstMapPageNo]);
  std::vector<std::int32_t> owned = Owned(e, files);
  CheckMaps(*e.pf, *e.fs, &owned);
}

TEST(PageMaps, CacheIsEmptiedBeyondAHundredFiles) {
  Engine e(NewContainer("cache", true, 544, 8));
  std::vector<TCFSDirItem> files(101, NewFile());
  for (auto& f : files) Resize(e, f, 100);
  EXPECT_EQ(e.maps->CachedFileCount(), 101);
  // Change file 0's chain behind the cache's back: only a fresh read sees it.
  TIntegerArray spare;
  ASSERT_TRUE(e.fs->GetPages(1, 1, spare, false));
  WriteMapPage(*e.pf, files[0].FirstMapPageNo, -1, {spare[0]});
  EXPECT_EQ(Maps(e, files[0]).second, std::vector<std::int32_t>{spare[0]});
  EXPECT_EQ(e.maps->CachedFileCount(), 1);
  EXPECT_TRUE(e.maps->IsCached(files[0].FirstMapPageNo));
  EXPECT_FALSE(e.maps->IsCached(files[1].FirstMapPageNo));
}

// Hundreds of files written the way the streams write them: pages for a range, then the size.
// Emptying the cache in the middle of a range request must not lose the pages just appended.
TEST(PageMaps, NoPagesLostWhenTheCacheIsEmptiedWhileAFileGrows) {
  ScratchDir dir;
  const std::string name = dir / "many.cfs";
  std::vector<TCFSDirItem> files(320, NewFile());
  std::map<std::int32_t, std::vector<std::int32_t>> data;
  {
    Engine e(NewContainer(name, false, 544, 8));
    TIntegerArray pages;
    for (std::size_t i = 0; i < files.size(); ++i) {
      auto& f = files[i];
      ASSERT_TRUE(e.maps->GetRangePages(f, true, pages, 700, 0));
      ASSERT_EQ(pages.Count(), 2) << "file " << i;
      f.Size = 700;
      // A second write grows the file while other files' lists are cached.
      ASSERT_TRUE(e.maps->GetRangePages(f, true, pages, 600, 700));
      ASSERT_EQ(pages.Count(), 2) << "file " << i;
      f.Size = 1300;
    }
    std::vector<std::int32_t> owned = Owned(e, files);
    EXPECT_EQ(owned.size(), files.size() * 4);  // 1 map page and 3 data pages each
    CheckMaps(*e.pf, *e.fs, &owned);
    for (const auto& f : files) data[f.FirstMapPageNo] = Maps(e, f).second;
  }
  Engine e(OpenContainer(name));
  for (const auto& f : files) ASSERT_EQ(Maps(e, f).second, data[f.FirstMapPageNo]);
  std::vector<std::int32_t> owned = Owned(e, files);
  CheckMaps(*e.pf, *e.fs, &owned);
}

TEST(PageMaps, DamagedChainsAreRefused) {
  // 544-byte pages: 128 entries per map page; a file of 130 pages has two map pages.
  Engine e(NewContainer("damaged", true, 544, 8));
  TCFSDirItem f = NewFile();
  Resize(e, f, 130 * 512);
  const auto [m, d] = Maps(e, f);
  ASSERT_EQ(m.size(), 2u);
  const std::string chainError = "TUserFilePageMapManager.GetMaps - Invalid page No in map chain.";
  const std::string readError = "TUserFilePageMapManager.GetMaps - Error on reading map page.";
  auto fresh = [&](const TCFSDirItem& item) {
    e.ResetMaps();
    return ErrorOf([&] { Maps(e, item); });
  };
  EXPECT_EQ(fresh(f), "<no error>");
  // First map page outside the container, at page 0, or on an allocation map page.
  for (std::int32_t bad : {0, 1, 3, e.pf->Header().PageCount(), 1 << 30}) {
    TCFSDirItem g = f;
    g.FirstMapPageNo = bad;
    EXPECT_EQ(fresh(g), chainError) << bad;
  }
  // A size that needs more pages than the container holds.
  TCFSDirItem huge = f;
  huge.Size = std::int64_t(1) << 40;
  EXPECT_EQ(fresh(huge), "TUserFilePageMapManager.GetMaps - file size 1099511627776 does not fit the container.");
  // The chain ends too early.
  std::vector<std::int32_t> first(d.begin(), d.begin() + 128);
  WriteMapPage(*e.pf, m[0], -1, first);
  EXPECT_EQ(fresh(f), chainError);
  // The chain loops back to its start.
  WriteMapPage(*e.pf, m[0], m[0], first);
  EXPECT_EQ(fresh(f), chainError);
  // The chain leads outside the container.
  WriteMapPage(*e.pf, m[0], 1 << 30, first);
  EXPECT_EQ(fresh(f), chainError);
  // A data page number outside the container, or naming a map page of the file.
  std::vector<std::int32_t> badEntries = first;
  badEntries[5] = -7;
  WriteMapPage(*e.pf, m[0], m[1], badEntries);
  EXPECT_EQ(fresh(f), chainError);
  badEntries[5] = m[1];
  WriteMapPage(*e.pf, m[0], m[1], badEntries);
  EXPECT_EQ(fresh(f), chainError);
  // Not a map page, or a stored page that fails its checksum.
  WriteMapPage(*e.pf, m[0], m[1], first, kPageTypeFileData);
  EXPECT_EQ(fresh(f), readError);
  WriteMapPage(*e.pf, m[0], m[1], first);
  EXPECT_EQ(fresh(f), "<no error>");
  TCFSPageRec rec;
  e.pf->InitPageRecord(rec);
  ASSERT_TRUE(e.pf->ReadPage(rec, m[1]));
  rec.Header.DataChecksum ^= 1;
  ASSERT_TRUE(e.pf->WritePage(rec, m[1], {}, 0));  // header only: the data no longer matches
  EXPECT_EQ(fresh(f), readError);
}

TEST(PageMaps, NoFreePageLeavesTheFileAsItWas) {
  ScratchDir dir;
  const std::string name = dir / "full.cfs";
  TCFSDirItem f = NewFile();
  {
    Engine e(NewContainer(name));
    Resize(e, f, 4064);  // map page 4 and data page 5
    TIntegerArray rest;
    ASSERT_TRUE(e.fs->GetPages(3, 1, rest, false));  // extent 0 full
  }
  Engine e(OpenContainer(name, 0));  // read-only: the container cannot grow
  const auto pfs = e.fs->PFSBitmap();
  TCFSDirItem g = NewFile();
  EXPECT_FALSE(e.maps->AppendPages(g, 1, true));
  EXPECT_EQ(e.maps->LastError(), kCFSErrNoFreePage);
  EXPECT_EQ(g.FirstMapPageNo, -1);
  EXPECT_FALSE(e.maps->SetFileSize(f, true, 3 * 4064));
  EXPECT_EQ(e.maps->LastError(), kCFSErrNoFreePage);
  EXPECT_EQ(Maps(e, f).second.size(), 1u);
  TIntegerArray pages;
  EXPECT_FALSE(e.maps->GetRangePages(f, true, pages, 10, 4064));
  EXPECT_EQ(e.pf->Header().PageCount(), 9);
  EXPECT_EQ(e.fs->PFSBitmap(), pfs);
}

// Random sizes for a few files, checking after each step that no page is owned twice, that the
// maps mark exactly the owned pages used, and at the end that a reopened container gives the
// same lists.
TEST(PageMaps, RandomizedSizes) {
  ScratchDir dir;
  const std::string name = dir / "rnd.cfs";
  std::mt19937 rng(777);
  std::vector<TCFSDirItem> files(6, NewFile());
  std::map<std::int32_t, std::vector<std::int32_t>> data;
  {
    Engine e(NewContainer(name, false, 544, 8));
    for (int step = 0; step < 250; ++step) {
      auto& f = files[rng() % files.size()];
      const std::uint32_t kind = rng() % 10;
      const std::int64_t size = kind == 0 ? 0 : kind < 4 ? rng() % 2000 : rng() % (300 * 512);
      if (rng() % 2) {
        Resize(e, f, size);
      } else {
        TIntegerArray pages;
        ASSERT_TRUE(e.maps->GetRangePages(f, true, pages, static_cast<std::int32_t>(size / 2), size / 2));
        f.Size = std::max(f.Size, size / 2 * 2);
      }
      if (f.FirstMapPageNo != -1) {
        ASSERT_EQ(Maps(e, f).second.size(), std::size_t(e.maps->PagesForSize(f.Size)));
      }
      std::vector<std::int32_t> owned = Owned(e, files);
      CheckMaps(*e.pf, *e.fs, &owned);
      if (HasFatalFailure()) return;
    }
    for (const auto& f : files)
      if (f.FirstMapPageNo != -1) data[f.FirstMapPageNo] = Maps(e, f).second;
  }
  Engine e(OpenContainer(name));
  for (const auto& f : files) {
    if (f.FirstMapPageNo != -1) {
      EXPECT_EQ(Maps(e, f).second, data[f.FirstMapPageNo]);
    }
  }
  std::vector<std::int32_t> owned = Owned(e, files);
  CheckMaps(*e.pf, *e.fs, &owned);
}
