// Disk and memory part files, the wrapper header fields and the part size table.
#include <gtest/gtest.h>

#include "cfs/file/CFSDiskFile.h"
#include "cfs/file/CFSHugeFile.h"
#include "cfs/file/CFSMaxPartSize.h"
#include "cfs/file/CFSMemoryFile.h"
#include "cfs/file/CFSWrapperHeader.h"
#include "platform/Exception.h"
#include "tests/cfs/file/StorageTestUtil.h"

using namespace storagetest;

TEST(DiskFile, AccessSharingAndTruncation) {
  ScratchDir dir;
  const std::string name = dir / "d.bin";
  TCFSDiskFile w(name, false, false);
  EXPECT_FALSE(w.Open(false));  // does not exist yet
  ASSERT_TRUE(w.Open(true));
  w.WriteBuffer("0123456789", 10);
  EXPECT_EQ(w.GetSize(), 10);
  w.SetPosition(4);
  EXPECT_EQ(w.Write(nullptr, 0), 0);  // a zero-length write cuts the file here
  EXPECT_EQ(w.GetSize(), 4);
  w.SetSize(8);
  EXPECT_EQ(w.GetSize(), 8);
  w.SetPosition(2);
  w.SetReadOnly(true);  // reopened read-only, position kept
  EXPECT_EQ(w.GetPosition(), 2);
  EXPECT_EQ(w.Write("xx", 2), 0);
  EXPECT_EQ(ErrorOf([&] { w.WriteBuffer("xx", 2); }), "TCFSAbstractFile.WriteBuffer - Stream write error");
  char buffer[16];
  EXPECT_EQ(w.Read(buffer, 16), 6);
  w.SetPosition(7);
  EXPECT_EQ(ErrorOf([&] { w.ReadBuffer(buffer, 2); }), "TCFSAbstractFile.ReadBuffer - Stream read error");
  w.Close();
  EXPECT_EQ(ReadAll(name), Bytes({'0', '1', '2', '3', 0, 0, 0, 0}));

  TCFSDiskFile exclusive(name, false, true);
  ASSERT_TRUE(exclusive.Open(false));
  TCFSDiskFile other(name, true, false);
  EXPECT_FALSE(other.Open(false));
  exclusive.Close();
  EXPECT_TRUE(other.Open(false));
}

TEST(MemoryFile, CreatesOnlyAndCopiesFromDisk) {
  ScratchDir dir;
  TCFSMemoryFile m(dir / "m", false, false);
  EXPECT_EQ(ErrorOf([&] { m.Open(false); }),
            "TCFSMemoryFile.Open - File cannot be open, only creation is available.");
  ASSERT_TRUE(m.Open(true));
  m.SetPosition(5);
  m.WriteBuffer("abc", 3);  // past the end: the gap is zero-filled
  EXPECT_EQ(m.Data(), Bytes({0, 0, 0, 0, 0, 'a', 'b', 'c'}));
  EXPECT_EQ(m.Seek(-1, 0), -1);
  EXPECT_EQ(m.Seek(std::int64_t(1) << 32, 0), -1);  // offsets are 32-bit
  EXPECT_EQ(m.GetPosition(), 8);

  ASSERT_TRUE(WriteAll(dir / "src", Pattern(200000, 3)));
  TCFSDiskFile src(dir / "src", true, false);
  ASSERT_TRUE(src.Open(false));
  TCFSMemoryFile copy(dir / "copy", false, false);
  ASSERT_TRUE(copy.Open(true));
  EXPECT_EQ(copy.CopyFrom(src, 0), 200000);
  EXPECT_EQ(copy.Data(), Pattern(200000, 3));
}

TEST(WrapperHeader, FieldsAndNameChecks) {
  TCFSWrapperHeader h;
  InitHeader(h, 4294967295LL);
  EXPECT_TRUE(HasWrapperSignature(h));
  EXPECT_EQ(WrapperPartSize(h), 4294967295LL);
  EXPECT_EQ(WrapperNextName(h), "");
  SetWrapperNextName(h, std::string(300, 'n'));
  EXPECT_EQ(WrapperNextName(h).size(), 260u);  // always NUL-terminated inside the field
  EXPECT_EQ(h[277], 0);

  EXPECT_TRUE(IsSafePartName("backup.cfs1"));
  EXPECT_TRUE(IsSafePartName("\xB1\x5C.cfs"));  // a trail byte 0x5C is not a separator
  for (const char* bad : {"", ".", "..", "a\\b", "a/b", "c:x", "..\\x", "a\x01"}) EXPECT_FALSE(IsSafePartName(bad)) << bad;
}

TEST(MaxPartSize, VolumeTable) {
  const platform::OsVersion xp{5, 1, true}, nt4{4, 0, true}, win98{4, 10, false}, win10{10, 0, true};
  EXPECT_EQ(MaxPartSizeFor("FAT32", "C:\\", xp, 0), 4294967295LL);
  EXPECT_EQ(MaxPartSizeFor("FAT32", "C:\\", win10, 0), 4294967295LL);
  EXPECT_EQ(MaxPartSizeFor("FAT32", "C:\\", nt4, 0), 2147483647LL);
  EXPECT_EQ(MaxPartSizeFor("FAT32", "C:\\", win98, 0), 2147483647LL);
  EXPECT_EQ(MaxPartSizeFor("NTFS", "C:\\", xp, 0), 9223372036854775806LL);
  EXPECT_EQ(MaxPartSizeFor("FAT16", "C:\\", xp, 0), 2147483647LL);
  EXPECT_EQ(MaxPartSizeFor("CDFS", "D:\\", xp, 0), 0);
  EXPECT_EQ(MaxPartSizeFor("FS_UDF", "E:\\", xp, 123456789), 123456789);
  EXPECT_EQ(MaxPartSizeFor("FS_UDF", "E:\\", xp, -1), 0);
  EXPECT_EQ(MaxPartSizeFor("FAT", "a:\\", xp, 0), 1457664);
  EXPECT_EQ(MaxPartSizeFor("FAT", "B:\\", xp, 0), 1457664);
  EXPECT_EQ(MaxPartSizeFor("FAT", "C:\\", xp, 0), 2147483647LL);
  EXPECT_EQ(MaxPartSizeFor("exFAT", "C:\\", xp, 0), 0);
  for (platform::OsVersion unknown : {platform::OsVersion{2, 0, true}, platform::OsVersion{4, 5, true},
                                      platform::OsVersion{3, 51, false}})
    EXPECT_EQ(ErrorOf([&] { MaxPartSizeFor("NTFS", "C:\\", unknown, 0); }), "Can't Identify OS version");

  EXPECT_EQ(VolumeRootOf("C:\\games\\x.cfs"), "C:\\");
  EXPECT_EQ(VolumeRootOf("\\\\server\\share\\dir\\x.cfs"), "\\\\server\\share\\");

  // A volume reported as NTFS never splits a container; a 0 answer falls back to 2^31 - 1.
  ScratchDir dir;
  TCFSHugeFile f(dir / "v.cfs", false, false, false, -1);
  const std::string fs = platform::VolumeFileSystemName(VolumeRootOf(dir.Path()));
  if (fs == "NTFS") {
    EXPECT_EQ(f.GetPartSize(), 9223372036854775806LL);
  } else if (fs == "CDFS" || fs.empty()) {
    EXPECT_EQ(f.GetPartSize(), 2147483647LL);
  }
}

TEST(HugeFileSave, WritesTheSelfExtractingLayoutToAPlatformFile) {
  ScratchDir dir;
  TCFSHugeFile c(dir / "c.cfs", false, false, false, 5000);
  ASSERT_TRUE(c.Open(true, false));
  const Bytes data = Pattern(1234, 5);
  c.WriteBuffer(data.data(), 1234);
  c.SetPosition(17);
  auto out = platform::File::Open(dir / "o.exe", platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
                                  platform::FileDisposition::CreateAlways);
  ASSERT_TRUE(out);
  out->Write("MZstub", 6);
  c.SaveToStream(*out);
  EXPECT_EQ(out->Position(), 6);   // positions restored
  EXPECT_EQ(c.GetPosition(), 17);
  out.reset();
  const Bytes raw = ReadAll(dir / "o.exe");
  ASSERT_EQ(raw.size(), 6u + 280u + 1234u);
  TCFSWrapperHeader h;
  std::copy_n(raw.begin() + 6, 280, h.begin());
  EXPECT_TRUE(HasWrapperSignature(h));
  EXPECT_EQ(WrapperPartSize(h), 5000);
  EXPECT_EQ(WrapperNextName(h), "");
  EXPECT_TRUE(std::equal(data.begin(), data.end(), raw.begin() + 286));
}
