#pragma once
// An in-memory backend for tests. Nothing is drawn; the model holds every text, state and
// position. Timers run on a virtual clock, modal forms and dialogs are answered by a script.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/Backend.h"
#include "ui/Controls.h"
#include "ui/ListView.h"

namespace ui::headless {

struct MessageRecord {
  enum class Kind { Box, Dialog, Input };
  Kind kind = Kind::Box;
  Form* owner = nullptr;
  MessageRequest request;   // Box and Dialog
  InputRequest input;       // Input
  std::string initialText;  // Input
};

class HeadlessBackend final : public Backend {
 public:
  HeadlessBackend();
  ~HeadlessBackend() override;

  // Answers of the next message boxes and message dialogs; without one the first button is
  // taken (OK or Yes).
  void QueueAnswer(ModalResult answer) { answers_.push_back(answer); }
  // Entries of the next input dialogs; std::nullopt cancels. Without one the dialog is cancelled.
  void QueueInput(std::optional<std::string> entry) {
    inputs_.push_back(entry ? std::optional<Entry>(Entry{std::move(*entry), true}) : std::nullopt);
  }
  // An entry typed as UTF-8, with characters that code page 936 may not hold.
  void QueueUnicodeInput(std::string_view utf8);
  // Runs while a form is shown modally, like the user working in it; when it returns and the
  // form is still open, the form is closed as by its close box.
  void SetModalHandler(std::function<void(Form&)> handler) { modalHandler_ = std::move(handler); }
  // Runs at every ProcessMessages call.
  void SetProcessHook(std::function<void()> hook) { processHook_ = std::move(hook); }
  const std::vector<MessageRecord>& Messages() const { return messages_; }
  int ProcessMessagesCalls() const { return processCalls_; }

  // Virtual clock in milliseconds.
  std::uint64_t Now() const { return now_; }
  // Advances the clock by `ms`, firing each timer whenever it falls due (earliest first,
  // creation order on ties). Stops early when the application terminates.
  void RunFor(std::uint64_t ms);
  // RunLoop gives up after this much virtual time (default 10 minutes).
  void SetRunLimit(std::uint64_t ms) { runLimit_ = ms; }

  void Attach(Application& app) override { app_ = &app; }
  std::unique_ptr<Peer> CreatePeer(Control& control) override;
  std::unique_ptr<Peer> CreateTimerPeer(Timer& timer) override;
  Insets FrameInsets(BorderStyle style) const override;
  Rect DesktopArea() const override { return {0, 0, 1024, 768}; }
  Size MeasureText(const Form& form, const std::string& text, int maxWidth) const override;
  void RunLoop() override;
  void RunModal(Form& form) override;
  void ProcessMessages() override;
  void Quit() override {}
  ModalResult ShowMessageBox(Form* owner, const MessageRequest& request) override;
  ModalResult ShowMessageDialog(Form* owner, const MessageRequest& request) override;
  bool ShowInputDialog(Form* owner, const InputRequest& request, std::string& value, bool& exact) override;

 private:
  friend class TimerPeer;
  struct TimerSlot {
    Timer* timer;
    bool armed = false;
    std::uint64_t due = 0;
  };
  TimerSlot* NextDue(std::uint64_t limit);
  // Fires the timers falling due up to `end`, in order, advancing the clock to each.
  void FireDueTimers(std::uint64_t end);
  ModalResult NextAnswer(MessageButtons buttons);
  void Record(MessageRecord::Kind kind, Form* owner, const MessageRequest* message,
              const InputRequest* input, const std::string& initialText);
  bool Terminated() const;

  Application* app_ = nullptr;
  std::vector<TimerSlot*> timers_;  // in creation order, owned by the peers
  std::uint64_t now_ = 0;
  std::uint64_t runLimit_ = 10 * 60 * 1000;
  std::deque<ModalResult> answers_;
  struct Entry {
    std::string text;
    bool exact = true;
  };
  std::deque<std::optional<Entry>> inputs_;
  std::function<void(Form&)> modalHandler_;
  std::function<void()> processHook_;
  std::vector<MessageRecord> messages_;
  int processCalls_ = 0;
};

// User actions. Each acts only where a user could: the control is showing, enabled (with its
// parents) and its form is not behind a modal form; otherwise it returns false and does nothing.
// Errors escaping a handler go to the application's error report, as from the message loop.
bool Click(Control& control);  // a button or a link label
bool Type(Edit& edit, const std::string& text);  // replaces the text, cut at MaxLength
// Types UTF-8 text, which may hold characters code page 936 cannot (Control::TextExact).
bool TypeUnicode(Edit& edit, std::string_view utf8);
bool SetCheck(ListView& list, int index, bool checked);
bool Hover(LinkLabel& link, bool inside);
bool PressMouse(HeaderPanel& panel, int x, int y);
bool CloseForm(Form& form);  // close box, system menu or Alt+F4
// Fires the timer as the message loop would; false when it is not enabled.
bool FireTimer(Timer& timer);
// Whether a user could reach the control now.
bool Reachable(const Control& control);

}  // namespace ui::headless
