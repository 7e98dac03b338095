// Byte layout of the records the writer emits, entry name encoding and name patterns.
#include <gtest/gtest.h>

#include "tests/zip/ZipTestUtil.h"
#include "zip/ZipDirSearch.h"
#include "zip/ZipPatterns.h"
#include "zip/ZipRecords.h"

using ziptest::U16;
using ziptest::U32;
using ziptest::U64;

namespace {

TZipHeaderInfo Entry(std::uint64_t usize, std::uint64_t csize, std::uint64_t offset) {
  TZipHeaderInfo h;
  h.FileName = u"a.txt";
  h.UncompressedSize = usize;
  h.CompressedSize = csize;
  h.RelativeOffsetOfLocalHeader = offset;
  h.CRC32 = 0x12345678;
  h.ModifDateTime = 0x5A215C3Bu;
  h.InternalFileAttributes = 0;
  h.ExternalFileAttributes = 0x20;
  return h;
}

const std::u16string kPackName = u"Zelk\u914D\u7F6E\u6587\u4EF6\u6062\u590D\u5305.exe";  // Zelk配置文件恢复包.exe

}  // namespace

TEST(ZipRecords, LocalAndCentralHeadersOfAnOrdinaryEntry) {
  TZipHeaderInfo h = Entry(1000, 400, 77);
  h.Flag = 0x0008;  // a data-descriptor flag never survives writing
  const TEncodedName name = EncodeEntryName(h.StoredPath(), oemFlexible);
  const std::string local = BuildLocalHeader(h, name, "XY");
  ASSERT_EQ(local.size(), 30u + 5 + 2);
  EXPECT_EQ(U32(local, 0), 0x04034B50u);
  EXPECT_EQ(U16(local, 4), 20);
  EXPECT_EQ(U16(local, 6), 0);
  EXPECT_EQ(U16(local, 8), 8);
  EXPECT_EQ(U32(local, 10), 0x5A215C3Bu);
  EXPECT_EQ(U32(local, 14), 0x12345678u);
  EXPECT_EQ(U32(local, 18), 400u);
  EXPECT_EQ(U32(local, 22), 1000u);
  EXPECT_EQ(U16(local, 26), 5);
  EXPECT_EQ(U16(local, 28), 2);
  EXPECT_EQ(local.substr(30), "a.txtXY");

  h.FileComment = "hi";
  h.CentralExtra = std::string("\x55\x54\x01\x00\x07", 5);
  const std::string central = BuildCentralHeader(h, name);
  ASSERT_EQ(central.size(), 46u + 5 + 5 + 2);
  EXPECT_EQ(U32(central, 0), 0x02014B50u);
  EXPECT_EQ(U16(central, 4), 0x002D);
  EXPECT_EQ(U16(central, 6), 20);
  EXPECT_EQ(U16(central, 8), 0);
  EXPECT_EQ(U32(central, 20), 400u);
  EXPECT_EQ(U32(central, 24), 1000u);
  EXPECT_EQ(U16(central, 28), 5);
  EXPECT_EQ(U16(central, 30), 5);
  EXPECT_EQ(U16(central, 32), 2);
  EXPECT_EQ(U16(central, 34), 0);
  EXPECT_EQ(U16(central, 36), 0);
  EXPECT_EQ(U32(central, 38), 0x20u);
  EXPECT_EQ(U32(central, 42), 77u);
  EXPECT_EQ(central.substr(46), std::string("a.txt\x55\x54\x01\x00\x07hi", 12));
}

TEST(ZipRecords, Zip64BlocksAppearOnlyForValuesThatDoNotFit) {
  // 0xFFFFFFFF itself no longer fits: both sizes go to the local block.
  TZipHeaderInfo h = Entry(0xFFFFFFFFull, 10, 0);
  const TEncodedName name = EncodeEntryName(h.StoredPath(), oemFlexible);
  std::string local = BuildLocalHeader(h, name, "");
  EXPECT_EQ(U16(local, 4), 45);
  EXPECT_EQ(U32(local, 18), 0xFFFFFFFFu);
  EXPECT_EQ(U32(local, 22), 0xFFFFFFFFu);
  EXPECT_EQ(U16(local, 28), 4 + 16);
  EXPECT_EQ(U16(local, 35), 0x0001);
  EXPECT_EQ(U16(local, 37), 16);
  EXPECT_EQ(U64(local, 39), 0xFFFFFFFFull);
  EXPECT_EQ(U64(local, 47), 10u);

  std::string central = BuildCentralHeader(h, name);
  EXPECT_EQ(U16(central, 6), 45);
  EXPECT_EQ(U32(central, 20), 10u);  // the compressed size still fits
  EXPECT_EQ(U32(central, 24), 0xFFFFFFFFu);
  EXPECT_EQ(U16(central, 30), 4 + 8);
  EXPECT_EQ(U16(central, 51), 0x0001);
  EXPECT_EQ(U16(central, 53), 8);
  EXPECT_EQ(U64(central, 55), 0xFFFFFFFFull);

  // Only the offset overflows: the local header names it too, its sizes stay 32-bit.
  h = Entry(5, 7, 0x100000000ull);
  local = BuildLocalHeader(h, name, "");
  EXPECT_EQ(U32(local, 18), 7u);
  EXPECT_EQ(U16(local, 28), 4 + 8);
  EXPECT_EQ(U64(local, 39), 0x100000000ull);
  central = BuildCentralHeader(h, name);
  EXPECT_EQ(U32(central, 42), 0xFFFFFFFFu);
  EXPECT_EQ(U16(central, 30), 4 + 8);
  EXPECT_EQ(U64(central, 55), 0x100000000ull);

  // Every value too large: uncompressed, compressed, offset in that order.
  h = Entry(0x200000000ull, 0x180000000ull, 0x300000000ull);
  central = BuildCentralHeader(h, name);
  EXPECT_EQ(U16(central, 30), 4 + 24);
  EXPECT_EQ(U64(central, 55), 0x200000000ull);
  EXPECT_EQ(U64(central, 63), 0x180000000ull);
  EXPECT_EQ(U64(central, 71), 0x300000000ull);

  // Nothing large: no block, version 20.
  h = Entry(0xFFFFFFFEull, 0xFFFFFFFEull, 0xFFFFFFFEull);
  EXPECT_EQ(BuildLocalHeader(h, name, "").size(), 35u);
  EXPECT_EQ(BuildCentralHeader(h, name).size(), 51u);
}

TEST(ZipRecords, ReservedLocalSizesKeepTheHeaderLength) {
  TZipHeaderInfo h = Entry(100, 0, 0);
  h.LocalSizes64 = true;
  const TEncodedName name = EncodeEntryName(h.StoredPath(), oemFlexible);
  const std::string first = BuildLocalHeader(h, name, "");
  h.CompressedSize = 60;
  const std::string second = BuildLocalHeader(h, name, "");
  ASSERT_EQ(first.size(), second.size());
  EXPECT_EQ(U32(second, 18), 0xFFFFFFFFu);
  EXPECT_EQ(U64(second, 47), 60u);
}

TEST(ZipRecords, EndRecordAndZip64EndRecords) {
  TEndCentral e;
  std::string bytes = BuildEndRecords(e, 0);
  EXPECT_EQ(bytes, std::string("PK\x05\x06", 4) + std::string(18, '\0'));

  e.CentralEntriesThisDisk = e.TotalEntries = 3;
  e.CentralSize = 150;
  e.CentralOffset = 1000;
  e.ZipComment = "note";
  bytes = BuildEndRecords(e, 1150);
  ASSERT_EQ(bytes.size(), 26u);
  EXPECT_EQ(U16(bytes, 8), 3);
  EXPECT_EQ(U16(bytes, 10), 3);
  EXPECT_EQ(U32(bytes, 12), 150u);
  EXPECT_EQ(U32(bytes, 16), 1000u);
  EXPECT_EQ(U16(bytes, 20), 4);
  EXPECT_EQ(bytes.substr(22), "note");

  e.ZipComment.clear();
  e.CentralEntriesThisDisk = e.TotalEntries = 70000;
  e.CentralOffset = 0x123456789ull;
  bytes = BuildEndRecords(e, 0x200000000ull);
  ASSERT_EQ(bytes.size(), 56u + 20 + 22);
  EXPECT_EQ(U32(bytes, 0), 0x06064B50u);
  EXPECT_EQ(U64(bytes, 4), 44u);
  EXPECT_EQ(U16(bytes, 12), 45);
  EXPECT_EQ(U16(bytes, 14), 45);
  EXPECT_EQ(U64(bytes, 24), 70000u);
  EXPECT_EQ(U64(bytes, 32), 70000u);
  EXPECT_EQ(U64(bytes, 40), 150u);
  EXPECT_EQ(U64(bytes, 48), 0x123456789ull);
  EXPECT_EQ(U32(bytes, 56), 0x07064B50u);
  EXPECT_EQ(U32(bytes, 60), 0u);
  EXPECT_EQ(U64(bytes, 64), 0x200000000ull);
  EXPECT_EQ(U32(bytes, 72), 1u);
  EXPECT_EQ(U32(bytes, 76), 0x06054B50u);
  EXPECT_EQ(U16(bytes, 84), 0xFFFF);
  EXPECT_EQ(U16(bytes, 86), 0xFFFF);
  EXPECT_EQ(U32(bytes, 88), 150u);
  EXPECT_EQ(U32(bytes, 92), 0xFFFFFFFFu);
}

TEST(ZipRecords, EntryNamesUseTheCodePageWhenItHoldsThemElseUtf8) {
  const TEncodedName packed = EncodeEntryName(kPackName, oemFlexible);
  EXPECT_FALSE(packed.utf8);
  EXPECT_EQ(packed.bytes, "Zelk\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE\xBB\xD6\xB8\xB4\xB0\xFC.exe");
  EXPECT_EQ(EncodeEntryName(u"dir\\sub\\a.txt", oemFlexible).bytes, "dir/sub/a.txt");

  // Hangul and a character outside the basic plane have no code page 936 form.
  for (const std::u16string& name : {std::u16string(u"\uD55C\uAD6D.txt"), std::u16string(u"x\U0001F600.txt")}) {
    const TEncodedName n = EncodeEntryName(name, oemFlexible);
    EXPECT_TRUE(n.utf8);
    EXPECT_EQ(n.bytes, platform::Utf16ToUtf8(name));
    TZipHeaderInfo h = Entry(1, 1, 0);
    h.FileName = name;
    const std::string central = BuildCentralHeader(h, n);
    EXPECT_EQ(U16(central, 4), 0x0B2D);
    EXPECT_EQ(U16(central, 8), 0x0800);
    EXPECT_EQ(U16(BuildLocalHeader(h, n, ""), 6), 0x0800);
  }

  const TEncodedName never = EncodeEntryName(kPackName, oemNever);
  EXPECT_TRUE(never.utf8);
  EXPECT_EQ(DecodeEntryName(never.bytes, true), kPackName);
  EXPECT_EQ(DecodeEntryName(packed.bytes, false), kPackName);
  EXPECT_EQ(DecodeEntryName("a/b/c.txt", false), u"a\\b\\c.txt");
}

TEST(ZipPatterns, WildcardsSetsRangesAndNegation) {
  EXPECT_TRUE(ZipPatternMatch(u"*", u""));
  EXPECT_TRUE(ZipPatternMatch(u"*", u"anything.at.all"));
  EXPECT_TRUE(ZipPatternMatch(u"*.TXT", u"readme.txt"));
  EXPECT_FALSE(ZipPatternMatch(u"*.txt", u"readme.txt.bak"));
  EXPECT_TRUE(ZipPatternMatch(u"a*b*c", u"aXXbYYbZZc"));
  EXPECT_FALSE(ZipPatternMatch(u"a*b*c", u"aXXbYYbZZ"));
  EXPECT_TRUE(ZipPatternMatch(u"file?.dat", u"FILE7.dat"));
  EXPECT_FALSE(ZipPatternMatch(u"file?.dat", u"file.dat"));
  EXPECT_TRUE(ZipPatternMatch(u"log<0-9>.txt", u"log5.txt"));
  EXPECT_FALSE(ZipPatternMatch(u"log<0-9>.txt", u"logx.txt"));
  EXPECT_TRUE(ZipPatternMatch(u"log<!0-9>.txt", u"logx.txt"));
  EXPECT_FALSE(ZipPatternMatch(u"log<^0-9>.txt", u"log1.txt"));
  EXPECT_TRUE(ZipPatternMatch(u"<abc>*", u"Bravo"));
  EXPECT_TRUE(ZipPatternMatch(u"*<xz>", u"fox"));
  EXPECT_TRUE(ZipPatternMatch(u"c:\\data\\*.ini", u"C:\\DATA\\config.ini"));
  EXPECT_TRUE(ZipPatternMatch(u"\u914D*", u"\u914D\u7F6E.txt"));
  // A long run of stars against a long text stays linear.
  EXPECT_FALSE(ZipPatternMatch(u"*a*a*a*a*a*a*a*a*b", std::u16string(4000, u'a')));
}

TEST(ZipPatterns, SearchMaskTreatsNamesWithoutDotAsEndingInDot) {
  EXPECT_TRUE(DirSearchMaskMatch(u"*.", u"README"));
  EXPECT_FALSE(DirSearchMaskMatch(u"*.", u"readme.txt"));
  EXPECT_TRUE(DirSearchMaskMatch(u"*", u"README"));
  EXPECT_TRUE(DirSearchMaskMatch(u"read*", u"README"));
}
