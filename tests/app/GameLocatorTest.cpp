// Where the game directory is looked for, in which order, and what counts as one.
#include <gtest/gtest.h>

#include <filesystem>

#include "gamedir/Cp936Text.h"
#include "gamedir/GameLocator.h"
#include "tests/app/TestTree.h"

namespace {

TEST(GameLocator, ProgramDirectoryWinsOverARunningClient) {
  TestTree tree;
  tree.MakeGameDir("own");
  tree.MakeGameDir("elsewhere");
  FakeProbe probe;
  probe.programPath = tree.Dir("own") + "tool.exe";
  probe.processes = {{7, "ZelkClient.exe", tree.Dir("elsewhere") + "zelkclient.exe"}};
  EXPECT_EQ(LocateGameDir(probe), tree.Dir("own"));

  // Two levels above the client directory: found below it.
  probe.programPath = tree.Dir("") + "tool.exe";
  tree.MakeGameDir("bin/zhcn");
  EXPECT_EQ(LocateGameDir(probe), tree.Dir("") + "bin\\zhcn\\");
}

TEST(GameLocator, TheLastMatchingRunningClientWins) {
  TestTree tree;
  tree.MakeGameDir("first");
  tree.MakeGameDir("second");
  tree.MakeGameDir("unreadable");
  FakeProbe probe;
  probe.programPath = tree.Dir("tool") + "tool.exe";
  probe.processes = {
      {1, "zelkclient.exe", tree.Dir("first") + "zelkclient.exe"},  // lower case matches
      {2, "explorer.exe", tree.Dir("unreadable") + "zelkclient.exe"},
      {3, "ZELKCLIENT.EXE", tree.Dir("second") + "ZELKCLIENT.EXE"},
      {4, "ZelkClient.exe", ""},  // module unreadable: the candidate stays
      {5, "zelkclient.exe.bak", tree.Dir("unreadable") + "zelkclient.exe"},
  };
  EXPECT_EQ(LocateGameDir(probe), tree.Dir("second"));

  // The candidate must pass the check too; a client elsewhere cannot stand in for it.
  probe.processes.push_back({6, "zelkclient.exe", tree.Dir("tool") + "zelkclient.exe"});
  EXPECT_EQ(LocateGameDir(probe), "");
  probe.snapshotWorks = false;
  EXPECT_EQ(LocateGameDir(probe), "");
}

TEST(GameLocator, EveryClientFileAndFolderIsRequired) {
  TestTree tree;
  const char* items[] = {"zelkclient.exe", "ZELKUI.dll", "RMUI.dll", "Lua5.dll", "Interface",
                         "userdata"};
  for (const char* missing : items) {
    std::string rel = std::string("without-") + missing;
    tree.MakeGameDir(rel);
    std::filesystem::remove_all(tree.Native(rel + "/" + missing));
    EXPECT_FALSE(CheckGameDir(tree.Dir(rel))) << "accepted without " << missing;
  }
  // A folder where a file belongs and a file where a folder belongs do not count.
  tree.MakeGameDir("swapped");
  std::filesystem::remove(tree.Native("swapped/Lua5.dll"));
  tree.MakeDir("swapped/Lua5.dll");
  EXPECT_FALSE(CheckGameDir(tree.Dir("swapped")));
  tree.MakeGameDir("swapped2");
  std::filesystem::remove(tree.Native("swapped2/userdata"));
  tree.MakeFile("swapped2/userdata");
  EXPECT_FALSE(CheckGameDir(tree.Dir("swapped2")));
}

TEST(GameLocator, NamesMatchWithoutRegardToCaseAndChinesePathsWork) {
  TestTree tree;
  for (const char* file : {"ZELKCLIENT.EXE", "zelkui.DLL", "rmui.dll", "LUA5.DLL"})
    tree.MakeFile(std::string("游戏/") + file);
  tree.MakeDir("游戏/INTERFACE");
  tree.MakeDir("游戏/UserData");
  std::string dir = tree.Dir("游戏");
  EXPECT_NE(dir.find(Cp936("游戏")), std::string::npos);
  EXPECT_TRUE(CheckGameDir(dir));

  FakeProbe probe;
  probe.programPath = dir + Cp936("工具.exe");
  EXPECT_EQ(LocateGameDir(probe), dir);
}

TEST(Cp936Text, SubstringsStartOnCharacterBoundaries) {
  EXPECT_TRUE(ContainsText("C:\\BF_Game\\x", "BF_"));
  EXPECT_TRUE(ContainsText(Cp936("中文BF_"), "BF_"));
  // 0x81 0x42 is one character whose trail byte is "B": "F_" alone follows it.
  EXPECT_FALSE(ContainsText("\x81" "BF_", "BF_"));
  EXPECT_FALSE(ContainsText("BF", "BF_"));
}

}  // namespace
