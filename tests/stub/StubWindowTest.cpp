// The restore program's window before anything is exported: its controls, the search for the
// game directory, dragging, and a program that carries no container.
#include <gtest/gtest.h>

#include <filesystem>

#include "gamedir/Cp936Text.h"
#include "tests/stub/StubHarness.h"

namespace {

using ui::headless::MessageRecord;

TEST(StubWindow, ControlsAndGameSearch) {
  TestTree tree;
  tree.MakeDir("cafe");
  StubHarness stub;
  stub.probe.programPath = tree.Dir("cafe") + Cp936("Zelk配置文件恢复包.exe");
  restore::RestoreWindow& f = stub.form;
  f.ShowForm();

  EXPECT_EQ(f.Caption(), Cp936("Zelk配置自解压工具 V0.1"));
  EXPECT_EQ(stub.app.Title(), f.Caption());
  EXPECT_EQ(f.GetBorderStyle(), ui::BorderStyle::None);
  EXPECT_EQ(f.ClientWidth(), 338);
  EXPECT_EQ(f.ClientHeight(), 149);
  EXPECT_EQ(f.headerPanel.Text(), f.Caption());
  EXPECT_FALSE(f.noteLabel.Enabled());
  EXPECT_EQ(f.noteLabel.Text(), Cp936("本程序是备份工具生成，请到网吧后使用!"));
  EXPECT_FALSE(f.fileBar.Visible());
  EXPECT_FALSE(f.overallBar.Visible());
  EXPECT_TRUE(f.closeButton.Enabled());
  EXPECT_EQ(f.searchTimer.Interval(), 1000u);

  // Nothing found: the timer keeps polling and the button stays out of reach.
  stub.backend->RunFor(3000);
  EXPECT_TRUE(f.searchTimer.Enabled());
  EXPECT_FALSE(ui::headless::Click(f.restoreButton));
  EXPECT_EQ(f.statusLabel.Text(), Cp936("请将本程序放到Zelk目录，或者运行Zelk~"));

  // The client appears under bin\zhcn below the program's folder.
  tree.MakeGameDir("cafe/bin/zhcn");
  stub.backend->RunFor(1000);
  EXPECT_FALSE(f.searchTimer.Enabled());
  EXPECT_EQ(f.gamePath, tree.Dir("cafe/bin/zhcn"));
  EXPECT_EQ(f.statusLabel.Text(), Cp936("找到Zelk目录：") + tree.Dir("cafe/bin/zhcn"));
  EXPECT_TRUE(f.restoreButton.Enabled());

  // The header drags the window.
  EXPECT_TRUE(ui::headless::PressMouse(f.headerPanel, 30, 5));
}

TEST(StubWindow, MissingContainerShowsTheErrorDialogAndTheButtonsComeBack) {
  TestTree tree;
  tree.MakeGameDir("cafe");
  tree.MakeFile("cafe/plain.exe", std::string(5000, 'M'));  // an executable without a container
  StubHarness stub;
  stub.probe.programPath = tree.Dir("cafe") + "plain.exe";
  stub.form.ShowForm();
  stub.backend->RunFor(1000);
  ASSERT_TRUE(ui::headless::Click(stub.form.restoreButton));

  const auto& messages = stub.backend->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].kind, MessageRecord::Kind::Dialog);
  EXPECT_EQ(messages[0].request.icon, ui::MessageIcon::Error);
  EXPECT_EQ(messages[0].request.buttons, ui::MessageButtons::Ok);
  EXPECT_EQ(messages[0].request.text, Cp936("不能解压！ '") + stub.probe.programPath + "'");
  EXPECT_FALSE(stub.app.Terminated());
  EXPECT_TRUE(std::filesystem::is_empty(tree.Native("cafe/userdata")));

  // The window is no dead end: "立即解压" tries again, "关闭程序" leaves.
  EXPECT_FALSE(stub.form.fileBar.Visible());
  EXPECT_FALSE(stub.form.overallBar.Visible());
  ASSERT_TRUE(ui::headless::Click(stub.form.restoreButton));
  EXPECT_EQ(stub.backend->Messages().size(), 2u);
  ASSERT_TRUE(ui::headless::Click(stub.form.closeButton));
  EXPECT_TRUE(stub.app.Terminated());
}

// The package in a folder whose path code page 936 cannot hold cannot open itself: one message
// says why, instead of "cannot extract" after a search for the game.
TEST(StubWindow, AFolderPathOutsideCp936IsNamedOnceAtStart) {
  TestTree tree;
  tree.MakeGameDir("cafe");
  StubHarness stub;
  stub.probe.programPath = tree.Dir("cafe") + "pkg.exe";
  stub.probe.programPathExact = false;
  stub.form.ShowForm();
  const auto& messages = stub.backend->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].request.text, ProgramFolderUnusableText());
  EXPECT_EQ(messages[0].request.icon, ui::MessageIcon::Error);
  EXPECT_TRUE(stub.app.Terminated());
}

TEST(StubWindow, CloseButtonEndsTheProgram) {
  StubHarness stub;
  stub.probe.programPath = "C:\\nowhere\\x.exe";
  stub.form.ShowForm();
  ASSERT_TRUE(ui::headless::Click(stub.form.closeButton));
  EXPECT_TRUE(stub.app.Terminated());
}

}  // namespace
