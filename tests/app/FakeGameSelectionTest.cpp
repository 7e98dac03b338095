// The selection window on generated game directories: rows in listing order with the names the
// fixture generator expects, and the whole hand-over when nothing is unticked.
#include <gtest/gtest.h>

#include <memory>

#include "gamedir/Cp936Text.h"
#include "app/ToolMain.h"
#include "app/MainWindow.h"
#include "app/SelectionWindow.h"
#include "tests/app/ToolHarness.h"
#include "tests/fixtures/FakeGame.h"
#include "ui/headless/HeadlessBackend.h"

namespace {

std::vector<fixtures::SelectionRow> RowsOf(const ui::ListView& list) {
  std::vector<fixtures::SelectionRow> rows;
  for (const ui::ListItem& item : list.Items()) rows.push_back({item.caption, item.subItems.at(0)});
  return rows;
}

TEST(FakeGameSelection, RowsAndHandOverMatchTheGeneratedGames) {
  struct Case {
    std::uint64_t seed;
    bool bf, moon;
  };
  for (const Case& c : {Case{1, false, false}, Case{2, true, false}, Case{3, false, true},
                        Case{4, true, true}}) {
    SCOPED_TRACE("seed " + std::to_string(c.seed));
    TestTree tree;
    fixtures::FakeGameOptions options;
    options.seed = c.seed;
    options.bf = c.bf;
    options.moon = c.moon;
    fixtures::FakeGame game = fixtures::MakeFakeGame(tree.Dir("root"), options);

    ToolHarness tool;
    tool::ToolWindows& windows = tool.windows;
    tool.Install(game.gamePath + Cp936("Zelk配置备份工具.exe"));
    int shown = 0;
    tool.backend->SetModalHandler([&](ui::Form&) { ++shown; });
    tool.app.Run();  // the first tick finds the game; the window closes untouched

    ASSERT_EQ(shown, 1);
    EXPECT_EQ(windows.main.gamePath, game.gamePath);
    EXPECT_EQ(RowsOf(windows.selection.accountsList), game.accountRows);
    EXPECT_EQ(RowsOf(windows.selection.addonsList), game.addonRows);
    ASSERT_EQ(windows.main.accounts.size(), game.accountRows.size());
    for (std::size_t i = 0; i < game.accountRows.size(); ++i)
      EXPECT_EQ(windows.main.accounts[i], game.accountRows[i].caption);
    ASSERT_EQ(windows.main.addons.size(), game.addonRows.size());
    if (!game.accountRows.empty()) {
      EXPECT_EQ(windows.main.accountsText.Text(),
                Cp936("帐号备份：") + std::to_string(game.accountRows.size()) + Cp936("个项目"));
    }
  }
}

}  // namespace
