#pragma once
// Notifications of the container facade: an optional callable plus an opaque user value that is
// handed back to it (the application passes its progress window, say). The sender comes first;
// out-values are passed by reference.
#include <functional>
#include <string>

class TContainerFS;

template <typename... Args>
struct TCFSEvent {
  std::function<void(void* userData, TContainerFS& sender, Args...)> Handler;
  void* UserData = nullptr;

  explicit operator bool() const { return static_cast<bool>(Handler); }
  void operator()(TContainerFS& sender, Args... args) const {
    if (Handler) Handler(UserData, sender, args...);
  }
};

// (Percent 0..100, var Cancel)
using TCFSProgressEvent = TCFSEvent<double, bool&>;
// (FileName, Percent)
using TCFSFileProgressEvent = TCFSEvent<const std::string&, double>;
// (FileName, OtherName, var Overwrite)
using TCFSOverwriteEvent = TCFSEvent<const std::string&, const std::string&, bool&>;
// ()
using TCFSDiskFullEvent = TCFSEvent<>;
// (FileName, var Password, var Cancel)
using TCFSPasswordEvent = TCFSEvent<const std::string&, std::string&, bool&>;

// The dialog asked for a password when no OnPassword handler is set: shows caption and prompt
// with text as the initial value; true when the user pressed OK, text then holds the answer.
// The engine knows no windows: the application supplies it.
using TCFSPasswordPrompt =
    std::function<bool(const std::string& caption, const std::string& prompt, std::string& text)>;

class TStream;

// Progress of one stream call: (Sender stream, Percent 0..100).
struct TCFSStreamProgressEvent {
  std::function<void(void* userData, TStream& sender, double percent)> Handler;
  void* UserData = nullptr;

  explicit operator bool() const { return static_cast<bool>(Handler); }
  void operator()(TStream& sender, double percent) const {
    if (Handler) Handler(UserData, sender, percent);
  }
};
