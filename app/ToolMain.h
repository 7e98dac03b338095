#pragma once
// The tool's main routine: the three windows, then the message loop.
#include <memory>

#include "gamedir/GameLocator.h"
#include "ui/Application.h"

namespace tool {

class MainWindow;
class SelectionWindow;
class ProgressWindow;

struct ToolWindows {
  MainWindow& main;
  SelectionWindow& selection;
  ProgressWindow& progress;
};

// Creates the main window (the application's main form), the selection window and the
// progress window, in that order, and connects them.
ToolWindows CreateToolWindows(ui::Application& app, const SystemProbe& probe);

// Runs the tool on `backend` until the application terminates; the exit code.
int RunTool(std::unique_ptr<ui::Backend> backend);

}  // namespace tool
