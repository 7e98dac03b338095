// The Win32 backend: real windows for the model, user input back into it, modal loops, timers
// and dialogs. Runs on Windows (under wine in the cross build).
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "platform/Text.h"
#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/ListView.h"
#include "ui/Timer.h"
#include "ui/win32/Win32Backend.h"
#include "ui/win32/Win32Inspect.h"

namespace {

using ui::win32::FactsOf;

std::string Cp(const char* utf8) { return platform::Utf8ToCp936(utf8); }

std::u16string Lower(std::u16string s) {
  for (char16_t& c : s)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return s;
}

struct Sheet : ui::Form {
  explicit Sheet(ui::Application& app) : ui::Form(app, "Sheet") {
    SetCaption(Cp("测试窗口"));
    SetBounds(0, 0, 500, 400);
    SetPosition(ui::FormPosition::DesktopCenter);
    header.SetBounds(0, 0, 480, 40);
    header.SetText(Cp("标题"));
    info.SetBounds(10, 30, 200, 60);
    text.SetBounds(10, 100, 100, 17);
    text.SetText(Cp("帐号"));
    label.SetBounds(10, 120, 100, 13);
    link.SetBounds(120, 100, 30, 13);
    link.SetText(Cp("全选"));
    edit.SetBounds(10, 140, 100, 21);
    edit.SetPasswordChar('*');
    button.SetBounds(120, 140, 75, 25);
    button.SetText(Cp("立即打包"));
    group.SetBounds(220, 100, 250, 200);
    group.SetText(Cp("选择"));
    list.SetAlign(ui::Align::Client);
    list.SetStyle(true, true, true);
    list.AddColumn(Cp("名称"), 150);
    list.AddColumn(Cp("类型"));
    bar.SetBounds(10, 320, 200, 17);
  }
  ui::HeaderPanel header{*this, "header"};
  ui::InfoPanel info{header, "info"};
  ui::StaticText text{*this, "text"};
  ui::Label label{*this, "label"};
  ui::LinkLabel link{*this, "link"};
  ui::Edit edit{*this, "edit"};
  ui::Button button{*this, "button"};
  ui::GroupBox group{*this, "group"};
  ui::ListView list{group, "list"};
  ui::Panel panel{*this, "panel"};
  ui::ProgressBar bar{*this, "bar"};
};

// Windows need a window station with a display; without one (wine without X) every test
// skips. A watchdog ends any loop that a broken backend would leave running.
struct Fixture {
  ui::Application app{ui::win32::CreateWin32Backend()};
  Sheet& sheet = app.CreateForm<Sheet>();
  ui::Timer watchdog{sheet};
  Fixture() {
    sheet.ShowForm();
    watchdog.SetInterval(20000);
    watchdog.OnTimer = [this] {
      ADD_FAILURE() << "watchdog: a loop did not end";
      app.Terminate();
    };
  }
  bool HasWindows() const { return FactsOf(sheet).exists; }
};

#define REQUIRE_WINDOWS(f) \
  if (!(f).HasWindows()) GTEST_SKIP() << "no display: windows cannot be created here"

TEST(Win32Backend, ControlsAreChildWindowsWithTheirIdentifiersAndTexts) {
  Fixture f;
  REQUIRE_WINDOWS(f);
  ui::win32::WindowFacts form = FactsOf(f.sheet);
  ASSERT_TRUE(form.exists);
  EXPECT_EQ(form.className, u"ZelkForm");
  EXPECT_EQ(form.text, u"测试窗口");
  EXPECT_TRUE(form.visible);
  EXPECT_EQ(form.bounds.width, 500);

  struct Expect {
    const ui::Control& control;
    std::u16string cls;
  };
  const Expect expected[] = {
      {f.sheet.header, u"zelkheaderpanel"}, {f.sheet.info, u"zelkinfopanel"},
      {f.sheet.text, u"static"},            {f.sheet.label, u"static"},
      {f.sheet.link, u"zelklinklabel"},     {f.sheet.edit, u"edit"},
      {f.sheet.button, u"button"},          {f.sheet.group, u"button"},
      {f.sheet.list, u"syslistview32"},     {f.sheet.panel, u"zelkpanel"},
      {f.sheet.bar, u"msctls_progress32"}};
  for (const Expect& e : expected) {
    ui::win32::WindowFacts facts = FactsOf(e.control);
    ASSERT_TRUE(facts.exists) << e.control.Name();
    EXPECT_EQ(Lower(facts.className), e.cls) << e.control.Name();
    EXPECT_EQ(facts.dialogId, e.control.Id()) << e.control.Name();
    EXPECT_EQ(facts.propertyId, e.control.Id()) << e.control.Name();
    EXPECT_EQ(facts.bounds, e.control.Bounds()) << e.control.Name();
  }
  EXPECT_EQ(f.sheet.bar.Id(), 1010);
  EXPECT_EQ(FactsOf(f.sheet.header).text, u"标题");
  EXPECT_EQ(FactsOf(f.sheet.group).style & 0xF, 7u);  // BS_GROUPBOX
  EXPECT_EQ(ui::win32::PasswordCharOf(f.sheet.edit), u'*');

  // Model changes show in the windows.
  f.sheet.button.SetText(Cp("请等待收集完成..."));
  f.sheet.button.SetWidth(150);
  f.sheet.button.SetEnabled(false);
  f.sheet.text.Hide();
  EXPECT_EQ(FactsOf(f.sheet.button).text, u"请等待收集完成...");
  EXPECT_EQ(FactsOf(f.sheet.button).bounds.width, 150);
  EXPECT_FALSE(FactsOf(f.sheet.button).enabled);
  EXPECT_FALSE(FactsOf(f.sheet.text).visible);
  f.sheet.bar.SetPosition(42);
  EXPECT_EQ(ui::win32::ProgressPositionOf(f.sheet.bar), 42);
}

TEST(Win32Backend, UserInputReachesTheModel) {
  Fixture f;
  REQUIRE_WINDOWS(f);
  int clicks = 0, links = 0, changes = 0;
  std::vector<int> toggled;
  f.sheet.button.OnClick = [&] { ++clicks; };
  f.sheet.link.OnClick = [&] { ++links; };
  f.sheet.edit.OnChange = [&] { ++changes; };
  f.sheet.list.OnItemChecked = [&](int row) { toggled.push_back(row); };

  ui::win32::SendClick(f.sheet.button);
  EXPECT_EQ(clicks, 1);
  ui::win32::SendClick(f.sheet.link);
  ui::win32::SendLeftButtonUp(f.sheet.link, 3, 3);
  ui::win32::SendLeftButtonUp(f.sheet.link, 3, 200);  // released outside: no click
  EXPECT_EQ(links, 2);

  ui::win32::TypeInWindow(f.sheet.edit, u"密码 x");
  EXPECT_EQ(f.sheet.edit.Text(), Cp("密码 x"));
  EXPECT_EQ(changes, 1);
  f.sheet.edit.SetText("code");  // from the model: no change event
  EXPECT_EQ(changes, 1);

  ui::ListView& list = f.sheet.list;
  list.AddItem("1001", {Cp("目录")});
  list.AddItem(Cp("中文"), {Cp("文件")});
  list.SetAllChecked({true, false});
  EXPECT_EQ(ui::win32::ListRowCount(list), 2);
  EXPECT_EQ(ui::win32::ListCellText(list, 1, 0), u"中文");
  EXPECT_EQ(ui::win32::ListCellText(list, 0, 1), u"目录");
  EXPECT_EQ(ui::win32::ListColumnWidth(list, 0), 150);
  EXPECT_EQ(ui::win32::ListStateImage(list, 0), 2);
  EXPECT_EQ(ui::win32::ListStateImage(list, 1), 1);
  EXPECT_TRUE(toggled.empty());  // changes made by the model are not user input
  ui::win32::ToggleListCheckInWindow(list, 1, true);
  EXPECT_TRUE(list.Checked(1));
  EXPECT_EQ(toggled, std::vector<int>{1});
  list.Clear();
  EXPECT_EQ(ui::win32::ListRowCount(list), 0);
}

TEST(Win32Backend, ModalFormsDisableTheOthersUntilClosed) {
  Fixture f;
  REQUIRE_WINDOWS(f);
  ui::Form dialog(f.app, "Dialog");
  dialog.SetCaption("Dialog");
  dialog.SetBounds(0, 0, 200, 100);
  dialog.SetPosition(ui::FormPosition::CenterOnForm);
  ui::Timer timer(f.sheet);
  timer.SetInterval(30);
  bool mainEnabledWhileModal = true;
  int closes = 0;
  dialog.OnClose = [&](ui::CloseAction&) { ++closes; };
  timer.OnTimer = [&] {
    timer.SetEnabled(false);
    mainEnabledWhileModal = FactsOf(f.sheet).enabled;
    ui::win32::SendClose(dialog);
  };
  EXPECT_EQ(dialog.ShowModal(), ui::ModalResult::Cancel);
  EXPECT_FALSE(mainEnabledWhileModal);
  EXPECT_EQ(closes, 1);
  EXPECT_TRUE(FactsOf(f.sheet).enabled);
  EXPECT_FALSE(FactsOf(dialog).visible);
  EXPECT_EQ(ui::win32::OwnerClassOf(dialog), u"ZelkForm");
  // Centred on the main window.
  EXPECT_NEAR(2 * dialog.Left() + dialog.Width(), 2 * f.sheet.Left() + f.sheet.Width(), 1);
}

TEST(Win32Backend, DialogsAndTheErrorReportAreAnsweredInTheirWindows) {
  Fixture f;
  REQUIRE_WINDOWS(f);
  f.app.SetTitle(Cp("工具"));
  ui::Timer timer(f.sheet);
  timer.SetInterval(30);
  std::u16string seen;
  std::function<bool()> answer;
  timer.OnTimer = [&] {
    if (answer && answer()) answer = nullptr;
  };

  answer = [&] {
    seen = ui::win32::StaticTextInWindow(u"ZelkForm", u"确认");
    return ui::win32::ClickButtonInWindow(u"ZelkForm", u"确认", u"&All");
  };
  EXPECT_EQ(f.app.ShowMessageDialog(Cp("覆盖？"), ui::MessageIcon::Question,
                                    ui::MessageButtons::YesNoAll),
            ui::ModalResult::All);
  EXPECT_EQ(seen, u"覆盖？");

  answer = [&] {
    return ui::win32::SetEditInWindow(u"ZelkForm", u"密码", u"secret") &&
           ui::win32::ClickButtonInWindow(u"ZelkForm", u"密码", u"OK");
  };
  std::string value = "old";
  EXPECT_TRUE(f.app.InputQuery(Cp("密码"), Cp("密码:     "), value));
  EXPECT_EQ(value, "secret");

  answer = [&] { return ui::win32::ClickButtonInWindow(u"ZelkForm", u"密码", u"Cancel"); };
  EXPECT_FALSE(f.app.InputQuery(Cp("密码"), Cp("密码:     "), value));
  EXPECT_EQ(value, "secret");

  // An error escaping a handler is shown in the system's message box titled after the program.
  f.sheet.button.OnClick = [] { throw std::runtime_error("TThing.Do - broken."); };
  answer = [&] {
    seen = ui::win32::StaticTextInWindow(u"#32770", u"工具");
    return ui::win32::ClickButtonInWindow(u"#32770", u"工具", u"OK") ||
           ui::win32::ClickButtonInWindow(u"#32770", u"工具", u"确定");
  };
  ui::win32::SendClick(f.sheet.button);
  EXPECT_EQ(seen, u"TThing.Do - broken.");
  EXPECT_FALSE(answer);
}

TEST(Win32Backend, TheLoopRunsTimersUntilTerminated) {
  Fixture f;
  REQUIRE_WINDOWS(f);
  ui::Timer timer(f.sheet);
  timer.SetInterval(10);
  int ticks = 0;
  timer.OnTimer = [&] {
    if (++ticks == 3) f.app.Terminate();
  };
  f.app.Run();
  EXPECT_EQ(ticks, 3);
  EXPECT_TRUE(f.app.Terminated());
}

}  // namespace
