#include "ui/headless/HeadlessBackend.h"

#include <algorithm>

#include "platform/Text.h"
#include "ui/Application.h"
#include "ui/Form.h"
#include "ui/Timer.h"

namespace ui::headless {

namespace {

class NullPeer final : public Peer {
 public:
  void Update(Change, int) override {}
  void* NativeHandle() const override { return const_cast<NullPeer*>(this); }
};

}  // namespace

// Keeps its timer's schedule: (re)armed whenever the timer is enabled or its interval changes.
class TimerPeer final : public Peer {
 public:
  TimerPeer(HeadlessBackend& backend, Timer& timer) : backend_(backend), slot_{&timer} {
    backend_.timers_.push_back(&slot_);
    Update(Change::Timer, -1);
  }
  ~TimerPeer() override {
    auto& list = backend_.timers_;
    list.erase(std::remove(list.begin(), list.end(), &slot_), list.end());
  }
  void Update(Change, int) override {
    slot_.armed = slot_.timer->Enabled() && slot_.timer->Interval() > 0;
    slot_.due = backend_.now_ + slot_.timer->Interval();
  }

 private:
  HeadlessBackend& backend_;
  HeadlessBackend::TimerSlot slot_;
};

HeadlessBackend::HeadlessBackend() = default;
HeadlessBackend::~HeadlessBackend() = default;

std::unique_ptr<Peer> HeadlessBackend::CreatePeer(Control&) { return std::make_unique<NullPeer>(); }

std::unique_ptr<Peer> HeadlessBackend::CreateTimerPeer(Timer& timer) {
  return std::make_unique<TimerPeer>(*this, timer);
}

Insets HeadlessBackend::FrameInsets(BorderStyle style) const {
  // Classic metrics: 4-pixel frame plus padding, 22-pixel title bar.
  if (style == BorderStyle::None) return {};
  return {8, 30, 8, 8};
}

Size HeadlessBackend::MeasureText(const Form&, const std::string& text, int maxWidth) const {
  // 6 x 13 pixels per byte-wide character cell.
  constexpr int kCell = 6, kLine = 13;
  int lines = 0, widest = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    int width = static_cast<int>(end - start) * kCell;
    int wrapped = maxWidth > 0 ? std::max(1, (width + maxWidth - 1) / maxWidth) : 1;
    lines += wrapped;
    widest = std::max(widest, maxWidth > 0 ? std::min(width, maxWidth) : width);
    start = end + 1;
  }
  return {widest, lines * kLine};
}

bool HeadlessBackend::Terminated() const { return app_ && app_->Terminated(); }

HeadlessBackend::TimerSlot* HeadlessBackend::NextDue(std::uint64_t limit) {
  TimerSlot* next = nullptr;
  for (TimerSlot* slot : timers_)
    if (slot->armed && slot->due <= limit && (!next || slot->due < next->due)) next = slot;
  return next;
}

void HeadlessBackend::FireDueTimers(std::uint64_t end) {
  while (!Terminated()) {
    TimerSlot* slot = NextDue(end);
    if (!slot) break;
    now_ = slot->due;
    slot->due = now_ + slot->timer->Interval();
    slot->timer->Fire();  // may destroy or re-arm timers
  }
}

void HeadlessBackend::RunFor(std::uint64_t ms) {
  const std::uint64_t end = now_ + ms;
  FireDueTimers(end);
  if (!Terminated()) now_ = std::max(now_, end);
}

// Ends when the application terminates, or when no timer is due within the limit: then
// nothing could happen any more.
void HeadlessBackend::RunLoop() { FireDueTimers(now_ + runLimit_); }

void HeadlessBackend::RunModal(Form& form) {
  if (modalHandler_) {
    auto handler = modalHandler_;
    handler(form);
  }
  if (form.GetModalResult() == ModalResult::None && !Terminated()) CloseForm(form);
}

void HeadlessBackend::ProcessMessages() {
  ++processCalls_;
  if (processHook_) processHook_();
}

ModalResult HeadlessBackend::NextAnswer(MessageButtons buttons) {
  if (!answers_.empty()) {
    ModalResult answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  switch (buttons) {
    case MessageButtons::Ok:
    case MessageButtons::OkCancel:
      return ModalResult::Ok;
    default:
      return ModalResult::Yes;
  }
}

void HeadlessBackend::Record(MessageRecord::Kind kind, Form* owner, const MessageRequest* message,
                             const InputRequest* input, const std::string& initialText) {
  MessageRecord record;
  record.kind = kind;
  record.owner = owner;
  if (message) record.request = *message;
  if (input) record.input = *input;
  record.initialText = initialText;
  messages_.push_back(std::move(record));
}

ModalResult HeadlessBackend::ShowMessageBox(Form* owner, const MessageRequest& request) {
  Record(MessageRecord::Kind::Box, owner, &request, nullptr, {});
  return NextAnswer(request.buttons);
}

ModalResult HeadlessBackend::ShowMessageDialog(Form* owner, const MessageRequest& request) {
  Record(MessageRecord::Kind::Dialog, owner, &request, nullptr, {});
  return NextAnswer(request.buttons);
}

void HeadlessBackend::QueueUnicodeInput(std::string_view utf8) {
  Entry entry;
  entry.text = platform::Utf8ToCp936(utf8, &entry.exact);
  inputs_.push_back(std::move(entry));
}

bool HeadlessBackend::ShowInputDialog(Form* owner, const InputRequest& request, std::string& value, bool& exact) {
  Record(MessageRecord::Kind::Input, owner, nullptr, &request, value);
  if (inputs_.empty()) return false;
  std::optional<Entry> entry = std::move(inputs_.front());
  inputs_.pop_front();
  if (!entry) return false;
  value = entry->text;
  exact = entry->exact;
  return true;
}

// ---- user actions ----

bool Reachable(const Control& control) {
  if (!control.Showing()) return false;
  for (const Control* c = &control; c; c = c->Parent())
    if (!c->Enabled()) return false;
  Form& form = control.OwnerForm();
  Form* active = form.App().ActiveForm();
  // Behind a modal form every other form is disabled.
  return !active || !active->IsModal() || active == &form;
}

bool Click(Control& control) {
  if (!Reachable(control)) return false;
  Application& app = control.OwnerForm().App();
  if (auto* button = dynamic_cast<Button*>(&control)) {
    app.Dispatch([button] { button->Click(); });
    return true;
  }
  if (auto* link = dynamic_cast<LinkLabel*>(&control)) {
    app.Dispatch([link] { link->Click(); });
    return true;
  }
  return false;
}

namespace {

bool TypeText(Edit& edit, const std::string& text, bool exact) {
  if (!Reachable(edit)) return false;
  std::string accepted = text;
  if (edit.MaxLength() > 0 && accepted.size() > static_cast<std::size_t>(edit.MaxLength())) {
    // Cut before the character that does not fit whole.
    std::size_t i = 0, limit = static_cast<std::size_t>(edit.MaxLength());
    while (i < accepted.size()) {
      unsigned char c = static_cast<unsigned char>(accepted[i]);
      std::size_t len = platform::IsLeadByte(c) && i + 1 < accepted.size() ? 2 : 1;
      if (i + len > limit) break;
      i += len;
    }
    accepted.resize(i);
  }
  edit.OwnerForm().App().Dispatch([&] { edit.SetTextFromUser(accepted, exact); });
  return true;
}

}  // namespace

bool Type(Edit& edit, const std::string& text) { return TypeText(edit, text, true); }

bool TypeUnicode(Edit& edit, std::string_view utf8) {
  bool exact = true;
  const std::string text = platform::Utf8ToCp936(utf8, &exact);
  return TypeText(edit, text, exact);
}

bool SetCheck(ListView& list, int index, bool checked) {
  if (!Reachable(list) || !list.CheckBoxes() || index < 0 || index >= list.Count()) return false;
  list.OwnerForm().App().Dispatch([&] { list.SetCheckedFromUser(index, checked); });
  return true;
}

bool Hover(LinkLabel& link, bool inside) {
  if (!link.Showing()) return false;
  link.SetHot(inside);
  return true;
}

bool PressMouse(HeaderPanel& panel, int x, int y) {
  if (!Reachable(panel) || !panel.OnMouseDown) return false;
  auto handler = panel.OnMouseDown;
  panel.OwnerForm().App().Dispatch([&] { handler(x, y); });
  return true;
}

bool CloseForm(Form& form) {
  if (!form.Visible()) return false;
  Form* active = form.App().ActiveForm();
  if (active && active->IsModal() && active != &form) return false;
  form.App().Dispatch([&form] { form.Close(); });
  return true;
}

bool FireTimer(Timer& timer) {
  if (!timer.Enabled() || !timer.OnTimer) return false;
  timer.Fire();
  return true;
}

}  // namespace ui::headless
