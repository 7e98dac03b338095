// How the windows show a packing run: progress held back to ten updates a second with the
// last state always shown, and the long steps on a worker thread while messages are handled.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/PackWindowEvents.h"
#include "platform/Exception.h"
#include "tests/app/ToolHarness.h"
#include "tests/support/Environment.h"

namespace {

TEST(PackWindow, ProgressIsShownAtMostTenTimesASecondAndItsLastStateAtTheEnd) {
  ToolHarness t;
  tool::ProgressWindow& form = t.windows.progress;
  auto now = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
  t.main.SetProgressClock([&] { return now; });
  t.main.ResetProgress(form);
  const int before = t.backend->ProcessMessagesCalls();
  // One second of updates, one every millisecond.
  for (int i = 1; i <= 1000; ++i) {
    now += std::chrono::milliseconds(1);
    if (i % 2)
      t.main.FileProgressHandler(form, "file" + std::to_string(i), i % 100);
    else
      t.main.ProgressHandler(form, i / 10.0);
  }
  const int shown = t.backend->ProcessMessagesCalls() - before;
  EXPECT_GE(shown, 9);
  EXPECT_LE(shown, 11);
  t.main.FlushProgress(form);
  EXPECT_EQ(form.fileLabel.Text(), "file999");
  EXPECT_EQ(form.fileBar.Position(), 99);
  EXPECT_EQ(form.overallBar.Position(), 100);
  // Nothing held back: nothing more to show.
  const int flushed = t.backend->ProcessMessagesCalls();
  t.main.FlushProgress(form);
  EXPECT_EQ(t.backend->ProcessMessagesCalls(), flushed);
}

TEST(PackWindow, LongStepsRunOnAWorkerWhileMessagesAreHandled) {
  ToolHarness t;
  tool::PackWindowEvents events(t.main, t.windows.progress, true);
  std::atomic<int> pumped{0};
  t.backend->SetProcessHook([&] { ++pumped; });
  const std::thread::id gui = std::this_thread::get_id();
  {
    testsupport::ScopedEnvironment threads("ZELK_THREADS", "2");
    std::thread::id ranOn;
    bool sawPumping = false;
    events.RunLongStep(TBackupStep::Zipping, [&] {
      ranOn = std::this_thread::get_id();
      const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (pumped < 3 && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      sawPumping = pumped >= 3;
    });
    EXPECT_NE(ranOn, gui);
    EXPECT_TRUE(sawPumping);
    // What the work raises reaches the caller.
    EXPECT_THROW(events.RunLongStep(TBackupStep::Verifying, [] { throw Exception("broken"); }), Exception);
  }
  {
    testsupport::ScopedEnvironment threads("ZELK_THREADS", "1");  // one thread: in place, as without windows
    std::thread::id ranOn;
    const int before = pumped;
    events.RunLongStep(TBackupStep::Zipping, [&] { ranOn = std::this_thread::get_id(); });
    EXPECT_EQ(ranOn, gui);
    EXPECT_EQ(pumped, before);
  }
}

}  // namespace
