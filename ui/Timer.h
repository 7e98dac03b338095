#pragma once
// A periodic timer owned by a form; OnTimer runs from the message loop while it is enabled.
#include <functional>
#include <memory>

#include "ui/Backend.h"

namespace ui {

class Form;

class Timer {
 public:
  explicit Timer(Form& form);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  Form& OwnerForm() const { return form_; }
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned milliseconds);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  // Enabled, with an interval and a handler.
  bool Active() const { return enabled_ && interval_ > 0 && OnTimer != nullptr; }

  std::function<void()> OnTimer;
  // Runs the handler (errors go to the application's error report).
  void Fire();

 private:
  void Notify();

  Form& form_;
  unsigned interval_ = 1000;
  bool enabled_ = true;
  std::unique_ptr<Peer> peer_;
};

}  // namespace ui
