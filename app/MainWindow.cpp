#include "app/MainWindow.h"

#include "app/SelectionWindow.h"
#include "gamedir/Cp936Text.h"
#include "platform/Text.h"

namespace tool {

MainWindow::MainWindow(ui::Application& app, const SystemProbe& probe)
    : ui::Form(app, "Form1"), probe_(probe), gameSearch_(probe) {
  SetCaption(Cp936("Zelk配置备份工具 V1.0"));
  SetBorderStyle(ui::BorderStyle::Normal);
  SetPosition(ui::FormPosition::DesktopCenter);
  SetFont("MS Sans Serif", 8);
  SetBounds(0, 0, 393, 234);

  headerPanel.SetBounds(0, 0, 377, 196);
  headerPanel.SetAlign(ui::Align::Client);
  headerPanel.SetText(Cp936("未发现Zelk，请先运行游戏或者将此程序放到Zelk目录."));

  infoPanel.SetBounds(160, 32, 209, 97);
  infoPanel.SetLines({Cp936("此程序的作用是将本机的Zelk配置和插件打包。"),
                     Cp936("并生成一个自解压的程序。"),
                     Cp936("在网吧释放后使配置和插件与本机保持一致。"),
                     Cp936("省掉重新配置的麻烦。")});

  accountsText.SetBounds(16, 48, 115, 17);
  accountsText.SetText(Cp936("帐号配置：备份所有."));
  addonsText.SetBounds(16, 80, 115, 17);
  addonsText.SetText(Cp936("插件配置：备份所有."));
  passwordLabel.SetBounds(16, 112, 31, 17);
  passwordLabel.SetText(Cp936("加密:"));

  passwordEdit.SetBounds(62, 108, 83, 21);
  passwordEdit.SetPasswordChar('*');

  collectButton.SetBounds(168, 160, 75, 25);
  collectButton.SetText(Cp936("收集文件"));
  collectButton.SetVisible(false);
  collectButton.SetEnabled(false);

  packButton.SetBounds(200, 152, 81, 25);
  packButton.SetText(Cp936("立即打包"));

  searchTimer.SetInterval(500);
  searchTimer.OnTimer = [this] { SearchForGame(); };
  collectButton.OnClick = [this] { CollectOnly(); };
  packButton.OnClick = [this] { PackAll(); };
  OnCreate = [this] { ClearChoices(); };
  OnShow = [this] { StartUp(); };
}

void MainWindow::ClearChoices() {
  accounts.clear();
  addons.clear();
}

void MainWindow::SearchForGame() {
  bool tellClientUnusable = false;
  const std::string dir = gameSearch_.Step(tellClientUnusable);
  // Said once; the search goes on for a client started from another folder.
  if (tellClientUnusable)
    App().ShowMessageBox(this, ClientFolderUnusableText(), Cp936("错误"), ui::MessageIcon::Error);
  if (dir.empty()) return;
  // Stop first: the selection window's loop must not start a second search.
  searchTimer.SetEnabled(false);
  gamePath = dir;
  headerPanel.SetText(Cp936("找到Zelk目录：") + gamePath);
  if (selection_) selection_->FillLists();
}

}  // namespace tool
