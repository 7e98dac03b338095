#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/Time.h"
#include "tests/support/Files.h"
#include "tests/support/TempFolder.h"

using namespace platform;

namespace {

const std::string kNori = "\x81\x5C";  // trail byte "\"
const std::string kZhongWen = "\xD6\xD0\xCE\xC4";

std::vector<std::string> Names(const std::string& pattern, std::uint32_t mask) {
  std::vector<DirEntry> entries;
  EXPECT_TRUE(ListDirectory(pattern, mask, entries)) << pattern;
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  return names;
}

bool Has(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

}  // namespace

TEST(FileSystem, FoldersFilesAndCaseInsensitiveLookup) {
  testsupport::TempFolder dir;
  const std::string base = dir.Path();
  ASSERT_TRUE(ForceDirectories(base + "Interface\\" + kNori + "\\Sub\\"));
  EXPECT_TRUE(DirectoryExists(base + "INTERFACE\\" + kNori + "\\sub"));
  EXPECT_TRUE(DirectoryExists(base + "interface\\"));
  EXPECT_FALSE(FileExists(base + "interface"));
  ASSERT_TRUE(testsupport::WriteFile(base + "interface\\" + kNori + "\\Info.INI", "abc"));
  EXPECT_TRUE(FileExists(base + "Interface\\" + kNori + "\\info.ini"));
  EXPECT_FALSE(DirectoryExists(base + "Interface\\" + kNori + "\\info.ini"));
  EXPECT_EQ(FileSize(base + "INTERFACE\\" + kNori + "\\INFO.ini"), 3);
  EXPECT_EQ(FileSize(base + "nothing"), -1);
  // Creating a name that differs only in case rewrites the existing file; a new name is new.
  ASSERT_TRUE(testsupport::WriteFile(base + "INTERFACE\\" + kNori + "\\INFO.ini", "abcdef"));
  ASSERT_TRUE(testsupport::WriteFile(base + "interface\\" + kNori + "\\Other.ini", ""));
  EXPECT_EQ(Names(base + "interface\\" + kNori + "\\*.ini", 0), (std::vector<std::string>{"Info.INI", "Other.ini"}));
  EXPECT_EQ(FileSize(base + "interface\\" + kNori + "\\info.ini"), 6);
  EXPECT_TRUE(FileExists(base + "interface\\" + kNori + "\\OTHER.INI"));
  EXPECT_FALSE(FileExists(base + "interface\\" + kNori + "\\missing\\other.ini"));
  // The existing spelling is kept: no second folder appears.
  EXPECT_TRUE(ForceDirectories(base + "INTERFACE\\New"));
  EXPECT_EQ(Names(base + "*", kAttrDirectory).size(), 3u);  // ".", "..", "Interface"

  EXPECT_FALSE(CreateDirectory(base + "interface"));  // exists
  EXPECT_FALSE(RemoveDirectory(base + "interface"));  // not empty
  EXPECT_TRUE(RemoveDirectory(base + "interface\\new\\"));
  EXPECT_FALSE(DirectoryExists(base + "Interface\\New"));
  // A folder found before under another spelling is looked up again once it is gone.
  ASSERT_TRUE(ForceDirectories(base + "INTERFACE\\SUB"));
  EXPECT_TRUE(DirectoryExists(base + "interface\\sub\\"));
  EXPECT_FALSE(FileExists(base + "interface\\sub\\A.txt"));
  ASSERT_TRUE(RemoveDirectory(base + "Interface\\Sub"));
  ASSERT_TRUE(ForceDirectories(base + "Interface\\sUB"));
  ASSERT_TRUE(testsupport::WriteFile(base + "Interface\\sUB\\a.TXT", "x"));
  EXPECT_TRUE(FileExists(base + "interface\\sub\\A.txt"));
  EXPECT_EQ(Names(base + "interface\\*", kAttrDirectory).size(), 4u);  // ".", "..", kNori, "sUB"
}

TEST(FileSystem, DeleteRenameCopy) {
  testsupport::TempFolder dir;
  const std::string a = dir.Path() + "a.txt", b = dir.Path() + kZhongWen + ".txt";
  ASSERT_TRUE(testsupport::WriteFile(a, "payload"));
  ASSERT_TRUE(testsupport::WriteFile(b, "other"));
  EXPECT_FALSE(RenameFile(a, b));  // target exists
  EXPECT_TRUE(RenameFile(a, dir.Path() + "A.TXT"));  // case-only rename
  EXPECT_TRUE(Has(Names(dir.Path() + "*.*", 0), "A.TXT"));
  EXPECT_FALSE(Has(Names(dir.Path() + "*.*", 0), "a.txt"));

  EXPECT_FALSE(CopyFile(a, b, true));
  const std::int64_t t = DateTimeToFileTime({2020, 5, 17, 10, 20, 30, 0});
  ASSERT_TRUE(SetFileTime(a, t));
  EXPECT_TRUE(CopyFile(a, b, false));
  EXPECT_EQ(testsupport::ReadFile(b), "payload");
  std::int64_t copied = 0;
  EXPECT_TRUE(GetFileTime(b, copied));
  EXPECT_EQ(copied, t);
  EXPECT_FALSE(CopyFile(dir.Path() + "missing", dir.Path() + "x", false));

  // Moving over an existing file replaces it in one step, but never a read-only file or a folder.
  ASSERT_TRUE(testsupport::WriteFile(dir.Path() + "new.tmp", "new"));
  EXPECT_TRUE(MoveReplacing(dir.Path() + "new.tmp", a));
  EXPECT_EQ(testsupport::ReadFile(a), "new");
  EXPECT_FALSE(FileExists(dir.Path() + "new.tmp"));
  ASSERT_TRUE(testsupport::WriteFile(dir.Path() + "new.tmp", "newer"));
  ASSERT_TRUE(SetFileAttributes(a, kAttrReadOnly));
  EXPECT_FALSE(MoveReplacing(dir.Path() + "new.tmp", a));
  ASSERT_TRUE(SetFileAttributes(a, kAttrNormal));
  ASSERT_TRUE(CreateDirectory(dir.Path() + "folder"));
  EXPECT_FALSE(MoveReplacing(dir.Path() + "new.tmp", dir.Path() + "folder"));
  EXPECT_EQ(testsupport::ReadFile(a), "new");
  EXPECT_TRUE(DirectoryExists(dir.Path() + "folder"));
  EXPECT_TRUE(MoveReplacing(dir.Path() + "new.tmp", dir.Path() + "fresh.txt"));
  EXPECT_EQ(testsupport::ReadFile(dir.Path() + "FRESH.TXT"), "newer");

  EXPECT_TRUE(SetFileAttributes(b, kAttrReadOnly));
  EXPECT_FALSE(DeleteFile(b));  // read-only files stay, as on Windows
  EXPECT_TRUE(SetFileAttributes(b, kAttrNormal));
  EXPECT_TRUE(DeleteFile(b));
  EXPECT_FALSE(FileExists(b));
  EXPECT_FALSE(DeleteFile(b));
  EXPECT_FALSE(DeleteFile(dir.Path()));
}

TEST(FileSystem, ListingFollowsTheAttributeMaskAndWildcards) {
  testsupport::TempFolder dir;
  const std::string base = dir.Path();
  ASSERT_TRUE(CreateDirectory(base + "folder"));
  ASSERT_TRUE(CreateDirectory(base + "hiddenfolder"));
  ASSERT_TRUE(testsupport::WriteFile(base + "plain.txt", "12345"));
  ASSERT_TRUE(testsupport::WriteFile(base + "hidden.txt", ""));
  ASSERT_TRUE(testsupport::WriteFile(base + "system.dat", ""));
  ASSERT_TRUE(testsupport::WriteFile(base + "readonly.txt", ""));
  ASSERT_TRUE(testsupport::WriteFile(base + "noext", ""));
  ASSERT_TRUE(testsupport::WriteFile(base + kZhongWen + ".ini", ""));
  ASSERT_TRUE(SetFileAttributes(base + "hiddenfolder", kAttrHidden));
  ASSERT_TRUE(SetFileAttributes(base + "hidden.txt", kAttrHidden | kAttrArchive));
  ASSERT_TRUE(SetFileAttributes(base + "system.dat", kAttrSystem));
  ASSERT_TRUE(SetFileAttributes(base + "readonly.txt", kAttrReadOnly));

  auto plain = Names(base + "*.*", 0);
  EXPECT_EQ(plain.size(), 4u);  // plain.txt, readonly.txt, noext and the Chinese name; no folders
  EXPECT_TRUE(Has(plain, "readonly.txt"));
  EXPECT_FALSE(Has(plain, "hidden.txt"));
  EXPECT_FALSE(Has(plain, "system.dat"));
  EXPECT_FALSE(Has(plain, "folder"));

  auto all = Names(base + "*.*", kAttrAnyFile);
  EXPECT_EQ(all.size(), 10u);  // everything plus "." and ".."
  EXPECT_EQ(all[0], ".");
  EXPECT_EQ(all[1], "..");
  auto dirs = Names(base + "*", kAttrDirectory);
  EXPECT_TRUE(Has(dirs, "folder"));
  EXPECT_FALSE(Has(dirs, "hiddenfolder"));  // needs the hidden bit too
  EXPECT_TRUE(Has(Names(base + "*", kAttrDirectory | kAttrHidden), "hiddenfolder"));

  EXPECT_EQ(Names(base + "*.TXT", 0), (std::vector<std::string>{"plain.txt", "readonly.txt"}));
  EXPECT_EQ(Names(base + "p?ain.*", 0), std::vector<std::string>{"plain.txt"});
  EXPECT_EQ(Names(base + "??.ini", 0), std::vector<std::string>{kZhongWen + ".ini"});  // ? is one character

  std::vector<DirEntry> entries;
  ASSERT_TRUE(ListDirectory(base + "plain.txt", kAttrAnyFile, entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].size, 5);
  EXPECT_EQ(entries[0].attributes, kAttrArchive);
  EXPECT_GT(entries[0].lastWriteTime, DateTimeToFileTime({2020, 1, 1, 0, 0, 0, 0}));
  EXPECT_FALSE(ListDirectory(base + "nowhere\\*.*", kAttrAnyFile, entries));

  for (const char* name : {"readonly.txt", "hidden.txt", "system.dat"}) SetFileAttributes(base + name, 0);
}

TEST(FileSystem, AttributesAndTimesRoundTrip) {
  testsupport::TempFolder dir;
  const std::string f = dir.Path() + "f.bin", d = dir.Path() + "d";
  ASSERT_TRUE(testsupport::WriteFile(f, "x"));
  ASSERT_TRUE(CreateDirectory(d));
  EXPECT_EQ(GetFileAttributes(f), kAttrArchive);
  EXPECT_EQ(GetFileAttributes(d), kAttrDirectory);
  EXPECT_EQ(GetFileAttributes(dir.Path() + "none"), kInvalidAttributes);
  // Read-only, hidden and system survive on files, hidden and system on folders, everywhere
  // (wine keeps neither a cleared archive bit nor a folder's read-only bit).
  const std::uint32_t fileBits = kAttrReadOnly | kAttrHidden | kAttrSystem, dirBits = kAttrHidden | kAttrSystem;
  for (std::uint32_t bits : {std::uint32_t{kAttrReadOnly}, kAttrHidden | kAttrSystem, kAttrArchive | kAttrReadOnly | kAttrHidden}) {
    ASSERT_TRUE(SetFileAttributes(f, bits));
    EXPECT_EQ(GetFileAttributes(f) & fileBits, bits & fileBits);
    EXPECT_EQ(GetFileAttributes(f) & kAttrDirectory, 0u);
    ASSERT_TRUE(SetFileAttributes(d, bits));
    EXPECT_EQ(GetFileAttributes(d + "\\") & (dirBits | kAttrDirectory), (bits & dirBits) | kAttrDirectory);
  }
#ifndef _WIN32
  // Posix keeps the archive bit too and reports a file without bits as normal, like NTFS.
  ASSERT_TRUE(SetFileAttributes(f, kAttrArchive | kAttrSystem));
  EXPECT_EQ(GetFileAttributes(f), kAttrArchive | kAttrSystem);
  ASSERT_TRUE(SetFileAttributes(f, kAttrNormal));
  EXPECT_EQ(GetFileAttributes(f), kAttrNormal);
  ASSERT_TRUE(SetFileAttributes(d, kAttrReadOnly));
  EXPECT_EQ(GetFileAttributes(d), kAttrReadOnly | kAttrDirectory);
#endif
  ASSERT_TRUE(SetFileAttributes(f, 0));
  ASSERT_TRUE(SetFileAttributes(d, 0));

  // Times at the 2-second grain of DOS dates come back exactly, also before 1970.
  for (const LocalDateTime& t : {LocalDateTime{1980, 1, 1, 0, 0, 0, 0}, LocalDateTime{2024, 2, 29, 23, 59, 58, 0},
                                 LocalDateTime{1969, 12, 31, 23, 59, 58, 0}}) {
    std::int64_t ft = DateTimeToFileTime(t), back = 0;
    ASSERT_TRUE(SetFileTime(f, ft));
    ASSERT_TRUE(GetFileTime(f, back));
    EXPECT_EQ(back, ft);
  }
  EXPECT_FALSE(SetFileTime(dir.Path() + "none", 0));
}

TEST(FileSystem, PathsAndVolumes) {
  testsupport::TempFolder dir;
  const std::string cwd = GetCurrentDirectory();
  EXPECT_TRUE(HasTrailingPathDelimiter(cwd));
  EXPECT_TRUE(HasTrailingPathDelimiter(GetTempDirectory()));
  ASSERT_TRUE(SetCurrentDirectory(dir.Path()));
  EXPECT_TRUE(SameTextCp936(GetCurrentDirectory(), dir.Path()));
  EXPECT_TRUE(SameTextCp936(ExpandFileName("a\\.\\b\\..\\c.txt"), dir.Path() + "a\\c.txt"));
  EXPECT_TRUE(SameTextCp936(ExpandFileName("."), ExcludeTrailingPathDelimiter(dir.Path())));
  ASSERT_TRUE(SetCurrentDirectory(cwd));
  EXPECT_EQ(ExpandFileName("C:\\x\\..\\y\\" + kNori + "\\"), "C:\\y\\" + kNori + "\\");
  EXPECT_EQ(ExpandFileName("C:\\..\\.."), "C:\\");

  const std::string program = ProgramPath();
  EXPECT_TRUE(FileExists(program)) << program;
  EXPECT_FALSE(VolumeFileSystemName(dir.Path()).empty());
  EXPECT_FALSE(VolumeFileSystemName(dir.Path() + "not\\yet\\there.bin").empty());
  EXPECT_GT(DiskFreeBytes(dir.Path()), 0);
  OsVersion v = GetOsVersion();
  EXPECT_TRUE(v.nt);
  EXPECT_GE(v.major, 5u);
}

// A name or path that code page 936 cannot hold is marked, so that nothing is stored or opened
// under the "?" that stands for it; the arguments of the tools likewise.
TEST(FileSystem, NamesAndArgumentsWithoutACp936FormAreMarked) {
  testsupport::TempFolder dir;
  const std::filesystem::path native(Cp936ToUtf16(ReplaceSeparators(dir.Path(), '\\', '/')));
  std::ofstream(native / std::filesystem::path(u"I\u00F1aki.txt")) << "x";
  std::filesystem::create_directory(native / std::filesystem::path(u"\uBE44"));
  ASSERT_TRUE(testsupport::WriteFile(dir / (kZhongWen + ".txt"), "y"));
  std::vector<DirEntry> entries;
  ASSERT_TRUE(ListDirectory(dir / "*", kAttrAnyFile, entries));
  int marked = 0;
  for (const DirEntry& e : entries) {
    if (e.name == "I?aki.txt" || e.name == "?") {
      EXPECT_FALSE(e.nameExact) << e.name;
      ++marked;
    } else {
      EXPECT_TRUE(e.nameExact) << e.name;
    }
  }
  EXPECT_EQ(marked, 2);
  EXPECT_FALSE(FileExists(dir / "I?aki.txt"));
  EXPECT_TRUE(ProgramPathIsExact());

  // The current folder: relative paths resolve against it.
  const std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::current_path(native / std::filesystem::path(u"\uBE44"));
  const bool inside = CurrentDirectoryIsExact();
  std::filesystem::current_path(saved);
  EXPECT_FALSE(inside);
  EXPECT_TRUE(CurrentDirectoryIsExact());

#ifndef _WIN32
  char a0[] = "cfstool", a1[] = "p\xC3\xA4sswd", a2[] = "dir/\xE4\xB8\xAD";
  char* argv[] = {a0, a1, a2};
  const std::vector<CommandLineArgument> args = CommandLineArguments(3, argv);
  ASSERT_EQ(args.size(), 2u);
  EXPECT_FALSE(args[0].exact);
  EXPECT_TRUE(args[1].exact);
  EXPECT_EQ(args[1].text, "dir\\\xD6\xD0");
#endif
}

// A folder with many entries answers case-insensitive lookups from what it holds now: after
// files are created, moved, renamed and deleted here, and after another program adds one.
TEST(FileSystem, LookupInALargeFolderFollowsEveryChange) {
  testsupport::TempFolder dir;
  const std::string base = dir.Path();
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(testsupport::WriteFile(base + "File" + std::to_string(i) + ".txt", ""));
  EXPECT_TRUE(FileExists(base + "FILE7.TXT"));
  EXPECT_FALSE(FileExists(base + "file300.txt"));
  ASSERT_TRUE(testsupport::WriteFile(base + "file300.txt", "x"));
  EXPECT_TRUE(FileExists(base + "FILE300.txt"));
  ASSERT_TRUE(testsupport::WriteFile(base + "Temp.tmp", "moved"));
  EXPECT_TRUE(MoveReplacing(base + "TEMP.TMP", base + "FILE8.TXT"));
  EXPECT_FALSE(FileExists(base + "temp.tmp"));
  EXPECT_EQ(testsupport::ReadFile(base + "file8.txt"), "moved");
  EXPECT_TRUE(RenameFile(base + "file9.TXT", base + "Nine.txt"));
  EXPECT_FALSE(FileExists(base + "FILE9.txt"));
  EXPECT_TRUE(FileExists(base + "NINE.TXT"));
  EXPECT_TRUE(DeleteFile(base + "NINE.txt"));
  EXPECT_FALSE(FileExists(base + "nine.txt"));
  ASSERT_TRUE(CreateDirectory(base + "Sub"));
  EXPECT_TRUE(DirectoryExists(base + "SUB"));
  EXPECT_EQ(Names(base + "*.*", kAttrAnyFile).size(), 2u + 301u);
#ifndef _WIN32
  // Another program's file, once the folder's clock has moved on.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::FILE* f = std::fopen((ReplaceSeparators(base, '\\', '/') + "Foreign.TXT").c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_TRUE(FileExists(base + "foreign.txt"));
#endif
}
