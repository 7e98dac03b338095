// The main window's layout and its search for the game, and the tool's start-up.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "gamedir/Cp936Text.h"
#include "app/ToolMain.h"
#include "app/MainWindow.h"
#include "app/SelectionWindow.h"
#include "app/ProgressWindow.h"
#include "tests/app/ToolHarness.h"
#include "ui/headless/HeadlessBackend.h"

namespace {

using Tool = ToolHarness;

TEST(MainWindow, StartsSearchingWithItsControlsInPlace) {
  Tool t;
  ASSERT_EQ(t.app.Forms().size(), 3u);
  EXPECT_EQ(t.app.Forms()[0].get(), &t.main);
  EXPECT_EQ(t.app.Forms()[1].get(), &t.windows.selection);
  EXPECT_EQ(t.app.Forms()[2].get(), &t.windows.progress);
  EXPECT_EQ(t.app.MainForm(), &t.main);

  tool::MainWindow& m = t.main;
  EXPECT_EQ(m.Caption(), Cp936("Zelk配置备份工具 V1.0"));
  EXPECT_EQ(m.Width(), 393);
  EXPECT_EQ(m.Height(), 234);
  EXPECT_EQ(m.GetBorderStyle(), ui::BorderStyle::Normal);
  EXPECT_EQ(m.headerPanel.Bounds(), (ui::Rect{0, 0, 377, 196}));
  EXPECT_EQ(m.headerPanel.Text(), Cp936("未发现Zelk，请先运行游戏或者将此程序放到Zelk目录."));
  EXPECT_EQ(m.infoPanel.Lines().size(), 4u);
  EXPECT_EQ(m.infoPanel.Lines()[3], Cp936("省掉重新配置的麻烦。"));
  EXPECT_EQ(m.accountsText.Text(), Cp936("帐号配置：备份所有."));
  EXPECT_EQ(m.passwordEdit.Bounds(), (ui::Rect{62, 108, 83, 21}));
  EXPECT_EQ(m.passwordEdit.PasswordChar(), '*');
  EXPECT_EQ(m.passwordEdit.Text(), "");
  EXPECT_TRUE(m.packButton.Enabled());
  EXPECT_EQ(m.packButton.Text(), Cp936("立即打包"));
  EXPECT_FALSE(m.collectButton.Visible());
  EXPECT_FALSE(m.collectButton.Enabled());
  EXPECT_EQ(m.searchTimer.Interval(), 500u);
  EXPECT_TRUE(m.searchTimer.Enabled());
  EXPECT_TRUE(m.gamePath.empty());
  EXPECT_TRUE(m.accounts.empty());

  // The identifiers the Windows driver addresses the controls by.
  EXPECT_EQ(m.headerPanel.Id(), 1000);
  EXPECT_EQ(m.passwordEdit.Id(), 1005);
  EXPECT_EQ(m.collectButton.Id(), 1006);
  EXPECT_EQ(m.packButton.Id(), 1007);
  EXPECT_EQ(t.windows.selection.addonsList.Id(), 1011);
  EXPECT_EQ(t.windows.progress.overallBar.Id(), 1004);

  // The other two windows start hidden; the progress window is borderless, centred on the
  // main window.
  EXPECT_FALSE(t.windows.selection.Visible());
  tool::ProgressWindow& p = t.windows.progress;
  EXPECT_FALSE(p.Visible());
  EXPECT_EQ(p.Caption(), "Form3");
  EXPECT_EQ(p.ClientWidth(), 310);
  EXPECT_EQ(p.ClientHeight(), 105);
  EXPECT_EQ(p.titleLabel.Text(), Cp936("正在收集文件..."));
  EXPECT_EQ(p.fileBar.Bounds(), (ui::Rect{14, 60, 283, 17}));
  EXPECT_EQ(p.overallBar.Max(), 100);
  m.ShowForm();
  p.ShowForm();
  // Centred to the pixel (halves round down).
  EXPECT_NEAR(2 * p.Left() + p.Width(), 2 * m.Left() + m.Width(), 1);
  EXPECT_NEAR(2 * p.Top() + p.Height(), 2 * m.Top() + m.Height(), 1);
}

TEST(MainWindow, NothingFoundKeepsSearching) {
  Tool t;
  TestTree tree;
  tree.MakeDir("empty");
  t.Install(tree.Dir("empty") + "tool.exe");
  t.main.ShowForm();
  t.backend->RunFor(5000);
  EXPECT_TRUE(t.main.searchTimer.Enabled());
  EXPECT_TRUE(t.main.gamePath.empty());
  EXPECT_EQ(t.main.headerPanel.Text(), Cp936("未发现Zelk，请先运行游戏或者将此程序放到Zelk目录."));
  EXPECT_FALSE(t.windows.selection.Visible());

  EXPECT_TRUE(t.backend->Messages().empty());

  // A client running from a folder that code page 936 cannot hold is named once, and the
  // search goes on.
  t.probe.processes = {{7, "zelkclient.exe", tree.Dir("") + "I?aki\\zelkclient.exe"}};
  t.backend->RunFor(2000);
  ASSERT_EQ(t.backend->Messages().size(), 1u);
  EXPECT_EQ(t.backend->Messages()[0].request.text, ClientFolderUnusableText());
  EXPECT_TRUE(t.main.searchTimer.Enabled());

  // The client appears later: the next tick finds it.
  int modalShows = 0;
  t.backend->SetModalHandler([&](ui::Form&) { ++modalShows; });
  tree.MakeGameDir("empty");
  t.backend->RunFor(500);
  EXPECT_EQ(t.main.gamePath, tree.Dir("empty"));
  EXPECT_EQ(modalShows, 1);
}

TEST(MainWindow, FindingTheGameStopsTheTimerBeforeTheSelectionOpens) {
  Tool t;
  TestTree tree;
  tree.MakeGameDir("game");
  tree.MakeDir("game/userdata/1001");
  tree.MakeDir("game/Interface/Addon");
  tree.MakeDir("tool");
  t.Install(tree.Dir("tool") + "tool.exe");
  t.probe.processes = {{42, "zelkclient.exe", tree.Dir("game") + "zelkclient.exe"}};

  int modalShows = 0;
  t.backend->SetModalHandler([&](ui::Form& form) {
    ++modalShows;
    EXPECT_EQ(&form, &t.windows.selection);
    EXPECT_FALSE(t.main.searchTimer.Enabled());
    EXPECT_EQ(t.main.gamePath, tree.Dir("game"));
    EXPECT_EQ(t.main.headerPanel.Text(), Cp936("找到Zelk目录：") + tree.Dir("game"));
    EXPECT_EQ(t.windows.selection.accountsList.Count(), 1);
  });
  t.app.Run();  // ends once no timer is left running
  EXPECT_EQ(modalShows, 1);
  EXPECT_TRUE(t.main.Visible());
  EXPECT_FALSE(t.windows.selection.Visible());
  EXPECT_EQ(t.backend->Now(), 500u);
  EXPECT_EQ(t.main.accounts, std::vector<std::string>{"1001"});
  EXPECT_EQ(t.main.addons, std::vector<std::string>{"Addon"});
  EXPECT_TRUE(t.main.collectButton.Enabled());
  EXPECT_FALSE(t.main.collectButton.Visible());
  EXPECT_TRUE(t.backend->Messages().empty());
}

}  // namespace

namespace {

std::string ReadSource(const std::string& rel) {
  std::ifstream in(std::string(ZELK_SOURCE_DIR) + "/" + rel, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The identifier table the Windows end-to-end driver relies on must match the windows, and its
// Member column must name the field that declares each control in the window's header.
TEST(MainWindow, ReadmeControlTableMatchesTheWindows) {
  Tool t;
  const std::string readmeText = ReadSource("app/README.md");
  ASSERT_FALSE(readmeText.empty()) << "app/README.md not found";
  struct Window {
    ui::Form* form;
    std::string header;
  };
  std::map<std::string, Window> forms{{"TForm1", {&t.main, ReadSource("app/MainWindow.h")}},
                                      {"TForm2", {&t.windows.selection, ReadSource("app/SelectionWindow.h")}},
                                      {"TForm3", {&t.windows.progress, ReadSource("app/ProgressWindow.h")}}};
  std::map<std::string, int> listed;
  std::istringstream readme(readmeText);
  std::string line;
  int rows = 0;
  while (std::getline(readme, line)) {
    std::vector<std::string> cells;
    std::stringstream cellsIn(line);
    for (std::string cell; std::getline(cellsIn, cell, '|');) {
      cell.erase(0, cell.find_first_not_of(' '));
      cell.erase(cell.find_last_not_of(' ') + 1);
      cells.push_back(cell);
    }
    if (cells.size() < 6 || !forms.count(cells[1])) continue;
    ++rows;
    const Window& window = forms[cells[1]];
    ui::Control* control = window.form->FindControl(cells[2]);
    ASSERT_NE(control, nullptr) << line;
    EXPECT_EQ(std::to_string(control->Id()), cells[4]) << line;
    // Declared as `member{parent, "name"}`.
    const std::regex declared("\\b" + cells[3] + "\\{[^}\\n]*\"" + cells[2] + "\"\\}");
    EXPECT_TRUE(std::regex_search(window.header, declared)) << line;
    ++listed[cells[1]];
  }
  for (auto& [name, window] : forms)
    EXPECT_EQ(listed[name], static_cast<int>(window.form->Controls().size())) << name << " not fully listed";
  EXPECT_EQ(rows, 25);
}

}  // namespace
