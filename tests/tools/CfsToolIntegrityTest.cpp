// check and extract on damaged containers: single-byte changes to the structure of a small
// container (header, page headers, directory items, page maps, stream and block headers, each
// with valid checksums where an attacker would fix them) either leave the files as stored or
// are reported; and a wrong password that fools the password record is called wrong.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "backup/RestorePackage.h"
#include "cfs/codecs/cipher/CFSChecksum.h"
#include "cfs/codecs/cipher/CFSCipher.h"
#include "cfs/engine/CFSHeader.h"
#include "cfs/fs/CFSAdvancedFileStream.h"
#include "cfs/fs/CFSFileStream.h"
#include "platform/FileSystem.h"
#include "tests/cfs/fs/ForgedPasswordRecord.h"
#include "tests/cfs/file/StorageTestUtil.h"
#include "tools/CfsTool.h"

namespace {

using namespace storagetest;

constexpr std::int64_t kWrapper = 280;  // the storage file's header before the container
constexpr std::int32_t kPage = 4096;
constexpr std::int32_t kData = kPage - 32;

int RunTool(const std::vector<std::string>& args, std::string* out = nullptr) {
  std::ostringstream o, e;
  const CfsToolIO io{o, e, [](std::string_view s) { return std::string(s); }};
  const int code = RunCfsTool(args, io);
  if (out) *out = o.str() + e.str();
  return code;
}

std::uint32_t GetLE(const Bytes& b, std::int64_t at) {
  const auto i = static_cast<std::size_t>(at);
  return std::uint32_t{b[i]} | std::uint32_t{b[i + 1]} << 8 | std::uint32_t{b[i + 2]} << 16 | std::uint32_t{b[i + 3]} << 24;
}

using Files = std::map<std::string, Bytes>;  // path below the root -> content

// Two blocks, one block, a file stored without blocks, an empty one.
Files Content() {
  Bytes multi(0x80000 + 300);
  for (std::size_t i = 0; i < multi.size(); ++i) multi[i] = static_cast<std::uint8_t>("abcab"[i % 5] + (i / 4096) % 3);
  return {{"multi.bin", multi}, {"sub\\small.txt", Text("a small text file")}, {"sub\\raw.bin", Pattern(5000, 7)},
          {"empty.bin", {}}};
}

void MakeContainer(const std::string& file, const std::string& password) {
  TContainerFS fs(file, kModeCreate, password, "", "", 1);
  ASSERT_TRUE(fs.ForceDirectories("sub"));
  for (const auto& [name, data] : Content()) {
    const bool raw = name == "sub\\raw.bin" || data.empty();
    if (raw) {
      const std::int32_t h = fs.FileOpen("\\" + name, kModeCreate, "", "", "");
      ASSERT_GE(h, 0);
      if (!data.empty()) {
        ASSERT_EQ(fs.FileWrite(h, data.data(), std::int32_t(data.size())), std::int32_t(data.size()));
      }
      fs.FileClose(h);
    } else {
      TCFSFileStream s(&fs, "\\" + name, kModeCreate, "", "", "", 1);
      s.WriteBuffer(data.data(), std::int32_t(data.size()));
    }
  }
}

// One change: flip bits of a byte of the container header (its checksum made valid again), of a
// page header as stored, or of a page's data as the engine reads it, enciphered again and with
// a valid checksum. Flag and type bytes get their lowest bit flipped (an enciphered page marked
// plain), others the lowest and the highest (small changes and sign changes at once).
struct Site {
  enum Kind { Header, PageHeader, PageData } kind;
  std::int32_t page = 0;
  std::int32_t offset = 0;
  std::int32_t length = 0;  // data length the page is written with
  std::uint8_t flip = 0x81;
  bool name = false;        // a byte of an item's name: a renamed file is not wrong data
  std::string what;
};

// The bytes are picked by structure: every field's lowest byte and the high byte of those whose
// sign matters, in every kind of page this small container has.
std::vector<Site> Sites(const std::string& file, const std::string& password) {
  std::vector<Site> sites;
  for (std::int32_t b : {0, 8, 12, 16, 17, 20, 24, 28, 32, 36, 40, 44, 48, 51, 52, 116, 224, 225})
    sites.push_back({Site::Header, 0, b, 0, 0x81, false, "header"});
  TContainerFS fs(file, 0, password, "", "", 0);
  auto pageHeader = [&](std::int32_t page, const std::string& what, std::initializer_list<std::int32_t> bytes) {
    for (std::int32_t b : bytes)
      sites.push_back({Site::PageHeader, page, b, 0, std::uint8_t(b >= 8 ? 0x01 : 0x81), false, what + " page header"});
  };
  for (std::int32_t p : {1, 2, 3}) pageHeader(p, "allocation map", {8, 9});
  const TDIRManager& dir = fs.Directory();
  const std::int32_t dirLength = dir.ItemsPerPage() * 512;
  for (std::int32_t k = 0; k < dir.PageList().Count(); ++k) pageHeader(dir.PageList()[k], "directory", {0, 4, 8, 9, 10});
  for (std::int32_t n = 0; n < dir.ItemCount(); ++n) {
    const TCFSDirItem& item = dir.Item(n);
    const std::int32_t page = dir.PageList()[n / dir.ItemsPerPage()];
    const std::int32_t at = (n % dir.ItemsPerPage()) * 512;
    const auto length = static_cast<std::int32_t>(item.Name.size());
    for (std::int32_t b : {0, 4, 11, 36, 40, 43, 220, 221, 222}) {
      // Nothing records a plain file's length but its item, and an item without pages deleted
      // is a container without that file: neither change can be told from a written one.
      if ((item.Name == "raw.bin" && (b == 4 || b == 11)) || (item.FirstMapPageNo == -1 && !item.IsFolder && b == 221))
        continue;
      sites.push_back({Site::PageData, page, at + b, dirLength, std::uint8_t(b >= 220 ? 0x01 : 0x81), false,
                       "item " + item.Name});
    }
    for (std::int32_t b : {224, 224 + length})
      sites.push_back({Site::PageData, page, at + b, dirLength, 0x81, true, "name " + item.Name});
  }
  for (std::int32_t n = 0; n < dir.ItemCount(); ++n) {
    const TCFSDirItem item = dir.Item(n);
    if (item.FirstMapPageNo == -1) continue;
    TIntegerArray* maps = nullptr;
    TIntegerArray* data = nullptr;
    fs.PageMaps().GetMaps(item, maps, data);
    const TIntegerArray mapPages = *maps, dataPages = *data;
    pageHeader(mapPages[0], "map of " + item.Name, {0, 8, 9});
    for (std::int32_t b : {0, 4}) sites.push_back({Site::PageData, mapPages[0], b, kData, 0x81, false, "map of " + item.Name});
    if (dataPages.Count() == 0) continue;
    pageHeader(dataPages[0], "data of " + item.Name, {4, 8, 9, 10});
    TCFSAdvancedFileStream s(&fs, dir.Items().GetItemPath(n), 0, "", "", "", 0);
    if (s.PassThrough()) continue;
    std::vector<std::int64_t> offsets = {0, 4, 6, 12, 20, 23};
    for (std::int32_t k = 0; k < s.BlockCount(); ++k)
      for (std::int64_t b : {0, 2, 4, 6, 8, 12, 14}) offsets.push_back(s.Headers().Key(k) + b);
    for (std::int64_t o : offsets)
      sites.push_back({Site::PageData, dataPages[static_cast<std::int32_t>(o / kData)], std::int32_t(o % kData), kData,
                       0x81, false, "stream of " + item.Name});
  }
  return sites;
}

void Apply(const std::string& file, const std::string& password, const Site& site) {
  const std::uint8_t flip = site.flip;
  if (site.kind != Site::PageData) {
    const std::int64_t at = kWrapper + std::int64_t(site.page) * kPage + site.offset;
    Bytes bytes = ReadAll(file);
    bytes[static_cast<std::size_t>(at)] ^= flip;
    if (site.kind == Site::Header && site.offset >= 12) {
      std::uint32_t sum = 0;
      for (std::int64_t w = 12; w < 256; w += 4) sum ^= GetLE(bytes, kWrapper + w);
      for (int i = 0; i < 4; ++i) bytes[static_cast<std::size_t>(kWrapper + 8 + i)] = static_cast<std::uint8_t>(sum >> (8 * i));
    }
    ASSERT_TRUE(WriteAll(file, bytes));
    return;
  }
  TPageFileManager pf(file, 2, password, "", "", TCFSStorageFactory::Disk(), kPage, 8, -1);
  TCFSPageRec rec;
  pf.InitPageRecord(rec);
  ASSERT_TRUE(pf.ReadPage(rec, site.page, false, {}, site.length));
  rec.Buffer[static_cast<std::size_t>(site.offset)] ^= flip;
  rec.Data = rec.Buffer;
  ASSERT_TRUE(pf.WritePage(rec, site.page, {}, site.length));
}

// The files below folder, by path.
void Collect(const std::string& folder, const std::string& rel, Files& out) {
  std::vector<platform::DirEntry> entries;
  platform::ListDirectory(folder + rel + "*.*", platform::kAttrAnyFile, entries);
  for (const auto& e : entries) {
    if (e.name == "." || e.name == "..") continue;
    if (e.attributes & platform::kAttrDirectory)
      Collect(folder, rel + e.name + "\\", out);
    else
      out[rel + e.name] = ReadAll(folder + rel + e.name);
  }
}

// Same files; after a changed name, the same contents under whatever names.
bool SameFiles(const Files& got, bool renamed) {
  const Files want = Content();
  if (!renamed) return got == want;
  std::multiset<Bytes> a, b;
  for (const auto& [n, d] : got) a.insert(d);
  for (const auto& [n, d] : want) b.insert(d);
  return a == b;
}

void Sweep(const std::string& password) {
  ScratchDir dir;
  const std::string original = dir / "original.cfs";
  MakeContainer(original, password);
  const Bytes good = ReadAll(original);
  std::vector<std::string> options = {"--threads", "1"};
  if (!password.empty()) options.insert(options.end(), {"--password", password});
  const std::vector<Site> sites = Sites(original, password);
  int refused = 0;
  for (const Site& site : sites) {
    const std::string c = dir / "c.cfs";
    ASSERT_TRUE(WriteAll(c, good));
    Apply(c, password, site);
    const std::string where = site.what + " byte " + std::to_string(site.offset);

    std::vector<std::string> args = {"check", c};
    args.insert(args.end(), options.begin(), options.end());
    std::string report;
    // Passed by check: every file reads back as stored.
    if (RunTool(args, &report) == 0 && !site.name) {
      Files got;
      try {
        TContainerFS fs(c, 0, password, "", "", 0);
        for (const auto& [name, data] : Content()) {
          TCFSFileStream s(&fs, "\\" + name, 0, "", "", "", 0);
          Bytes read(static_cast<std::size_t>(s.GetSize()));
          s.ReadBuffer(read.data(), std::int32_t(read.size()));
          got[name] = read;
        }
      } catch (const Exception& e) {
        ADD_FAILURE() << where << ": check passed, reading fails: " << e.Message();
      }
      EXPECT_TRUE(got == Content()) << where << ": check passed wrong data\n" << report;
    }
    const std::string out = dir / "out\\";
    args = {"extract", c, out};
    args.insert(args.end(), options.begin(), options.end());
    if (RunTool(args) == 0) {
      Files got;
      Collect(out, "", got);
      EXPECT_TRUE(SameFiles(got, site.name)) << where << ": extract succeeded with wrong files";
    } else {
      ++refused;
    }
    testsupport::RemoveTree(out);
  }
  // Most structural bytes matter: a sweep that refuses few changes did not reach them.
  EXPECT_GT(refused, int(sites.size()) / 2) << refused << " of " << sites.size();
}

}  // namespace

TEST(CfsToolIntegrity, SingleByteChangesGiveRightBytesOrAReport) { Sweep(""); }

TEST(CfsToolIntegrity, SingleByteChangesToAnEncryptedContainer) { Sweep("pw"); }

// About one wrong password in 65,536 passes the password record's 16-bit check; here the
// record's check value is rewritten for one. check and info call it wrong (not damage), and the
// restore asks again as for any wrong password.
TEST(CfsToolIntegrity, WrongPasswordThatFoolsTheRecordIsCalledWrong) {
  ScratchDir dir;
  const std::string c = dir / "c.cfs";
  MakeContainer(c, "right");
  const std::optional<TCFSPasswordRec> rec = fstest::ForgeRecordFor(c, "wrong", kWrapper);
  ASSERT_TRUE(rec);
  std::string derived;
  ASSERT_TRUE(CheckPasswordRec(*rec, "wrong", derived));

  std::string out;
  EXPECT_EQ(RunTool({"info", c, "--password", "wrong"}, &out), 1);
  EXPECT_NE(out.find("password is wrong"), std::string::npos) << out;
  EXPECT_EQ(RunTool({"check", c, "--password", "wrong"}, &out), 1);
  EXPECT_NE(out.find("WRONG PASSWORD"), std::string::npos) << out;
  EXPECT_EQ(out.find("DAMAGED"), std::string::npos) << out;

  struct Events : TBackupEvents {
    int asked = 0;
    bool AskPassword(std::string& password) override {
      password = "wrong";
      return ++asked < 3;
    }
  } events;
  TRestoreOptions options;
  options.packagePath = c;
  options.targetDir = dir / "game\\";
  EXPECT_EQ(RestorePackage(options, events).status, TRestoreStatus::Cancelled);
  EXPECT_EQ(events.asked, 3);
  EXPECT_FALSE(platform::DirectoryExists(dir / "game"));
}
