// Placement of forms and controls: frames, alignment, centring and identifiers.
#include <gtest/gtest.h>

#include <memory>

#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/ListView.h"
#include "ui/headless/HeadlessBackend.h"

namespace {

struct Docked : ui::Form {
  explicit Docked(ui::Application& app) : ui::Form(app, "Docked") {
    SetBounds(0, 0, 400, 300);  // client 384 x 262 with the headless frame
    left.SetWidth(100);
    left.SetAlign(ui::Align::Left);
    top.SetHeight(24);
    top.SetAlign(ui::Align::Top);
    list.SetAlign(ui::Align::Client);
    rest.SetAlign(ui::Align::Client);
    free.SetBounds(5, 6, 7, 8);
  }
  ui::GroupBox left{*this, "left"};
  ui::Panel top{left, "top"};
  ui::ListView list{left, "list"};
  ui::Panel rest{*this, "rest"};
  ui::Label free{rest, "free"};
};

TEST(Layout, AlignedChildrenShareTheClientAreaInOrder) {
  ui::Application app(std::make_unique<ui::headless::HeadlessBackend>());
  auto& form = app.CreateForm<Docked>();
  EXPECT_EQ(form.ClientWidth(), 384);
  EXPECT_EQ(form.ClientHeight(), 262);
  EXPECT_EQ(form.left.Bounds(), (ui::Rect{0, 0, 100, 262}));
  EXPECT_EQ(form.rest.Bounds(), (ui::Rect{100, 0, 284, 262}));
  // Inside the group box: below the caption line and inside the frame.
  ui::Rect inner = form.left.ClientArea();
  EXPECT_EQ(form.top.Bounds(), (ui::Rect{inner.left, inner.top, inner.width, 24}));
  EXPECT_EQ(form.list.Bounds(),
            (ui::Rect{inner.left, inner.top + 24, inner.width, inner.height - 24}));
  EXPECT_EQ(form.free.Bounds(), (ui::Rect{5, 6, 7, 8}));  // not aligned: left alone

  // Resizing the form lays everything out again; a hidden docked control frees its space.
  form.SetBounds(0, 0, 500, 300);
  EXPECT_EQ(form.rest.Width(), 384);
  form.left.Hide();
  EXPECT_EQ(form.rest.Bounds(), (ui::Rect{0, 0, 484, 262}));
  form.top.SetHeight(40);  // a docked child's own size change re-docks it
  form.left.Show();
  EXPECT_EQ(form.list.Top(), inner.top + 40);
}

TEST(Layout, ClientSizeAccountsForTheFrame) {
  ui::Application app(std::make_unique<ui::headless::HeadlessBackend>());
  ui::Form framed(app), bare(app);
  framed.SetClientSize(310, 105);
  EXPECT_EQ(framed.Width(), 326);
  EXPECT_EQ(framed.Height(), 143);
  bare.SetBorderStyle(ui::BorderStyle::None);
  bare.SetClientSize(310, 105);
  EXPECT_EQ(bare.Width(), 310);
  EXPECT_EQ(bare.Height(), 105);
  EXPECT_EQ(bare.ScreenClientRect(), (ui::Rect{0, 0, 310, 105}));
}

TEST(Layout, FormsAreCentredOnTheDesktopOrOnAnotherForm) {
  ui::Application app(std::make_unique<ui::headless::HeadlessBackend>());
  ui::Form& main = app.CreateForm<ui::Form>();
  main.SetBounds(0, 0, 400, 200);
  main.SetPosition(ui::FormPosition::DesktopCenter);
  ui::Form& child = app.CreateForm<ui::Form>();
  child.SetBounds(0, 0, 100, 50);
  child.SetPosition(ui::FormPosition::CenterOnForm);
  child.SetCenterOn(&main);

  main.ShowForm();
  EXPECT_EQ(main.Left(), (1024 - 400) / 2);
  EXPECT_EQ(main.Top(), (768 - 200) / 2);
  main.SetBounds(10, 20, 400, 200);  // the user moved it
  child.ShowForm();
  EXPECT_EQ(child.Left(), 10 + 150);
  EXPECT_EQ(child.Top(), 20 + 75);
  // Centred on the desktop only the first time it is shown.
  main.HideForm();
  main.ShowForm();
  EXPECT_EQ(main.Left(), 10);
}

TEST(Layout, IdentifiersFollowCreationOrderWithinEachForm) {
  ui::Application app(std::make_unique<ui::headless::HeadlessBackend>());
  ui::Form& form = app.CreateForm<ui::Form>();
  ui::Panel panel(form, "panel");
  ui::Button inner(panel, "inner");
  auto later = std::make_unique<ui::Edit>(form, "later");
  ui::Label last(form, "last");
  EXPECT_EQ(panel.Id(), 1000);
  EXPECT_EQ(inner.Id(), 1001);
  EXPECT_EQ(later->Id(), 1002);
  EXPECT_EQ(last.Id(), 1003);
  EXPECT_EQ(form.FindControl("inner"), &inner);
  later.reset();  // identifiers of the others do not move
  EXPECT_EQ(form.FindControl("later"), nullptr);
  EXPECT_EQ(form.FindControl("last"), &last);
  EXPECT_EQ(last.Id(), 1003);
  EXPECT_EQ(panel.Children().size(), 1u);

  ui::Form other(app);
  ui::Button first(other, "first");
  EXPECT_EQ(first.Id(), 1000);
}

}  // namespace
