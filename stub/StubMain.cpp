#include "stub/StubMain.h"

#include "stub/RestoreWindow.h"

namespace restore {

RestoreWindow& CreateRestoreWindow(ui::Application& app, const SystemProbe& probe) {
  return app.CreateForm<RestoreWindow>(probe);
}

int RunStub(std::unique_ptr<ui::Backend> backend) {
  const SystemProbe probe;  // the operating system
  ui::Application app(std::move(backend));
  CreateRestoreWindow(app, probe);
  app.Run();
  return 0;
}

}  // namespace restore
