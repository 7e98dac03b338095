// Zip runs against real files: archive layout, levels, updates, damaged archives, file list
// resolution and failure handling.
#include <gtest/gtest.h>
#include <zlib.h>

#include <map>

#include "tests/zip/ZipTestUtil.h"
#include "zip/ZipWriter.h"

using namespace ziptest;

namespace {

const std::string kPackName = "Zelk\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE\xBB\xD6\xB8\xB4\xB0\xFC.exe";  // CP936

std::u16string Wide(const std::string& cp936) { return platform::Cp936ToUtf16(cp936); }

std::string RawInflate(const std::string& data, std::size_t expected) {
  std::string out(expected + 1, '\0');
  z_stream zs{};
  EXPECT_EQ(inflateInit2(&zs, -15), Z_OK);
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&zs, Z_FINISH);
  EXPECT_EQ(rc, Z_STREAM_END);
  out.resize(zs.total_out);
  inflateEnd(&zs);
  return out;
}

std::uint32_t Crc(const std::string& data) {
  return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// Central directory of an archive as name -> uncompressed data, found by walking its records.
struct Parsed {
  struct Item {
    std::string name;
    std::uint16_t flags = 0, method = 0, madeBy = 0;
    std::uint32_t crc = 0, time = 0, external = 0;
    std::string data;  // uncompressed
  };
  std::vector<Item> items;
  std::string comment;
};

Parsed Parse(const std::string& zip) {
  Parsed p;
  std::size_t end = zip.size() - 22;
  while (end > 0 && U32(zip, end) != 0x06054B50u) --end;
  EXPECT_EQ(U32(zip, end), 0x06054B50u);
  EXPECT_EQ(end + 22 + U16(zip, end + 20), zip.size());
  std::size_t pos = U32(zip, end + 16);
  const std::uint16_t count = U16(zip, end + 10);
  EXPECT_EQ(U16(zip, end + 8), count);
  EXPECT_EQ(pos + U32(zip, end + 12), end);
  for (unsigned i = 0; i < count; ++i) {
    EXPECT_EQ(U32(zip, pos), 0x02014B50u);
    Parsed::Item it;
    it.madeBy = U16(zip, pos + 4);
    it.flags = U16(zip, pos + 8);
    it.method = U16(zip, pos + 10);
    it.time = U32(zip, pos + 12);
    it.crc = U32(zip, pos + 16);
    const std::uint32_t csize = U32(zip, pos + 20), usize = U32(zip, pos + 24);
    const std::uint16_t n = U16(zip, pos + 28), x = U16(zip, pos + 30), c = U16(zip, pos + 32);
    it.external = U32(zip, pos + 38);
    const std::uint32_t off = U32(zip, pos + 42);
    it.name = zip.substr(pos + 46, n);
    EXPECT_EQ(U32(zip, off), 0x04034B50u);
    EXPECT_EQ(zip.substr(off + 30, U16(zip, off + 26)), it.name);
    EXPECT_EQ(U32(zip, off + 14), it.crc);
    EXPECT_EQ(U32(zip, off + 18), csize);
    const std::string raw = zip.substr(off + 30 + U16(zip, off + 26) + U16(zip, off + 28), csize);
    it.data = it.method == 8 ? RawInflate(raw, usize) : raw;
    EXPECT_EQ(it.data.size(), usize);
    EXPECT_EQ(Crc(it.data), it.crc) << it.name;
    p.items.push_back(it);
    pos += 46 + n + x + c;
  }
  p.comment = zip.substr(end + 22);
  return p;
}

std::vector<std::string> Names(const Parsed& p) {
  std::vector<std::string> out;
  for (const auto& i : p.items) out.push_back(i.name);
  return out;
}

std::int64_t FileTimeOf(const std::string& path) {
  std::int64_t t = 0;
  platform::GetFileTime(path, t);
  return t;
}

constexpr std::int64_t kSecond = 10000000;

// Counts files whose name starts with "ZTF" in a directory.
int TempFilesIn(const std::string& dir) {
  std::vector<platform::DirEntry> entries;
  platform::ListDirectory(dir + "*", platform::kAttrAnyFile, entries);
  int n = 0;
  for (const auto& e : entries) n += e.name.rfind("ZTF", 0) == 0;
  return n;
}

class ZipWriterTest : public ::testing::Test {
 protected:
  ScratchDir dir;
  std::string Make(const std::string& name, const std::string& data) {
    const std::string path = dir / name;
    EXPECT_TRUE(WriteFile(path, data));
    return path;
  }
};

}  // namespace

TEST_F(ZipWriterTest, PackingRunArchiveLayout) {
  const std::string content = TextBytes(150000) + NoiseBytes(20000, 3);
  const std::string exe = Make(kPackName, content);
  const std::string zipPath = dir / "Zelk\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE\xBB\xD6\xB8\xB4\xB0\xFC" "2026-12-07.zip";
  TZipWriter zip;
  zip.OverwriteMode = Always;
  zip.DoAll = true;
  zip.FilesList.Add(Wide(exe));
  zip.SetZipName(Wide(zipPath));
  int completed = -1;
  zip.OnZipComplete = [&](TZipReader*, int n) { completed = n; };
  std::vector<int> filePercents, totalPercents;
  zip.OnFilePercentDone = [&](TZipReader*, int p) { filePercents.push_back(p); };
  zip.OnTotalPercentDone = [&](TZipReader*, int p) { totalPercents.push_back(p); };
  EXPECT_EQ(zip.Zip(), 1);
  EXPECT_EQ(completed, 1);
  // One notification per 65,535-byte block read, rising to 100; the run ends with 100 again.
  ASSERT_EQ(filePercents.size(), 3u);
  EXPECT_EQ(filePercents, (std::vector<int>{39, 77, 100}));
  EXPECT_EQ(totalPercents, (std::vector<int>{39, 77, 100, 100}));
  EXPECT_EQ(zip.FilesList.Count(), 0);

  const std::string z = ReadFile(zipPath);
  const std::size_t n = kPackName.size();
  ASSERT_EQ(n, 22u);
  ASSERT_GT(z.size(), 98 + 2 * n);
  const std::size_t c = z.size() - 98 - 2 * n;
  // Local header at 0, data at 30 + n.
  EXPECT_EQ(U32(z, 0), 0x04034B50u);
  EXPECT_EQ(U16(z, 4), 20);
  EXPECT_EQ(U16(z, 6), 0);
  EXPECT_EQ(U16(z, 8), 8);
  EXPECT_EQ(U32(z, 10), DosDateTimeOfPath(exe));
  EXPECT_EQ(U32(z, 14), Crc(content));
  EXPECT_EQ(U32(z, 18), c);
  EXPECT_EQ(U32(z, 22), content.size());
  EXPECT_EQ(U16(z, 26), n);
  EXPECT_EQ(U16(z, 28), 0);
  EXPECT_EQ(z.substr(30, n), kPackName);
  EXPECT_EQ(RawInflate(z.substr(30 + n, c), content.size()), content);
  // Central header at 30 + n + c.
  const std::size_t ch = 30 + n + c;
  EXPECT_EQ(U32(z, ch), 0x02014B50u);
  EXPECT_EQ(U16(z, ch + 4), 0x002D);
  EXPECT_EQ(U16(z, ch + 6), 20);
  EXPECT_EQ(U16(z, ch + 8), 0);
  EXPECT_EQ(U16(z, ch + 10), 8);
  EXPECT_EQ(U32(z, ch + 12), U32(z, 10));
  EXPECT_EQ(U32(z, ch + 16), Crc(content));
  EXPECT_EQ(U32(z, ch + 20), c);
  EXPECT_EQ(U32(z, ch + 24), content.size());
  EXPECT_EQ(U16(z, ch + 28), n);
  EXPECT_EQ(U16(z, ch + 30), 0);
  EXPECT_EQ(U16(z, ch + 32), 0);
  EXPECT_EQ(U16(z, ch + 34), 0);
  EXPECT_EQ(U16(z, ch + 36), 0);
  EXPECT_EQ(U32(z, ch + 38), platform::GetFileAttributes(exe));
  EXPECT_EQ(U32(z, ch + 42), 0u);
  EXPECT_EQ(z.substr(ch + 46, n), kPackName);
  // End record at 76 + 2n + c.
  const std::size_t e = 76 + 2 * n + c;
  EXPECT_EQ(U32(z, e), 0x06054B50u);
  EXPECT_EQ(U16(z, e + 4), 0);
  EXPECT_EQ(U16(z, e + 6), 0);
  EXPECT_EQ(U16(z, e + 8), 1);
  EXPECT_EQ(U16(z, e + 10), 1);
  EXPECT_EQ(U32(z, e + 12), 46 + n);
  EXPECT_EQ(U32(z, e + 16), 30 + n + c);
  EXPECT_EQ(U16(z, e + 20), 0);

  ASSERT_EQ(zip.Count(), 1);
  EXPECT_EQ(zip.ZipContents(0).FileName, Wide(kPackName));
}

TEST_F(ZipWriterTest, NothingToAddWritesTheBareEndRecord) {
  const std::string zipPath = dir / "empty.zip";
  TZipWriter zip;
  std::vector<std::u16string> missing;
  zip.OnNoSuchFile = [&](TZipReader*, const std::u16string& f) { missing.push_back(f); };
  zip.FilesList.Add(Wide(dir / "nope.bin"));
  zip.SetZipName(Wide(zipPath));
  EXPECT_EQ(zip.Zip(), 0);
  EXPECT_EQ(ReadFile(zipPath), std::string("PK\x05\x06", 4) + std::string(18, '\0'));
  EXPECT_EQ(missing, std::vector<std::u16string>{Wide(dir / "nope.bin")});

  // A blank archive name does nothing at all and keeps the list.
  TZipWriter blank;
  blank.FilesList.Add(u"x");
  blank.SetZipName(u" \t ");
  EXPECT_EQ(blank.Zip(), 0);
  EXPECT_EQ(blank.FilesList.Count(), 1);
}

TEST_F(ZipWriterTest, ZeroLengthFileIsAnEmptyDeflateStream) {
  const std::string f = Make("zero.dat", "");
  TZipWriter zip;
  zip.FilesList.Add(Wide(f));
  zip.SetZipName(Wide(dir / "z.zip"));
  EXPECT_EQ(zip.Zip(), 1);
  const std::string z = ReadFile(dir / "z.zip");
  EXPECT_EQ(U16(z, 8), 8);
  EXPECT_EQ(U32(z, 14), 0u);
  EXPECT_EQ(U32(z, 18), 2u);
  EXPECT_EQ(U32(z, 22), 0u);
  EXPECT_EQ(z.substr(30 + 8, 2), std::string("\x03\x00", 2));
}

TEST_F(ZipWriterTest, PackLevelSetsMethodAndFlags) {
  const std::string text = TextBytes(70000);
  const std::string f = Make("t.txt", text);
  const std::string g = Make("p.jpg", NoiseBytes(5000, 9));
  struct Case {
    int level;
    std::uint16_t flags, method;
  };
  for (const Case cs : {Case{0, 4, 0}, Case{1, 4, 8}, Case{2, 4, 8}, Case{6, 0, 8}, Case{8, 2, 8}, Case{9, 2, 8}}) {
    const std::string zipPath = dir / ("lvl" + std::to_string(cs.level) + ".zip");
    TZipWriter zip;
    zip.PackLevel = cs.level;
    zip.NoCompressList.Add(u"*.JPG");
    zip.FilesList.Add(Wide(f));
    zip.FilesList.Add(Wide(g));
    zip.SetZipName(Wide(zipPath));
    EXPECT_EQ(zip.Zip(), 2);
    const Parsed p = Parse(ReadFile(zipPath));
    ASSERT_EQ(p.items.size(), 2u);
    EXPECT_EQ(p.items[0].flags, cs.flags) << cs.level;
    EXPECT_EQ(p.items[0].method, cs.method) << cs.level;
    EXPECT_EQ(p.items[0].data, text);
    EXPECT_EQ(p.items[1].method, 0) << "names matching NoCompressList are stored";
    EXPECT_EQ(p.items[1].flags, cs.flags);
  }
}

TEST_F(ZipWriterTest, UpdateReplacesOnlyNewerFiles) {
  const std::string a = Make("a.txt", "first version of a");
  const std::string b = Make("b.txt", "b stays as it is");
  std::int64_t t0 = FileTimeOf(a) / (2 * kSecond) * (2 * kSecond);
  ASSERT_TRUE(platform::SetFileTime(a, t0));
  ASSERT_TRUE(platform::SetFileTime(b, t0));
  const std::string zipPath = dir / "u.zip";
  const std::string temps = dir / "tmp\\";
  ASSERT_TRUE(platform::ForceDirectories(temps));

  TZipWriter zip;
  zip.TempPath = Wide(temps);
  zip.SetZipName(Wide(zipPath));
  zip.FilesList.Add(Wide(a));
  zip.FilesList.Add(Wide(b));
  EXPECT_EQ(zip.Zip(), 2);
  const std::string once = ReadFile(zipPath);

  // Same time stamps: every entry is carried over unchanged, nothing counts.
  std::vector<std::pair<TUpdateAction, int>> updates;
  zip.OnUpdate = [&](TZipReader*, TUpdateAction act, int index) { updates.emplace_back(act, index); };
  zip.FilesList.Add(Wide(a));
  zip.FilesList.Add(Wide(b));
  EXPECT_EQ(zip.Zip(), 0);
  EXPECT_EQ(ReadFile(zipPath), once);
  EXPECT_EQ(updates, (std::vector<std::pair<TUpdateAction, int>>{{uaKeeping, 0}, {uaKeeping, 1}}));
  EXPECT_EQ(TempFilesIn(temps), 0);

  // a is newer by 4 seconds: it replaces its entry in place; a new file goes last.
  ASSERT_TRUE(WriteFile(a, "second version of a, longer"));
  ASSERT_TRUE(platform::SetFileTime(a, t0 + 4 * kSecond));
  const std::string c = Make("c.txt", "brand new");
  updates.clear();
  zip.FilesList.Add(Wide(c));
  zip.FilesList.Add(Wide(a));
  zip.FilesList.Add(Wide(b));
  EXPECT_EQ(zip.Zip(), 2);
  EXPECT_EQ(updates, (std::vector<std::pair<TUpdateAction, int>>{{uaReplacing, 0}, {uaKeeping, 1}}));
  Parsed p = Parse(ReadFile(zipPath));
  EXPECT_EQ(Names(p), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  EXPECT_EQ(p.items[0].data, "second version of a, longer");
  EXPECT_EQ(p.items[1].data, "b stays as it is");
  EXPECT_EQ(p.items[2].data, "brand new");
  EXPECT_EQ(TempFilesIn(temps), 0);

  // zaReplace replaces whatever the times; zaFreshen only touches entries that exist.
  zip.ZipAction = zaReplace;
  zip.FilesList.Add(Wide(b));
  EXPECT_EQ(zip.Zip(), 1);
  const std::string d = Make("d.txt", "not in the archive");
  zip.ZipAction = zaFreshen;
  ASSERT_TRUE(WriteFile(c, "fresher c"));
  ASSERT_TRUE(platform::SetFileTime(c, t0 + 3600 * kSecond));
  std::vector<TSkipReason> reasons;
  zip.OnSkippingFile = [&](TZipReader*, TSkipReason r, const std::u16string&, int, bool&) { reasons.push_back(r); };
  zip.FilesList.Add(Wide(c));
  zip.FilesList.Add(Wide(d));
  EXPECT_EQ(zip.Zip(), 1);
  EXPECT_EQ(reasons, std::vector<TSkipReason>{srNoFileToFreshen});
  p = Parse(ReadFile(zipPath));
  EXPECT_EQ(Names(p), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  EXPECT_EQ(p.items[2].data, "fresher c");
}

TEST_F(ZipWriterTest, UpdateKeepsCommentsAndDropsDataDescriptors) {
  // An archive made by hand: one stored entry with a data descriptor, an entry comment, an
  // extra block and an archive comment.
  const std::string data = "hello descriptor";
  std::string z;
  auto put16 = [&](std::uint16_t v) { z += static_cast<char>(v & 0xFF), z += static_cast<char>(v >> 8); };
  auto put32 = [&](std::uint32_t v) { put16(static_cast<std::uint16_t>(v)), put16(static_cast<std::uint16_t>(v >> 16)); };
  put32(0x04034B50); put16(20); put16(8); put16(0); put32(0x5A215C3B); put32(0); put32(0); put32(0);
  put16(5); put16(0); z += "h.txt"; z += data;
  put32(0x08074B50); put32(Crc(data)); put32(data.size()); put32(data.size());
  const std::size_t cd = z.size();
  put32(0x02014B50); put16(0x0314); put16(20); put16(8); put16(0); put32(0x5A215C3B); put32(Crc(data));
  put32(data.size()); put32(data.size()); put16(5); put16(9); put16(3); put16(0); put16(1); put32(0x81A40000);
  put32(0); z += "h.txt"; z += std::string("\x0A\x00\x05\x00zzzzz", 9); z += "cmt";
  const std::size_t cdSize = z.size() - cd;
  put32(0x06054B50); put16(0); put16(0); put16(1); put16(1); put32(cdSize); put32(cd); put16(7); z += "archive";
  const std::string zipPath = dir / "h.zip";
  ASSERT_TRUE(WriteFile(zipPath, z));

  const std::string n = Make("n.txt", "new");
  TZipWriter zip;
  zip.FilesList.Add(Wide(n));
  zip.SetZipName(Wide(zipPath));
  EXPECT_EQ(zip.Zip(), 1);
  const std::string out = ReadFile(zipPath);
  const Parsed p = Parse(out);
  ASSERT_EQ(p.items.size(), 2u);
  EXPECT_EQ(p.items[0].name, "h.txt");
  EXPECT_EQ(p.items[0].data, data);
  EXPECT_EQ(p.items[0].flags & 8, 0);
  EXPECT_EQ(p.items[0].madeBy, 0x0314);
  EXPECT_EQ(p.items[0].external, 0x81A40000u);
  EXPECT_EQ(p.comment, "archive");
  // The old entry comes first, its descriptor gone: the second local header follows its data.
  EXPECT_EQ(U32(out, 30 + 5 + data.size()), 0x04034B50u);
  const std::size_t cd2 = U32(out, out.size() - 7 - 22 + 16);
  EXPECT_EQ(U16(out, cd2 + 30), 9);
  EXPECT_EQ(U16(out, cd2 + 32), 3);
  EXPECT_EQ(out.substr(cd2 + 46 + 5, 12), std::string("\x0A\x00\x05\x00zzzzzcmt", 12));
}

TEST_F(ZipWriterTest, ExistingFilesThatAreNotArchives) {
  const std::string f = Make("f.txt", "payload");
  const std::string temps = dir / "tmp\\";
  ASSERT_TRUE(platform::ForceDirectories(temps));
  // A 0-byte file is an empty archive: the run goes through a temporary archive.
  const std::string empty = Make("empty.zip", "");
  TZipWriter zip;
  zip.TempPath = Wide(temps);
  zip.FilesList.Add(Wide(f));
  zip.SetZipName(Wide(empty));
  EXPECT_EQ(zip.Zip(), 1);
  EXPECT_EQ(Names(Parse(ReadFile(empty))), std::vector<std::string>{"f.txt"});
  EXPECT_EQ(TempFilesIn(temps), 0);

  // Text under the name: each mode raises its error and the file is left alone.
  const std::string text = Make("text.zip", "0123456789");
  struct Case {
    TIncompleteZipMode mode;
    const char* message;
  };
  for (const Case cs : {Case{izAssumeMulti, "Incomplete Zip File"}, Case{izAssumeNotAZip, "Not a valid zip file!"},
                        Case{izAssumeBad, "Not a valid zip file!"}}) {
    TZipWriter w;
    w.TempPath = Wide(temps);
    w.IncompleteZipMode = cs.mode;
    w.FilesList.Add(Wide(f));
    w.SetZipName(Wide(text));
    try {
      w.Zip();
      ADD_FAILURE() << "no exception for mode " << cs.mode;
    } catch (const EZipException& e) {
      EXPECT_EQ(e.Message(), cs.message);
      if (cs.mode == izAssumeMulti) {
        EXPECT_NE(dynamic_cast<const EIncompleteZip*>(&e), nullptr);
      }
      if (cs.mode == izAssumeNotAZip) {
        EXPECT_NE(dynamic_cast<const ENotAZipFile*>(&e), nullptr);
      }
      if (cs.mode == izAssumeBad) {
        EXPECT_NE(dynamic_cast<const EBadZipFile*>(&e), nullptr);
      }
    }
    EXPECT_EQ(ReadFile(text), "0123456789");
    EXPECT_EQ(TempFilesIn(temps), 0);
    EXPECT_EQ(w.FilesList.Count(), 0);
    EXPECT_FALSE(w.Busy());
  }
  // The handler may change the mode.
  TZipWriter w;
  w.TempPath = Wide(temps);
  w.OnInCompleteZip = [](TZipReader*, TIncompleteZipMode& m) { m = izAssumeNotAZip; };
  w.FilesList.Add(Wide(f));
  w.SetZipName(Wide(text));
  EXPECT_THROW(w.Zip(), ENotAZipFile);
}

TEST_F(ZipWriterTest, DamagedDirectoriesNeverReachOutsideTheFile) {
  const std::string a = Make("a.txt", TextBytes(3000));
  const std::string b = Make("b.txt", "bbb");
  const std::string good = dir / "good.zip";
  {
    TZipWriter zip;
    zip.FilesList.Add(Wide(a));
    zip.FilesList.Add(Wide(b));
    zip.SetZipName(Wide(good));
    ASSERT_EQ(zip.Zip(), 2);
  }
  const std::string base = ReadFile(good);
  const std::size_t e = base.size() - 22;
  const std::string temps = dir / "tmp\\";
  ASSERT_TRUE(platform::ForceDirectories(temps));
  auto patched = [&](std::size_t at, std::uint32_t value, int width) {
    std::string z = base;
    for (int i = 0; i < width; ++i) z[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return z;
  };
  const std::string c = Make("c.txt", "ccc");
  auto update = [&](const std::string& bytes) {
    const std::string path = dir / "d.zip";
    EXPECT_TRUE(WriteFile(path, bytes));
    TZipWriter zip;
    zip.TempPath = Wide(temps);
    zip.FilesList.Add(Wide(c));
    zip.SetZipName(Wide(path));
    zip.Zip();
    return ReadFile(path);
  };
  // Central directory beyond the file, counts too large for its size, a name length running
  // past the directory: the listing is rebuilt from the local headers.
  for (const std::string& bad : {patched(e + 16, 0x7FFFFFF0u, 4), patched(e + 10, 0xFFFF, 2),
                                 patched(e + 12, 0xFFFFFFFFu, 4), patched(U32(base, e + 16) + 28, 0xFFFF, 2)}) {
    const Parsed p = Parse(update(bad));
    EXPECT_EQ(Names(p), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(p.items[0].data, TextBytes(3000));
  }
  // A local header offset outside the data also sends the reader to the local headers.
  const std::size_t cd = U32(base, e + 16);
  const std::size_t second = cd + 46 + 5;
  EXPECT_EQ(Names(Parse(update(patched(second + 42, 0xFFFFFF00u, 4)))), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  // One inside the data that leads to no local header: bad archive, left untouched.
  for (const std::string& bad : {patched(second + 42, 2, 4)}) {
    const std::string path = dir / "d.zip";
    ASSERT_TRUE(WriteFile(path, bad));
    TZipWriter zip;
    zip.TempPath = Wide(temps);
    zip.FilesList.Add(Wide(c));
    zip.SetZipName(Wide(path));
    EXPECT_THROW(zip.Zip(), EZipException);
    EXPECT_EQ(ReadFile(path), bad);
    EXPECT_EQ(TempFilesIn(temps), 0);
  }
  // An end record with nothing valid behind it.
  const std::string junk = std::string(100, 'x') + patched(e, 0x06054B50u, 4).substr(e);
  {
    const std::string path = dir / "j.zip";
    ASSERT_TRUE(WriteFile(path, junk));
    TZipWriter zip;
    zip.TempPath = Wide(temps);
    zip.FilesList.Add(Wide(c));
    zip.SetZipName(Wide(path));
    EXPECT_THROW(zip.Zip(), EBadZipFile);
    EXPECT_EQ(ReadFile(path), junk);
  }
  // Two entries of the same name (compared without regard to case) cannot both be carried over.
  {
    std::string dup = base;
    const std::size_t secondLocal = U32(base, second + 42);
    dup.replace(secondLocal + 30, 5, "A.TXT");
    dup.replace(second + 46, 5, "A.TXT");
    const std::string path = dir / "dup.zip";
    ASSERT_TRUE(WriteFile(path, dup));
    TZipWriter zip;
    zip.TempPath = Wide(temps);
    zip.FilesList.Add(Wide(c));
    zip.SetZipName(Wide(path));
    try {
      zip.Zip();
      ADD_FAILURE() << "duplicate names were accepted";
    } catch (const EListError& ex) {
      EXPECT_EQ(ex.Message(), "Duplicate Object index");
    }
    EXPECT_EQ(ReadFile(path), dup);
  }
}

TEST_F(ZipWriterTest, RelativeNamesAndThePlacesOfTheTemporaryArchive) {
  const std::string f = Make("f.txt", "one");
  const std::string g = Make("g.txt", "two");
  const std::string saved = platform::GetCurrentDirectory();
  ASSERT_TRUE(platform::SetCurrentDirectory(dir.Path()));
  {
    TZipWriter zip;
    zip.FilesList.Add(u"f.txt");  // resolved against the current directory
    zip.SetZipName(u"rel.zip");
    EXPECT_EQ(zip.Zip(), 1);
    zip.FilesList.Add(u"g.txt");
    EXPECT_EQ(zip.Zip(), 1);  // existing archive, relative name: copied into place
  }
  platform::SetCurrentDirectory(saved);
  EXPECT_EQ(Names(Parse(ReadFile(dir / "rel.zip"))), (std::vector<std::string>{"f.txt", "g.txt"}));

  // With a drive on both sides the temporary archive is renamed into place.
  std::string withDrive = dir.Path();
  if (withDrive[0] == '\\') withDrive = "C:" + withDrive;
  const std::string temps = withDrive + "tmp\\";
  ASSERT_TRUE(platform::ForceDirectories(temps));
  TZipWriter zip;
  zip.TempPath = Wide(temps);
  zip.SetZipName(Wide(withDrive + "drive.zip"));
  zip.FilesList.Add(Wide(f));
  EXPECT_EQ(zip.Zip(), 1);
  zip.FilesList.Add(Wide(g));
  EXPECT_EQ(zip.Zip(), 1);
  EXPECT_EQ(Names(Parse(ReadFile(dir / "drive.zip"))), (std::vector<std::string>{"f.txt", "g.txt"}));
  EXPECT_EQ(TempFilesIn(temps), 0);
  EXPECT_FALSE(platform::FileExists(dir / "drive.zip$$"));
  EXPECT_FALSE(platform::FileExists(dir / "drive.zip$$$"));
}

TEST_F(ZipWriterTest, HiddenAndSystemFilesAreLeftOutUnlessIncluded) {
  const std::string h = Make("h.exe", "hidden");
  ASSERT_TRUE(platform::SetFileAttributes(h, platform::kAttrHidden | platform::kAttrArchive));
  if (!(platform::GetFileAttributes(h) & platform::kAttrHidden)) GTEST_SKIP() << "file system keeps no hidden bit";
  TZipWriter zip;
  int missing = 0;
  zip.OnNoSuchFile = [&](TZipReader*, const std::u16string&) { ++missing; };
  zip.FilesList.Add(Wide(h));
  zip.SetZipName(Wide(dir / "h.zip"));
  EXPECT_EQ(zip.Zip(), 0);
  EXPECT_EQ(missing, 1);
  EXPECT_EQ(ReadFile(dir / "h.zip").size(), 22u);
  EXPECT_EQ(zip.SearchAttribute(), 57u);

  TZipWriter all;
  all.IncludeHiddenFiles = true;
  all.FilesList.Add(Wide(h));
  all.SetZipName(Wide(dir / "h2.zip"));
  EXPECT_EQ(all.Zip(), 1);
  EXPECT_EQ(Parse(ReadFile(dir / "h2.zip")).items.at(0).external & platform::kAttrHidden, platform::kAttrHidden);
}

TEST_F(ZipWriterTest, WildcardsRecursionAndPatterns) {
  ASSERT_TRUE(platform::ForceDirectories(dir / "src\\sub\\deep\\"));
  Make("src\\a.txt", "a");
  Make("src\\b.log", "b");
  Make("src\\log7.txt", "7");
  Make("src\\sub\\c.txt", "c");
  Make("src\\sub\\d.txt", "d");
  Make("src\\sub\\deep\\e.txt", "e");
  const std::string src = dir / "src\\";
  auto run = [&](auto configure) {
    const std::string zipPath = dir / "w.zip";
    platform::DeleteFile(zipPath);
    TZipWriter zip;
    configure(zip);
    zip.SetZipName(Wide(zipPath));
    zip.Zip();
    EXPECT_EQ(zip.FilesList.Count(), 0);
    std::vector<std::string> names = Names(Parse(ReadFile(zipPath)));
    std::sort(names.begin(), names.end());
    return names;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(run([&](TZipWriter& z) { z.FilesList.Add(Wide(src + "*.txt")); }), (V{"a.txt", "log7.txt"}));
  EXPECT_EQ(run([&](TZipWriter& z) { z.FilesList.Add(Wide(src + "*.*")); }), (V{"a.txt", "b.log", "log7.txt"}));
  EXPECT_EQ(run([&](TZipWriter& z) { z.FilesList.Add(Wide(src + "log<0-9>.*")); }), (V{"log7.txt"}));
  EXPECT_EQ(run([&](TZipWriter& z) { z.FilesList.Add(Wide(src + "<!a>*.txt")); }), (V{"log7.txt"}));
  // Recursion by setting and by prefix; paths stored relative to RootDir.
  const V tree{"a.txt", "log7.txt", "sub/c.txt", "sub/d.txt", "sub/deep/e.txt"};
  EXPECT_EQ(run([&](TZipWriter& z) {
              z.StorePaths = z.RelativePaths = true;
              z.SetRootDir(Wide(dir / "src"));
              z.FilesList.Add(u">*.txt");
            }),
            tree);
  EXPECT_EQ(run([&](TZipWriter& z) {
              z.StorePaths = z.RelativePaths = z.Recurse = true;
              z.SetRootDir(Wide(src));
              z.FilesList.Add(u"|*.txt");
            }),
            (V{"a.txt", "log7.txt"}));
  // Exclusions by file name and by full path; directory entries when asked for.
  EXPECT_EQ(run([&](TZipWriter& z) {
              z.StorePaths = z.RelativePaths = z.Recurse = z.AddDirEntriesOnRecurse = true;
              z.SetRootDir(Wide(src));
              z.ExcludeList.Add(u"D.*");
              z.ExcludeList.Add(u"*\\deep\\*");
              z.FilesList.Add(u"*.txt");
            }),
            (V{"a.txt", "log7.txt", "sub/", "sub/c.txt", "sub/deep/"}));
  // A wildcard level in the directory part, and a search of a missing folder.
  std::vector<std::u16string> missing;
  EXPECT_EQ(run([&](TZipWriter& z) {
              z.OnNoSuchFile = [&](TZipReader*, const std::u16string& f) { missing.push_back(f); };
              z.FilesList.Add(Wide(src + "s?b\\*.txt"));
              z.FilesList.Add(Wide(src + "none\\*.txt"));
            }),
            (V{"c.txt", "d.txt"}));
  EXPECT_EQ(missing, std::vector<std::u16string>{Wide(src + "none\\*.txt")});
  // Listed files are excluded too; a second file of the same stored name is skipped.
  std::vector<TSkipReason> reasons;
  EXPECT_EQ(run([&](TZipWriter& z) {
              z.OnSkippingFile = [&](TZipReader*, TSkipReason r, const std::u16string&, int, bool&) { reasons.push_back(r); };
              z.ExcludeList.Add(u"*.log");
              z.FilesList.Add(Wide(src + "b.log"));
              z.FilesList.Add(Wide(src + "sub\\c.txt"));
              z.FilesList.Add(Wide(src + "SUB\\C.TXT"));
            }),
            (V{"c.txt"}));
  EXPECT_EQ(reasons, (std::vector<TSkipReason>{srExcludeList, srNoOverwrite}));
  // The archive never contains itself.
  const std::string inside = src + "self.zip";
  {
    TZipWriter z;
    z.FilesList.Add(Wide(src + "*.*"));
    z.SetZipName(Wide(inside));
    EXPECT_EQ(z.Zip(), 3);
    z.FilesList.Add(Wide(src + "*.*"));
    EXPECT_EQ(z.Zip(), 0);
    EXPECT_EQ(Names(Parse(ReadFile(inside))).size(), 3u);
  }
}

TEST_F(ZipWriterTest, FailuresRemoveTheOutputAndRestoreTheComponent) {
  const std::string f = Make("f.txt", TextBytes(200000));
  const std::string zipPath = dir / "c.zip";
  TZipWriter zip;
  zip.SortMode = ByDate;
  zip.OnStartZipInfo = [](TZipReader*, int n, std::int64_t total, TEndCentral&, bool& stop) {
    EXPECT_EQ(n, 1);
    EXPECT_EQ(total, 200000);
    stop = true;
  };
  zip.FilesList.Add(Wide(f));
  zip.SetZipName(Wide(zipPath));
  try {
    zip.Zip();
    ADD_FAILURE();
  } catch (const EUserCanceled& e) {
    EXPECT_EQ(e.Message(), "User canceled Zip operation");
  }
  EXPECT_FALSE(platform::FileExists(zipPath));
  EXPECT_EQ(zip.FilesList.Count(), 0);
  EXPECT_EQ(zip.SortMode, ByDate);
  EXPECT_FALSE(zip.KeepZipOpen);

  // A cancel request seen while messages are pumped mid-file.
  struct CancellingHost : TZipMessageHost {
    TZipWriter* zip = nullptr;
    int pumps = 0;
    void ProcessMessages() override {
      if (++pumps == 2) zip->Cancel();
    }
  } host;
  host.zip = &zip;
  zip.OnStartZipInfo = nullptr;
  zip.SetMessageHost(&host);
  zip.PackLevel = 0;
  zip.FilesList.Add(Wide(f));
  try {
    zip.Zip();
    ADD_FAILURE();
  } catch (const EUserCanceled& e) {
    EXPECT_EQ(e.Message(), "User Aborted Operation");
  }
  EXPECT_FALSE(platform::FileExists(zipPath));
  EXPECT_EQ(zip.FilesList.Count(), 0);

  // The component stays usable; with pumping off the host is never asked.
  zip.DoProcessMessages = false;
  host.pumps = -100;
  zip.FilesList.Add(Wide(f));
  EXPECT_EQ(zip.Zip(), 1);
  EXPECT_EQ(host.pumps, -100);
}

TEST_F(ZipWriterTest, DisposeDeletesAddedAndUpToDateSources) {
  const std::string a = Make("a.txt", "aaa");
  const std::string b = Make("b.txt", "bbb");
  const std::string zipPath = dir / "dispose.zip";
  {
    TZipWriter zip;
    zip.FilesList.Add(Wide(b));
    zip.SetZipName(Wide(zipPath));
    ASSERT_EQ(zip.Zip(), 1);
  }
  TZipWriter zip;
  zip.Dispose = true;
  std::vector<std::u16string> asked;
  zip.OnDisposeFile = [&](TZipReader*, const std::u16string& name, bool& skip) {
    asked.push_back(name);
    skip = name == Wide(a);
  };
  zip.FilesList.Add(Wide(a));
  zip.FilesList.Add(Wide(b));  // same time stamp as its entry: kept, still disposed
  zip.SetZipName(Wide(zipPath));
  EXPECT_EQ(zip.Zip(), 1);
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_TRUE(platform::FileExists(a));
  EXPECT_FALSE(platform::FileExists(b));
}

TEST_F(ZipWriterTest, FilesChangingWhileReadAreRecordedAsRead) {
  const std::string shrink = Make("shrink.txt", TextBytes(100000));
  const std::string grow = Make("grow.txt", "short");
  const std::string skip = Make("skip.txt", "never");
  TZipWriter zip;
  // The handler runs after each file was opened and measured, before its data is read.
  zip.OnStartZip = [&](TZipReader*, const std::u16string& name, TZipHeaderInfo& h, bool& skipIt) {
    EXPECT_EQ(h.UncompressedSize, platform::FileSize(platform::Utf16ToCp936(name)));
    if (name == Wide(shrink)) WriteFile(shrink, "now tiny");
    if (name == Wide(grow)) WriteFile(grow, TextBytes(5000));
    skipIt = name == Wide(skip);
  };
  std::vector<std::pair<int, std::string>> messages;
  zip.OnHandleMessage = [&](TZipReader*, int id, const std::string&, const std::string& caption, unsigned, int&) {
    messages.emplace_back(id, caption);
  };
  std::vector<TSkipReason> reasons;
  zip.OnSkippingFile = [&](TZipReader*, TSkipReason r, const std::u16string&, int, bool&) { reasons.push_back(r); };
  for (const auto& f : {shrink, grow, skip}) zip.FilesList.Add(Wide(f));
  zip.SetZipName(Wide(dir / "changing.zip"));
  EXPECT_EQ(zip.Zip(), 2);
  EXPECT_EQ(messages, (std::vector<std::pair<int, std::string>>{{208, shrink}}));
  EXPECT_EQ(reasons, std::vector<TSkipReason>{srSkippedInStartZip});
  const Parsed p = Parse(ReadFile(dir / "changing.zip"));
  ASSERT_EQ(p.items.size(), 2u);
  EXPECT_EQ(p.items[0].data, "now tiny");
  EXPECT_EQ(p.items[1].data, TextBytes(5000));
}

TEST_F(ZipWriterTest, Store83NamesStoresShortNamesWhereTheVolumeKeepsThem) {
  ASSERT_TRUE(platform::ForceDirectories(dir / "Long Folder Name\\"));
  const std::string file = Make("Long Folder Name\\a long file name.text", "short names");
  const std::string shortFile = platform::ShortPathName(file);
  TZipWriter zip;
  zip.Store83Names = true;
  zip.StorePaths = true;
  zip.RelativePaths = true;
  zip.SetRootDir(Wide(dir.Path()));
  zip.FilesList.Add(Wide(file));
  zip.SetZipName(Wide(dir / "s.zip"));
  ASSERT_EQ(zip.Zip(), 1);
  const Parsed p = Parse(ReadFile(dir / "s.zip"));
  ASSERT_EQ(p.items.size(), 1u);
  if (shortFile == file) {
    // No short names here (posix, or a volume without them): the long names are kept.
    EXPECT_EQ(p.items[0].name, "Long Folder Name/a long file name.text");
  } else {
    // Both the folder and the file in 8.3 form, below the root directory given in long form.
    const std::size_t slash = p.items[0].name.find('/');
    ASSERT_NE(slash, std::string::npos) << p.items[0].name;
    for (const std::string& part : {p.items[0].name.substr(0, slash), p.items[0].name.substr(slash + 1)}) {
      const std::size_t dot = part.find('.');
      EXPECT_EQ(part.find(' '), std::string::npos) << part;
      EXPECT_LE(dot == std::string::npos ? part.size() : dot, 8u) << part;
      EXPECT_LE(dot == std::string::npos ? 0 : part.size() - dot - 1, 3u) << part;
    }
    EXPECT_EQ(p.items[0].data, "short names");
  }
}
