// Behaviour of the individual controls as a user reaches them.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/ListView.h"
#include "ui/headless/HeadlessBackend.h"

namespace {

struct Sheet : ui::Form {
  explicit Sheet(ui::Application& app) : ui::Form(app, "Sheet") {}
  ui::Panel panel{*this, "panel"};
  ui::Edit edit{panel, "edit"};
  ui::Button button{panel, "button"};
  ui::LinkLabel link{panel, "link"};
  ui::ListView list{*this, "list"};
  ui::ProgressBar bar{*this, "bar"};
  ui::InfoPanel info{*this, "info"};
};

struct Fixture {
  ui::Application app{std::make_unique<ui::headless::HeadlessBackend>()};
  Sheet& sheet = app.CreateForm<Sheet>();
  Fixture() { sheet.ShowForm(); }
};

TEST(Controls, UsersReachOnlyShowingEnabledControls) {
  Fixture f;
  int clicks = 0;
  f.sheet.button.OnClick = [&] { ++clicks; };
  EXPECT_TRUE(ui::headless::Click(f.sheet.button));
  f.sheet.button.SetEnabled(false);
  EXPECT_FALSE(ui::headless::Click(f.sheet.button));
  f.sheet.button.SetEnabled(true);
  f.sheet.panel.SetEnabled(false);  // a disabled parent disables its children
  EXPECT_FALSE(ui::headless::Click(f.sheet.button));
  f.sheet.panel.SetEnabled(true);
  f.sheet.panel.Hide();
  EXPECT_FALSE(f.sheet.button.Showing());
  EXPECT_FALSE(ui::headless::Click(f.sheet.button));
  f.sheet.panel.Show();
  f.sheet.HideForm();
  EXPECT_FALSE(ui::headless::Click(f.sheet.button));
  EXPECT_EQ(clicks, 1);
  f.sheet.button.Click();  // called by code: runs regardless
  EXPECT_EQ(clicks, 2);
}

TEST(Controls, TypingIsCutAtMaxLengthWithoutSplittingACharacter) {
  Fixture f;
  int changes = 0;
  f.sheet.edit.OnChange = [&] { ++changes; };
  f.sheet.edit.SetPasswordChar('*');
  EXPECT_TRUE(ui::headless::Type(f.sheet.edit, "  pass  "));
  EXPECT_EQ(f.sheet.edit.Text(), "  pass  ");
  f.sheet.edit.SetMaxLength(4);
  // "ab" then a two-byte character that would straddle the limit.
  EXPECT_TRUE(ui::headless::Type(f.sheet.edit, "ab\xD6\xD0\xCE\xC4"));
  EXPECT_EQ(f.sheet.edit.Text(), "ab\xD6\xD0");
  EXPECT_TRUE(ui::headless::Type(f.sheet.edit, "a\xD6\xD0\xCE\xC4"));
  EXPECT_EQ(f.sheet.edit.Text(), "a\xD6\xD0");
  EXPECT_EQ(changes, 3);
  f.sheet.edit.SetText("code");  // set by code: no change event
  EXPECT_EQ(changes, 3);
}

TEST(Controls, ListViewRowsAndChecks) {
  Fixture f;
  ui::ListView& list = f.sheet.list;
  list.AddColumn("Name", 150);
  list.AddColumn("Kind");
  ASSERT_EQ(list.Columns().size(), 2u);
  EXPECT_EQ(list.Columns()[1].width, 50);
  EXPECT_EQ(list.AddItem("a", {"x"}), 0);
  EXPECT_EQ(list.AddItem("b", {"y"}), 1);
  EXPECT_FALSE(list.Checked(0));
  EXPECT_FALSE(ui::headless::SetCheck(list, 0, true));  // no check boxes yet
  list.SetStyle(true, true, true);
  std::vector<int> toggled;
  list.OnItemChecked = [&](int i) { toggled.push_back(i); };
  EXPECT_TRUE(ui::headless::SetCheck(list, 1, true));
  EXPECT_TRUE(ui::headless::SetCheck(list, 1, true));  // no change, no event
  EXPECT_FALSE(ui::headless::SetCheck(list, 2, true));
  EXPECT_FALSE(ui::headless::SetCheck(list, -1, true));
  EXPECT_EQ(toggled, std::vector<int>{1});
  list.SetAllChecked({true});
  EXPECT_TRUE(list.Checked(0));
  EXPECT_TRUE(list.Checked(1));
  EXPECT_EQ(list.Item(1).subItems, std::vector<std::string>{"y"});
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_THROW(list.Item(0), std::out_of_range);
}

TEST(Controls, ProgressLinksAndInfoText) {
  Fixture f;
  ui::ProgressBar& bar = f.sheet.bar;
  bar.SetPosition(150);
  EXPECT_EQ(bar.Position(), 100);
  bar.SetPosition(-3);
  EXPECT_EQ(bar.Position(), 0);
  bar.SetPosition(70);
  bar.SetMax(50);
  EXPECT_EQ(bar.Position(), 50);
  bar.SetMin(60);
  EXPECT_EQ(bar.Max(), 60);
  EXPECT_EQ(bar.Position(), 60);

  ui::LinkLabel& link = f.sheet.link;
  EXPECT_EQ(link.TextColor(), ui::kLinkColor);
  EXPECT_TRUE(ui::headless::Hover(link, true));
  EXPECT_EQ(link.TextColor(), ui::kFuchsia);
  ui::headless::Hover(link, false);
  EXPECT_EQ(link.TextColor(), ui::kLinkColor);
  int clicks = 0;
  link.OnClick = [&] { ++clicks; };
  EXPECT_TRUE(ui::headless::Click(link));
  EXPECT_EQ(clicks, 1);

  f.sheet.info.SetLines({"one", "", "three"});
  EXPECT_EQ(f.sheet.info.Text(), "one\r\n\r\nthree");
  EXPECT_EQ(f.sheet.info.Lines(), (std::vector<std::string>{"one", "", "three"}));
}

}  // namespace
