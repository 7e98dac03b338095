#include "ui/Timer.h"

#include "ui/Application.h"
#include "ui/Form.h"

namespace ui {

Timer::Timer(Form& form) : form_(form) {
  peer_ = form.App().GetBackend().CreateTimerPeer(*this);
}

Timer::~Timer() = default;

void Timer::Notify() {
  if (peer_) peer_->Update(Change::Timer, -1);
}

void Timer::SetInterval(unsigned milliseconds) {
  if (milliseconds == interval_) return;
  interval_ = milliseconds;
  Notify();
}

void Timer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Notify();
}

void Timer::Fire() {
  if (!enabled_ || !OnTimer) return;
  auto handler = OnTimer;  // the handler may replace itself
  form_.App().Dispatch(handler);
}

}  // namespace ui
