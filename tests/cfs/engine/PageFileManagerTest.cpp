// The page file: container header, page I/O with checksums and encryption, growth, and damaged
// headers and pages.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "cfs/codecs/cipher/CFSChecksum.h"
#include "cfs/engine/PageFileManager.h"
#include "cfs/file/CFSLittleEndian.h"
#include "platform/Exception.h"
#include "tests/cfs/file/StorageTestUtil.h"

using namespace storagetest;

namespace {

constexpr std::int64_t kWrap = 280;  // the container starts behind the wrapper header


std::unique_ptr<TPageFileManager> Create(const std::string& name, std::int32_t pageSize = 4096,
                                         const std::string& password = "") {
  return std::make_unique<TPageFileManager>(name, kModeCreate, password, "", "",
      TCFSStorageFactory::Disk(), pageSize, 8, -1);
}

std::unique_ptr<TPageFileManager> Open(const std::string& name, std::uint16_t mode = 2,
                                       const std::string& password = "") {
  return std::make_unique<TPageFileManager>(name, mode, password, "", "", TCFSStorageFactory::Disk(), 4096, 8, -1);
}

// Rewrites stored header bytes and, when asked, a checksum that matches them.
void PatchHeader(const std::string& name, std::size_t offset, const Bytes& bytes, bool fixChecksum) {
  Bytes raw = ReadAll(name);
  TCFSHeader h;
  std::copy_n(raw.begin() + kWrap, 256, h.Bytes.begin());
  std::copy(bytes.begin(), bytes.end(), h.Bytes.begin() + offset);
  if (fixChecksum) h.UpdateChecksum();
  ASSERT_TRUE(Patch(name, kWrap, Bytes(h.Bytes.begin(), h.Bytes.end())));
}

Bytes Int32(std::int32_t v) {
  Bytes b(4);
  PutLE32(b.data(), static_cast<std::uint32_t>(v));
  return b;
}

}  // namespace

TEST(PageFile, NewContainerHeader) {
  ScratchDir dir;
  const std::string name = dir / "new.cfs";
  Create(name);
  const Bytes raw = ReadAll(name);
  ASSERT_EQ(raw.size(), kWrap + 256);
  const std::uint8_t* h = raw.data() + kWrap;
  EXPECT_EQ(std::string(h, h + 8), "AASFSSGN");
  EXPECT_EQ(Bytes(h + 12, h + 16), Bytes({0x66, 0x66, 0x26, 0x40}));
  EXPECT_EQ(GetLE32s(h + 16), 4096);
  EXPECT_EQ(GetLE32s(h + 20), 8);
  EXPECT_EQ(GetLE32s(h + 24), 1);
  EXPECT_EQ(GetLE32s(h + 48), 1);
  for (std::size_t off : {28, 32, 36, 40, 44}) EXPECT_EQ(GetLE32s(h + off), 0) << off;
  EXPECT_TRUE(std::all_of(h + 52, h + 256, [](std::uint8_t b) { return b == 0; }));
  std::uint32_t x = 0;
  for (std::size_t off = 12; off < 256; off += 4) x ^= GetLE32(h + off);
  EXPECT_EQ(GetLE32(h + 8), x);

  auto pf = Open(name);
  EXPECT_EQ(pf->File().GetSize(), 256);
  EXPECT_EQ(pf->Header().PageCount(), 1);
  EXPECT_EQ(pf->DataSize(), 4064);
  EXPECT_EQ(pf->PageOffset(3), 3 * 4096);
  EXPECT_TRUE(pf->Key().empty());
}

TEST(PageFile, GeometryLimits) {
  ScratchDir dir;
  EXPECT_EQ(ErrorOf([&] { Create(dir / "a.cfs", 543); }), "TPageFileManager.Create - page size should be >= 544bytes .");
  EXPECT_EQ(ErrorOf([&] {
              TPageFileManager pf(dir / "b.cfs", kModeCreate, "", "", "", TCFSStorageFactory::Disk(), 4096, 0, -1);
            }),
            "TPageFileManager.Create - extent page count should be >= 1 Page.");
  Create(dir / "c.cfs", 544);
  auto pf = Open(dir / "c.cfs");
  EXPECT_EQ(pf->Header().PageSize(), 544);
  EXPECT_EQ(pf->DataSize(), 512);
  EXPECT_FALSE(platform::FileExists(dir / "a.cfs"));
}

TEST(PageFile, HeaderChecksumGuardsEveryByte) {
  ScratchDir dir;
  const std::string name = dir / "h.cfs";
  Create(name);
  const Bytes original = ReadAll(name);
  for (std::size_t offset = 12; offset < 256; ++offset) {
    ASSERT_TRUE(WriteAll(name, original));
    PatchHeader(name, offset, {static_cast<std::uint8_t>(original[kWrap + offset] ^ 0x5A)}, false);
    EXPECT_EQ(ErrorOf([&] { Open(name); }), "TContainerFS.LoadHeader - Invalid CFS file, header is corrupted.")
        << offset;
  }
  ASSERT_TRUE(WriteAll(name, original));
  PatchHeader(name, 12, {0x00, 0x00, 0x80, 0x3F}, true);  // version 1.0, checksum fixed
  EXPECT_FLOAT_EQ(Open(name)->Header().Version(), 1.0f);
}

TEST(PageFile, MissingForeignAndUncreatableFiles) {
  ScratchDir dir;
  EXPECT_EQ(ErrorOf([&] { Open(dir / "none.cfs"); }), "File '" + dir / "none.cfs" + "' not found");
  ASSERT_TRUE(WriteAll(dir / "text.cfs", Text("just some text, no container at all")));
  EXPECT_EQ(ErrorOf([&] { Open(dir / "text.cfs"); }), "File text.cfs has corrupted header.");
  // A wrapper header followed by less than a whole container header.
  Create(dir / "cut.cfs");
  Bytes cut = ReadAll(dir / "cut.cfs");
  cut.resize(kWrap + 100);
  ASSERT_TRUE(WriteAll(dir / "cut.cfs", cut));
  EXPECT_NE(ErrorOf([&] { Open(dir / "cut.cfs"); }), "<no error>");
  const std::string error = ErrorOf([&] { Create(dir / "no\\such\\folder\\x.cfs"); });
  EXPECT_EQ(error.rfind("TPageFileManager.Create - can not create file '", 0), 0u) << error;
}

TEST(PageFile, PagesRoundTripWithChecksums) {
  ScratchDir dir;
  const std::string name = dir / "p.cfs";
  auto pf = Create(name);
  ASSERT_TRUE(pf->AddPages(0));
  EXPECT_EQ(pf->Header().PageCount(), 1);
  ASSERT_TRUE(pf->AddPages(3));
  EXPECT_EQ(pf->File().GetSize(), 4 * 4096);
  TCFSPageRec rec;
  pf->InitPageRecord(rec);
  const Bytes data = Pattern(4064, 3);
  std::copy(data.begin(), data.end(), rec.Data.begin());
  rec.Header.PageType = kPageTypeFileData;
  rec.Header.NextPage = 3;
  ASSERT_TRUE(pf->WritePage(rec, 2));
  EXPECT_EQ(rec.Header.DataChecksum, Checksum(data.data(), data.size(), 0));

  TCFSPageRec back;
  pf->InitPageRecord(back);
  ASSERT_TRUE(pf->ReadPage(back, 2));
  EXPECT_EQ(Bytes(back.Data.begin(), back.Data.end()), data);
  EXPECT_EQ(back.Header.NextPage, 3);
  EXPECT_EQ(back.Header.PageType, kPageTypeFileData);
  // Read with another length than written: the checksum no longer matches.
  EXPECT_FALSE(pf->ReadPage(back, 2, false, {}, 4000));
  EXPECT_EQ(pf->LastError(), kPageErrChecksum);
  // Header-only access needs no buffer; data access without one is an error.
  TCFSPageRec bare;
  EXPECT_TRUE(pf->ReadPage(bare, 2, false, {}, 0));
  EXPECT_EQ(bare.Header.NextPage, 3);
  EXPECT_EQ(ErrorOf([&] { pf->ReadPage(bare, 2); }), "TPageFileManager.ReadPage - pData is nil.");
  // A header-only rewrite relinks the page and keeps its data valid.
  back.Header.NextPage = -1;
  ASSERT_TRUE(pf->WritePage(back, 2, {}, 0));
  ASSERT_TRUE(pf->ReadPage(back, 2));
  EXPECT_EQ(back.Header.NextPage, -1);

  // Out-of-range page numbers, as a damaged link would give, fail without touching the file.
  for (std::int32_t bad : {0, -1, 4, 1 << 30}) {
    EXPECT_FALSE(pf->ReadPage(back, bad));
    EXPECT_EQ(pf->LastError(), kPageErrHeaderRead);
    EXPECT_FALSE(pf->WritePage(back, bad));
    EXPECT_EQ(pf->LastError(), kPageErrHeaderWrite);
  }
  EXPECT_EQ(pf->File().GetSize(), 4 * 4096);
  pf->FreePageRecord(back);
  EXPECT_TRUE(back.Data.empty());
}

// Pages written in this session are read back from memory; whatever mix of full, shorter and
// header-only writes and cuts came before, a read must give what a fresh open reads from disk.
TEST(PageFile, ReadsAfterWritesMatchTheFile) {
  ScratchDir dir;
  const std::string name = dir / "c.cfs";
  struct Result {
    bool ok;
    std::int32_t error, next;
    Bytes data;
    bool operator==(const Result&) const = default;
  };
  auto readAll = [](TPageFileManager& pf) {
    std::vector<Result> out;
    TCFSPageRec rec;
    pf.InitPageRecord(rec);
    for (std::int32_t page = 1; page <= 4; ++page) {
      for (std::int32_t size : {0, 100, -1}) {
        std::fill(rec.Data.begin(), rec.Data.end(), 0);
        const bool ok = pf.ReadPage(rec, page, false, {}, size);
        out.push_back({ok, pf.LastError(), rec.Header.NextPage, Bytes(rec.Data.begin(), rec.Data.end())});
      }
    }
    return out;
  };
  std::vector<Result> session;
  {
    auto pf = Create(name, 4096, "secret");  // the cache holds enciphered bytes
    ASSERT_TRUE(pf->AddPages(4));
    TCFSPageRec rec;
    pf->InitPageRecord(rec);
    rec.Header.EncryptionType = kEncryptionAES;
    auto write = [&](std::int32_t page, std::int32_t size, std::uint8_t seed, std::int32_t next) {
      const Bytes data = Pattern(4064, seed);
      std::copy(data.begin(), data.end(), rec.Data.begin());
      rec.Header.NextPage = next;
      ASSERT_TRUE(pf->WritePage(rec, page, {}, size));
    };
    write(1, -1, 1, 2);
    write(1, 100, 2, 3);  // shorter: the rest of the old data stays on disk
    write(1, 0, 3, 4);    // header only
    write(2, 100, 4, -1);
    write(3, -1, 5, -1);
    write(4, -1, 6, -1);
    pf->CutFile(3 * 4096 + 100);  // page 3 loses its tail, page 4 is gone
    session = readAll(*pf);
  }
  auto pf = Open(name, 0, "secret");
  EXPECT_EQ(readAll(*pf), session);
  EXPECT_FALSE(session[9].ok);  // page 4, header only
  EXPECT_EQ(session[9].error, kPageErrHeaderRead);
}

TEST(PageFile, ChecksumCoversWholeWordsOnly) {
  ScratchDir dir;
  const std::string name = dir / "w.cfs";
  auto pf = Create(name, 4098);  // data area of 4066 bytes
  ASSERT_TRUE(pf->AddPages(2));
  TCFSPageRec rec;
  pf->InitPageRecord(rec);
  ASSERT_EQ(rec.Data.size(), 4066u);
  const Bytes data = Pattern(4066, 4);
  std::copy(data.begin(), data.end(), rec.Data.begin());
  ASSERT_TRUE(pf->WritePage(rec, 1));
  pf.reset();
  const std::int64_t dataAt = kWrap + 4098 + 32;
  ASSERT_TRUE(Patch(name, dataAt + 4064, {0xEE, 0xFF}));  // the 2 bytes outside the words
  pf = Open(name);
  ASSERT_TRUE(pf->ReadPage(rec, 1));
  EXPECT_EQ(rec.Data[4065], 0xFF);
  ASSERT_TRUE(Patch(name, dataAt + 4063, {static_cast<std::uint8_t>(data[4063] ^ 1)}));
  EXPECT_FALSE(pf->ReadPage(rec, 1));
  EXPECT_EQ(pf->LastError(), kPageErrChecksum);
}

TEST(PageFile, ShortPagesAndUnknownEncryption) {
  ScratchDir dir;
  const std::string name = dir / "s.cfs";
  auto pf = Create(name);
  ASSERT_TRUE(pf->AddPages(3));
  TCFSPageRec rec;
  pf->InitPageRecord(rec);
  ASSERT_TRUE(pf->WritePage(rec, 1));
  // A created container is exclusive: nobody else can change it while it is open.
  EXPECT_FALSE(Patch(name, kWrap + 4096 + 9, {2}));
  pf.reset();
  pf = Open(name);
  // Encryption type 2 in a stored page header: deciphering fails.
  ASSERT_TRUE(Patch(name, kWrap + 4096 + 9, {2}));
  EXPECT_FALSE(pf->ReadPage(rec, 1));
  EXPECT_EQ(pf->LastError(), kPageErrDecrypt);
  EXPECT_TRUE(pf->ReadPage(rec, 1, true));  // raw reads do not decipher
  rec.Header.EncryptionType = 2;
  EXPECT_EQ(ErrorOf([&] { pf->WritePage(rec, 1); }), "TPageFileManager.EncodeBuffer - Unknown encryption type");
  // A file cut inside page 3's data, and page count beyond the cut file.
  pf->File().SetSize(3 * 4096 + 100);
  EXPECT_FALSE(pf->ReadPage(rec, 3));
  EXPECT_EQ(pf->LastError(), kPageErrDataRead);
  pf->File().SetSize(2 * 4096);
  EXPECT_FALSE(pf->ReadPage(rec, 3));
  EXPECT_EQ(pf->LastError(), kPageErrHeaderRead);
}

TEST(PageFile, EncryptedPagesAndPasswords) {
  ScratchDir dir;
  const std::string name = dir / "e.cfs";
  const Bytes plain = Pattern(4064, 9);
  Bytes stored;
  {
    auto pf = Create(name, 4096, "secret");
    EXPECT_EQ(pf->Header().EncryptionType(), kEncryptionAES);
    EXPECT_EQ(pf->Key().size(), 33u);
    ASSERT_TRUE(pf->AddPages(2));
    TCFSPageRec rec;
    pf->InitPageRecord(rec);
    std::copy(plain.begin(), plain.end(), rec.Data.begin());
    rec.Header.EncryptionType = kEncryptionAES;
    ASSERT_TRUE(pf->WritePage(rec, 1));
    stored.assign(rec.Data.begin(), rec.Data.end());  // enciphered in place
    EXPECT_NE(stored, plain);
  }
  auto right = Open(name, 0, "secret");
  TCFSPageRec rec;
  right->InitPageRecord(rec);
  ASSERT_TRUE(right->ReadPage(rec, 1));
  EXPECT_EQ(Bytes(rec.Data.begin(), rec.Data.end()), plain);
  ASSERT_TRUE(right->ReadPage(rec, 1, true));
  EXPECT_EQ(Bytes(rec.Data.begin(), rec.Data.end()), stored);
  // An explicit key overrides the container key.
  EXPECT_TRUE(right->ReadPage(rec, 1, false, "another key"));
  EXPECT_NE(Bytes(rec.Data.begin(), rec.Data.end()), plain);
  right.reset();
  // A wrong password opens with a wrong key: the page deciphers to other bytes.
  auto wrong = Open(name, 0, "guess");
  EXPECT_NE(wrong->Key(), std::string());
  ASSERT_TRUE(wrong->ReadPage(rec, 1));
  EXPECT_NE(Bytes(rec.Data.begin(), rec.Data.end()), plain);
  wrong.reset();
  // Without a password there is no key at all and deciphering fails.
  auto none = Open(name, 0, "");
  EXPECT_FALSE(none->ReadPage(rec, 1));
  EXPECT_EQ(none->LastError(), kPageErrDecrypt);

  // A refused password leaves no file behind.
  EXPECT_EQ(ErrorOf([&] { Create(dir / "long.cfs", 4096, std::string(33, 'p')); }),
            "Password length should be shorter then 32");
  EXPECT_FALSE(platform::FileExists(dir / "long.cfs"));
}

TEST(PageFile, ReadOnlyContainersKeepTheirHeader) {
  ScratchDir dir;
  const std::string name = dir / "r.cfs";
  Create(name)->AddPages(2);
  const Bytes before = ReadAll(name);
  {
    auto pf = Open(name, 0);
    EXPECT_TRUE(pf->ReadOnly());
    pf->Header().SetDefaultCompression(9);
    pf->SaveHeader();
    EXPECT_FALSE(pf->AddPages(1));
    EXPECT_EQ(pf->Header().PageCount(), 3);
  }
  EXPECT_EQ(ReadAll(name), before);
  {
    auto pf = Open(name, 2 | kModeExclusive);
    EXPECT_TRUE(pf->Exclusive());
    pf->Header().SetDefaultCompression(9);
    ASSERT_TRUE(pf->AddPages(0));  // rewrites the header
  }
  EXPECT_EQ(Open(name)->Header().DefaultCompression(), 9);
}

TEST(PageFile, HeaderFieldsMustFitTheFile) {
  ScratchDir dir;
  const std::string name = dir / "f.cfs";
  Create(name)->AddPages(8);  // 9 pages on disk
  const Bytes original = ReadAll(name);
  struct Case {
    std::size_t offset;
    std::int32_t value;
    bool opens;
  };
  const std::vector<Case> cases = {
      {48, 100000, true},       // page count beyond a file whose free tail was cut
      {48, 0, false},           // no page 0
      {16, 1 << 30, false},     // page size out of range
      {16, 543, false},
      {20, 0, false},           // extent page count
      {20, 1 << 20, false},
      {24, 0, false},           // first extent page
      {32, 9, true},            // PFS pages present in the file
      {32, 10, false},          // more PFS pages than the file holds
      {28, -1, false},
      {36, 2, true},            // 2 directory pages hold up to 14 items
      {44, 1, false},           // items without directory pages
      {40, 9, false},           // first directory page beyond the page count
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteAll(name, original));
    PatchHeader(name, c.offset, Int32(c.value), true);
    if (c.offset == 44 || c.offset == 40) PatchHeader(name, 36, Int32(0), true);
    if (c.offset == 36) PatchHeader(name, 40, Int32(1), true);
    const std::string error = ErrorOf([&] { Open(name); });
    if (c.opens)
      EXPECT_EQ(error, "<no error>") << c.offset << " = " << c.value;
    else
      EXPECT_EQ(error, "TContainerFS.LoadHeader - Invalid CFS file, header is corrupted.") << c.offset << " = " << c.value;
  }
  ASSERT_TRUE(WriteAll(name, original));
  PatchHeader(name, 36, Int32(2), true);
  PatchHeader(name, 40, Int32(1), true);
  PatchHeader(name, 44, Int32(15), true);
  EXPECT_NE(ErrorOf([&] { Open(name); }), "<no error>");
  ASSERT_TRUE(WriteAll(name, original));
  PatchHeader(name, 224, {2}, true);
  EXPECT_NE(ErrorOf([&] { Open(name); }), "<no error>");
}

TEST(PageFile, RandomlyCorruptedContainersNeverCrash) {
  ScratchDir dir;
  const std::string name = dir / "z.cfs";
  {
    auto pf = Create(name, 4096, "pw");
    ASSERT_TRUE(pf->AddPages(8));
    TCFSPageRec rec;
    pf->InitPageRecord(rec);
    for (std::int32_t p = 1; p < 9; ++p) {
      rec.Header.EncryptionType = p % 2;
      rec.Header.NextPage = p + 1;
      ASSERT_TRUE(pf->WritePage(rec, p));
    }
  }
  const Bytes original = ReadAll(name);
  std::mt19937 rng(5);
  int opened = 0;
  for (int round = 0; round < 300; ++round) {
    Bytes b = original;
    // Header fields with a matching checksum half of the time, so that field checks are reached.
    for (int flips = rng() % 8 + 1; flips > 0; --flips) {
      const std::size_t at = round % 3 == 0 ? rng() % b.size() : kWrap + 16 + rng() % 40;
      b[at] = static_cast<std::uint8_t>(rng());
    }
    if (rng() % 6 == 0) b.resize(rng() % b.size());
    ASSERT_TRUE(WriteAll(name, b));
    if (round % 2 == 0 && b.size() >= kWrap + 256) PatchHeader(name, 8, {}, true);
    std::unique_ptr<TPageFileManager> pf;
    try {
      pf = Open(name, 2, "pw");
    } catch (const Exception&) {
      continue;
    }
    ++opened;
    TCFSPageRec rec;
    pf->InitPageRecord(rec);
    for (std::int32_t p = 0, hops = 0; p >= 0 && hops < 20; ++hops) {
      if (!pf->ReadPage(rec, p == 0 ? 1 : p)) break;
      p = rec.Header.NextPage;
    }
    pf->AddPages(1);
  }
  EXPECT_GT(opened, 0);
}
