// The packing run on generated game directories, from "立即打包" to the dated zip: what the
// package holds, which working files remain, what Explorer is asked, and the faults the run
// must not hide (a file that cannot be read, a password the cipher cannot take).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "backup/PackGame.h"
#include "gamedir/Cp936Text.h"
#include "cfs/fs/ContainerFS.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/Time.h"
#include "tests/app/PackageCheck.h"
#include "tests/app/ToolHarness.h"
#include "tests/app/TreeCheck.h"
#include "tests/fixtures/FakeGame.h"
#include "tests/support/Environment.h"
#include "tests/support/Files.h"

namespace {

using ui::headless::MessageRecord;

const std::string kStub = "MZ-restore-program-" + std::string(3000, 's');

// The shell records its requests in the file this variable names, on every platform.
void SetShellLog(const std::string& path) { testsupport::SetEnvironment("ZELK_SHELL_LOG", path); }

// A fake game with the tool (carrying its restore program) in the game directory, shown, and
// the selection window handled by `select` (left untouched by default).
struct PackRun {
  TestTree tree;
  fixtures::FakeGame game;
  ToolHarness tool;
  std::string dir, shellLog;

  explicit PackRun(std::uint64_t seed, std::function<void(tool::SelectionWindow&)> select = {}, bool findGame = true) {
    fixtures::FakeGameOptions options;
    options.seed = seed;
    game = fixtures::MakeFakeGame(tree.Dir("home"), options);
    dir = game.gamePath;
    tool.probe.programPath = dir + Cp936("Zelk配置备份工具.exe");
    MakeToolExecutable(tool.probe.programPath, kStub, tree.Dir("scratch"));
#ifdef _WIN32
    shellLog = tree.Dir("") + "shell.log";
#else
    shellLog = platform::Cp936ToUtf8(platform::ReplaceSeparators(tree.Dir("") + "shell.log", '\\', '/'));
#endif
    SetShellLog(shellLog);
    tool.backend->SetModalHandler([this, select](ui::Form& form) {
      if (select && &form == &tool.selection) select(tool.selection);
    });
    tool.main.ShowForm();
    if (findGame) tool.backend->RunFor(500);
  }
  ~PackRun() { SetShellLog(""); }

  std::string ZipPath() const { return dir + Cp936("Zelk配置文件恢复包") + PackageDateText() + ".zip"; }
  std::vector<const MessageRecord*> Boxes() const {
    std::vector<const MessageRecord*> out;
    for (const MessageRecord& m : tool.backend->Messages())
      if (m.kind == MessageRecord::Kind::Box) out.push_back(&m);
    return out;
  }
  // The package from the zip, written back to disk as `name` in the scratch folder.
  std::string Unzipped(const std::string& name = "pkg.exe") {
    std::string entry, data, why;
    EXPECT_TRUE(ReadOnlyZipEntry(ZipPath(), entry, data, why)) << why;
    EXPECT_EQ(entry, Cp936("Zelk配置文件恢复包.exe"));
    EXPECT_EQ(data.compare(0, kStub.size(), kStub), 0) << "the restore program comes first";
    std::string path = tree.Dir("scratch") + name;
    std::ofstream(tree.Native("scratch/" + name), std::ios::binary) << data;
    return path;
  }
};

TEST(PackingRun, WholeRunWithTrimmedPassword) {
  PackRun r(11);
  ASSERT_EQ(r.tool.main.gamePath, r.dir);
  ASSERT_TRUE(platform::FileExists(r.dir + "loader.bin"));
  ASSERT_TRUE(ui::headless::Type(r.tool.main.passwordEdit, "  pw 1 \t"));
  // While the package is read back and zipped (on a worker), the progress window stays up and
  // says so, and messages are handled.
  testsupport::SetEnvironment("ZELK_THREADS", "2");
  std::set<std::string> stepLines;
  tool::ProgressWindow& progress = r.tool.windows.progress;
  r.tool.backend->SetProcessHook([&] {
    if (progress.Visible()) stepLines.insert(progress.fileLabel.Text());
  });
  ASSERT_TRUE(ui::headless::Click(r.tool.main.packButton));
  testsupport::SetEnvironment("ZELK_THREADS", "");
  EXPECT_TRUE(stepLines.count(Cp936("正在校验恢复包...")));
  EXPECT_TRUE(stepLines.count(Cp936("正在压缩...")));

  EXPECT_TRUE(r.Boxes().empty()) << r.Boxes()[0]->request.text;
  EXPECT_TRUE(r.tool.app.Terminated());
  EXPECT_EQ(r.tool.main.packButton.Text(), Cp936("打包完成."));
  EXPECT_EQ(r.tool.main.packButton.Width(), 150);
  EXPECT_FALSE(r.tool.main.passwordEdit.Enabled());
  EXPECT_FALSE(r.tool.windows.progress.Visible());
  for (const char* gone : {"zelkbak.Config", "loader.bin", "Zelk配置文件恢复包.exe"})
    EXPECT_FALSE(platform::FileExists(r.dir + Cp936(gone))) << gone;
  ASSERT_TRUE(platform::FileExists(r.ZipPath()));
  EXPECT_EQ(testsupport::ReadNativeFile(r.tree.Native("shell.log")),
            "open\texplorer.exe\t/select,\"" + r.ZipPath() + "\"\t" + r.dir + "\t5\towner\n");

  const std::string pkg = r.Unzipped();
  EXPECT_TRUE(IsContainerEncrypted(pkg));
  EXPECT_TRUE(CheckContainerPassword(pkg, "pw 1"));
  EXPECT_FALSE(CheckContainerPassword(pkg, "  pw 1 \t"));
  {
    TContainerFS container(pkg, 0, "pw 1", "", "", 0);
    container.ExportFiles("*.*", r.tree.Dir("restored"), platform::kAttrAnyFile, true, TExistingFiles::Overwrite);
  }
  std::vector<fixtures::ManifestEntry> packed = PackedEntries(r.game);
  ASSERT_GT(packed.size(), 20u);
  EXPECT_EQ(CompareWithManifest(r.tree.Dir("restored"), packed), "");
  // Names the selection window never lists stay behind.
  EXPECT_FALSE(platform::FileExists(r.tree.Dir("restored") + "userdata\\.lastsession"));
}

TEST(PackingRun, UntickedAccountsAndAnAddonDeletedAfterTheChoice) {
  PackRun r(12, [](tool::SelectionWindow& s) {
    for (int i = 0; i < s.accountsList.Count(); ++i) ui::headless::SetCheck(s.accountsList, i, false);
  });
  ASSERT_TRUE(r.tool.main.accounts.empty());
  ASSERT_GE(r.tool.main.addons.size(), 2u);
  const std::string removed = r.tool.main.addons[0];
  std::filesystem::remove_all(r.tree.Native(platform::Cp936ToUtf8(
      platform::ReplaceSeparators("home\\Interface\\" + removed, '\\', '/'))));
  // A container left by an interrupted run is replaced, not reused.
  std::ofstream(r.tree.Native("home/zelkbak.Config"), std::ios::binary) << "garbage from an old run";

  ASSERT_TRUE(ui::headless::Click(r.tool.main.packButton));
  EXPECT_TRUE(r.Boxes().empty());
  const std::string pkg = r.Unzipped();
  EXPECT_FALSE(IsContainerEncrypted(pkg));
  TContainerFS container(pkg, 0, "", "", "", 0);
  EXPECT_FALSE(container.DirectoryExists("\\userdata"));
  EXPECT_FALSE(container.DirectoryExists("\\interface\\" + removed));
  for (std::size_t i = 1; i < r.tool.main.addons.size(); ++i)
    EXPECT_TRUE(container.DirectoryExists("\\interface\\" + r.tool.main.addons[i])) << i;
}

TEST(PackingRun, BeforeTheGameIsFoundThePackageIsEmpty) {
  PackRun r(13, {}, /*findGame=*/false);
  ASSERT_TRUE(r.tool.main.gamePath.empty());
  ASSERT_TRUE(ui::headless::Click(r.tool.main.packButton));
  EXPECT_TRUE(r.Boxes().empty());
  TContainerFS container(r.Unzipped(), 0, "", "", "", 0);
  TSearchRec rec;
  int found = 0;
  for (int res = container.FindFirst("\\*.*", 63, rec); res == 0; res = container.FindNext(rec))
    if (rec.Name != "." && rec.Name != "..") ++found;
  container.FindClose(rec);
  EXPECT_EQ(found, 0);
}

TEST(PackingRun, WithoutTheRestoreProgramNothingIsBuiltAndTheContainerStays) {
  PackRun r(14);
  ASSERT_TRUE(platform::DeleteFile(r.dir + "loader.bin"));
  ASSERT_TRUE(ui::headless::Click(r.tool.main.packButton));
  EXPECT_TRUE(platform::FileExists(r.dir + "zelkbak.Config"));
  EXPECT_FALSE(platform::FileExists(r.dir + Cp936("Zelk配置文件恢复包.exe")));
  // Explorer is still asked to show the archive the run names.
  EXPECT_NE(testsupport::ReadNativeFile(r.tree.Native("shell.log")).find("/select,\"" + r.ZipPath() + "\""), std::string::npos);
}

TEST(PackingRun, PasswordLongerThanTheCipherTakesIsRefusedBeforeAnythingIsWritten) {
  PackRun r(15);
  const std::string longPassword = Cp936("一二三四五六七八九十一二三四五六七");  // 34 bytes
  ASSERT_TRUE(ui::headless::Type(r.tool.main.passwordEdit, longPassword));
  ASSERT_TRUE(ui::headless::Click(r.tool.main.packButton));
  ASSERT_EQ(r.Boxes().size(), 1u);
  EXPECT_EQ(r.Boxes()[0]->request.caption, Cp936("错误"));
  EXPECT_EQ(r.Boxes()[0]->owner, &r.tool.main);
  EXPECT_FALSE(platform::FileExists(r.dir + "zelkbak.Config"));
  EXPECT_TRUE(r.tool.main.passwordEdit.Enabled());
  EXPECT_TRUE(r.tool.main.packButton.Enabled());
  EXPECT_FALSE(r.tool.app.Terminated());

  // Exactly 32 bytes is fine.
  ASSERT_TRUE(ui::headless::Type(r.tool.main.passwordEdit, longPassword.substr(0, 32)));
  ASSERT_TRUE(ui::headless::Click(r.tool.main.packButton));
  EXPECT_EQ(r.Boxes().size(), 1u);
  EXPECT_TRUE(CheckContainerPassword(r.Unzipped(), longPassword.substr(0, 32)));
}

TEST(StubExtraction, FailuresAtStartUp) {
  {  // no container behind the program
    TestTree tree;
    tree.MakeFile("tool/tool.exe", std::string(4000, 'M'));
    ToolHarness tool;
    tool.probe.programPath = tree.Dir("tool") + "tool.exe";
    tool.main.ShowForm();
    const auto& m = tool.backend->Messages();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].request.text, Cp936("程序不完整，请重新下载."));
    EXPECT_EQ(m[0].request.caption, Cp936("错误"));
    EXPECT_EQ(m[0].request.icon, ui::MessageIcon::Error);
    EXPECT_EQ(m[0].owner, &tool.main);
    EXPECT_EQ(m[1].request.text, Cp936("释放文件失败，被杀毒软件阻止了吗？"));
    EXPECT_TRUE(tool.app.Terminated());
  }
  {  // a read-only "loader.bin" from an earlier run is replaced
    TestTree tree;
    tree.MakeFile("tool/loader.bin", "old");
    ToolHarness tool;
    tool.probe.programPath = tree.Dir("tool") + "tool.exe";
    MakeToolExecutable(tool.probe.programPath, kStub, tree.Dir("scratch"));
    ASSERT_TRUE(platform::SetFileAttributes(tree.Dir("tool") + "loader.bin", platform::kAttrReadOnly));
    tool.main.ShowForm();
    EXPECT_TRUE(tool.backend->Messages().empty());
    EXPECT_EQ(testsupport::ReadNativeFile(tree.Native("tool/loader.bin")), kStub);
    EXPECT_FALSE(tool.app.Terminated());
    tool.main.ShowForm();  // shown again: nothing is extracted twice
    EXPECT_TRUE(tool.backend->Messages().empty());
  }
  {  // a folder path that code page 936 cannot hold: one message that says so, nothing else
    TestTree tree;
    tree.MakeDir("tool");
    ToolHarness tool;
    tool.probe.programPath = tree.Dir("tool") + "tool.exe";
    MakeToolExecutable(tool.probe.programPath, kStub, tree.Dir("scratch"));
    tool.probe.programPathExact = false;
    tool.main.ShowForm();
    const auto& m = tool.backend->Messages();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].request.text, ProgramFolderUnusableText());
    EXPECT_EQ(m[0].request.caption, Cp936("错误"));
    EXPECT_FALSE(platform::FileExists(tree.Dir("tool") + "loader.bin"));
    EXPECT_TRUE(tool.app.Terminated());
  }
  {  // a "loader.bin" that cannot be replaced (a folder of that name)
    TestTree tree;
    tree.MakeDir("tool/loader.bin/x");
    ToolHarness tool;
    tool.probe.programPath = tree.Dir("tool") + "tool.exe";
    MakeToolExecutable(tool.probe.programPath, kStub, tree.Dir("scratch"));
    tool.main.ShowForm();
    const auto& m = tool.backend->Messages();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].request.text, Cp936("程序不完整，请重新下载."));
    EXPECT_TRUE(tool.app.Terminated());
  }
}

}  // namespace

namespace {

// A file the running game holds open without sharing cannot be read; a file whose name code page
// 936 cannot hold cannot be stored under it. Each is left out alone and named with its reason.
TEST(PackingRun, FilesThatCannotBeStoredAreLeftOutAloneAndNamedWithTheirReasons) {
  PackRun r(16);
  const std::string account = "ZelkPlayer01";
  const std::string locked = r.dir + "userdata\\" + account + "\\account.ini";
  auto holder = platform::File::Open(locked, platform::FileAccess::ReadWrite, platform::FileShare::Exclusive,
                                     platform::FileDisposition::OpenExisting);
  ASSERT_TRUE(holder);
  ASSERT_FALSE(r.tool.main.addons.empty());
  const std::string addonDir = r.dir + "interface\\" + r.tool.main.addons[0] + "\\";
  // The folder on disk is "Interface"; the program finds it without regard to case.
  const std::string diskAddonDir = r.dir + "Interface\\" + r.tool.main.addons[0] + "\\";
  const std::filesystem::path nativeAddon(platform::Cp936ToUtf16(platform::ReplaceSeparators(diskAddonDir, '\\', '/')));
  ASSERT_TRUE(std::filesystem::is_directory(nativeAddon));
  std::ofstream(nativeAddon / std::filesystem::path(u"I\u00F1aki.txt"), std::ios::binary) << "hola";
  // An add-on folder of such a name reaches the list as the listing shows it.
  std::filesystem::create_directories(nativeAddon.parent_path() / std::filesystem::path(u"I\u00F1aki") / "x");
  r.tool.main.addons.push_back("I?aki");

  ASSERT_TRUE(ui::headless::Click(r.tool.main.packButton));
  auto boxes = r.Boxes();
  ASSERT_EQ(boxes.size(), 3u);  // one report per account or add-on
  EXPECT_NE(boxes[2]->request.text.find("\r\n" + r.dir + "interface\\I?aki\r\n" + Cp936("    原因：名称中含有")),
            std::string::npos)
      << platform::Cp936ToUtf8(boxes[2]->request.text);
  const std::string& accountText = boxes[0]->request.text;
  const std::string& addonText = boxes[1]->request.text;
  EXPECT_EQ(boxes[0]->request.caption, Cp936("错误"));
  EXPECT_EQ(boxes[0]->owner, &r.tool.main);
  EXPECT_NE(accountText.find("\r\n" + locked + "\r\n" + Cp936("    原因：")), std::string::npos)
      << platform::Cp936ToUtf8(accountText);
  EXPECT_NE(addonText.find("\r\n" + addonDir + "I?aki.txt\r\n" + Cp936("    原因：名称中含有无法使用的字符")),
            std::string::npos)
      << platform::Cp936ToUtf8(addonText);
  holder.reset();

  // The package is still built and finished, holding everything else of that account and add-on
  // and nothing of the two files, half written or under a "?" name.
  EXPECT_TRUE(r.tool.app.Terminated());
  const std::string pkg = r.Unzipped();
  std::vector<fixtures::ManifestEntry> others;
  for (const fixtures::ManifestEntry& e : PackedEntries(r.game))
    if (e.path != "userdata\\" + account + "\\account.ini") others.push_back(e);
  ASSERT_LT(others.size(), PackedEntries(r.game).size());
  {
    TContainerFS container(pkg, 0, "", "", "", 0);
    container.ExportFiles("*.*", r.tree.Dir("restored"), platform::kAttrAnyFile, true, TExistingFiles::Overwrite);
  }
  EXPECT_EQ(CompareWithManifest(r.tree.Dir("restored"), others), "");
}

// The password edit takes any character, the container only those of code page 936: with any
// other, "????" (or other such characters) would open the package. Refused before anything is
// written.
TEST(PackingRun, PasswordWithCharactersOutsideCp936IsRefusedBeforeAnythingIsWritten) {
  PackRun r(18);
  int refused = 0;
  for (const char* password : {"\xEB\xB9\x84\xEB\xB0\x80\xEB\xB2\x88\xED\x98\xB8", "\xF0\x9F\x94\x91\xF0\x9F\x94\x91",
                               "p\xC3\xA4sswd"}) {
    ASSERT_TRUE(ui::headless::TypeUnicode(r.tool.main.passwordEdit, password));
    ASSERT_TRUE(ui::headless::Click(r.tool.main.packButton));
    ASSERT_EQ(r.Boxes().size(), static_cast<std::size_t>(++refused)) << password;
    EXPECT_EQ(r.Boxes().back()->request.text, Cp936("密码中含有本程序无法使用的字符，请更换密码后再打包。"));
    EXPECT_EQ(r.Boxes().back()->owner, &r.tool.main);
    EXPECT_FALSE(platform::FileExists(r.dir + "zelkbak.Config"));
    EXPECT_FALSE(platform::FileExists(r.dir + Cp936("Zelk配置文件恢复包.exe")));
    EXPECT_FALSE(r.tool.app.Terminated());
  }
  // The same password typed without those characters goes through.
  ASSERT_TRUE(ui::headless::TypeUnicode(r.tool.main.passwordEdit, "p\xC3\xA9sswd"));
  ASSERT_TRUE(ui::headless::Click(r.tool.main.packButton));
  EXPECT_EQ(r.Boxes().size(), 3u);
  EXPECT_TRUE(CheckContainerPassword(r.Unzipped(), Cp936("p\xC3\xA9sswd")));
}

}  // namespace

namespace {

// Bytes of the container damaged behind the engine's back while it is being filled: the
// package is built, does not read back, and the run stops with the working files kept.
TEST(PackingRun, APackageThatDoesNotReadBackIsReportedAndNotArchived) {
  PackRun r(17);
  // Every progress update is shown, so the damage comes while the imports still run.
  auto now = std::chrono::steady_clock::now();
  r.tool.main.SetProgressClock([&] { return now += std::chrono::seconds(1); });
  bool damaged = false, blocked = false;
  r.tool.backend->SetProcessHook([&] {
    // Written past the engine's lock, as another program could.
    const std::filesystem::path config = r.tree.Native("home/zelkbak.Config");
    std::error_code error;
    if (damaged || std::filesystem::file_size(config, error) < 400000 || error) return;
    std::fstream file(config, std::ios::in | std::ios::out | std::ios::binary);
    if (!file) {  // Windows shares the open container with nobody
      blocked = true;
      return;
    }
    const std::string junk(3000, '\x5A');
    for (std::int64_t at : {20 * 4096 + 500, 40 * 4096 + 500, 60 * 4096 + 500}) {
      file.seekp(at);
      file.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    damaged = true;
  });
  ASSERT_TRUE(ui::headless::Click(r.tool.main.packButton));
  if (blocked && !damaged) GTEST_SKIP() << "the open container cannot be written from outside on this platform";
  ASSERT_TRUE(damaged);
  auto boxes = r.Boxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back()->request.caption, Cp936("错误"));
  EXPECT_EQ(boxes.back()->request.text.rfind(Cp936("恢复包校验失败"), 0), 0u)
      << platform::Cp936ToUtf8(boxes.back()->request.text);
  EXPECT_TRUE(platform::FileExists(r.dir + "zelkbak.Config"));
  EXPECT_TRUE(platform::FileExists(r.dir + "loader.bin"));
  EXPECT_FALSE(platform::FileExists(r.ZipPath()));
  EXPECT_FALSE(r.tool.app.Terminated());
}

}  // namespace
