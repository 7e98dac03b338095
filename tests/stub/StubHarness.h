#pragma once
// The restore program's window on the in-memory backend, with a probe the test places.
#include <memory>

#include "stub/StubMain.h"
#include "stub/RestoreWindow.h"
#include "tests/app/TestTree.h"
#include "ui/headless/HeadlessBackend.h"

struct StubHarness {
  std::unique_ptr<ui::headless::HeadlessBackend> owned = std::make_unique<ui::headless::HeadlessBackend>();
  ui::headless::HeadlessBackend* backend = owned.get();
  FakeProbe probe;
  ui::Application app{std::move(owned)};
  restore::RestoreWindow& form = restore::CreateRestoreWindow(app, probe);
};
