#pragma once
// The interface between the widget model and the window system that shows it. The model keeps
// every property; a backend creates one peer per model object and is told what changed.
#include <memory>
#include <string>

#include "ui/Types.h"

namespace ui {

class Application;
class Control;
class Form;
class Timer;

// The backend's counterpart of one model object.
class Peer {
 public:
  virtual ~Peer() = default;
  // `index` is the list row for the ListItem changes, -1 otherwise.
  virtual void Update(Change what, int index) = 0;
  // The window system's handle of the window (an HWND on Windows) for calls that take an owner
  // window; the headless backend gives a stand-in that only says a window exists.
  virtual void* NativeHandle() const { return nullptr; }
};

struct MessageRequest {
  std::string text;
  std::string caption;
  MessageIcon icon = MessageIcon::None;
  MessageButtons buttons = MessageButtons::Ok;
};

struct InputRequest {
  std::string caption;
  std::string prompt;
};

class Backend {
 public:
  virtual ~Backend() = default;

  // Called once by the application that owns the backend.
  virtual void Attach(Application& app) = 0;

  // Forms and their controls get peers when the form is realised; timers when created.
  virtual std::unique_ptr<Peer> CreatePeer(Control& control) = 0;
  virtual std::unique_ptr<Peer> CreateTimerPeer(Timer& timer) = 0;

  virtual Insets FrameInsets(BorderStyle style) const = 0;
  virtual Rect DesktopArea() const = 0;
  // Size of `text` in the form's font, wrapped at `maxWidth` pixels (0: no wrapping).
  virtual Size MeasureText(const Form& form, const std::string& text, int maxWidth) const = 0;

  // Runs until the application is terminated.
  virtual void RunLoop() = 0;
  // Runs until the form's modal result is set or the application is terminated.
  virtual void RunModal(Form& form) = 0;
  // Handles the window messages already queued, then returns.
  virtual void ProcessMessages() = 0;
  // The application was told to terminate; wakes a waiting loop.
  virtual void Quit() = 0;

  // `owner` may be null (then the active form owns the box).
  virtual ModalResult ShowMessageBox(Form* owner, const MessageRequest& request) = 0;
  virtual ModalResult ShowMessageDialog(Form* owner, const MessageRequest& request) = 0;
  // True when the user confirmed; `value` holds the initial text and receives the entry,
  // `exact` whether code page 936 holds every character of it (Control::TextExact).
  virtual bool ShowInputDialog(Form* owner, const InputRequest& request, std::string& value, bool& exact) = 0;
};

}  // namespace ui
