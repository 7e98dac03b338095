// Importing disk trees into a container and exporting them again: content, attributes and
// times across every compression method, passwords, existing files, progress and failures,
// and item names from a container that must not lead out of the export folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>

#include "cfs/codecs/compress/CFSCompress.h"
#include "cfs/fs/CFSFileStream.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/Time.h"
#include "tests/cfs/fs/FSTestUtil.h"
#include "tests/fixtures/FakeGame.h"

using namespace storagetest;
using namespace fstest;

namespace {

const std::string kChinese = "\xB1\xED\x81\x5C";  // two characters, the second with trail byte "\"

std::int64_t TwoSecondTime(int day, int second) {
  std::int64_t local = 0;
  // 2021-03-<day> 10:20:<second>
  const std::uint16_t date = static_cast<std::uint16_t>((2021 - 1980) << 9 | 3 << 5 | day);
  const std::uint16_t time = static_cast<std::uint16_t>(10 << 11 | 20 << 5 | second / 2);
  EXPECT_TRUE(platform::DosDateTimeToFileTime(date, time, local));
  return platform::FileTimeLocalToUtc(local);
}

struct DiskFile {
  Bytes content;
  std::uint32_t attributes;  // as the platform reports them after writing
  std::int64_t time;
};

// A tree under root + "tree\": nested folders, an empty folder, empty, exactly-one-block and
// multi-block files, Chinese names, a read-only and a hidden file, all at 2-second times.
std::map<std::string, DiskFile> MakeTree(const std::string& root, std::int32_t blockSize) {
  std::map<std::string, Bytes> files = {
      {"a.txt", Compressible(3000, 1)},
      {"empty.bin", {}},
      {"sub\\" + kChinese + ".txt", Compressible(5000, 2)},
      {"sub\\deep\\" + kChinese + "\\x.dat", Pattern(70000, 3)},
      {"sub\\deep\\" + kChinese + "\\inner\\y.txt", Text("below a name ending in the trail byte")},
      {"sub\\ro.txt", Text("read only")},
      {"sub\\hidden.txt", Text("hidden")},
  };
  if (blockSize > 0) {
    files["exact.bin"] = Compressible(static_cast<std::size_t>(blockSize), 4);
    files["sub\\three.bin"] = Compressible(2 * static_cast<std::size_t>(blockSize) + 77, 5);
  }
  const std::string tree = root + "tree\\";
  EXPECT_TRUE(platform::ForceDirectories(tree + "emptydir"));
  std::map<std::string, DiskFile> out;
  int k = 1;
  for (const auto& [rel, content] : files) {
    const std::string path = tree + rel;
    EXPECT_TRUE(platform::ForceDirectories(platform::ExtractFilePath(path)));
    EXPECT_TRUE(WriteAll(path, content)) << rel;
    const std::int64_t t = TwoSecondTime(k, 2 * k);
    ++k;
    EXPECT_TRUE(platform::SetFileTime(path, t));
    if (rel == "sub\\ro.txt") platform::SetFileAttributes(path, platform::kAttrReadOnly);
    if (rel == "sub\\hidden.txt") platform::SetFileAttributes(path, platform::kAttrHidden);
    out[rel] = {content, platform::GetFileAttributes(path), t};
  }
  return out;
}

void ExpectTreeAt(const std::string& dir, const std::map<std::string, DiskFile>& files) {
  EXPECT_TRUE(platform::DirectoryExists(dir + "emptydir"));
  for (const auto& [rel, f] : files) {
    const std::string path = dir + rel;
    EXPECT_TRUE(ReadAll(path) == f.content) << rel;
    constexpr std::uint32_t kKept = platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem;
    EXPECT_EQ(platform::GetFileAttributes(path) & kKept, f.attributes & kKept) << rel;
    std::int64_t t = 0;
    EXPECT_TRUE(platform::GetFileTime(path, t)) << rel;
    EXPECT_EQ(t, f.time) << rel;
  }
}

struct PasswordAnswer {
  std::string password;
  int asked = 0;
};

void AnswerPasswords(TContainerFS& fs, PasswordAnswer& answer) {
  fs.OnPassword.UserData = &answer;
  fs.OnPassword.Handler = [](void* user, TContainerFS&, const std::string&, std::string& pw, bool& cancel) {
    auto* a = static_cast<PasswordAnswer*>(user);
    ++a->asked;
    pw = a->password;
    cancel = false;
  };
}

enum class Protection { None, Container, PerFile };

struct RoundTripCase {
  std::uint8_t method;
  Protection protection;
  bool bigFiles;
};

class RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

}  // namespace

TEST_P(RoundTrip, TreeComesBackWithContentAttributesAndTimes) {
  const RoundTripCase c = GetParam();
  ScratchDir dir;
  const auto files = MakeTree(dir.Path(), c.bigFiles ? BlockSizeForMethod(c.method) : 0);
  const std::string containerPw = c.protection == Protection::Container ? "secret" : "";
  PasswordAnswer answer{"per-file"};
  {
    TContainerFS fs(dir / "c.cfs", kModeCreate, containerPw, "", "", c.method);
    AnswerPasswords(fs, answer);
    const bool ask = c.protection == Protection::PerFile;
    EXPECT_EQ(fs.ImportDirectory(dir / "tree", "userdata", true, TExistingFiles::Overwrite, ask),
              std::int32_t(files.size() + 5));
    EXPECT_FALSE(fs.LastImportError().Failed) << fs.LastImportError().Message;
    EXPECT_EQ(fs.GetCurrentDir(), "\\");
    EXPECT_EQ(answer.asked, ask ? std::int32_t(files.size()) : 0);
    ExpectPagesConsistent(fs);
  }
  answer.asked = 0;
  TContainerFS fs(dir / "c.cfs", 0, containerPw, "", "", 0);
  AnswerPasswords(fs, answer);
  const std::string before = platform::GetCurrentDirectory();
  EXPECT_EQ(fs.ExportFiles("*.*", dir / "out", platform::kAttrAnyFile, true, TExistingFiles::Overwrite),
            std::int32_t(files.size()));
  EXPECT_EQ(platform::GetCurrentDirectory(), before);
  ExpectTreeAt(dir / "out\\userdata\\tree\\", files);
  if (c.protection == Protection::PerFile) {
    EXPECT_EQ(answer.asked, std::int32_t(files.size()));
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, RoundTrip,
                         ::testing::Values(RoundTripCase{0, Protection::None, true},
                                           RoundTripCase{1, Protection::None, true},
                                           RoundTripCase{2, Protection::Container, true},
                                           RoundTripCase{5, Protection::PerFile, true},
                                           RoundTripCase{7, Protection::None, true},
                                           RoundTripCase{8, Protection::Container, true},
                                           RoundTripCase{9, Protection::PerFile, true},
                                           RoundTripCase{9, Protection::Container, false},
                                           RoundTripCase{0, Protection::PerFile, false},
                                           RoundTripCase{3, Protection::None, false},
                                           RoundTripCase{4, Protection::Container, false},
                                           RoundTripCase{6, Protection::PerFile, false}));

TEST(ImportExport, FakeGameFoldersRoundTripLikeThePackingRun) {
  ScratchDir dir;
  fixtures::FakeGameOptions options;
  options.seed = 42;
  const fixtures::FakeGame game = fixtures::MakeFakeGame(dir / "game", options);
  {
    TContainerFS fs(dir / "zelkbak.Config", kModeCreate, "pw", "?", "a", 9);
    std::vector<platform::DirEntry> listing;
    ASSERT_TRUE(platform::ListDirectory(game.gamePath + "userdata\\*.*", platform::kAttrAnyFile, listing));
    for (const auto& e : listing) {
      if (e.name == "." || e.name == "..") continue;
      const std::string path = game.gamePath + "userdata\\" + e.name;
      if (e.attributes & platform::kAttrDirectory) {
        fs.ImportDirectory(path, "userdata", true, TExistingFiles::Ask, false);
      } else {
        EXPECT_EQ(fs.ImportFiles(path, "userdata", platform::kAttrAnyFile, false, TExistingFiles::Ask, false), 1)
            << e.name;
      }
      EXPECT_FALSE(fs.LastImportError().Failed) << fs.LastImportError().Message;
    }
    fs.ImportDirectory(game.gamePath + "Interface", "", true, TExistingFiles::Ask, false);
    EXPECT_FALSE(fs.LastImportError().Failed) << fs.LastImportError().Message;
  }
  TContainerFS fs(dir / "zelkbak.Config", 0, "pw", "", "", 0);
  fs.ExportFiles("*.*", dir / "restored", platform::kAttrAnyFile, true, TExistingFiles::Ask);
  int checked = 0;
  for (const auto& e : game.entries) {
    const bool wanted = e.path.rfind("userdata\\", 0) == 0 || e.path.rfind("Interface\\", 0) == 0;
    if (!wanted || e.directory) continue;
    const Bytes back = ReadAll(dir / "restored\\" + e.path);
    EXPECT_EQ(fixtures::Fnv1a64(back.data(), back.size()), e.hash) << e.path;
    std::int64_t t = 0;
    EXPECT_TRUE(platform::GetFileTime(dir / "restored\\" + e.path, t));
    EXPECT_EQ(t, e.lastWriteTime) << e.path;
    ++checked;
  }
  EXPECT_GT(checked, 10);
}

TEST(ImportExport, WrongPasswordsAreRefused) {
  ScratchDir dir;
  ASSERT_TRUE(WriteAll(dir / "f.txt", Text("data")));
  PasswordAnswer answer{"mine"};
  {
    TContainerFS fs(dir / "c.cfs", kModeCreate, "right", "", "", 9);
    AnswerPasswords(fs, answer);
    EXPECT_EQ(fs.ImportFiles(dir / "f.txt", "", platform::kAttrAnyFile, false, TExistingFiles::Overwrite, true), 1);
  }
  EXPECT_NE(ErrorOf([&] { TContainerFS(dir / "c.cfs", 0, "wrong", "", "", 0); })
                .find("TContainerFS.Create - invalid password specified, file name = "),
            std::string::npos);
  TContainerFS fs(dir / "c.cfs", 0, "right", "", "", 0);
  answer.password = "not mine";
  int tries = 0;
  fs.OnPassword.UserData = &tries;
  fs.OnPassword.Handler = [](void* user, TContainerFS&, const std::string&, std::string& pw, bool& cancel) {
    pw = "not mine";
    cancel = ++*static_cast<int*>(user) > 2;
  };
  EXPECT_EQ(fs.ExportFiles("*.*", dir / "out", platform::kAttrAnyFile, true, TExistingFiles::Overwrite), 1);
  ASSERT_EQ(fs.LastExportFailures().size(), 1u);
  EXPECT_EQ(fs.LastExportFailures()[0].FileName, "f.txt");
  EXPECT_EQ(fs.LastExportFailures()[0].Message, "TCFSUserFileStream.Create - unable to open file \"f.txt\"");
  EXPECT_FALSE(platform::FileExists(dir / "out\\f.txt"));
}

// The third of five files fails in the middle: only it is left out (nothing of it stays), the
// others go in, progress runs to the end and the failure is recorded.
TEST(ImportExport, FailingEntryIsLeftOutAndTheOthersStored) {
  ScratchDir dir;
  ASSERT_TRUE(platform::ForceDirectories(dir / "src"));
  for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"})
    ASSERT_TRUE(WriteAll(dir / (std::string("src\\") + name), Text(name)));
  TContainerFS fs(dir / "c.cfs", kModeCreate, "", "", "", 9);
  std::vector<double> progress;
  fs.OnProgress.UserData = &progress;
  fs.OnProgress.Handler = [](void* user, TContainerFS&, double p, bool&) {
    static_cast<std::vector<double>*>(user)->push_back(p);
  };
  fs.OnFileProgress.Handler = [](void*, TContainerFS&, const std::string& name, double) {
    if (name == "c.txt") throw Exception("disk went away");
  };
  EXPECT_EQ(fs.ImportFiles(dir / "src\\", "in", platform::kAttrAnyFile, false, TExistingFiles::Overwrite, false), 5);
  EXPECT_EQ(progress, (std::vector<double>{0, 20, 40, 60, 80, 100, 100}));
  for (const char* name : {"a.txt", "b.txt", "d.txt", "e.txt"})
    EXPECT_TRUE(fs.FileExists(std::string("in\\") + name)) << name;
  EXPECT_FALSE(fs.FileExists("in\\c.txt"));
  ASSERT_EQ(fs.ImportFailures().size(), 1u);
  EXPECT_EQ(fs.ImportFailures()[0].ContainerPath, "c.txt");
  EXPECT_EQ(fs.ImportFailures()[0].DiskPath, dir / "src\\c.txt");
  EXPECT_EQ(fs.ImportFailures()[0].Message, "disk went away");
  EXPECT_EQ(fs.LastImportError().Message, "disk went away");
  EXPECT_FALSE(fs.Cancel());
  // The next call starts clean; nothing to import is not a failure.
  fs.OnFileProgress.Handler = nullptr;
  progress.clear();
  EXPECT_EQ(fs.ImportFiles(dir / "src\\*.none", "in", platform::kAttrAnyFile, false, TExistingFiles::Overwrite, false),
            0);
  EXPECT_EQ(progress, (std::vector<double>{0, 100}));
  EXPECT_FALSE(fs.LastImportError().Failed);
  EXPECT_EQ(fs.ImportFiles(dir / "missing\\*.*", "in", platform::kAttrAnyFile, false, TExistingFiles::Overwrite, false),
            0);
  // Cancel from the progress handler stops after the current entry.
  fs.OnProgress.Handler = [](void*, TContainerFS&, double p, bool& cancel) { cancel = p >= 40; };
  EXPECT_EQ(
      fs.ImportFiles(dir / "src\\*.txt", "again", platform::kAttrAnyFile, false, TExistingFiles::Overwrite, false), 2);
  EXPECT_FALSE(fs.LastImportError().Failed);
}

TEST(ImportExport, ExistingFilesAreKeptOrReplaced) {
  ScratchDir dir;
  ASSERT_TRUE(platform::ForceDirectories(dir / "src") && platform::ForceDirectories(dir / "out"));
  ASSERT_TRUE(WriteAll(dir / "src\\f.txt", Text("new")));
  TContainerFS fs(dir / "c.cfs", kModeCreate, "", "", "", 1);
  WriteWhole(fs, "f.txt", Text("old"));
  auto stored = [&] {
    TCFSFileStream s(&fs, "f.txt", 0, "", "", "", 0);
    Bytes b(static_cast<std::size_t>(s.GetSize()));
    if (!b.empty()) s.Read(b.data(), std::int32_t(b.size()));
    return b;
  };
  int asked = 0;
  bool answer = false;
  std::pair<int*, bool*> state{&asked, &answer};
  EXPECT_EQ(fs.ImportFiles(dir / "src\\f.txt", "", platform::kAttrAnyFile, false, TExistingFiles::Skip, false), 1);
  EXPECT_EQ(stored(), Text("old"));
  EXPECT_EQ(fs.ImportFiles(dir / "src\\f.txt", "", platform::kAttrAnyFile, false, TExistingFiles::Ask, false),
            1);  // no handler: keep
  EXPECT_EQ(stored(), Text("old"));
  EXPECT_FALSE(fs.LastImportError().Failed);
  fs.OnOverwrite.UserData = &state;
  fs.OnOverwrite.Handler = [](void* user, TContainerFS&, const std::string& name, const std::string&, bool& ow) {
    auto* s = static_cast<std::pair<int*, bool*>*>(user);
    EXPECT_EQ(name, "f.txt");
    ++*s->first;
    ow = *s->second;
  };
  EXPECT_EQ(fs.ImportFiles(dir / "src\\f.txt", "", platform::kAttrAnyFile, false, TExistingFiles::Ask, false), 1);
  EXPECT_EQ(stored(), Text("old"));
  answer = true;
  EXPECT_EQ(fs.ImportFiles(dir / "src\\f.txt", "", platform::kAttrAnyFile, false, TExistingFiles::Ask, false), 1);
  EXPECT_EQ(stored(), Text("new"));
  EXPECT_EQ(asked, 2);

  // Export: 1 keeps, 2 asks, 0 replaces even a read-only disk file.
  ASSERT_TRUE(WriteAll(dir / "out\\f.txt", Text("disk")));
  answer = false;
  fs.ExportFiles("*.*", dir / "out", platform::kAttrAnyFile, false, TExistingFiles::Skip);
  EXPECT_EQ(ReadAll(dir / "out\\f.txt"), Text("disk"));
  fs.ExportFiles("*.*", dir / "out", platform::kAttrAnyFile, false, TExistingFiles::Ask);
  EXPECT_EQ(ReadAll(dir / "out\\f.txt"), Text("disk"));
  EXPECT_EQ(asked, 3);
  answer = true;
  fs.ExportFiles("*.*", dir / "out", platform::kAttrAnyFile, false, TExistingFiles::Ask);
  EXPECT_EQ(ReadAll(dir / "out\\f.txt"), Text("new"));
  ASSERT_TRUE(WriteAll(dir / "out\\f.txt", Text("disk")));
  ASSERT_TRUE(platform::SetFileAttributes(dir / "out\\f.txt", platform::kAttrReadOnly));
  fs.ExportFiles("*.*", dir / "out", platform::kAttrAnyFile, false, TExistingFiles::Overwrite);
  EXPECT_EQ(ReadAll(dir / "out\\f.txt"), Text("new"));
  EXPECT_EQ(platform::GetFileAttributes(dir / "out\\f.txt") & platform::kAttrReadOnly, 0u);
}

// Names and folders written into the directory by hand: an export must refuse every name that
// could reach outside the target folder, and write nothing for it.
TEST(ImportExport, CraftedNamesCannotLeaveTheTargetFolder) {
  const std::string bad[] = {"..", ".", "a:b", "tab\tname", ". .", "x/y", "..\\..\\evil"};
  for (const std::string& name : bad) {
    ScratchDir dir;
    TContainerFS fs(dir / "c.cfs", kModeCreate, "", "", "", 9);
    ASSERT_TRUE(fs.ForceDirectories("top\\inner"));
    WriteWhole(fs, "top\\inner\\evil.txt", Text("payload"));
    const std::int32_t n = fs.Directory().FindItem("top\\inner");
    ASSERT_GE(n, 0);
    TCFSDirItem item = fs.Directory().ReadItem(n);
    item.Name = name;
    fs.Directory().WriteItem(n, item);
    const std::string error = ErrorOf(
        [&] { fs.ExportFiles("*.*", dir / "a\\b\\out", platform::kAttrAnyFile, true, TExistingFiles::Overwrite); });
    EXPECT_NE(error.find("TContainerFS.ExportFiles - invalid item name"), std::string::npos) << name << ": " << error;
    std::vector<platform::DirEntry> left;
    ASSERT_TRUE(platform::ListDirectory(dir / "a\\b\\out\\*.*", platform::kAttrAnyFile, left));
    for (const auto& e : left) EXPECT_TRUE(e.name == "." || e.name == "..") << name << " wrote " << e.name;
    EXPECT_FALSE(platform::FileExists(dir / "a\\b\\evil.txt")) << name;
    EXPECT_FALSE(platform::FileExists(dir / "a\\evil.txt")) << name;
    EXPECT_FALSE(platform::FileExists(dir / "evil.txt")) << name;
  }
}

// A folder that is its own parent lists itself as its own child; it is unreachable from the
// root, so an export neither finds it nor loops on it.
TEST(ImportExport, SelfParentedFolderIsRefused) {
  ScratchDir dir;
  TContainerFS fs(dir / "c.cfs", kModeCreate, "", "", "", 9);
  ASSERT_TRUE(fs.ForceDirectories("loop"));
  WriteWhole(fs, "loop\\f.txt", Text("x"));
  const std::int32_t n = fs.Directory().FindItem("loop");
  TCFSDirItem item = fs.Directory().ReadItem(n);
  item.Parent = n;
  fs.Directory().WriteItem(n, item);
  // The folder and its file are not left out silently: the export refuses the container and
  // names them, before anything is written.
  const std::string error =
      ErrorOf([&] { fs.ExportFiles("*.*", dir / "out", platform::kAttrAnyFile, true, TExistingFiles::Overwrite); });
  EXPECT_NE(error.find("\"loop\""), std::string::npos) << error;
  EXPECT_NE(error.find("\"f.txt\""), std::string::npos) << error;
  EXPECT_FALSE(platform::DirectoryExists(dir / "out"));
}

TEST(ImportExport, FolderAttributeAndDateOperations) {
  ScratchDir dir;
  TContainerFS fs(dir / "c.cfs", kModeCreate, "", "", "", 9);
  EXPECT_TRUE(fs.ForceDirectories("a\\" + kChinese));
  EXPECT_TRUE(fs.CreateDir("a\\" + kChinese + "\\c"));
  EXPECT_TRUE(fs.DirectoryExists("a\\" + kChinese));
  EXPECT_FALSE(fs.CreateDir("missing\\x"));
  EXPECT_TRUE(fs.SetCurrentDir("a"));
  EXPECT_EQ(fs.GetCurrentDir(), "\\a");
  WriteWhole(fs, kChinese + "\\f.txt", Text("x"));
  EXPECT_TRUE(fs.SetCurrentDir("\\"));
  const std::string f = "a\\" + kChinese + "\\f.txt";
  EXPECT_EQ(fs.FileSetAttr(f, platform::kAttrReadOnly | platform::kAttrDirectory), 0);
  EXPECT_EQ(fs.FileGetAttr(f), platform::kAttrReadOnly);  // a file never takes the folder bit
  EXPECT_EQ(fs.FileGetAttr("nothing"), 0u);
  EXPECT_EQ(fs.FileSetAttr("nothing", 1), -1);
  EXPECT_EQ(fs.FileAge("nothing"), -1);
  const std::int32_t dos = (41 << 25) | (3 << 21) | (7 << 16) | (10 << 11) | (20 << 5) | 15;  // 2021-03-07 10:20:30
  const std::int32_t h = fs.FileOpen(f, 2, "", "", "");
  ASSERT_GE(h, 0);
  EXPECT_EQ(fs.FileSetDate(h, dos), 0);
  EXPECT_EQ(fs.FileSetDate(h, 0x00210000 | 0xFFFF), -1);  // no such time of day
  EXPECT_EQ(fs.FileSetDate(h + 100, dos), -1);
  fs.FileClose(h);
  EXPECT_EQ(fs.FileAge(f), dos);
  TSearchRec rec;
  ASSERT_EQ(fs.FindFirst("a\\" + kChinese + "\\*.*", platform::kAttrAnyFile, rec), 0);
  std::vector<std::string> names{rec.Name};
  while (fs.FindNext(rec) == 0) names.push_back(rec.Name);
  fs.FindClose(rec);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"c", "f.txt"}));

  // Export of a missing container folder finds nothing; a cancelled export stops early.
  EXPECT_EQ(fs.ExportFiles("nowhere\\*.*", dir / "out", platform::kAttrAnyFile, true, TExistingFiles::Overwrite), 0);
  for (const char* n : {"k1", "k2", "k3", "k4"}) WriteWhole(fs, std::string("a\\") + n, Text(n));
  fs.OnProgress.Handler = [](void*, TContainerFS&, double p, bool& cancel) { cancel = p >= 50; };
  EXPECT_EQ(fs.ExportFiles("a\\k*", dir / "out", platform::kAttrAnyFile, false, TExistingFiles::Overwrite), 4);
  EXPECT_TRUE(platform::FileExists(dir / "out\\k2"));
  EXPECT_FALSE(platform::FileExists(dir / "out\\k3"));
}
