#include <gtest/gtest.h>

#include <set>
#include <string>

#include "cfs/index/DIRArray.h"
#include "platform/Time.h"
#include "tests/cfs/index/DirItemMaker.h"

namespace {

TEST(MatchMask, WildcardsAndCase) {
  const std::string name = "Readme.TXT";
  EXPECT_TRUE(TDIRArray::MatchMask(name, "readme.txt"));
  EXPECT_TRUE(TDIRArray::MatchMask(name, "*.txt"));
  EXPECT_TRUE(TDIRArray::MatchMask(name, "*"));
  EXPECT_TRUE(TDIRArray::MatchMask(name, "*.*"));
  EXPECT_TRUE(TDIRArray::MatchMask(name, "?EADME.*"));
  EXPECT_TRUE(TDIRArray::MatchMask(name, "R*e*T"));
  EXPECT_FALSE(TDIRArray::MatchMask(name, "?eadme.tx"));
  EXPECT_FALSE(TDIRArray::MatchMask(name, "readme.txt?"));
  EXPECT_FALSE(TDIRArray::MatchMask(name, "*.doc"));
  EXPECT_FALSE(TDIRArray::MatchMask(name, ""));
  EXPECT_TRUE(TDIRArray::MatchMask("noext", "*.*"));
  EXPECT_FALSE(TDIRArray::MatchMask("noext", "*."));
  // "*" before more mask needs a non-empty rest of the name; a lone trailing "*" matches empty.
  EXPECT_TRUE(TDIRArray::MatchMask("a", "a*"));
  EXPECT_FALSE(TDIRArray::MatchMask("a", "a**"));
  EXPECT_TRUE(TDIRArray::MatchMask("ab", "a**"));
  EXPECT_TRUE(TDIRArray::MatchMask(".txt", "*.txt"));
  EXPECT_FALSE(TDIRArray::MatchMask("a", "a*?"));
  // Only letters fold: "@" and "`" differ by 0x20 but are not letters.
  EXPECT_FALSE(TDIRArray::MatchMask("@", "`"));
  EXPECT_FALSE(TDIRArray::MatchMask("1", "\x11"));
}

TEST(MatchMask, TwoByteCharacters) {
  const std::string zhong = "\xD6\xD0";  // 中
  const std::string wen = "\xCE\xC4";    // 文
  const std::string name = zhong + wen + ".TXT";
  EXPECT_TRUE(TDIRArray::MatchMask(name, name));
  EXPECT_TRUE(TDIRArray::MatchMask(name, zhong + "*"));
  EXPECT_TRUE(TDIRArray::MatchMask(name, "*" + wen + ".txt"));
  EXPECT_TRUE(TDIRArray::MatchMask(name, "??" + wen + ".txt"));  // "?" stands for one byte
  EXPECT_FALSE(TDIRArray::MatchMask(name, "?" + wen + ".txt"));
  // Bytes of two-byte characters never fold: 0xF6D0 is another character than 0xD6D0, and
  // 0x8141 / 0x8161 differ only in a trail byte that looks like "A" / "a".
  EXPECT_FALSE(TDIRArray::MatchMask(zhong, "\xF6\xD0"));
  EXPECT_FALSE(TDIRArray::MatchMask("\x81\x41", "\x81\x61"));
  EXPECT_FALSE(TDIRArray::MatchMask("\x81\x61", "\x81\x41"));
  EXPECT_TRUE(TDIRArray::MatchMask("\x81\x41", "\x81?"));
  // A trail byte 0x5C is an ordinary byte here.
  EXPECT_TRUE(TDIRArray::MatchMask("\xD6\x5C", "\xD6\\"));
  EXPECT_TRUE(TDIRArray::MatchMask("x\xD6\x5C", "*\\"));
}

TEST(MatchMask, ManyStarsStayFast) {
  // A backtracking matcher takes exponential time here.
  const std::string name(259, 'a');
  EXPECT_FALSE(TDIRArray::MatchMask(name, "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b"));
  EXPECT_TRUE(TDIRArray::MatchMask(name, "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a"));
}

// \docs (folder), \docs\Readme.TXT, \docs\hidden.txt (hidden), \docs\sys.dat (system),
// \docs\inner (folder), \docs\gone.txt (deleted), \top.txt
class DIRSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    d.AddItem(FolderItem("docs", -1));
    TCFSDirItem readme = FileItem("Readme.TXT", 0, 0x100000005LL);
    std::uint16_t date = (2020 - 1980) << 9 | 5 << 5 | 17;  // 2020-05-17
    std::uint16_t time = 13 << 11 | 45 << 5 | 10;           // 13:45:20
    std::int64_t local = 0;
    ASSERT_TRUE(platform::DosDateTimeToFileTime(date, time, local));
    readme.LastWriteTime = platform::FileTimeLocalToUtc(local);
    readme.CreationTime = 11;
    readme.LastAccessTime = 22;
    readme.Attributes = 0x20;
    expectedTime = static_cast<std::int32_t>(std::uint32_t{date} << 16 | time);
    d.AddItem(readme);
    TCFSDirItem hidden = FileItem("hidden.txt", 0);
    hidden.Attributes = 2;
    d.AddItem(hidden);
    TCFSDirItem system = FileItem("sys.dat", 0);
    system.Attributes = 4;
    d.AddItem(system);
    d.AddItem(FolderItem("inner", 0));
    d.AddItem(Deleted(FileItem("gone.txt", 0)));
    d.AddItem(FileItem("top.txt", -1));
  }

  std::set<std::string> All(const std::string& path, std::uint32_t attributes, int start = -1) {
    std::set<std::string> names;
    TSearchRec rec;
    int result = d.FindFirst(path, attributes, start, rec);
    while (result == 0) {
      names.insert(rec.Name);
      result = d.FindNext(rec);
    }
    EXPECT_EQ(result, -5);
    d.FindClose(rec);
    return names;
  }

  TDIRArray d{7, 70};
  std::int32_t expectedTime = 0;
};

TEST_F(DIRSearch, AttributesSelectHiddenSystemAndFolders) {
  using S = std::set<std::string>;
  EXPECT_EQ(All("\\docs\\*.*", 0), (S{"Readme.TXT"}));
  EXPECT_EQ(All("\\docs\\*", 2), (S{"Readme.TXT", "hidden.txt"}));
  EXPECT_EQ(All("\\docs\\*", 16), (S{"Readme.TXT", "inner"}));
  EXPECT_EQ(All("/docs/*", 0x1E), (S{"Readme.TXT", "hidden.txt", "sys.dat", "inner"}));
  EXPECT_EQ(All("\\docs\\*.txt", 0x3F), (S{"Readme.TXT", "hidden.txt"}));
  EXPECT_EQ(All("*", 16), (S{"docs", "top.txt"}));
  EXPECT_EQ(All("*.txt", 0, 0), (S{"Readme.TXT"}));  // no folder part: the start item
  EXPECT_EQ(All("docs\\readme.txt", 0), (S{"Readme.TXT"}));
  EXPECT_EQ(All("\\docs\\", 16), (S{"docs"}));  // a trailing separator is ignored
}

TEST_F(DIRSearch, ResultsAndHandles) {
  TSearchRec rec;
  EXPECT_EQ(d.FindFirst("\\nowhere\\*", 0, -1, rec), -2);
  d.FindClose(rec);
  EXPECT_EQ(d.FindFirst("\\docs\\*.doc", 0, -1, rec), -5);
  d.FindClose(rec);

  TSearchRec a;
  TSearchRec b;
  ASSERT_EQ(d.FindFirst("\\docs\\*", 0x10, -1, a), 0);
  ASSERT_EQ(d.FindFirst("\\*", 0x10, -1, b), 0);
  EXPECT_NE(a.FindHandle, b.FindHandle);
  EXPECT_EQ(a.ExcludeAttr, 0x0Eu);
  EXPECT_EQ(d.FindNext(a), 0);
  EXPECT_EQ(d.FindNext(a), -5);
  EXPECT_EQ(d.FindNext(a), -5);
  d.FindClose(a);
  EXPECT_EQ(d.FindNext(a), -4);
  TSearchRec c;
  ASSERT_EQ(d.FindFirst("*", 0x10, -1, c), 0);
  EXPECT_EQ(c.FindHandle, a.FindHandle);  // the closed slot is reused
  TSearchRec bogus;
  bogus.FindHandle = 99;
  EXPECT_EQ(d.FindNext(bogus), -5);
  d.FindClose(b);
  d.FindClose(c);
}

TEST_F(DIRSearch, RecordCarriesTimesSizesAndAttributes) {
  TSearchRec rec;
  ASSERT_EQ(d.FindFirst("\\docs\\readme.txt", 0, -1, rec), 0);
  EXPECT_EQ(rec.Name, "Readme.TXT");
  EXPECT_EQ(rec.Size, 5);
  EXPECT_EQ(rec.Attr, 0x20u);
  EXPECT_EQ(rec.Time, expectedTime);
  EXPECT_EQ(rec.FindData.SizeHigh, 1u);
  EXPECT_EQ(rec.FindData.SizeLow, 5u);
  EXPECT_EQ(rec.FindData.CreationTime, 11);
  EXPECT_EQ(rec.FindData.LastAccessTime, 22);
  EXPECT_EQ(rec.FindData.LastWriteTime, d.Item(1).LastWriteTime);
  EXPECT_EQ(rec.FindData.FileName, "Readme.TXT");
  d.FindClose(rec);
}

TEST_F(DIRSearch, DeletedItemLeavesResultsButKeepsItsNumber) {
  EXPECT_EQ(All("\\*", 0), (std::set<std::string>{"top.txt"}));
  d.UpdateItem(Deleted(d.Item(6)), 6);
  EXPECT_EQ(All("\\*", 0), (std::set<std::string>{}));
  EXPECT_EQ(d.Item(6).Name, "top.txt");
  EXPECT_EQ(d.ItemCount(), 7);
  TCFSDirItem back = d.Item(5);  // restore the deleted gone.txt
  back.IsDeleted = false;
  d.UpdateItem(back, 5);
  EXPECT_EQ(All("\\docs\\g*", 0), (std::set<std::string>{"gone.txt"}));
}

TEST(DIRSearchTwoByte, FolderWithTrailByteSeparator) {
  TDIRArray d(7, 70);
  const std::string folder = "\xD6\x5C";
  d.AddItem(FolderItem(folder, -1));
  d.AddItem(FileItem("a.txt", 0));
  d.AddItem(FileItem("\xD6\xD0.txt", 0));
  TSearchRec rec;
  ASSERT_EQ(d.FindFirst("\\" + folder + "\\*.txt", 0, -1, rec), 0);
  std::set<std::string> names{rec.Name};
  while (d.FindNext(rec) == 0) names.insert(rec.Name);
  d.FindClose(rec);
  EXPECT_EQ(names, (std::set<std::string>{"a.txt", "\xD6\xD0.txt"}));
  ASSERT_EQ(d.FindFirst(folder, 16, -1, rec), 0);  // the folder itself, found by name
  EXPECT_EQ(rec.Name, folder);
  d.FindClose(rec);
}

}  // namespace
