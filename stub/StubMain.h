#pragma once
// The restore program's main routine: its one window, then the message loop.
#include <memory>

#include "gamedir/GameLocator.h"
#include "ui/Application.h"

namespace restore {

class RestoreWindow;

RestoreWindow& CreateRestoreWindow(ui::Application& app, const SystemProbe& probe);

// Runs the restore program on `backend` until the application terminates; the exit code.
int RunStub(std::unique_ptr<ui::Backend> backend);

}  // namespace restore
