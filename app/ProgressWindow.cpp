#include "app/ProgressWindow.h"

#include "app/MainWindow.h"
#include "gamedir/Cp936Text.h"

namespace tool {

ProgressWindow::ProgressWindow(ui::Application& app, MainWindow& mainForm) : ui::Form(app, "Form3") {
  SetCaption("Form3");
  SetBorderStyle(ui::BorderStyle::None);
  SetPosition(ui::FormPosition::CenterOnForm);
  SetCenterOn(&mainForm);
  SetFont("MS Sans Serif", 8);
  SetClientSize(310, 105);

  frame.SetBevel(true);
  frame.SetAlign(ui::Align::Client);

  titleLabel.SetBounds(88, 8, 81, 13);
  titleLabel.SetText(Cp936("正在收集文件..."));
  fileLabel.SetBounds(18, 37, 81, 13);
  fileLabel.SetText(Cp936("正在创建打包..."));

  fileBar.SetBounds(14, 60, 283, 17);
  fileBar.SetMax(100);
  overallBar.SetBounds(14, 80, 283, 17);
  overallBar.SetMax(100);
}

}  // namespace tool
