#include "app/ProgressWindow.h"

#include "gamedir/Cp936Text.h"
#include "app/MainWindow.h"

TForm3::TForm3(ui::Application& app, TForm1& mainForm) : ui::Form(app, "Form3") {
  SetCaption("Form3");
  SetBorderStyle(ui::BorderStyle::None);
  SetPosition(ui::FormPosition::CenterOnForm);
  SetCenterOn(&mainForm);
  SetFont("MS Sans Serif", 8);
  SetClientSize(310, 105);

  pnl1.SetBevel(true);
  pnl1.SetAlign(ui::Align::Client);

  lbl1.SetBounds(88, 8, 81, 13);
  lbl1.SetText(Cp936("正在收集文件..."));
  lbl2.SetBounds(18, 37, 81, 13);
  lbl2.SetText(Cp936("正在创建打包..."));

  pb1.SetBounds(14, 60, 283, 17);
  pb1.SetMax(100);
  pb2.SetBounds(14, 80, 283, 17);
  pb2.SetMax(100);
}
