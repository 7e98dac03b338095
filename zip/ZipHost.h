#pragma once
// What the zip component needs from the application's window system: pumping the calling
// thread's message queue, a modal message box, and the file-open dialog of a "?" archive name.
// The defaults suit a program without windows: nothing is pumped and every question gets its
// default answer.
#include <chrono>
#include <string>
#include <thread>

class TZipMessageHost {
 public:
  virtual ~TZipMessageHost() = default;
  // Dispatches every waiting message; a quit message is posted again and pumping stops.
  virtual void ProcessMessages() {}
  // A modal box with an OK button; returns the button pressed (1 = OK).
  virtual int ShowMessage(const std::string& /*text*/, const std::string& /*caption*/, unsigned /*flags*/) { return 1; }
  // File-open dialog; false when cancelled.
  virtual bool OpenFileDialog(const std::u16string& /*title*/, const std::u16string& /*filter*/,
                              const std::u16string& /*initialDir*/, std::u16string& /*chosen*/) {
    return false;
  }
  virtual void Sleep(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
};
