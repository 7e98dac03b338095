#include "stub/RestoreWindow.h"

#include <cmath>

#include "gamedir/Cp936Text.h"
#include "backup/RestorePackage.h"
#include "platform/Text.h"

namespace {

// Percentages are rounded to the nearest integer, halves to even.
int RoundPercent(double percent) { return static_cast<int>(std::nearbyint(percent)); }

// The restore as the window shows it: the password and overwrite questions as dialogs, the
// progress on the two bars, a failure as the error dialog.
class TStubWindowEvents : public TBackupEvents {
 public:
  explicit TStubWindowEvents(TForm1& form) : form_(form) {}
  void FileProgress(const std::string& fileName, double percent) override {
    form_.FileProgressHandler(fileName, percent);
  }
  void OverallProgress(double percent, bool&) override { form_.ProgressHandler(percent); }
  TOverwriteAnswer AskOverwrite(const std::string& fileName) override { return form_.CFSConfirmOverwrite(fileName); }
  bool AskPassword(std::string& password) override {
    for (;;) {
      bool exact = true;
      if (!form_.App().InputQuery(Cp936("你设置了密码，请输入密码."), Cp936("密码:     "), password, &exact))
        return false;
      if (exact) return true;
      // "?" in place of such characters could open the package under another password.
      form_.App().ShowMessageBox(&form_, Cp936("密码中含有无法使用的字符，请重新输入."), Cp936("错误"),
                                 ui::MessageIcon::Error);
    }
  }
  void Message(const TBackupNotice& notice) override {
    form_.App().ShowMessageDialog(notice.text, ui::MessageIcon::Error, ui::MessageButtons::Ok, &form_);
  }

 private:
  TForm1& form_;
};

}  // namespace

TForm1::TForm1(ui::Application& app, const SystemProbe& probe) : ui::Form(app, "Form1"), probe_(probe) {
  SetCaption(Cp936("Zelk配置自解压工具 V0.1"));
  SetBorderStyle(ui::BorderStyle::None);
  SetPosition(ui::FormPosition::DesktopCenter);
  SetFont("MS Sans Serif", 8);
  SetClientSize(338, 149);

  nxhdrpnl1.SetBounds(0, 0, 338, 149);
  nxhdrpnl1.SetAlign(ui::Align::Client);
  nxhdrpnl1.SetHeaderHeight(22);
  nxhdrpnl1.SetText(Cp936("Zelk配置自解压工具 V0.1"));

  lbl1.SetBounds(16, 40, 313, 21);
  lbl1.SetText(Cp936("请将本程序放到Zelk目录，或者运行Zelk~"));

  btn1.SetBounds(136, 96, 75, 25);
  btn1.SetText(Cp936("立即解压"));
  btn1.SetEnabled(false);
  btn2.SetBounds(240, 96, 75, 25);
  btn2.SetText(Cp936("关闭程序"));

  pb2.SetBounds(16, 80, 305, 17);
  pb2.SetVisible(false);
  pb1.SetBounds(16, 104, 305, 17);
  pb1.SetVisible(false);

  lbl2.SetBounds(9, 149 - 13, 319, 13);
  lbl2.SetAlign(ui::Align::Bottom);
  lbl2.SetText(Cp936("本程序是备份工具生成，请到网吧后使用!"));
  lbl2.SetEnabled(false);  // drawn greyed

  tmr1.SetInterval(1000);
  tmr1.OnTimer = [this] { tmr1Timer(); };
  btn1.OnClick = [this] { btn1Click(); };
  btn2.OnClick = [this] { btn2Click(); };
  nxhdrpnl1.OnMouseDown = [this](int, int) { nxhdrpnl1MouseDown(); };
  OnShow = [this] { FormShow(); };
}

void TForm1::FormShow() {
  App().SetTitle(Caption());
  // The package cannot open itself through such a path.
  if (!probe_.ProgramPathExact()) {
    App().ShowMessageBox(this, ProgramFolderUnusableText(), Cp936("错误"), ui::MessageIcon::Error);
    App().Terminate();
  }
}

void TForm1::tmr1Timer() {
  std::string dir = platform::Trim(::LocateGameDir(probe_));
  if (dir.empty()) {
    // Said once; the search goes on for a client started from another folder.
    if (!clientFolderReported_ && RunningClientPathUnusable(probe_)) {
      clientFolderReported_ = true;
      App().ShowMessageBox(this, ClientFolderUnusableText(), Cp936("错误"), ui::MessageIcon::Error);
    }
    return;
  }
  tmr1.SetEnabled(false);
  GamePath = dir;
  lbl1.SetText(Cp936("找到Zelk目录：") + GamePath);
  btn1.SetEnabled(true);
}

void TForm1::btn1Click() {
  btn1.SetVisible(false);
  btn2.SetVisible(false);
  pb1.SetVisible(true);
  pb2.SetVisible(true);
  OverwriteAll = false;

  TRestoreOptions options;
  options.packagePath = probe_.ProgramPath();
  options.targetDir = GamePath;
  TStubWindowEvents events(*this);
  const TRestoreStatus status = RestorePackage(options, events).status;
  FlushProgress();
  if (status != TRestoreStatus::Restored) {
    // Cancelled, failed or incomplete (the dialog has named the files): the player may try
    // again or leave, with the mouse alone, as the window has no title bar.
    ShowButtonsAgain();
    return;
  }

  App().ShowMessageBox(this, Cp936("退出吗？"), Cp936("解压完成"), ui::MessageIcon::Information);
  Close();
  App().Terminate();
}

void TForm1::ShowButtonsAgain() {
  pb1.SetVisible(false);
  pb2.SetVisible(false);
  btn1.SetVisible(true);
  btn1.SetEnabled(true);
  btn2.SetVisible(true);
}

TOverwriteAnswer TForm1::CFSConfirmOverwrite(const std::string& fileName) {
  if (OverwriteAll) return TOverwriteAnswer::All;
  ui::ModalResult answer = App().ShowMessageDialog(
      fileName + Cp936("已经存在,是否覆盖？") + "\r\n" + Cp936("如果你不知道选，请直接点ALL"),
      ui::MessageIcon::Question, ui::MessageButtons::YesNoAll, this);
  if (answer == ui::ModalResult::All) {
    OverwriteAll = true;
    return TOverwriteAnswer::All;
  }
  return answer == ui::ModalResult::Yes ? TOverwriteAnswer::Yes : TOverwriteAnswer::No;
}

void TForm1::ProgressHandler(double percent) {
  overallPercent_ = RoundPercent(percent);
  if (progressThrottle_.Due()) ShowProgress();
}

void TForm1::FileProgressHandler(const std::string& fileName, double percent) {
  progressFile_ = fileName;
  filePercent_ = RoundPercent(percent);
  if (progressThrottle_.Due()) ShowProgress();
}

void TForm1::FlushProgress() {
  if (progressThrottle_.TakePending()) ShowProgress();
}

void TForm1::ShowProgress() {
  // lbl1 names the directory found until the first file is written.
  if (!progressFile_.empty()) lbl1.SetText(progressFile_);
  pb1.SetPosition(filePercent_);
  pb2.SetPosition(overallPercent_);
  App().ProcessMessages();
}
