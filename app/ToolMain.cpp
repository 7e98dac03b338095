#include "app/ToolMain.h"

#include "app/MainWindow.h"
#include "app/ProgressWindow.h"
#include "app/SelectionWindow.h"
#include "gamedir/Cp936Text.h"

namespace tool {

ToolWindows CreateToolWindows(ui::Application& app, const SystemProbe& probe) {
  MainWindow& main = app.CreateForm<MainWindow>(probe);
  SelectionWindow& selection = app.CreateForm<SelectionWindow>(main);
  ProgressWindow& progress = app.CreateForm<ProgressWindow>(main);
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

}  // namespace tool
