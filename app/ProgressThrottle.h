#pragma once
// Progress comes from the container per block and per file, thousands of times a second on a
// tree of small files; every update shown costs a repaint through the window system. The windows
// keep the latest values and show them at most once per interval, and always at the end of a
// phase (Flush), so the last state of every bar and label is seen.
#include <chrono>
#include <functional>

class TProgressThrottle {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  using Clock = std::function<TimePoint()>;
  // Ten updates a second: smooth enough to watch, and under wine every update shown costs
  // milliseconds of drawing (30 a second made a packing run 10 to 15% slower than without windows).
  static constexpr std::chrono::milliseconds kInterval{100};

  // An empty clock reads std::chrono::steady_clock.
  void SetClock(Clock clock) { clock_ = std::move(clock); }

  // A new value is waiting; true when it may be shown now (then it counts as shown).
  bool Due() {
    pending_ = true;
    const TimePoint now = clock_ ? clock_() : std::chrono::steady_clock::now();
    if (shownOnce_ && now - lastShown_ < kInterval) return false;
    shownOnce_ = true;
    lastShown_ = now;
    pending_ = false;
    return true;
  }
  // Whether a value was held back since the last one shown; clears it.
  bool TakePending() {
    const bool pending = pending_;
    pending_ = false;
    return pending;
  }

 private:
  Clock clock_;
  TimePoint lastShown_{};
  bool shownOnce_ = false;
  bool pending_ = false;
};
