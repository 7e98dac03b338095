// The directory manager: directory pages and their chain, slot reuse, paths and folders,
// per-file passwords, time stamps, and damaged directory pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "cfs/dir/DIRManager.h"
#include "cfs/file/CFSLittleEndian.h"
#include "platform/Time.h"
#include "tests/cfs/file/StorageTestUtil.h"

using namespace storagetest;

namespace {

constexpr std::int64_t kWrap = 280;  // the container starts behind the wrapper header
constexpr std::int64_t kPage = 4096;

struct Container {
  std::string name;
  std::unique_ptr<TPageFileManager> pf;
  std::unique_ptr<TFreeSpaceManager> fs;
  std::unique_ptr<TDIRManager> dir;

  explicit Container(std::string file, const std::string& password = "") : name(std::move(file)) {
    pf = std::make_unique<TPageFileManager>(name, kModeCreate, password, "", "",
        TCFSStorageFactory::Disk(), 4096, 8, -1);
    Attach();
  }
  void Attach() {
    fs = std::make_unique<TFreeSpaceManager>(*pf);
    dir = std::make_unique<TDIRManager>(*pf, *fs);
  }
  void Close() {
    dir.reset();
    fs.reset();
    pf.reset();
  }
  void Reopen(std::uint16_t mode = 2, const std::string& password = "") {
    Close();
    pf = std::make_unique<TPageFileManager>(name, mode, password, "", "", TCFSStorageFactory::Disk(), 4096, 8, -1);
    Attach();
  }
};

void Delete(TDIRManager& dir, std::int32_t n) {
  TCFSDirItem item = dir.ReadItem(n);
  item.IsDeleted = true;
  dir.WriteItem(n, item);
}

}  // namespace

TEST(DIRManager, ItemsFillPagesChainAndReuseDeletedSlots) {
  ScratchDir tmp;
  Container c(tmp / "c.cfs");
  ASSERT_EQ(c.dir->ItemsPerPage(), 7);
  for (int i = 0; i < 7; ++i) ASSERT_EQ(c.dir->CreateFile("f" + std::to_string(i), "", "", ""), i);
  ASSERT_EQ(c.dir->PageList().Count(), 1);
  EXPECT_EQ(c.dir->PageList()[0], 4);  // first free page of a new container
  EXPECT_EQ(c.pf->Header().FirstDIRPage(), 4);
  ASSERT_EQ(c.dir->CreateFile("f7", "", "", ""), 7);
  ASSERT_EQ(c.dir->PageList().Count(), 2);
  const std::int32_t second = c.dir->PageList()[1];
  c.Close();  // the container is opened exclusively
  const Bytes raw = ReadAll(c.name);
  ASSERT_GT(raw.size(), kWrap + 5 * kPage);
  c.Reopen();
  EXPECT_EQ(GetLE32s(raw.data() + kWrap + 4 * kPage), second) << "first page links the second";

  // Past 8 directory pages each new page is a uniform request; the chain must still read back.
  for (int i = 8; i < 70; ++i) ASSERT_EQ(c.dir->CreateFile("f" + std::to_string(i), "", "", ""), i);
  EXPECT_EQ(c.dir->PageList().Count(), 10);
  const TIntegerArray before = c.dir->PageList();
  c.Reopen();
  ASSERT_EQ(c.dir->ItemCount(), 70);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(c.dir->PageList()[i], before[i]);
  for (int i = 0; i < 70; ++i) EXPECT_EQ(c.dir->FindItem("f" + std::to_string(i)), i);

  Delete(*c.dir, 3);
  Delete(*c.dir, 9);
  EXPECT_LT(c.dir->FindItem("f3"), 0);
  EXPECT_EQ(c.dir->CreateFile("new", "", "", ""), 3);
  EXPECT_EQ(c.dir->CreateFile("new2", "", "", ""), 9);
  EXPECT_EQ(c.dir->CreateFile("new3", "", "", ""), 70);
  c.Reopen();
  EXPECT_EQ(c.dir->ItemCount(), 71);
  EXPECT_EQ(c.pf->Header().DIRItemCount(), 71);
  EXPECT_EQ(c.dir->PageList().Count(), 11);
  EXPECT_EQ(c.dir->FindItem("new"), 3);
  EXPECT_EQ(c.dir->FindItem("new2"), 9);
  EXPECT_LT(c.dir->FindItem("f9"), 0);
}

// Held item writes reach the pages once, at release, with the bytes that writing every change
// through gives: changes on two pages, a slot reused and a page appended while held.
TEST(DIRManager, HeldItemWritesLeaveTheBytesOfWritingThrough) {
  ScratchDir tmp;
  Bytes images[2];
  for (int held = 0; held < 2; ++held) {
    Container c(tmp / ("c" + std::to_string(held) + ".cfs"));
    c.dir->SetClock([] { return std::int64_t{132000000000000000}; });
    for (int i = 0; i < 9; ++i) ASSERT_EQ(c.dir->CreateFile("f" + std::to_string(i), "", "", ""), i);
    Delete(*c.dir, 2);
    if (held) c.dir->HoldItemWrites();
    for (std::int32_t n : {1, 8, 1, 4}) {
      TCFSDirItem item = c.dir->ReadItem(n);
      item.Size += 1000 + n;
      c.dir->WriteItem(n, item);
    }
    ASSERT_EQ(c.dir->CreateFile("reused", "", "", ""), 2);
    for (int i = 9; i < 15; ++i) ASSERT_GE(c.dir->CreateFile("g" + std::to_string(i), "", "", ""), 0);
    TCFSDirItem last = c.dir->ReadItem(14);
    last.Size = 77;
    c.dir->WriteItem(14, last);
    if (held) c.dir->ReleaseItemWrites();
    c.Close();
    images[held] = ReadAll(c.name);
  }
  EXPECT_EQ(images[0], images[1]);
}

TEST(DIRManager, FoldersAndPaths) {
  ScratchDir tmp;
  Container c(tmp / "c.cfs");
  EXPECT_FALSE(c.dir->ForceDirectories(""));
  ASSERT_TRUE(c.dir->ForceDirectories("a\\b\\c"));
  ASSERT_EQ(c.dir->ItemCount(), 3);
  EXPECT_EQ(c.dir->ReadItem(0).Name, "a");
  EXPECT_EQ(c.dir->ReadItem(1).Parent, 0);
  EXPECT_EQ(c.dir->ReadItem(2).Parent, 1);
  EXPECT_TRUE(c.dir->ReadItem(2).IsFolder);
  EXPECT_EQ(c.dir->ReadItem(2).Attributes, 16u);
  EXPECT_TRUE(c.dir->ForceDirectories("a\\b\\c"));
  EXPECT_TRUE(c.dir->ForceDirectories("/a/b/"));
  EXPECT_EQ(c.dir->ItemCount(), 3);
  EXPECT_FALSE(c.dir->CreateDir("a\\b"));

  EXPECT_TRUE(c.dir->DirectoryExists("."));
  EXPECT_TRUE(c.dir->DirectoryExists("\\"));
  EXPECT_TRUE(c.dir->DirectoryExists("a/b"));
  EXPECT_FALSE(c.dir->DirectoryExists("a\\x"));
  ASSERT_EQ(c.dir->CreateFile("a\\file.txt", "", "", ""), 3);
  EXPECT_FALSE(c.dir->DirectoryExists("a\\file.txt"));
  // A folder may not take a file's name, and nothing goes below a file.
  EXPECT_FALSE(c.dir->CreateDir("a\\FILE.TXT"));
  EXPECT_THROW(c.dir->ForceDirectories("a\\file.txt\\sub"), Exception);
  EXPECT_EQ(c.dir->CreateFile("a\\file.txt\\y", "", "", ""), -1);
  EXPECT_FALSE(c.dir->ChangeDir("a\\file.txt"));
  EXPECT_EQ(c.dir->ItemCount(), 4);

  for (const char* bad : {"", "\\", "/", "missing\\x", "a\\..", "a\\."}) EXPECT_EQ(c.dir->CreateFile(bad, "", "", ""), -1) << bad;

  ASSERT_TRUE(c.dir->ChangeDir("a\\b"));
  EXPECT_EQ(c.dir->GetCurrentDir(), "\\a\\b");
  const std::int32_t x = c.dir->CreateFile("x", "", "", "");
  EXPECT_EQ(c.dir->ReadItem(x).Parent, 1);
  EXPECT_EQ(c.dir->FindItem("\\a\\b\\x"), x);
  EXPECT_EQ(c.dir->FindItem("../file.txt"), 3);
  EXPECT_TRUE(c.dir->DirectoryExists("c"));
  EXPECT_TRUE(c.dir->DirectoryExists("\\a"));
  ASSERT_TRUE(c.dir->ChangeDir("\\"));
  EXPECT_EQ(c.dir->GetCurrentDir(), "\\");
  EXPECT_FALSE(c.dir->ChangeDir("nowhere"));

  // Names are cut to what an item holds, never in the middle of a two-byte character.
  const std::string longName(300, 'n');
  const std::int32_t n = c.dir->CreateFile(longName, "", "", "");
  EXPECT_EQ(c.dir->ReadItem(n).Name, longName.substr(0, 259));
  std::string wide;
  for (int i = 0; i < 150; ++i) wide += "\xD6\xD0";  // 300 bytes of two-byte characters
  const std::int32_t w = c.dir->CreateFile(wide, "", "", "");
  EXPECT_EQ(c.dir->ReadItem(w).Name, wide.substr(0, 258));
  // A two-byte character whose trail byte is 0x5C is not a separator.
  const std::string tricky = "\x95\x5C" "dir";
  ASSERT_TRUE(c.dir->ForceDirectories(tricky + "\\sub"));
  EXPECT_EQ(c.dir->ReadItem(c.dir->FindItem(tricky)).Name, tricky);
  // ... nor when it ends the folder name: "表乗" ends in 81 5C and stays one level.
  const std::string endsInTrail = "\xB1\xED\x81\x5C";
  ASSERT_TRUE(c.dir->ForceDirectories(endsInTrail + "\\inner\\leaf"));
  EXPECT_TRUE(c.dir->DirectoryExists(endsInTrail + "\\inner"));
  EXPECT_EQ(c.dir->ReadItem(c.dir->FindItem(endsInTrail + "\\inner")).Name, "inner");
  c.Reopen();
  EXPECT_EQ(c.dir->ReadItem(n).Name, longName.substr(0, 259));
  EXPECT_TRUE(c.dir->DirectoryExists(tricky + "\\sub"));
  EXPECT_EQ(c.dir->GetCurrentDir(), "\\");
}

TEST(DIRManager, PasswordsOpenCountsAndTimes) {
  ScratchDir tmp;
  Container c(tmp / "c.cfs");
  const std::int32_t p = c.dir->CreateFile("p", "secret", "q", "a");
  const std::int32_t f = c.dir->CreateFile("plain", "", "", "");
  ASSERT_TRUE(c.dir->ReadItem(p).HasPassword);
  EXPECT_FALSE(c.dir->ReadItem(f).HasPassword);
  EXPECT_TRUE(c.dir->CheckPassword("p", "secret"));
  EXPECT_FALSE(c.dir->CheckPassword("p", "Secret"));
  EXPECT_FALSE(c.dir->CheckPassword("p", ""));
  EXPECT_TRUE(c.dir->CheckPassword("plain", "anything"));
  EXPECT_FALSE(c.dir->CheckPassword("absent", ""));

  std::string key1, key2;
  EXPECT_EQ(c.dir->OpenFile("p", "secret", key1), p);
  EXPECT_EQ(c.dir->OpenFile("p", "secret", key2), p);
  EXPECT_EQ(key1.size(), 33u);
  EXPECT_EQ(key1, key2);
  EXPECT_EQ(c.dir->GetOpenCount(p), 2);
  c.dir->CloseFile(p);
  c.dir->CloseFile(p);
  c.dir->CloseFile(p);
  EXPECT_EQ(c.dir->GetOpenCount(p), 0);
  EXPECT_EQ(c.dir->GetOpenCount(99), -1);
  EXPECT_EQ(c.dir->GetOpenCount(-1), -1);
  std::string key;
  EXPECT_EQ(c.dir->OpenFile("plain", "", key), f);
  EXPECT_TRUE(key.empty());
  c.dir->CloseFile(f);
  ASSERT_TRUE(c.dir->CreateDir("d"));
  EXPECT_EQ(c.dir->OpenFile("d", "", key), -1);
  EXPECT_EQ(c.dir->OpenFile("absent", "", key), -1);

  // Stamps are on the 2-second grain of local DOS time.
  const TCFSDirItem item = c.dir->ReadItem(f);
  EXPECT_EQ(platform::FileTimeUtcToLocal(item.CreationTime) % 20'000'000, 0);
  EXPECT_LE(std::abs(item.CreationTime - platform::NowFileTimeUtc()), 40'000'000);

  // Opening stamps the last access time, except in a read-only container.
  TCFSDirItem old = c.dir->ReadItem(f);
  const std::int64_t past = 130'000'000'000'000'000;
  old.CreationTime = old.LastWriteTime = old.LastAccessTime = past;
  c.dir->WriteItem(f, old);
  c.Reopen(0);
  ASSERT_EQ(c.dir->OpenFile("plain", "", key), f);
  EXPECT_EQ(c.dir->ReadItem(f), old);
  // Nothing can be added to a read-only container.
  EXPECT_EQ(c.dir->CreateFile("new", "", "", ""), -1);
  EXPECT_FALSE(c.dir->CreateDir("newdir"));
  EXPECT_EQ(c.dir->LastError(), -8);
  c.Reopen(2);
  EXPECT_EQ(c.dir->ReadItem(f), old);
  ASSERT_EQ(c.dir->OpenFile("plain", "", key), f);
  EXPECT_GT(c.dir->ReadItem(f).LastAccessTime, past);
  EXPECT_EQ(c.dir->ReadItem(f).LastWriteTime, past);
}

TEST(DIRManager, EncryptedDirectoryPages) {
  ScratchDir tmp;
  Container c(tmp / "c.cfs", "pw");
  ASSERT_EQ(c.dir->CreateFile("VisibleName", "", "", ""), 0);
  c.Close();
  const Bytes raw = ReadAll(c.name);
  ASSERT_GT(raw.size(), kWrap + 5 * kPage);
  EXPECT_EQ(raw[kWrap + 4 * kPage + 9], 1) << "directory page enciphered";
  EXPECT_EQ(std::search(raw.begin(), raw.end(), std::begin("VisibleName"), std::end("VisibleName") - 1), raw.end());
  c.Reopen(2, "pw");
  EXPECT_EQ(c.dir->FindItem("VisibleName"), 0);
  c.Close();
  EXPECT_THROW(c.Reopen(2, "wrong"), Exception);
}

TEST(DIRManager, DamagedDirectoryPagesGiveClearErrors) {
  ScratchDir tmp;
  const std::string name = tmp / "c.cfs";
  {
    Container c(name);
    for (int i = 0; i < 8; ++i) c.dir->CreateFile("f" + std::to_string(i), "", "", "");
  }
  const Bytes good = ReadAll(name);
  const std::int64_t page4 = kWrap + 4 * kPage;
  auto openError = [&] {
    return ErrorOf([&] {
      TPageFileManager pf(name, 2, "", "", "", TCFSStorageFactory::Disk(), 4096, 8, -1);
      TFreeSpaceManager fs(pf);
      TDIRManager dir(pf, fs);
    });
  };
  ASSERT_EQ(openError(), "<no error>");

  // A changed data byte fails the page checksum.
  ASSERT_TRUE(Patch(name, page4 + 32 + 600, {0x55}));
  EXPECT_EQ(openError(), "TDIRManager.Load - can not load page, pageNo = 4");

  // Links are not covered by the checksum: a link to itself, outside the container, or to a
  // map page stops the opening before anything is read from there.
  for (std::int32_t link : {4, 99999, -5, 2, 1}) {
    ASSERT_TRUE(WriteAll(name, good));
    Bytes b(4);
    PutLE32(b.data(), static_cast<std::uint32_t>(link));
    ASSERT_TRUE(Patch(name, page4, b));
    EXPECT_EQ(openError(), "TDIRManager.Load - invalid page in the directory chain, pageNo = " + std::to_string(link));
  }

  // An item with a correct checksum but an impossible content.
  for (int kind = 0; kind < 3; ++kind) {
    ASSERT_TRUE(WriteAll(name, good));
    {
      TPageFileManager pf(name, 2, "", "", "", TCFSStorageFactory::Disk(), 4096, 8, -1);
      TCFSPageRec rec;
      pf.InitPageRecord(rec);
      ASSERT_TRUE(pf.ReadPage(rec, 4, false, {}, 7 * 512));
      std::uint8_t* item = rec.Data.data() + 2 * 512;
      if (kind == 0) std::memcpy(item + 224, "..", 3);
      if (kind == 1) PutLE32(item + 40, 50);  // parent beyond the items
      if (kind == 2) std::memset(item + 224, 'x', 260);  // unterminated name
      ASSERT_TRUE(pf.WritePage(rec, 4, {}, 7 * 512));
    }
    EXPECT_EQ(openError().rfind("TDIRManager.Load - damaged directory item 2: ", 0), 0u) << openError();
  }

  // A directory page with another page type.
  ASSERT_TRUE(WriteAll(name, good));
  ASSERT_TRUE(Patch(name, page4 + 8, {6}));
  EXPECT_EQ(openError(), "TDIRManager.Load - page is not a directory page, pageNo = 4");
}
