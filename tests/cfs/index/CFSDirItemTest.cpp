#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "cfs/index/CFSDirItem.h"

namespace {

using Bytes = std::array<std::uint8_t, TCFSDirItem::kSize>;

TEST(CFSDirItem, FieldOffsetsRoundTrip) {
  TCFSDirItem item;
  item.FirstMapPageNo = 0x01020304;
  item.Size = 0x1122334455667788;
  item.CreationTime = 0x0102030405060708;
  item.LastWriteTime = 0x1112131415161718;
  item.LastAccessTime = 0x2122232425262728;
  item.Attributes = 0x20;
  item.Parent = -1;
  item.PasswordRec[0] = 0xAA;
  item.PasswordRec[171] = 0xBB;
  item.IsFolder = true;
  item.HasPassword = true;
  item.Name = "Readme.TXT";
  item.Reserved484[27] = 0x5A;

  Bytes b{};
  item.Serialize(b.data());
  EXPECT_EQ(b[0], 0x04);
  EXPECT_EQ(b[3], 0x01);
  EXPECT_EQ(b[4], 0x88);
  EXPECT_EQ(b[11], 0x11);
  EXPECT_EQ(b[12], 0x08);
  EXPECT_EQ(b[20], 0x18);
  EXPECT_EQ(b[28], 0x28);
  EXPECT_EQ(b[36], 0x20);
  EXPECT_EQ(b[40], 0xFF);
  EXPECT_EQ(b[43], 0xFF);
  EXPECT_EQ(b[48], 0xAA);
  EXPECT_EQ(b[219], 0xBB);
  EXPECT_EQ(b[220], 1);
  EXPECT_EQ(b[221], 0);
  EXPECT_EQ(b[222], 1);
  EXPECT_EQ(0, std::memcmp(b.data() + 224, "Readme.TXT", 11));
  EXPECT_EQ(b[511], 0x5A);

  TCFSDirItem back;
  std::string problem;
  ASSERT_TRUE(TCFSDirItem::Parse(b.data(), back, &problem)) << problem;
  EXPECT_EQ(back, item);
  Bytes again{};
  back.Serialize(again.data());
  EXPECT_EQ(again, b);
}

TEST(CFSDirItem, DamagedItemsAreReportedAndNeverOverrun) {
  TCFSDirItem good;
  good.Name = "a";
  Bytes b{};
  good.Serialize(b.data());
  TCFSDirItem item;
  std::string problem;

  Bytes unterminated = b;
  std::memset(unterminated.data() + 224, 'x', 260);
  EXPECT_FALSE(TCFSDirItem::Parse(unterminated.data(), item, &problem));
  EXPECT_EQ(item.Name, std::string(259, 'x'));

  for (const char* bad : {"..", ".", "a\\b", "a/b", ""}) {
    Bytes named = b;
    std::memset(named.data() + 224, 0, 260);
    std::memcpy(named.data() + 224, bad, std::strlen(bad));
    EXPECT_FALSE(TCFSDirItem::Parse(named.data(), item, &problem)) << bad;
    named[221] = 1;  // a deleted slot may hold anything
    EXPECT_TRUE(TCFSDirItem::Parse(named.data(), item, &problem)) << bad;
  }

  // A 0x5C trail byte is part of a character, not a separator.
  Bytes dbcs = b;
  std::memcpy(dbcs.data() + 224, "\xD6\x5C.txt", 6);
  EXPECT_TRUE(TCFSDirItem::Parse(dbcs.data(), item, &problem)) << problem;

  Bytes parent = b;
  std::memset(parent.data() + 40, 0xFE, 1);  // -2
  EXPECT_FALSE(TCFSDirItem::Parse(parent.data(), item, &problem));
  Bytes page = b;
  page[0] = 0xFE;
  EXPECT_FALSE(TCFSDirItem::Parse(page.data(), item, &problem));
  Bytes size = b;
  size[11] = 0x80;
  EXPECT_FALSE(TCFSDirItem::Parse(size.data(), item, &problem));
}

TEST(CFSDirItem, NamesAreCutTo259BytesWithoutSplittingACharacter) {
  EXPECT_EQ(CutItemName(std::string(300, 'a')), std::string(259, 'a'));
  std::string wide;
  for (int i = 0; i < 150; ++i) wide += "\xD6\xD0";  // 300 bytes of two-byte characters
  const std::string cut = CutItemName(wide);
  EXPECT_EQ(cut.size(), 258u);
  EXPECT_EQ(cut, wide.substr(0, 258));
  EXPECT_EQ(CutItemName("a" + wide), "a" + wide.substr(0, 258));

  TCFSDirItem item;
  item.Name = std::string(300, 'n');
  Bytes b{};
  item.Serialize(b.data());
  EXPECT_EQ(b[224 + 258], 'n');
  EXPECT_EQ(b[224 + 259], 0);
}

}  // namespace
