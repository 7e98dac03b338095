#include <gtest/gtest.h>

#include "platform/Text.h"

using namespace platform;

namespace {
// Characters whose trail byte is "\" (0x5C) or an ASCII letter.
const std::string kNori = "\x81\x5C";       // U+4E57
const std::string kTrailBackslash = "\x8D\x5C";  // U+5CD4
const std::string kTrailLetterA = "\x81\x61";    // trail byte "a"
const std::string kZhong = "\xD6\xD0";           // U+4E2D
}  // namespace

TEST(TextPaths, SplittingIgnoresTrailBytesThatLookLikeSeparators) {
  const std::string path = "C:\\game\\" + kNori + "\\" + kTrailBackslash + ".ini";
  EXPECT_EQ(ExtractFilePath(path), "C:\\game\\" + kNori + "\\");
  EXPECT_EQ(ExtractFileName(path), kTrailBackslash + ".ini");
  EXPECT_EQ(ExtractFileExt(path), ".ini");

  // A name ending in such a character has no trailing delimiter.
  const std::string dir = "C:\\" + kNori;
  EXPECT_FALSE(HasTrailingPathDelimiter(dir));
  EXPECT_EQ(IncludeTrailingPathDelimiter(dir), dir + "\\");
  EXPECT_EQ(ExcludeTrailingPathDelimiter(dir), dir);
  EXPECT_EQ(ExcludeTrailingPathDelimiter(dir + "\\"), dir);
  EXPECT_EQ(ExtractFileName(dir), kNori);
  EXPECT_EQ(ExtractFilePath(kNori), "");
}

TEST(TextPaths, PlainCases) {
  EXPECT_EQ(ExtractFilePath("C:\\a\\b.txt"), "C:\\a\\");
  EXPECT_EQ(ExtractFilePath("b.txt"), "");
  EXPECT_EQ(ExtractFilePath("C:b.txt"), "C:");
  EXPECT_EQ(ExtractFileName("C:\\a\\"), "");
  EXPECT_EQ(ExtractFileExt("C:\\a.dir\\name"), "");
  EXPECT_EQ(ExtractFileExt("archive.tar.gz"), ".gz");
  EXPECT_EQ(IncludeTrailingPathDelimiter(""), "\\");
  EXPECT_FALSE(HasTrailingPathDelimiter(""));
  EXPECT_EQ(LastDelimiter("\\", "a\\b\\c"), 3u);
  EXPECT_EQ(LastDelimiter("\\", kNori + kNori), std::string::npos);
  // A lone lead byte at the end counts as one character.
  EXPECT_EQ(CharLength("a\x81", 1), 1u);
  EXPECT_EQ(ExtractFileName("a\\\x81"), "\x81");
}

TEST(TextCase, FoldingLeavesTrailBytesAlone) {
  EXPECT_EQ(UpperCaseAscii("zelkClient.exe"), "ZELKCLIENT.EXE");
  EXPECT_EQ(UpperCaseAscii(kTrailLetterA + "a"), kTrailLetterA + "A");
  EXPECT_EQ(LowerCaseAscii("\x81" "A" "B"), "\x81" "Ab");
  EXPECT_EQ(Trim(" \t\r\n " + kZhong + " x \x01"), kZhong + " x");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(ReplaceSeparators("a\\" + kNori + "\\b", '\\', '/'), "a/" + kNori + "/b");
}

TEST(TextCase, ComparisonIsCaseInsensitiveForAsciiOnlyAndTotal) {
  EXPECT_EQ(CompareTextCp936("Interface", "INTERFACE"), 0);
  EXPECT_TRUE(SameTextCp936("userdata\\" + kZhong, "USERDATA\\" + kZhong));
  // Trail bytes are not folded: these are two different characters.
  EXPECT_NE(CompareTextCp936(kTrailLetterA, "\x81\x41"), 0);
  EXPECT_LT(CompareTextCp936("abc", "abd"), 0);
  EXPECT_GT(CompareTextCp936("abd", "ABC"), 0);
  EXPECT_LT(CompareTextCp936("ab", "abc"), 0);
  EXPECT_LT(CompareTextCp936("z", kZhong), 0);  // single-byte characters sort before double-byte
  EXPECT_EQ(CompareTextCp936("", ""), 0);
  // Antisymmetric on a mixed set.
  const std::string names[] = {"a", "B", "_x", kNori, kZhong, kTrailLetterA, "a" + kNori, "A"};
  for (const auto& x : names)
    for (const auto& y : names) EXPECT_EQ(CompareTextCp936(x, y), -CompareTextCp936(y, x)) << x << " " << y;
}

TEST(TextConversion, Cp936MatchesWindowsAndRoundTrips) {
  EXPECT_EQ(Cp936ToUtf16("\x80"), u"\u20AC");  // euro at 0x80 as in Windows' table
  EXPECT_EQ(Utf16ToCp936(u"\u20AC"), "\x80");
  EXPECT_EQ(Cp936ToUtf16(kNori), u"\u4E57");
  EXPECT_EQ(Cp936ToUtf16(kTrailBackslash), u"\u5CD4");
  EXPECT_EQ(Cp936ToUtf8(kZhong + "\xCE\xC4"), "\xE4\xB8\xAD\xE6\x96\x87");  // 中文
  EXPECT_EQ(Cp936ToUtf16("\xAA\xA1"), u"\uE000");  // first user-defined cell
  EXPECT_EQ(Cp936ToUtf16("\xA6\xD9\xFE\x50\xFE\xA0"), u"\uE78D\uE815\uE864");  // private use as Windows has it
  EXPECT_EQ(Utf16ToCp936(u"\uE76C"), "\xA2\xE3");

  // Every valid two-byte character survives the round trip through UTF-16 and UTF-8.
  std::string all;
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead)
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail)
      if (trail != 0x7F) {
        std::string c{static_cast<char>(lead), static_cast<char>(trail)};
        std::u16string w = Cp936ToUtf16(c);
        if (w != u"?") all += c;
      }
  EXPECT_GT(all.size(), 2u * 21000);  // GBK has about 21 900 characters
  bool lossless = false;
  EXPECT_EQ(Utf16ToCp936(Cp936ToUtf16(all), &lossless), all);
  EXPECT_TRUE(lossless);
  EXPECT_EQ(Utf8ToCp936(Cp936ToUtf8(all)), all);
}

TEST(TextConversion, UnmappableAndInvalidInput) {
  bool lossless = true;
  EXPECT_EQ(Utf16ToCp936(u"a\uAC00b", &lossless), "a?b");  // Hangul has no GBK form
  EXPECT_FALSE(lossless);
  std::string emoji = Utf16ToCp936(u"\U0001F600", &lossless);  // one "?" per character or per unit
  EXPECT_TRUE(emoji == "?" || emoji == "??") << emoji;
  EXPECT_FALSE(lossless);
  EXPECT_EQ(Cp936ToUtf16("\x81"), u"?");  // lone lead byte
  EXPECT_EQ(Cp936ToUtf16("\x81" "1").substr(0, 1), u"?");
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong "/"
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(TextConversion, CodePagesOfTheSystem) {
  EXPECT_EQ(AnsiCodePage(), 936u);
  EXPECT_EQ(OemCodePage(), 936u);
  bool lossless = false;
  EXPECT_EQ(Utf16ToCodePage(u"\u4E2D.txt", 936, &lossless), kZhong + ".txt");
  EXPECT_TRUE(lossless);
  EXPECT_EQ(CodePageToUtf16(kZhong, 936), u"\u4E2D");
  EXPECT_EQ(Utf16ToCodePage(u"\u4E2D", 65001), "\xE4\xB8\xAD");
}

// A password or name that code page 936 cannot hold whole must never come back with "?" in
// it: "비밀번호" would otherwise be the same password as "????" or as any other four such
// characters.
TEST(TextConversion, ExactConversionGivesNothingRatherThanQuestionMarks) {
  EXPECT_FALSE(Utf8ToCp936Exact("\xEB\xB9\x84\xEB\xB0\x80\xEB\xB2\x88\xED\x98\xB8"));  // Korean
  EXPECT_FALSE(Utf8ToCp936Exact("\xF0\x9F\x94\x91"));                                  // an emoji
  EXPECT_FALSE(Utf8ToCp936Exact("p\xC3\xA4sswd"));                                     // "ä"
  EXPECT_FALSE(Utf8ToCp936Exact("I\xC3\xB1" "aki.txt"));                               // "ñ"
  EXPECT_FALSE(Utf8ToCp936Exact("ab\xFF"));                                            // not UTF-8
  EXPECT_FALSE(Utf16ToCp936Exact(std::u16string(1, char16_t(0xDC00))));                // lone surrogate
  EXPECT_EQ(Utf8ToCp936Exact("????"), "????");
  EXPECT_EQ(Utf8ToCp936Exact(""), "");
  EXPECT_EQ(Utf16ToCp936Exact(u"\u4E2D a\u00E9"), kZhong + " a\xA8\xA6");  // "é" is in the table
}
