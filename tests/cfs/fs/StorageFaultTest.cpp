// The container over storage files that fail: a full disk, a write that fails during an import,
// during the header save or while the file grows, and failed reads. Whatever was stored before
// the fault must come back whole from a container that still opens.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "cfs/fs/CFSAdvancedFileStream.h"
#include "tests/cfs/file/FaultyStorage.h"
#include "tests/cfs/fs/FSTestUtil.h"

using namespace storagetest;
using namespace fstest;

namespace {

constexpr std::int64_t kWrap = 280;  // the container starts behind the wrapper header
constexpr std::int32_t D = 4064;

using Stored = std::map<std::string, Bytes>;

std::unique_ptr<TContainerFS> CreateOn(const TCFSStorageFactory& storage, const std::string& name) {
  return std::make_unique<TContainerFS>(storage, name, kModeCreate, "", "", "", 9);
}

// The container on disk, opened without faults.
std::unique_ptr<TContainerFS> Reopen(const std::string& name) {
  return std::make_unique<TContainerFS>(name, 2, "", "", "", 0);
}

std::int64_t BytesOnDisk(TContainerFS& fs) { return kWrap + fs.PageFile().File().GetSize(); }

void ExpectStored(TContainerFS& fs, const Stored& stored) {
  for (const auto& [name, data] : stored) EXPECT_EQ(ReadWhole(fs, name), data) << name;
  ExpectPagesConsistent(fs);
}

// An imported file the fault interrupted is either whole or not there at all.
void ExpectImportedWholeOrAbsent(TContainerFS& fs, const Stored& attempted) {
  for (const auto& [name, data] : attempted) {
    if (!fs.FileExists(name)) continue;
    TCFSAdvancedFileStream stream(&fs, name, 0, "", "", "", 0);
    Bytes got(static_cast<std::size_t>(stream.GetSize()));
    EXPECT_EQ(stream.Read(got.data(), std::int32_t(got.size())), std::int32_t(got.size())) << name;
    EXPECT_EQ(got, data) << name;
  }
}

}  // namespace

TEST(StorageFaults, FullDiskKeepsWhatIsStored) {
  ScratchDir tmp;
  const std::string name = tmp / "c.cfs";
  auto faults = std::make_shared<StorageFaults>();
  const Stored stored{{"first", Pattern(50000, 11)}};
  auto fs = CreateOn(FaultyDisk(faults), name);
  WriteWhole(*fs, "first", stored.at("first"));
  int diskFull = 0;
  fs->OnDiskFull.Handler = [&](void*, TContainerFS&) { ++diskFull; };
  faults->sizeLimit = BytesOnDisk(*fs) + 64 * 1024;

  const std::int32_t h = fs->FileOpen("big", kModeCreate, "", "", "");
  ASSERT_GE(h, 0);
  const Bytes chunk = Pattern(D * 3, 12);
  std::int64_t written = 0;
  for (int i = 0; i < 100 && diskFull == 0; ++i) written += fs->FileWrite(h, chunk.data(), std::int32_t(chunk.size()));
  EXPECT_EQ(diskFull, 1);
  EXPECT_EQ(fs->LastError(), -17);
  EXPECT_GT(written, 0);
  EXPECT_EQ(fs->FileSeek(h, 2, 0), written);
  // No new file item once the directory page is full and no page is left.
  std::int32_t created = 0;
  for (int i = 0; i < 20; ++i) created = fs->FileCreate("n" + std::to_string(i), "", "", "");
  EXPECT_EQ(created, -1);
  EXPECT_EQ(fs->LastError(), -17);
  EXPECT_GE(diskFull, 2);
  const std::int32_t hs = fs->FileOpen("first", 2, "", "", "");
  EXPECT_EQ(fs->FileSetSize(hs, 10'000'000), -17);
  fs->FileClose(hs);
  fs->FileClose(h);
  ExpectPagesConsistent(*fs);
  fs.reset();

  fs = Reopen(name);
  ExpectStored(*fs, stored);
  const Bytes big = ReadWhole(*fs, "big");
  ASSERT_EQ(std::int64_t(big.size()), written);
  for (std::int64_t i = 0; i < written; i += std::int64_t(chunk.size()))
    EXPECT_TRUE(std::equal(big.begin() + i, big.begin() + std::min<std::int64_t>(i + chunk.size(), written), chunk.begin()));
}

// A full disk (writes cut short), a write that fails outright, and a file that cannot grow, each
// hitting an import part way.
TEST(StorageFaults, FailedWritesDuringImportLoseNothingStored) {
  enum Fault { kFullDisk, kFailedWrite, kNoGrowth };
  for (Fault fault : {kFullDisk, kFailedWrite, kNoGrowth}) {
    SCOPED_TRACE(fault);
    ScratchDir tmp;
    const std::string name = tmp / "c.cfs";
    Stored imported;
    for (int i = 0; i < 4; ++i) {
      const std::string file = "imp" + std::to_string(i) + ".dat";
      imported[file] = Pattern(30000 + 5000 * i, 40 + i);
      ASSERT_TRUE(WriteAll(tmp / file, imported[file]));
    }
    auto faults = std::make_shared<StorageFaults>();
    const Stored stored{{"first", Pattern(50000, 21)}};
    auto fs = CreateOn(FaultyDisk(faults), name);
    WriteWhole(*fs, "first", stored.at("first"));
    const std::int64_t end = BytesOnDisk(*fs);
    if (fault == kFullDisk) faults->sizeLimit = end + 40000;
    if (fault == kFailedWrite) faults->failWriteAt = end + 40000;
    if (fault == kNoGrowth) faults->failSetSize = true;

    fs->ImportFiles(tmp / "imp*.dat", "", platform::kAttrAnyFile, false, TExistingFiles::Overwrite, false);
    EXPECT_GT(faults->hits, 0);
    EXPECT_FALSE(fs->ImportFailures().empty());
    ExpectStored(*fs, stored);
    ExpectImportedWholeOrAbsent(*fs, imported);
    fs.reset();

    fs = Reopen(name);
    ExpectStored(*fs, stored);
    ExpectImportedWholeOrAbsent(*fs, imported);
  }
}

// The container header is rewritten when an item is added and when the container grows; when
// that write fails the change raises or reports the failure, and the header left on disk must
// still describe a whole container.
TEST(StorageFaults, FailedHeaderSaveLeavesAnOpenableContainer) {
  // With 7 items the directory page is full and the new item needs a page of its own.
  for (int items : {2, 7}) {
    SCOPED_TRACE(items);
    ScratchDir tmp;
    const std::string name = tmp / "c.cfs";
    auto faults = std::make_shared<StorageFaults>();
    Stored stored{{"first", Pattern(50000, 31)}, {"second", Pattern(100, 32)}};
    for (int i = 2; i < items; ++i) stored["f" + std::to_string(i)] = Pattern(10, i);
    auto fs = CreateOn(FaultyDisk(faults), name);
    for (const auto& [file, data] : stored) WriteWhole(*fs, file, data);
    faults->failWriteAt = kWrap;  // the first byte of the container header

    const Bytes more = Pattern(200000, 33);
    const auto store = [&](const std::string& file, std::uint16_t mode) {
      const std::int32_t h = fs->FileOpen(file, mode, "", "", "");
      if (h < 0) return;
      fs->FileSeek(h, 2, 0);
      fs->FileWrite(h, more.data(), std::int32_t(more.size()));
      fs->FileClose(h);
    };
    ErrorOf([&] { store("more", kModeCreate); });
    const int afterCreate = faults->hits;
    EXPECT_GT(afterCreate, 0);
    EXPECT_FALSE(fs->FileExists("more"));
    // An item that exists already: only the growth saves the header.
    ErrorOf([&] { store("second", 2); });
    EXPECT_GT(faults->hits, afterCreate);
    ExpectPagesConsistent(*fs);
    fs.reset();

    fs = Reopen(name);
    const Bytes second = ReadWhole(*fs, "second");
    ASSERT_GE(second.size(), 100u);
    EXPECT_TRUE(std::equal(stored["second"].begin(), stored["second"].end(), second.begin()));
    stored.erase("second");
    ExpectStored(*fs, stored);
  }
}

// Failed reads are errors, never data: opening names the damage, a page read reports it and
// reads nothing beyond it, and the same read succeeds once the storage does.
TEST(StorageFaults, FailedReadsAreReported) {
  ScratchDir tmp;
  const std::string name = tmp / "c.cfs";
  const Bytes data = Pattern(3 * D, 41);
  std::int32_t second = -1;
  {
    auto fs = CreateOn(TCFSStorageFactory::Disk(), name);
    WriteWhole(*fs, "f", data);
    TIntegerArray* maps = nullptr;
    TIntegerArray* pages = nullptr;
    fs->PageMaps().GetMaps(fs->Directory().ReadItem(0), maps, pages);
    ASSERT_EQ(pages->Count(), 3);
    second = (*pages)[1];
  }
  auto faults = std::make_shared<StorageFaults>();
  faults->failReadAt = kWrap + 10;
  const std::string error = ErrorOf([&] { TContainerFS(FaultyDisk(faults), name, 2, "", "", "", 0); });
  EXPECT_NE(error.find("read error"), std::string::npos) << error;
  EXPECT_GT(faults->hits, 0);

  faults->failReadAt = kWrap + std::int64_t(second) * 4096 + 100;
  TContainerFS fs(FaultyDisk(faults), name, 2, "", "", "", 0);
  const std::int32_t h = fs.FileOpen("f", 0, "", "", "");
  ASSERT_GE(h, 0);
  Bytes got(data.size());
  EXPECT_EQ(fs.FileRead(h, got.data(), std::int32_t(got.size())), D);
  EXPECT_TRUE(fs.LastError() == -7 || fs.LastError() == -9) << fs.LastError();
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + D, data.begin()));
  faults->Disarm();
  fs.FileClose(h);
  EXPECT_EQ(ReadWhole(fs, "f"), data);
}
