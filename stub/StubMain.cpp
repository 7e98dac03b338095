#include "stub/StubMain.h"

#include "stub/RestoreWindow.h"

TForm1& CreateStubWindow(ui::Application& app, const SystemProbe& probe) {
  return app.CreateForm<TForm1>(probe);
}

int RunStub(std::unique_ptr<ui::Backend> backend) {
  const SystemProbe probe;  // the operating system
  ui::Application app(std::move(backend));
  CreateStubWindow(app, probe);
  app.Run();
  return 0;
}
