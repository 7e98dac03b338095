// Showing, modal loops, closing, timers on the virtual clock and the error report.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/Timer.h"
#include "ui/headless/HeadlessBackend.h"

namespace {

using ui::headless::HeadlessBackend;

struct Fixture {
  std::unique_ptr<HeadlessBackend> owned = std::make_unique<HeadlessBackend>();
  HeadlessBackend* backend = owned.get();
  ui::Application app{std::move(owned)};
};

struct Dialog : ui::Form {
  explicit Dialog(ui::Application& app) : ui::Form(app, "Dialog") {
    ok.SetModalResult(ui::ModalResult::Ok);
    OnShow = [this] { ++shown; };
    OnClose = [this](ui::CloseAction& action) {
      ++closes;
      if (veto) action = ui::CloseAction::None;
    };
  }
  ui::Button ok{*this, "ok"};
  int shown = 0, closes = 0;
  bool veto = false;
};

TEST(FormLifecycle, ModalFormRunsItsScriptAndIsClosedLikeByTheUser) {
  Fixture f;
  ui::Form& main = f.app.CreateForm<ui::Form>();
  ui::Button mainButton(main, "b");
  int mainClicks = 0;
  mainButton.OnClick = [&] { ++mainClicks; };
  main.ShowForm();
  Dialog& dialog = f.app.CreateForm<Dialog>();

  std::vector<bool> reachable;
  f.backend->SetModalHandler([&](ui::Form& form) {
    EXPECT_EQ(&form, &dialog);
    EXPECT_TRUE(form.Visible());
    EXPECT_EQ(f.app.ActiveForm(), &dialog);
    reachable.push_back(ui::headless::Click(mainButton));  // behind the modal form
  });
  EXPECT_EQ(dialog.ShowModal(), ui::ModalResult::Cancel);  // closed by its close box
  EXPECT_EQ(dialog.closes, 1);
  EXPECT_EQ(dialog.shown, 1);
  EXPECT_FALSE(dialog.Visible());
  EXPECT_EQ(reachable, std::vector<bool>{false});
  EXPECT_EQ(mainClicks, 0);
  EXPECT_EQ(f.app.ActiveForm(), &main);
  EXPECT_TRUE(ui::headless::Click(mainButton));
  EXPECT_EQ(mainClicks, 1);

  // A button with a modal result ends the loop without OnClose.
  f.backend->SetModalHandler([&](ui::Form&) { EXPECT_TRUE(ui::headless::Click(dialog.ok)); });
  EXPECT_EQ(dialog.ShowModal(), ui::ModalResult::Ok);
  EXPECT_EQ(dialog.closes, 1);
  EXPECT_EQ(dialog.shown, 2);

  // A vetoed close keeps the form open; the loop still ends instead of hanging.
  dialog.veto = true;
  f.backend->SetModalHandler(nullptr);
  EXPECT_EQ(dialog.ShowModal(), ui::ModalResult::None);
  EXPECT_EQ(dialog.closes, 2);
  EXPECT_FALSE(f.app.Terminated());
}

TEST(FormLifecycle, ClosingTheMainFormEndsTheProgram) {
  Fixture f;
  ui::Form& main = f.app.CreateForm<ui::Form>();
  ui::Form& other = f.app.CreateForm<ui::Form>();
  bool created = false;
  main.OnCreate = [&] { created = true; };  // too late: OnCreate already ran
  EXPECT_FALSE(created);
  EXPECT_EQ(f.app.MainForm(), &main);
  other.ShowForm();
  main.ShowForm();
  EXPECT_TRUE(ui::headless::CloseForm(other));
  EXPECT_FALSE(other.Visible());
  EXPECT_FALSE(f.app.Terminated());
  EXPECT_FALSE(ui::headless::CloseForm(other));  // not shown any more
  EXPECT_TRUE(ui::headless::CloseForm(main));
  EXPECT_TRUE(f.app.Terminated());
}

TEST(FormLifecycle, TimersFireOnTheVirtualClockWhileEnabled) {
  Fixture f;
  ui::Form& form = f.app.CreateForm<ui::Form>();
  ui::Timer fast(form), slow(form);
  fast.SetInterval(500);
  slow.SetInterval(1200);
  std::vector<std::string> log;
  fast.OnTimer = [&] {
    log.push_back("fast@" + std::to_string(f.backend->Now()));
    if (f.backend->Now() >= 1500) fast.SetEnabled(false);
  };
  slow.OnTimer = [&] { log.push_back("slow@" + std::to_string(f.backend->Now())); };

  f.backend->RunFor(2500);
  EXPECT_EQ(log, (std::vector<std::string>{"fast@500", "fast@1000", "slow@1200", "fast@1500",
                                           "slow@2400"}));
  EXPECT_EQ(f.backend->Now(), 2500u);
  EXPECT_FALSE(ui::headless::FireTimer(fast));

  // Enabling again starts a full interval from now.
  log.clear();
  fast.SetEnabled(true);
  slow.SetEnabled(false);
  f.backend->RunFor(499);
  EXPECT_TRUE(log.empty());
  f.backend->RunFor(1);
  EXPECT_EQ(log, std::vector<std::string>{"fast@3000"});
}

TEST(FormLifecycle, RunLoopEndsOnTerminateOrWhenNothingCanHappen) {
  Fixture f;
  ui::Form& main = f.app.CreateForm<ui::Form>();
  int shows = 0, ticks = 0;
  main.OnShow = [&] { ++shows; };
  ui::Timer timer(main);
  timer.SetInterval(100);
  timer.OnTimer = [&] {
    if (++ticks == 3) f.app.Terminate();
  };
  f.app.Run();
  EXPECT_EQ(shows, 1);
  EXPECT_TRUE(main.Visible());
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(f.backend->Now(), 300u);

  Fixture idle;
  idle.app.CreateForm<ui::Form>();
  idle.app.Run();  // no timer: returns at once
  EXPECT_FALSE(idle.app.Terminated());
}

TEST(FormLifecycle, ErrorsEscapingHandlersAreReportedInAMessageBox) {
  Fixture f;
  f.app.SetTitle("Tool");
  ui::Form& main = f.app.CreateForm<ui::Form>();
  ui::Button button(main, "b");
  button.OnClick = [] { throw std::runtime_error("TThing.Do - broken."); };
  ui::Timer timer(main);
  timer.SetInterval(10);
  timer.OnTimer = [] { throw 42; };
  main.ShowForm();

  EXPECT_TRUE(ui::headless::Click(button));
  ui::headless::FireTimer(timer);
  ASSERT_EQ(f.backend->Messages().size(), 2u);
  const auto& box = f.backend->Messages()[0];
  EXPECT_EQ(box.kind, ui::headless::MessageRecord::Kind::Box);
  EXPECT_EQ(box.owner, &main);
  EXPECT_EQ(box.request.text, "TThing.Do - broken.");
  EXPECT_EQ(box.request.caption, "Tool");
  EXPECT_EQ(box.request.icon, ui::MessageIcon::Error);
  EXPECT_EQ(f.backend->Messages()[1].request.text, "Unknown error.");
}

TEST(FormLifecycle, MessageBoxesAndDialogsTakeScriptedAnswers) {
  Fixture f;
  ui::Form& main = f.app.CreateForm<ui::Form>();
  EXPECT_EQ(f.app.ShowMessageBox(nullptr, "a", "c", ui::MessageIcon::Information),
            ui::ModalResult::Ok);
  EXPECT_EQ(f.app.ShowMessageDialog("q", ui::MessageIcon::Question, ui::MessageButtons::YesNoAll),
            ui::ModalResult::Yes);
  f.backend->QueueAnswer(ui::ModalResult::All);
  f.backend->QueueAnswer(ui::ModalResult::No);
  EXPECT_EQ(f.app.ShowMessageDialog("q", ui::MessageIcon::Question, ui::MessageButtons::YesNoAll),
            ui::ModalResult::All);
  EXPECT_EQ(f.app.ShowMessageBox(&main, "b", "c", ui::MessageIcon::Warning,
                                 ui::MessageButtons::YesNo),
            ui::ModalResult::No);

  std::string value = "old";
  f.backend->QueueInput("secret");
  f.backend->QueueInput(std::nullopt);
  EXPECT_TRUE(f.app.InputQuery("cap", "prompt", value));
  EXPECT_EQ(value, "secret");
  EXPECT_FALSE(f.app.InputQuery("cap", "prompt", value));
  EXPECT_EQ(value, "secret");
  EXPECT_FALSE(f.app.InputQuery("cap", "prompt", value));  // nothing queued: cancelled

  const auto& log = f.backend->Messages();
  ASSERT_EQ(log.size(), 7u);
  EXPECT_EQ(log[1].kind, ui::headless::MessageRecord::Kind::Dialog);
  EXPECT_EQ(log[1].request.buttons, ui::MessageButtons::YesNoAll);
  EXPECT_EQ(log[4].kind, ui::headless::MessageRecord::Kind::Input);
  EXPECT_EQ(log[4].input.prompt, "prompt");
  EXPECT_EQ(log[4].initialText, "old");
  EXPECT_EQ(log[5].initialText, "secret");
}

}  // namespace
