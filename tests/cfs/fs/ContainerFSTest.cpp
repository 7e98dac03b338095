// The facade's container handling and its handle-level access to stored files: creation and
// password checks, page boundaries, partial pages, growth, handles, deletion, file passwords,
// encryption, and the stream over a handle (a full container: StorageFaultTest.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "cfs/file/CFSLittleEndian.h"
#include "cfs/fs/CFSUserFileStream.h"
#include "tests/cfs/fs/FSTestUtil.h"


using namespace storagetest;
using namespace fstest;

namespace {

constexpr std::int64_t kWrap = 280;  // the container starts behind the wrapper header
constexpr std::int32_t D = 4064;

std::unique_ptr<TContainerFS> Create(const std::string& name, const std::string& password = "",
                                     std::uint8_t method = 9) {
  return std::make_unique<TContainerFS>(name, kModeCreate, password, "", "", method);
}

std::unique_ptr<TContainerFS> Open(const std::string& name, const std::string& password = "",
                                   std::uint16_t mode = 2) {
  return std::make_unique<TContainerFS>(name, mode, password, "", "", 0);
}

// Pages whose 32-byte header says "file data", with their encryption type.
std::vector<std::pair<std::int64_t, int>> DataPagesOnDisk(const Bytes& raw) {
  std::vector<std::pair<std::int64_t, int>> out;
  for (std::int64_t p = 1; kWrap + (p + 1) * 4096 <= std::int64_t(raw.size()); ++p)
    if (raw[kWrap + p * 4096 + 8] == 6) out.emplace_back(p, raw[kWrap + p * 4096 + 9]);
  return out;
}

bool Contains(const Bytes& hay, const Bytes& needle) {
  return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

}  // namespace

TEST(ContainerFS, CreateOpenAndContainerPasswords) {
  ScratchDir tmp;
  const std::string plain = tmp / "plain.cfs", locked = tmp / "locked.cfs";
  {
    auto fs = Create(plain, "", 9);
    EXPECT_FALSE(fs->IsEncrypted());
    EXPECT_EQ(fs->CompressionMethod(), 9);
    fs->SetCompressionMethod(5);
  }
  {
    auto fs = Open(plain, "any password");
    EXPECT_TRUE(fs->Password().empty());
    EXPECT_EQ(fs->CompressionMethod(), 5);
    EXPECT_FALSE(fs->ReadOnly());
  }
  EXPECT_FALSE(IsContainerEncrypted(plain));
  EXPECT_TRUE(CheckContainerPassword(plain, "whatever"));

  { auto fs = Create(locked, "pw"); EXPECT_TRUE(fs->IsEncrypted()); WriteWhole(*fs, "f", Text("SecretContents")); }
  EXPECT_TRUE(IsContainerEncrypted(locked));
  EXPECT_TRUE(CheckContainerPassword(locked, "pw"));
  EXPECT_FALSE(CheckContainerPassword(locked, "pW"));
  EXPECT_EQ(ErrorOf([&] { Open(locked, "wrong"); }),
            "TContainerFS.Create - invalid password specified, file name = \"" + tmp.Path() + "locked.cfs\"");
  EXPECT_EQ(ErrorOf([&] { Open(locked, ""); }).rfind("TContainerFS.Create - invalid password", 0), 0u);
  const Bytes raw = ReadAll(locked);
  // A wrong password has its own error type, also when opened for writing, and changes nothing;
  // a file that is no container is not taken for a wrong password (a caller would ask forever).
  EXPECT_THROW(Open(locked, "wrong"), ECFSWrongPassword);
  EXPECT_EQ(ReadAll(locked), raw);
  const std::string junk = tmp / "junk.cfs";
  ASSERT_TRUE(WriteAll(junk, Pattern(3 * 4096, 5)));
  std::string refused = "nothing";
  try {
    Open(junk, "pw");
  } catch (const ECFSWrongPassword&) {
    refused = "a wrong password";
  } catch (const Exception&) {
    refused = "a damaged file";
  }
  EXPECT_EQ(refused, "a damaged file");
  EXPECT_FALSE(Contains(raw, Text("SecretContents")));
  const auto pages = DataPagesOnDisk(raw);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].second, 1) << "data page enciphered with the container key";
  auto fs = Open(locked, "pw", 0);
  EXPECT_TRUE(fs->ReadOnly());
  EXPECT_EQ(fs->Password(), "pw");
  EXPECT_EQ(ReadWhole(*fs, "f"), Text("SecretContents"));
}

TEST(ContainerFS, BytesAtPageBoundaries) {
  ScratchDir tmp;
  auto fs = Create(tmp / "c.cfs");
  const Bytes data = Pattern(3 * D + 100, 7);
  const std::int32_t h = fs->FileOpen("f", kModeCreate, "", "", "");
  ASSERT_EQ(h, 0);
  ASSERT_EQ(fs->FileWrite(h, data.data(), D), D);
  EXPECT_EQ(DataPages(*fs, "f"), 1);
  ASSERT_EQ(fs->FileWrite(h, data.data() + D, 1), 1);
  EXPECT_EQ(DataPages(*fs, "f"), 2);
  EXPECT_EQ(fs->FileSeek(h, 1, 0), D + 1);
  ASSERT_EQ(fs->FileWrite(h, data.data() + D + 1, std::int32_t(data.size()) - D - 1), std::int32_t(data.size()) - D - 1);
  EXPECT_EQ(DataPages(*fs, "f"), 4);

  // Reads that start, end or cross at the boundaries.
  for (std::int64_t pos : {0LL, 4062LL, 4063LL, 4064LL, 4065LL, 8127LL, 8128LL}) {
    for (std::int32_t len : {1, 2, 4064, 4065, 9000}) {
      Bytes got(static_cast<std::size_t>(len), 0xEE);
      ASSERT_EQ(fs->FileSeek(h, 0, pos), pos);
      const std::int32_t want = static_cast<std::int32_t>(std::min<std::int64_t>(len, std::int64_t(data.size()) - pos));
      ASSERT_EQ(fs->FileRead(h, got.data(), len), want) << pos << "+" << len;
      EXPECT_TRUE(std::equal(got.begin(), got.begin() + want, data.begin() + pos)) << pos << "+" << len;
      EXPECT_EQ(fs->FileSeek(h, 1, 0), pos + want);
    }
  }
  // At the end, and across it.
  Bytes buf(100);
  EXPECT_EQ(fs->FileSeek(h, 2, 0), std::int64_t(data.size()));
  EXPECT_EQ(fs->FileRead(h, buf.data(), 100), 0);
  fs->FileSeek(h, 2, -30);
  EXPECT_EQ(fs->FileRead(h, buf.data(), 100), 30);
  EXPECT_EQ(fs->FileSeek(h, 1, 0), std::int64_t(data.size()));

  // A partial write in the middle of pages changes exactly its bytes.
  Bytes model = data;
  const Bytes patch = Pattern(300, 99);
  for (std::int64_t pos : {10LL, 4000LL, 4064LL + 4000}) {
    fs->FileSeek(h, 0, pos);
    ASSERT_EQ(fs->FileWrite(h, patch.data(), 300), 300);
    std::copy(patch.begin(), patch.end(), model.begin() + pos);
  }
  fs->FileClose(h);
  fs.reset();
  fs = Open(tmp / "c.cfs");
  EXPECT_EQ(ReadWhole(*fs, "f"), model);
  ExpectPagesConsistent(*fs);
}

TEST(ContainerFS, GrowthBySeekAndSetSize) {
  ScratchDir tmp;
  auto fs = Create(tmp / "c.cfs", "pw");
  const std::int32_t h = fs->FileOpen("g", kModeCreate, "", "", "");
  ASSERT_GE(h, 0);
  // Writing past the end: the bytes between read as zeros.
  EXPECT_EQ(fs->FileSeek(h, 0, 3 * D + 10), 3 * D + 10);
  ASSERT_EQ(fs->FileWrite(h, "xyz", 3), 3);
  Bytes expect(3 * D + 13, 0);
  std::copy_n("xyz", 3, expect.begin() + 3 * D + 10);
  EXPECT_EQ(fs->FileSeek(h, 2, 0), 3 * D + 13);
  fs->FileClose(h);
  EXPECT_EQ(ReadWhole(*fs, "g"), expect);
  ExpectPagesConsistent(*fs);

  const std::int32_t h2 = fs->FileOpen("g", 2, "", "", "");
  EXPECT_EQ(fs->FileSetSize(h2, 20000), 20000);
  EXPECT_EQ(fs->FileSeek(h2, 1, 0), 20000);
  expect.resize(20000, 0);
  EXPECT_EQ(fs->FileSetSize(h2, 5), 5);
  expect.resize(5);
  EXPECT_EQ(DataPages(*fs, "g"), 1);
  EXPECT_EQ(fs->FileSetSize(h2, 0), 0);
  EXPECT_EQ(fs->FileSeek(h2, 1, 0), 0);
  EXPECT_EQ(fs->Directory().ReadItem(fs->Directory().FindItem("g")).FirstMapPageNo, -1);
  EXPECT_EQ(fs->FileSetSize(h2, -1), -1);
  ExpectPagesConsistent(*fs);

  // Bytes cut off never come back: not by growing again, not by writing past the end.
  const Bytes full = Pattern(6000, 21);
  ASSERT_EQ(fs->FileWrite(h2, full.data(), 6000), 6000);
  EXPECT_EQ(fs->FileSetSize(h2, 4100), 4100);
  EXPECT_EQ(fs->FileSetSize(h2, 4200), 4200);
  fs->FileSeek(h2, 0, 4300);
  ASSERT_EQ(fs->FileWrite(h2, "!", 1), 1);
  Bytes grown(full.begin(), full.begin() + 4100);
  grown.resize(4301, 0);
  grown[4300] = '!';
  Bytes back(4301);
  fs->FileSeek(h2, 0, 0);
  ASSERT_EQ(fs->FileRead(h2, back.data(), 4400), 4301);
  EXPECT_EQ(back, grown);
  EXPECT_EQ(fs->FileSetSize(h2, 0), 0);

  // A negative position reads and writes nothing.
  ASSERT_EQ(fs->FileWrite(h2, "abc", 3), 3);
  EXPECT_EQ(fs->FileSeek(h2, 1, -10), -7);
  char c = 0;
  EXPECT_EQ(fs->FileRead(h2, &c, 1), 0);
  EXPECT_EQ(fs->FileWrite(h2, "zz", 2), 0);
  // A write whose end would not fit any container is refused without growing anything.
  int diskFull = 0;
  fs->OnDiskFull.Handler = [&](void*, TContainerFS&) { ++diskFull; };
  fs->FileSeek(h2, 0, std::int64_t(1) << 60);
  EXPECT_EQ(fs->FileWrite(h2, "zz", 2), 0);
  EXPECT_EQ(fs->LastError(), -17);
  EXPECT_EQ(diskFull, 1);
  fs->FileClose(h2);
  EXPECT_EQ(ReadWhole(*fs, "g"), Text("abc"));
  ExpectPagesConsistent(*fs);
}

TEST(ContainerFS, HandlesDeletionAndOpenFiles) {
  ScratchDir tmp;
  auto fs = Create(tmp / "c.cfs");
  WriteWhole(*fs, "a", Pattern(10000, 1));
  EXPECT_EQ(fs->FileOpen("a", 0, "", "", ""), 1);  // handle 0 went to the write
  fs->FileClose(1);
  const std::int32_t h = fs->FileOpen("a", 2, "", "", "");
  EXPECT_EQ(h, 2);
  EXPECT_EQ(fs->FileOpen("a", 0, "", "", ""), 3);
  fs->FileClose(3);

  // An open file can be neither deleted nor created anew.
  EXPECT_FALSE(fs->DeleteFile("a"));
  EXPECT_EQ(fs->FileCreate("a", "", "", ""), -16);
  EXPECT_EQ(fs->LastError(), -16);
  EXPECT_EQ(fs->FileOpen("a", kModeCreate, "", "", ""), -16);
  fs->FileClose(h);
  EXPECT_EQ(fs->OpenHandleCount(), 0);

  // Unknown handles.
  Bytes buf(10);
  EXPECT_EQ(fs->FileRead(h, buf.data(), 10), 0);
  EXPECT_EQ(fs->FileWrite(h, buf.data(), 10), 0);
  EXPECT_EQ(fs->FileSeek(h, 0, 5), 0);
  EXPECT_EQ(fs->FileSetSize(h, 5), -6);
  fs->FileClose(h);

  // Names that are absent or folders do not open; folders are not deleted.
  ASSERT_TRUE(fs->Directory().CreateDir("dir"));
  EXPECT_EQ(fs->FileOpen("dir", 0, "", "", ""), -1);
  EXPECT_EQ(fs->FileOpen("absent", 0, "", "", ""), -1);
  EXPECT_FALSE(fs->DeleteFile("dir"));
  EXPECT_FALSE(fs->DeleteFile("absent"));
  EXPECT_TRUE(fs->FileExists("dir"));

  // Creating over a closed file replaces it; deleting frees its pages.
  EXPECT_GE(fs->FileCreate("a", "", "", ""), 0);
  EXPECT_EQ(ReadWhole(*fs, "a").size(), 0u);
  WriteWhole(*fs, "b", Pattern(9000, 2));
  const std::int32_t b = fs->Directory().FindItem("b");
  const std::int32_t bMap = fs->Directory().ReadItem(b).FirstMapPageNo;
  EXPECT_TRUE(fs->DeleteFile("b"));
  EXPECT_FALSE(fs->FileExists("b"));
  EXPECT_TRUE(fs->FreeSpace().IsPageFree(bMap) || bMap >= fs->PageFile().Header().PageCount());
  ExpectPagesConsistent(*fs);

  // An empty file that still owns a map page gives it back when deleted.
  const std::int32_t e = fs->FileCreate("empty", "", "", "");
  TIntegerArray page;
  ASSERT_TRUE(fs->FreeSpace().GetPages(1, 1, page, false));
  TCFSDirItem item = fs->Directory().ReadItem(e);
  item.FirstMapPageNo = page[0];
  fs->Directory().WriteItem(e, item);
  EXPECT_FALSE(fs->FreeSpace().IsPageFree(page[0]));
  EXPECT_TRUE(fs->DeleteFile("empty"));
  EXPECT_TRUE(fs->FreeSpace().IsPageFree(page[0]));
  ExpectPagesConsistent(*fs);
}

TEST(ContainerFS, FilePasswords) {
  ScratchDir tmp;
  const std::string name = tmp / "c.cfs";
  const Bytes secret = Pattern(5000, 3);
  {
    auto fs = Create(name);
    WriteWhole(*fs, "p", secret, "filepw");
    WriteWhole(*fs, "q", Text("plain"));
  }
  const Bytes raw = ReadAll(name);
  int encrypted = 0, plain = 0;
  for (const auto& [p, type] : DataPagesOnDisk(raw)) (type == 1 ? encrypted : plain)++;
  EXPECT_EQ(encrypted, 2);
  EXPECT_EQ(plain, 1);

  auto fs = Open(name);
  // Without a handler or a prompt the query is cancelled.
  EXPECT_EQ(fs->FileOpen("p", 0, "wrong", "", ""), -1);
  EXPECT_EQ(fs->LastError(), -1);
  EXPECT_EQ(ErrorOf([&] { TCFSUserFileStream s(fs.get(), "p", 0, "", "", ""); }),
            "TCFSUserFileStream.Create - unable to open file \"p\"");
  EXPECT_EQ(fs->Directory().GetOpenCount(fs->Directory().FindItem("p")), 0);

  // The default prompt is asked until the password is right.
  std::vector<std::string> captions;
  std::vector<std::string> answers = {"nope", "filepw"};
  fs->PasswordPrompt = [&](const std::string& caption, const std::string& prompt, std::string& text) {
    captions.push_back(caption);
    EXPECT_EQ(prompt, "Enter password: ");
    text = answers[captions.size() - 1];
    return true;
  };
  std::int32_t h = fs->FileOpen("p", 0, "wrong", "", "");
  ASSERT_GE(h, 0);
  EXPECT_EQ(captions, (std::vector<std::string>{"Password for \"p\"", "Password for \"p\""}));
  Bytes got(secret.size());
  EXPECT_EQ(fs->FileRead(h, got.data(), std::int32_t(got.size())), std::int32_t(got.size()));
  EXPECT_EQ(got, secret);
  fs->FileClose(h);

  // A handler takes precedence; cancelling gives -1; the right password asks nothing.
  int asked = 0;
  fs->OnPassword.Handler = [&](void* user, TContainerFS& sender, const std::string& file, std::string& pw, bool& cancel) {
    EXPECT_EQ(user, &asked);
    EXPECT_EQ(&sender, fs.get());
    EXPECT_EQ(file, "p");
    ++asked;
    pw = "still wrong";
    cancel = asked >= 3;
  };
  fs->OnPassword.UserData = &asked;
  EXPECT_EQ(fs->FileOpen("p", 0, "", "", ""), -1);
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(captions.size(), 2u);
  h = fs->FileOpen("p", 0, "filepw", "", "");
  EXPECT_GE(h, 0);
  EXPECT_EQ(asked, 3);
  fs->FileClose(h);
  EXPECT_EQ(ReadWhole(*fs, "q"), Text("plain"));
  EXPECT_EQ(asked, 3);
}

TEST(ContainerFS, UserFileStream) {
  ScratchDir tmp;
  auto fs = Create(tmp / "c.cfs");
  EXPECT_EQ(ErrorOf([] { TCFSUserFileStream s(nullptr, "x", 0, "", "", ""); }),
            "TCFSUserFileStream.Create - Single file system = nil!");
  EXPECT_EQ(ErrorOf([&] { TCFSUserFileStream s(fs.get(), "a\"b", 0, "", "", ""); }),
            "TCFSUserFileStream.Create - unable to open file \"a\"\"b\"");
  {
    TCFSUserFileStream s(fs.get(), "s", kModeCreate, "", "", "");
    const Bytes data = Pattern(10000, 5);
    s.WriteBuffer(data.data(), 10000);
    EXPECT_EQ(s.GetSize(), 10000);
    EXPECT_EQ(s.Position(), 10000);
    s.SetPosition(4060);
    Bytes got(10);
    s.ReadBuffer(got.data(), 10);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin() + 4060));
    s.SetSize(100);
    EXPECT_EQ(s.GetSize(), 100);
    s.Seek(0, soEnd);
    EXPECT_EQ(ErrorOf([&] { s.ReadBuffer(got.data(), 1); }), "Stream read error");
    EXPECT_EQ(fs->OpenHandleCount(), 1);
  }
  EXPECT_EQ(fs->OpenHandleCount(), 0);
  const Bytes data = Pattern(10000, 5);
  EXPECT_EQ(ReadWhole(*fs, "s"), Bytes(data.begin(), data.begin() + 100));
}

TEST(ContainerFS, DamagedPageMapsAreRefusedBeforeReading) {
  ScratchDir tmp;
  const std::string name = tmp / "c.cfs";
  const Bytes data = Pattern(3 * D, 8);
  std::int32_t mapPage = -1;
  {
    auto fs = Create(name);
    WriteWhole(*fs, "f", data);
    mapPage = fs->Directory().ReadItem(0).FirstMapPageNo;
  }
  for (std::int32_t bad : {99999, 0, -3, 2}) {
    {
      TPageFileManager pf(name, 2, "", "", "", TCFSStorageFactory::Disk(), 4096, 8, -1);
      TCFSPageRec rec;
      pf.InitPageRecord(rec);
      ASSERT_TRUE(pf.ReadPage(rec, mapPage));
      PutLE32(rec.Data.data() + 4, static_cast<std::uint32_t>(bad));  // the second data page
      ASSERT_TRUE(pf.WritePage(rec, mapPage));
    }
    auto fs = Open(name);
    const std::int32_t h = fs->FileOpen("f", 2, "", "", "");
    ASSERT_GE(h, 0);
    Bytes got(data.size());
    // The chain is refused as a whole: nothing is read from or written to a page it names.
    EXPECT_EQ(ErrorOf([&] { fs->FileRead(h, got.data(), std::int32_t(got.size())); }),
              "TUserFilePageMapManager.GetMaps - Invalid page No in map chain.")
        << bad;
    fs->FileSeek(h, 0, D + 10);
    EXPECT_EQ(ErrorOf([&] { fs->FileWrite(h, "x", 1); }),
              "TUserFilePageMapManager.GetMaps - Invalid page No in map chain.")
        << bad;
    fs->FileClose(h);
  }
}

TEST(ContainerFS, ReadOnlyContainerChangesNothing) {
  ScratchDir tmp;
  const std::string name = tmp / "c.cfs";
  const Bytes data = Pattern(5000, 4);
  { auto fs = Create(name); WriteWhole(*fs, "f", data); }
  const Bytes before = ReadAll(name);
  {
    auto fs = Open(name, "", 0);
    const std::int32_t h = fs->FileOpen("f", 2, "", "", "");
    ASSERT_GE(h, 0);
    EXPECT_EQ(fs->FileWrite(h, "xyz", 3), 0);
    EXPECT_LT(fs->FileSetSize(h, 10), 0);
    fs->FileClose(h);
    EXPECT_FALSE(fs->DeleteFile("f"));
    EXPECT_LT(fs->FileCreate("f", "", "", ""), 0);
    EXPECT_LT(fs->FileCreate("g", "", "", ""), 0);
    EXPECT_LT(fs->FileOpen("g", kModeCreate, "", "", ""), 0);
    EXPECT_EQ(ReadWhole(*fs, "f"), data);
    EXPECT_FALSE(fs->FileExists("g"));
  }
  EXPECT_EQ(ReadAll(name), before);
}

TEST(ContainerFS, PageFailuresStopTransfersAndKeepTheFileWhole) {
  ScratchDir tmp;
  const std::string name = tmp / "c.cfs";
  const Bytes data = Pattern(5000, 31);
  std::int32_t second = -1;
  {
    auto fs = Create(name);
    WriteWhole(*fs, "f", data);
    TIntegerArray* maps = nullptr;
    TIntegerArray* pages = nullptr;
    fs->PageMaps().GetMaps(fs->Directory().ReadItem(0), maps, pages);
    ASSERT_EQ(pages->Count(), 2);
    second = (*pages)[1];
  }
  ASSERT_TRUE(Patch(name, kWrap + std::int64_t(second) * 4096 + 32 + 100, {0xA5}));
  auto fs = Open(name);
  const std::int32_t h = fs->FileOpen("f", 2, "", "", "");
  ASSERT_GE(h, 0);
  Bytes got(5000);
  EXPECT_EQ(fs->FileRead(h, got.data(), 5000), D);
  EXPECT_EQ(fs->LastError(), -11);
  EXPECT_EQ(fs->FileSeek(h, 1, 0), D);
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + D, data.begin()));

  // A write across into the damaged page stops there; what was done counts.
  fs->FileSeek(h, 0, 4000);
  const Bytes patch = Pattern(200, 32);
  EXPECT_EQ(fs->FileWrite(h, patch.data(), 200), 64);
  EXPECT_EQ(fs->LastError(), -11);
  EXPECT_EQ(fs->FileSeek(h, 1, 0), 4064);
  // A growing write that stops at once leaves size and pages as they were.
  const Bytes big = Pattern(10000, 33);
  fs->FileSeek(h, 0, 4100);
  EXPECT_EQ(fs->FileWrite(h, big.data(), 10000), 0);
  EXPECT_EQ(fs->LastError(), -11);
  EXPECT_EQ(fs->FileSeek(h, 2, 0), 5000);
  EXPECT_EQ(DataPages(*fs, "f"), 2);
  ExpectPagesConsistent(*fs);
  fs->FileSeek(h, 0, 0);
  EXPECT_EQ(fs->FileRead(h, got.data(), 4064), 4064);
  Bytes expect(data.begin(), data.begin() + 4064);
  std::copy_n(patch.begin(), 64, expect.begin() + 4000);
  EXPECT_TRUE(std::equal(expect.begin(), expect.end(), got.begin()));
  // Cutting the damaged page off makes the file whole again.
  EXPECT_EQ(fs->FileSetSize(h, 4064), 4064);
  EXPECT_EQ(fs->FileSeek(h, 0, 4064), 4064);
  EXPECT_EQ(fs->FileWrite(h, big.data(), 10000), 10000);
  fs->FileClose(h);
  ExpectPagesConsistent(*fs);
  const Bytes all = ReadWhole(*fs, "f");
  ASSERT_EQ(all.size(), 14064u);
  EXPECT_TRUE(std::equal(big.begin(), big.end(), all.begin() + 4064));
}
