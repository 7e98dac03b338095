// The selection window: what it lists, the add-on names, the check commands and the hand-over.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "gamedir/Cp936Text.h"
#include "app/ToolMain.h"
#include "app/MainWindow.h"
#include "app/SelectionWindow.h"
#include "tests/app/ToolHarness.h"
#include "ui/headless/HeadlessBackend.h"

namespace {

struct Selection : ToolHarness {
  tool::SelectionWindow& form = selection;
  TestTree tree;

  // Fills the lists for the game at `rel` and runs `user` while the window is open.
  void Open(const std::string& rel, std::function<void(tool::SelectionWindow&)> user = nullptr) {
    main.gamePath = tree.Dir(rel);
    tree.MakeDir("tool");
    Install(tree.Dir("tool") + "tool.exe");
    main.ShowForm();
    backend->SetModalHandler([user](ui::Form& f) {
      if (user) user(static_cast<tool::SelectionWindow&>(f));
    });
    form.FillLists();
  }
};

std::map<std::string, std::string> Rows(const ui::ListView& list) {
  std::map<std::string, std::string> rows;
  for (const ui::ListItem& item : list.Items()) rows[item.caption] = item.subItems.at(0);
  return rows;
}

TEST(SelectionWindow, ListsAccountsAndAddonFolders) {
  Selection s;
  s.tree.MakeGameDir("g");
  s.tree.MakeDir("g/userdata/1001");
  s.tree.MakeDir("g/userdata/中文帐号");
  s.tree.MakeFile("g/userdata/config.txt", "x");
  s.tree.MakeDir("g/userdata/.svn");
  s.tree.MakeFile("g/userdata/.hidden");
  s.tree.MakeFile("g/Interface/readme.txt");
  s.tree.MakeDir("g/Interface/.cache");
  s.tree.MakeFile("g/Interface/Named/info.ini", "[Named]\r\nname = Named add-on\r\n");
  s.tree.MakeFile("g/Interface/Other/info.ini", "[Different]\r\nname=x\r\n");
  s.tree.MakeFile("g/Interface/NoKey/info.ini", "[NoKey]\r\ntitle=x\r\n");
  s.tree.MakeDir("g/Interface/Bare");

  bool shownModal = false;
  s.Open("g", [&](tool::SelectionWindow& f) {
    shownModal = f.IsModal() && f.Visible();
    for (const ui::ListItem& item : f.accountsList.Items()) EXPECT_TRUE(item.checked);
    for (const ui::ListItem& item : f.addonsList.Items()) EXPECT_TRUE(item.checked);
  });
  EXPECT_TRUE(shownModal);

  std::map<std::string, std::string> accounts{{"1001", Cp936("目录")},
                                              {Cp936("中文帐号"), Cp936("目录")},
                                              {"config.txt", Cp936("文件")}};
  EXPECT_EQ(Rows(s.form.accountsList), accounts);
  std::string game = s.tree.Dir("g");
  std::map<std::string, std::string> addons{
      {"Named", "Named add-on"},
      {"Other", Cp936("插件名读取错误")},
      {"NoKey", Cp936("插件名读取错误")},
      {"Bare", game + "interface\\Bare\\info.ini"},  // the missing file's full path
  };
  EXPECT_EQ(Rows(s.form.addonsList), addons);

  // Filling again replaces the rows.
  std::filesystem::remove_all(s.tree.Native("g/userdata/1001"));
  s.Open("g");
  EXPECT_EQ(s.form.accountsList.Count(), 2);
  EXPECT_EQ(s.form.addonsList.Count(), 4);
}

TEST(SelectionWindow, AddonPackPrefixesFollowTheWholePath) {
  Selection s;
  s.tree.MakeFile("BF_Moon_game/interface/A/info.ini", "[A]\r\nname=Alpha\r\n");
  s.tree.MakeFile("BF_Moon_game/interface/B/info.ini", "[x]\r\n");
  std::string base = s.tree.Dir("BF_Moon_game") + "interface\\";
  EXPECT_EQ(s.form.GetAddonName(base + "A\\info.ini", "A"), Cp936("盒子 - 大脚 - ") + "Alpha");
  EXPECT_EQ(s.form.GetAddonName(base + "B\\info.ini", "B"),
            Cp936("盒子 - 大脚 - 插件名读取错误"));
  // A missing file gives its path, without prefixes.
  EXPECT_EQ(s.form.GetAddonName(base + "C\\info.ini", "C"), base + "C\\info.ini");

  s.tree.MakeFile("plain/interface/BF_Tools/info.ini", "[BF_Tools]\r\nname=Tools\r\n");
  s.tree.MakeFile("plain/interface/Moon_Map/info.ini", "[Moon_Map]\r\nname=Map\r\n");
  std::string plain = s.tree.Dir("plain") + "interface\\";
  EXPECT_EQ(s.form.GetAddonName(plain + "BF_Tools\\info.ini", "BF_Tools"), Cp936("大脚 - ") + "Tools");
  EXPECT_EQ(s.form.GetAddonName(plain + "Moon_Map\\info.ini", "Moon_Map"), Cp936("盒子 - ") + "Map");
  // The test is case-sensitive.
  s.tree.MakeFile("plain/interface/bf_x/info.ini", "[bf_x]\r\nname=Lower\r\n");
  EXPECT_EQ(s.form.GetAddonName(plain + "bf_x\\info.ini", "bf_x"), "Lower");
}

TEST(SelectionWindow, CheckCommandsActOnTheirOwnList) {
  Selection s;
  s.tree.MakeGameDir("g");
  for (const char* name : {"a", "b", "c"}) {
    s.tree.MakeDir(std::string("g/userdata/") + name);
    s.tree.MakeDir(std::string("g/Interface/") + name);
  }
  s.Open("g", [](tool::SelectionWindow& f) {
    auto checks = [](const ui::ListView& list) {
      std::vector<bool> v;
      for (const ui::ListItem& item : list.Items()) v.push_back(item.checked);
      return v;
    };
    using V = std::vector<bool>;
    EXPECT_TRUE(ui::headless::Click(f.clearAccounts));  // clear accounts
    EXPECT_EQ(checks(f.accountsList), (V{false, false, false}));
    EXPECT_EQ(checks(f.addonsList), (V{true, true, true}));
    EXPECT_TRUE(ui::headless::SetCheck(f.accountsList, 1, true));
    EXPECT_TRUE(ui::headless::Click(f.invertAccounts));  // invert accounts: exactly the others
    EXPECT_EQ(checks(f.accountsList), (V{true, false, true}));
    EXPECT_TRUE(ui::headless::Click(f.checkAllAccounts));  // all accounts
    EXPECT_EQ(checks(f.accountsList), (V{true, true, true}));
    EXPECT_TRUE(ui::headless::Click(f.clearAddons));  // clear add-ons
    EXPECT_TRUE(ui::headless::SetCheck(f.addonsList, 2, true));
    EXPECT_TRUE(ui::headless::Click(f.invertAddons));  // invert add-ons
    EXPECT_EQ(checks(f.addonsList), (V{true, true, false}));
    EXPECT_TRUE(ui::headless::Click(f.checkAllAddons));
    EXPECT_EQ(checks(f.addonsList), (V{true, true, true}));
    EXPECT_TRUE(ui::headless::SetCheck(f.addonsList, 0, false));
  });
  // Closing hands back the checked names in row order.
  std::vector<std::string> addons;
  for (int i = 1; i < s.form.addonsList.Count(); ++i) addons.push_back(s.form.addonsList.Item(i).caption);
  EXPECT_EQ(s.main.addons, addons);
  EXPECT_EQ(s.main.accounts.size(), 3u);
  EXPECT_EQ(s.main.accountsText.Text(), Cp936("帐号备份：3个项目"));
  EXPECT_EQ(s.main.addonsText.Text(), Cp936("插件备份：2个项目"));
  EXPECT_TRUE(s.main.collectButton.Enabled());
}

TEST(SelectionWindow, EmptyChoicesKeepTheEarlierTexts) {
  Selection s;
  s.tree.MakeGameDir("g");
  s.tree.MakeFile("g/userdata/only.dat");
  s.Open("g", [](tool::SelectionWindow& f) { ui::headless::Click(f.clearAccounts); });
  EXPECT_TRUE(s.main.accounts.empty());
  EXPECT_TRUE(s.main.addons.empty());
  EXPECT_EQ(s.main.accountsText.Text(), Cp936("帐号配置：备份所有."));
  EXPECT_EQ(s.main.addonsText.Text(), Cp936("插件配置：备份所有."));
  EXPECT_TRUE(s.main.collectButton.Enabled());

  // A second hand-over replaces the first; a zero count still leaves the label alone.
  s.main.accountsText.SetText("earlier");
  s.Open("g");
  EXPECT_EQ(s.main.accounts, std::vector<std::string>{"only.dat"});
  EXPECT_EQ(s.main.accountsText.Text(), Cp936("帐号备份：1个项目"));
  s.Open("g", [](tool::SelectionWindow& f) { ui::headless::Click(f.clearAccounts); });
  EXPECT_TRUE(s.main.accounts.empty());
  EXPECT_EQ(s.main.accountsText.Text(), Cp936("帐号备份：1个项目"));
}

TEST(SelectionWindow, LayoutOfTheTwoGroups) {
  Selection s;
  tool::SelectionWindow& f = s.form;
  EXPECT_EQ(f.Caption(), Cp936("备份选择(选好后直接关闭，如果全部备份，直接关闭就好了)"));
  EXPECT_EQ(f.Width(), 583);
  EXPECT_EQ(f.Height(), 542);
  EXPECT_EQ(f.GetBorderStyle(), ui::BorderStyle::SystemMenu);
  EXPECT_EQ(f.accountsGroup.Bounds(), (ui::Rect{0, 0, 233, f.ClientHeight()}));
  EXPECT_EQ(f.addonsGroup.Left(), 233);
  EXPECT_EQ(f.addonsGroup.Width(), f.ClientWidth() - 233);
  EXPECT_EQ(f.accountsLinks.Height(), 24);
  EXPECT_EQ(f.accountsList.Top(), f.accountsLinks.Top() + 24);
  EXPECT_EQ(f.accountsList.Bounds().Bottom(), f.accountsGroup.ClientArea().Bottom());
  EXPECT_EQ(f.clearAccounts.Left(), 77);
  EXPECT_EQ(f.invertAddons.Left(), 141);
  EXPECT_EQ(f.checkAllAddons.Text(), Cp936("全选"));
  ASSERT_EQ(f.addonsList.Columns().size(), 2u);
  EXPECT_EQ(f.addonsList.Columns()[0].caption, Cp936("插件目录"));
  EXPECT_EQ(f.addonsList.Columns()[1].width, 160);
  EXPECT_TRUE(f.accountsList.CheckBoxes() && f.accountsList.GridLines() && f.accountsList.RowSelect());
}

}  // namespace
