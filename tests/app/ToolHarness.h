#pragma once
// The tool's three windows on the in-memory backend, with a probe the test places.
#include <memory>

#include "app/ToolMain.h"
#include "app/MainWindow.h"
#include "app/SelectionWindow.h"
#include "app/ProgressWindow.h"
#include "tests/app/PackageCheck.h"
#include "tests/app/TestTree.h"
#include "ui/headless/HeadlessBackend.h"

struct ToolHarness {
  std::unique_ptr<ui::headless::HeadlessBackend> owned =
      std::make_unique<ui::headless::HeadlessBackend>();
  ui::headless::HeadlessBackend* backend = owned.get();
  FakeProbe probe;
  ui::Application app{std::move(owned)};
  tool::ToolWindows windows = tool::CreateToolWindows(app, probe);
  tool::MainWindow& main = windows.main;
  tool::SelectionWindow& selection = windows.selection;

  // Places the program at `programPath`, carrying its restore program as the build makes it,
  // so that showing the main window finds "loader.bin".
  void Install(const std::string& programPath) {
    probe.programPath = programPath;
    MakeToolExecutable(programPath, "MZ restore program");
  }
};
