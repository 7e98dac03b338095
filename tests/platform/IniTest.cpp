#include <gtest/gtest.h>

#include "platform/Ini.h"
#include "platform/Text.h"
#include "tests/support/Files.h"
#include "tests/support/TempFolder.h"

using platform::ReadProfileString;

namespace {
const std::string kName = "\xB2\xE5\xBC\xFE";        // 插件
const std::string kNoriFolder = "\x81\x5C" "ui";      // a folder name whose first character ends in 0x5C
}  // namespace

TEST(Ini, WindowsLookupRules) {
  testsupport::TempFolder dir;
  const std::string path = dir.Path() + "info.ini";
  ASSERT_TRUE(testsupport::WriteFile(path,
                                  "; comment line\r\n"
                                  "top=outside\r\n"
                                  "[Other]\r\n"
                                  "name=wrong\r\n"
                                  "  [ MyAddon ]  \r\n"
                                  "  NAME  =  " + kName + " \t\r\n"
                                  "quoted=\"  spaced  \"\r\n"
                                  "single='x'\r\n"
                                  "half=\"open\r\n"
                                  "empty=\r\n"
                                  "novalue\r\n"
                                  "eq=a=b\r\n"
                                  "[" + kNoriFolder + "]\n"
                                  "name=dbcs\n"
                                  "[myaddon]\r"
                                  "late=second section\r"));
  EXPECT_EQ(ReadProfileString(path, "myaddon", "name", "def"), kName);
  EXPECT_EQ(ReadProfileString(path, "MYADDON", "Name", "def"), kName);
  EXPECT_EQ(ReadProfileString(path, "MyAddon", "quoted", "def"), "  spaced  ");
  EXPECT_EQ(ReadProfileString(path, "MyAddon", "single", "def"), "x");
  EXPECT_EQ(ReadProfileString(path, "MyAddon", "half", "def"), "\"open");
  EXPECT_EQ(ReadProfileString(path, "MyAddon", "empty", "def"), "");
  EXPECT_EQ(ReadProfileString(path, "MyAddon", "novalue", "def"), "def");
  EXPECT_EQ(ReadProfileString(path, "MyAddon", "eq", "def"), "a=b");
  EXPECT_EQ(ReadProfileString(path, "MyAddon", "late", "def"), "second section");
  EXPECT_EQ(ReadProfileString(path, kNoriFolder, "name", "def"), "dbcs");
  EXPECT_EQ(ReadProfileString(path, "Other", "name", "def"), "wrong");
  EXPECT_EQ(ReadProfileString(path, "MyAddon", "top", "def"), "def");   // before any section
  EXPECT_EQ(ReadProfileString(path, "Missing", "name", "def"), "def");
  EXPECT_EQ(ReadProfileString(path, "MyAddon", "missing", "def"), "def");
  EXPECT_EQ(ReadProfileString(dir.Path() + "none.ini", "a", "b", "def"), "def");
}

TEST(Ini, EncodingsAndDamagedFiles) {
  testsupport::TempFolder dir;
  const std::string bom = dir.Path() + "bom.ini";
  ASSERT_TRUE(testsupport::WriteFile(bom, "\xEF\xBB\xBF[A]\r\nname=\xE6\x8F\x92\xE4\xBB\xB6\r\n"));  // UTF-8 插件
  EXPECT_EQ(ReadProfileString(bom, "A", "name", "def"), kName);

  const std::string wide = dir.Path() + "wide.ini";
  ASSERT_TRUE(testsupport::WriteFile(wide, std::string("\xFF\xFE[\0A\0]\0\n\0k\0=\0\x52\x63\n\0", 18)));  // "k=" U+6352
  EXPECT_EQ(ReadProfileString(wide, "a", "K", "def"), platform::Utf16ToCp936(u"\u6352"));

  // Binary junk, a section header with "]" as a trail byte and no closing bracket, NUL bytes.
  const std::string junk = dir.Path() + "junk.ini";
  ASSERT_TRUE(testsupport::WriteFile(junk, std::string("\x00\xFF\xFE[\x81]\r\nname=bad\r\n[\x81\x5D\x81]\r\nname=x\r\n[ok]\r\nname=good\0tail\r\n", 55)));
  EXPECT_EQ(ReadProfileString(junk, "\x81\x5D\x81", "name", "def"), "def");
  EXPECT_EQ(ReadProfileString(junk, "ok", "name", "def"), std::string("good\0tail", 9));
  EXPECT_EQ(ReadProfileString(dir.Path(), "a", "b", "def"), "def");  // a folder
}
