#include "app/MainWindow.h"

#include "gamedir/Cp936Text.h"
#include "app/SelectionWindow.h"
#include "platform/Text.h"

TForm1::TForm1(ui::Application& app, const SystemProbe& probe)
    : ui::Form(app, "Form1"), probe_(probe) {
  SetCaption(Cp936("Zelk配置备份工具 V1.0"));
  SetBorderStyle(ui::BorderStyle::Normal);
  SetPosition(ui::FormPosition::DesktopCenter);
  SetFont("MS Sans Serif", 8);
  SetBounds(0, 0, 393, 234);

  pnl1.SetBounds(0, 0, 377, 196);
  pnl1.SetAlign(ui::Align::Client);
  pnl1.SetText(Cp936("未发现Zelk，请先运行游戏或者将此程序放到Zelk目录."));

  nxnfpnl1.SetBounds(160, 32, 209, 97);
  nxnfpnl1.SetLines({Cp936("此程序的作用是将本机的Zelk配置和插件打包。"),
                     Cp936("并生成一个自解压的程序。"),
                     Cp936("在网吧释放后使配置和插件与本机保持一致。"),
                     Cp936("省掉重新配置的麻烦。")});

  txt2.SetBounds(16, 48, 115, 17);
  txt2.SetText(Cp936("帐号配置：备份所有."));
  txt3.SetBounds(16, 80, 115, 17);
  txt3.SetText(Cp936("插件配置：备份所有."));
  txt4.SetBounds(16, 112, 31, 17);
  txt4.SetText(Cp936("加密:"));

  edt1.SetBounds(62, 108, 83, 21);
  edt1.SetPasswordChar('*');

  btn1.SetBounds(168, 160, 75, 25);
  btn1.SetText(Cp936("收集文件"));
  btn1.SetVisible(false);
  btn1.SetEnabled(false);

  btn2.SetBounds(200, 152, 81, 25);
  btn2.SetText(Cp936("立即打包"));

  tmr1.SetInterval(500);
  tmr1.OnTimer = [this] { tmr1Timer(); };
  btn1.OnClick = [this] { btn1Click(); };
  btn2.OnClick = [this] { btn2Click(); };
  OnCreate = [this] { FormCreate(); };
  OnShow = [this] { FormShow(); };
}

void TForm1::FormCreate() {
  AccountList.clear();
  AddonList.clear();
}

std::string TForm1::LocateGameDir() const { return ::LocateGameDir(probe_); }

bool TForm1::CheckGameDir(const std::string& dir) const { return ::CheckGameDir(dir); }

void TForm1::tmr1Timer() {
  std::string dir = platform::Trim(LocateGameDir());
  if (dir.empty()) {
    // Said once; the search goes on for a client started from another folder.
    if (!clientFolderReported_ && RunningClientPathUnusable(probe_)) {
      clientFolderReported_ = true;
      App().ShowMessageBox(this, ClientFolderUnusableText(), Cp936("错误"), ui::MessageIcon::Error);
    }
    return;
  }
  // Stop first: the selection window's loop must not start a second search.
  tmr1.SetEnabled(false);
  GamePath = dir;
  pnl1.SetText(Cp936("找到Zelk目录：") + GamePath);
  if (selection_) selection_->FillLists();
}
