// The restore program on packed fake games: the password loop, the overwrite questions, export
// failures, and the restored tree against what was packed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "gamedir/Cp936Text.h"
#include "backup/GameImport.h"
#include "cfs/fs/ContainerFS.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "tests/app/TreeCheck.h"
#include "tests/fixtures/FakeGame.h"
#include "tests/stub/StubHarness.h"
#include "tests/support/Files.h"

namespace {

using ui::ModalResult;
using ui::headless::MessageRecord;

// Packs every listed account and add-on the way the tool does.
void Pack(const fixtures::FakeGame& game, const std::string& file, const std::string& password) {
  std::vector<std::string> accounts, addons;
  for (const fixtures::SelectionRow& row : game.accountRows) accounts.push_back(row.caption);
  for (const fixtures::SelectionRow& row : game.addonRows) addons.push_back(row.caption);
  TContainerFS container(file, kModeCreate, password, "?", "z", 9);
  const std::vector<TImportFailure> failures = ImportGameEntries(container, game.gamePath, accounts, addons);
  ASSERT_TRUE(failures.empty()) << failures[0].files[0].Message;
}

std::filesystem::path NativeOf(const TestTree& tree, const std::string& rel936) {
  return tree.Native("cafe/" + platform::Cp936ToUtf8(platform::ReplaceSeparators(rel936, '\\', '/')));
}

// Two packed files of the fake game, the first two in manifest order.
std::vector<fixtures::ManifestEntry> SomeFiles(const std::vector<fixtures::ManifestEntry>& packed, std::size_t n) {
  std::vector<fixtures::ManifestEntry> out;
  for (const fixtures::ManifestEntry& e : packed)
    if (!e.directory && !(e.attributes & platform::kAttrReadOnly) && out.size() < n) out.push_back(e);
  return out;
}

struct Restore {
  TestTree tree;
  fixtures::FakeGame game;
  std::vector<fixtures::ManifestEntry> packed;
  StubHarness stub;

  explicit Restore(const std::string& password, std::uint64_t seed = 7) {
    fixtures::FakeGameOptions options;
    options.seed = seed;
    game = fixtures::MakeFakeGame(tree.Dir("home"), options);
    packed = PackedEntries(game);
    tree.MakeGameDir("cafe");
    // The package itself stands in for the restore program: its container starts at offset 0.
    stub.probe.programPath = tree.Dir("cafe") + Cp936("Zelk配置文件恢复包.exe");
    Pack(game, stub.probe.programPath, password);
    stub.form.ShowForm();
    stub.backend->RunFor(1000);
  }
  std::vector<const MessageRecord*> Of(MessageRecord::Kind kind) const {
    std::vector<const MessageRecord*> out;
    for (const MessageRecord& m : stub.backend->Messages())
      if (m.kind == kind) out.push_back(&m);
    return out;
  }
};

TEST(StubRestore, WrongPasswordAsksAgainThenNoOnceAndAllRestoreTheTree) {
  Restore r("secret");
  ASSERT_TRUE(r.stub.form.restoreButton.Enabled());
  std::vector<fixtures::ManifestEntry> existing = SomeFiles(r.packed, 3);
  ASSERT_EQ(existing.size(), 3u);
  for (const fixtures::ManifestEntry& e : existing) {
    std::filesystem::create_directories(NativeOf(r.tree, e.path).parent_path());
    std::ofstream(NativeOf(r.tree, e.path), std::ios::binary) << "old";
  }
  r.stub.backend->QueueInput(std::string("wrong"));
  r.stub.backend->QueueInput(std::string("secret"));
  r.stub.backend->QueueAnswer(ModalResult::No);
  r.stub.backend->QueueAnswer(ModalResult::All);

  ASSERT_TRUE(ui::headless::Click(r.stub.form.restoreButton));

  auto inputs = r.Of(MessageRecord::Kind::Input);
  ASSERT_EQ(inputs.size(), 2u);
  EXPECT_EQ(inputs[0]->input.caption, Cp936("你设置了密码，请输入密码."));
  EXPECT_EQ(inputs[0]->input.prompt, Cp936("密码:     "));
  EXPECT_EQ(inputs[1]->initialText, "wrong");  // the last entry comes back

  // Two questions: No for the first, All for the second; the third file is replaced unasked.
  auto dialogs = r.Of(MessageRecord::Kind::Dialog);
  ASSERT_EQ(dialogs.size(), 2u);
  const std::string suffix =
      Cp936("已经存在,是否覆盖？") + "\r\n" + Cp936("如果你不知道选，请直接点ALL");
  std::string keptName;
  for (const MessageRecord* d : dialogs) {
    EXPECT_EQ(d->request.buttons, ui::MessageButtons::YesNoAll);
    ASSERT_GT(d->request.text.size(), suffix.size());
    EXPECT_EQ(d->request.text.substr(d->request.text.size() - suffix.size()), suffix);
  }
  keptName = dialogs[0]->request.text.substr(0, dialogs[0]->request.text.size() - suffix.size());
  EXPECT_TRUE(r.stub.form.overwriteAll);

  // The answered-No file keeps its old content; everything else is as packed.
  const fixtures::ManifestEntry* kept = nullptr;
  for (const fixtures::ManifestEntry& e : existing)
    if (platform::UpperCaseAscii(e.path) == platform::UpperCaseAscii(keptName)) kept = &e;
  ASSERT_NE(kept, nullptr) << platform::Cp936ToUtf8(keptName);
  EXPECT_EQ(testsupport::ReadNativeFile(NativeOf(r.tree, kept->path)), "old");
  EXPECT_EQ(CompareWithManifest(r.tree.Dir("cafe"), r.packed, {kept->path}), "");

  auto boxes = r.Of(MessageRecord::Kind::Box);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0]->request.text, Cp936("退出吗？"));
  EXPECT_EQ(boxes[0]->request.caption, Cp936("解压完成"));
  EXPECT_EQ(boxes[0]->request.icon, ui::MessageIcon::Information);
  EXPECT_TRUE(r.stub.app.Terminated());
  EXPECT_EQ(r.stub.form.overallBar.Position(), 100);
}

TEST(StubRestore, YesReplacesOnlyThatFileAndEveryOtherIsAskedAgain) {
  Restore r("");
  std::vector<fixtures::ManifestEntry> existing = SomeFiles(r.packed, 2);
  for (const fixtures::ManifestEntry& e : existing) {
    std::filesystem::create_directories(NativeOf(r.tree, e.path).parent_path());
    std::ofstream(NativeOf(r.tree, e.path), std::ios::binary) << "old";
  }
  r.stub.backend->QueueAnswer(ModalResult::Yes);
  r.stub.backend->QueueAnswer(ModalResult::Yes);
  ASSERT_TRUE(ui::headless::Click(r.stub.form.restoreButton));
  EXPECT_TRUE(r.Of(MessageRecord::Kind::Input).empty());  // not encrypted: no password asked
  EXPECT_EQ(r.Of(MessageRecord::Kind::Dialog).size(), 2u);
  EXPECT_FALSE(r.stub.form.overwriteAll);
  EXPECT_EQ(CompareWithManifest(r.tree.Dir("cafe"), r.packed), "");
}

// An entry with characters code page 936 cannot hold is refused and asked again: as "????" it
// would open this package. After the cancel, "立即解压" is there to try again.
TEST(StubRestore, UnusableAndCancelledPasswordsExportNothingAndTheButtonsRetry) {
  Restore r("????");
  r.stub.backend->QueueInput(std::string("nope"));
  r.stub.backend->QueueUnicodeInput("\xEB\xB9\x84\xEB\xB0\x80\xEB\xB2\x88\xED\x98\xB8");
  r.stub.backend->QueueInput(std::nullopt);
  ASSERT_TRUE(ui::headless::Click(r.stub.form.restoreButton));
  EXPECT_EQ(r.Of(MessageRecord::Kind::Input).size(), 3u);
  auto boxes = r.Of(MessageRecord::Kind::Box);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0]->request.text, Cp936("密码中含有无法使用的字符，请重新输入."));
  EXPECT_TRUE(r.Of(MessageRecord::Kind::Dialog).empty());
  EXPECT_TRUE(std::filesystem::is_empty(r.tree.Native("cafe/userdata")));
  EXPECT_TRUE(r.stub.form.closeButton.Visible());
  EXPECT_FALSE(r.stub.app.Terminated());

  // "立即解压" again, now with the password: the whole tree comes back.
  r.stub.backend->QueueInput(std::string("????"));
  ASSERT_TRUE(ui::headless::Click(r.stub.form.restoreButton));
  EXPECT_EQ(CompareWithManifest(r.tree.Dir("cafe"), r.packed), "");
  EXPECT_TRUE(r.stub.app.Terminated());
}

TEST(StubRestore, FilesThatCannotBeWrittenAreListedInOneDialogAndTheRestIsRestored) {
  Restore r("");
  // Folders where two stored files must go: neither can be replaced by a file.
  std::vector<fixtures::ManifestEntry> blocked = SomeFiles(r.packed, 2);
  ASSERT_EQ(blocked.size(), 2u);
  for (const fixtures::ManifestEntry& e : blocked)
    std::filesystem::create_directories(NativeOf(r.tree, e.path) / "inside");
  ASSERT_TRUE(ui::headless::Click(r.stub.form.restoreButton));

  auto dialogs = r.Of(MessageRecord::Kind::Dialog);
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0]->request.icon, ui::MessageIcon::Error);
  const std::string& text = dialogs[0]->request.text;
  EXPECT_EQ(text.rfind(Cp936("解压不完整！"), 0), 0u) << platform::Cp936ToUtf8(text);
  for (const fixtures::ManifestEntry& e : blocked)
    EXPECT_NE(text.find("\r\n" + e.path + "\r\n"), std::string::npos) << platform::Cp936ToUtf8(e.path);
  EXPECT_EQ(CompareWithManifest(r.tree.Dir("cafe"), r.packed, {blocked[0].path, blocked[1].path}), "");
  EXPECT_TRUE(r.Of(MessageRecord::Kind::Box).empty());
  EXPECT_FALSE(r.stub.app.Terminated());
  EXPECT_TRUE(r.stub.form.restoreButton.Visible() && r.stub.form.closeButton.Visible());
}

TEST(StubRestore, EmptyContainerStillEndsWithTheQuestion) {
  TestTree tree;
  tree.MakeGameDir("cafe");
  StubHarness stub;
  stub.probe.programPath = tree.Dir("cafe") + "pkg.exe";
  { TContainerFS container(stub.probe.programPath, kModeCreate, "", "?", "z", 9); }
  stub.form.ShowForm();
  stub.backend->RunFor(1000);
  ASSERT_TRUE(ui::headless::Click(stub.form.restoreButton));
  ASSERT_EQ(stub.backend->Messages().size(), 1u);
  EXPECT_EQ(stub.backend->Messages()[0].request.text, Cp936("退出吗？"));
  EXPECT_TRUE(stub.app.Terminated());
}

}  // namespace
