#include "stub/RestoreWindow.h"

#include <cmath>

#include "backup/RestorePackage.h"
#include "gamedir/Cp936Text.h"
#include "platform/Text.h"

namespace restore {

namespace {

// Percentages are rounded to the nearest integer, halves to even.
int RoundPercent(double percent) { return static_cast<int>(std::nearbyint(percent)); }

// The restore as the window shows it: the password and overwrite questions as dialogs, the
// progress on the two bars, a failure as the error dialog.
class RestoreWindowEvents : public TBackupEvents {
 public:
  explicit RestoreWindowEvents(RestoreWindow& form) : form_(form) {}
  void FileProgress(const std::string& fileName, double percent) override {
    form_.FileProgressHandler(fileName, percent);
  }
  void OverallProgress(double percent, bool&) override { form_.ProgressHandler(percent); }
  TOverwriteAnswer AskOverwrite(const std::string& fileName) override { return form_.ConfirmOverwrite(fileName); }
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
  RestoreWindow& form_;
};

}  // namespace

RestoreWindow::RestoreWindow(ui::Application& app, const SystemProbe& probe)
    : ui::Form(app, "Form1"), probe_(probe), gameSearch_(probe) {
  SetCaption(Cp936("Zelk配置自解压工具 V0.1"));
  SetBorderStyle(ui::BorderStyle::None);
  SetPosition(ui::FormPosition::DesktopCenter);
  SetFont("MS Sans Serif", 8);
  SetClientSize(338, 149);

  headerPanel.SetBounds(0, 0, 338, 149);
  headerPanel.SetAlign(ui::Align::Client);
  headerPanel.SetHeaderHeight(22);
  headerPanel.SetText(Cp936("Zelk配置自解压工具 V0.1"));

  statusLabel.SetBounds(16, 40, 313, 21);
  statusLabel.SetText(Cp936("请将本程序放到Zelk目录，或者运行Zelk~"));

  restoreButton.SetBounds(136, 96, 75, 25);
  restoreButton.SetText(Cp936("立即解压"));
  restoreButton.SetEnabled(false);
  closeButton.SetBounds(240, 96, 75, 25);
  closeButton.SetText(Cp936("关闭程序"));

  overallBar.SetBounds(16, 80, 305, 17);
  overallBar.SetVisible(false);
  fileBar.SetBounds(16, 104, 305, 17);
  fileBar.SetVisible(false);

  noteLabel.SetBounds(9, 149 - 13, 319, 13);
  noteLabel.SetAlign(ui::Align::Bottom);
  noteLabel.SetText(Cp936("本程序是备份工具生成，请到网吧后使用!"));
  noteLabel.SetEnabled(false);  // drawn greyed

  searchTimer.SetInterval(1000);
  searchTimer.OnTimer = [this] { SearchForGame(); };
  restoreButton.OnClick = [this] { RestoreAll(); };
  closeButton.OnClick = [this] { Close(); };
  // The window has no title bar: the header moves it.
  headerPanel.OnMouseDown = [this](int, int) { StartMoveByCaption(); };
  OnShow = [this] { CheckProgramPath(); };
}

void RestoreWindow::CheckProgramPath() {
  App().SetTitle(Caption());
  // The package cannot open itself through such a path.
  if (!probe_.ProgramPathExact()) {
    App().ShowMessageBox(this, ProgramFolderUnusableText(), Cp936("错误"), ui::MessageIcon::Error);
    App().Terminate();
  }
}

void RestoreWindow::SearchForGame() {
  bool tellClientUnusable = false;
  const std::string dir = gameSearch_.Step(tellClientUnusable);
  // Said once; the search goes on for a client started from another folder.
  if (tellClientUnusable)
    App().ShowMessageBox(this, ClientFolderUnusableText(), Cp936("错误"), ui::MessageIcon::Error);
  if (dir.empty()) return;
  searchTimer.SetEnabled(false);
  gamePath = dir;
  statusLabel.SetText(Cp936("找到Zelk目录：") + gamePath);
  restoreButton.SetEnabled(true);
}

void RestoreWindow::RestoreAll() {
  restoreButton.SetVisible(false);
  closeButton.SetVisible(false);
  fileBar.SetVisible(true);
  overallBar.SetVisible(true);
  overwriteAll = false;

  TRestoreOptions options;
  options.packagePath = probe_.ProgramPath();
  options.targetDir = gamePath;
  RestoreWindowEvents events(*this);
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

void RestoreWindow::ShowButtonsAgain() {
  fileBar.SetVisible(false);
  overallBar.SetVisible(false);
  restoreButton.SetVisible(true);
  restoreButton.SetEnabled(true);
  closeButton.SetVisible(true);
}

TOverwriteAnswer RestoreWindow::ConfirmOverwrite(const std::string& fileName) {
  if (overwriteAll) return TOverwriteAnswer::All;
  ui::ModalResult answer = App().ShowMessageDialog(
      fileName + Cp936("已经存在,是否覆盖？") + "\r\n" + Cp936("如果你不知道选，请直接点ALL"),
      ui::MessageIcon::Question, ui::MessageButtons::YesNoAll, this);
  if (answer == ui::ModalResult::All) {
    overwriteAll = true;
    return TOverwriteAnswer::All;
  }
  return answer == ui::ModalResult::Yes ? TOverwriteAnswer::Yes : TOverwriteAnswer::No;
}

void RestoreWindow::ProgressHandler(double percent) {
  overallPercent_ = RoundPercent(percent);
  if (progressThrottle_.Due()) ShowProgress();
}

void RestoreWindow::FileProgressHandler(const std::string& fileName, double percent) {
  progressFile_ = fileName;
  filePercent_ = RoundPercent(percent);
  if (progressThrottle_.Due()) ShowProgress();
}

void RestoreWindow::FlushProgress() {
  if (progressThrottle_.TakePending()) ShowProgress();
}

void RestoreWindow::ShowProgress() {
  // statusLabel names the directory found until the first file is written.
  if (!progressFile_.empty()) statusLabel.SetText(progressFile_);
  fileBar.SetPosition(filePercent_);
  overallBar.SetPosition(overallPercent_);
  App().ProcessMessages();
}

}  // namespace restore
