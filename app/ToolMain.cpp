#include "app/ToolMain.h"

#include "gamedir/Cp936Text.h"
#include "app/MainWindow.h"
#include "app/SelectionWindow.h"
#include "app/ProgressWindow.h"

ToolWindows CreateToolWindows(ui::Application& app, const SystemProbe& probe) {
  TForm1& main = app.CreateForm<TForm1>(probe);
  TForm2& selection = app.CreateForm<TForm2>(main);
  TForm3& progress = app.CreateForm<TForm3>(main);
  main.SetSelectionWindow(&selection);
  main.SetProgressWindow(&progress);
  return {main, selection, progress};
}

int RunTool(std::unique_ptr<ui::Backend> backend) {
  const SystemProbe probe;  // the operating system
  ui::Application app(std::move(backend));
  app.SetTitle(Cp936("Zelk配置备份工具"));
  CreateToolWindows(app, probe);
  app.Run();
  return 0;
}
