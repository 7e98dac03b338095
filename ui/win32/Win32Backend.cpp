#include "ui/win32/Win32Backend.h"

#include "ui/win32/Win32Internal.h"

#include <commctrl.h>

#include <map>
#include <vector>

#include "platform/Text.h"
#include "ui/Timer.h"

namespace ui::win32 {

std::wstring Wide(const std::string& cp936) {
  std::u16string u = platform::Cp936ToUtf16(cp936);
  return std::wstring(u.begin(), u.end());
}

std::string Narrow(const wchar_t* text, int length, bool* exact) {
  std::u16string u = length < 0 ? std::u16string(reinterpret_cast<const char16_t*>(text))
                                : std::u16string(reinterpret_cast<const char16_t*>(text),
                                                 static_cast<std::size_t>(length));
  return platform::Utf16ToCp936(u, exact);
}

std::string WindowTextOf(HWND hwnd, bool* exact) {
  if (exact) *exact = true;
  int length = GetWindowTextLengthW(hwnd);
  if (length <= 0) return {};
  std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
  int got = GetWindowTextW(hwnd, buffer.data(), length + 1);
  return Narrow(buffer.c_str(), got < 0 ? 0 : got, exact);
}

DWORD FormStyle(BorderStyle style) {
  switch (style) {
    case BorderStyle::Normal:
      return WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    case BorderStyle::SystemMenu:
      return WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    case BorderStyle::None:
      break;
  }
  return WS_POPUP | WS_CLIPCHILDREN;
}

DWORD FormExStyle(BorderStyle style) {
  return style == BorderStyle::SystemMenu ? WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT
                                          : WS_EX_CONTROLPARENT;
}

class Win32Backend;

namespace {

// Timers live on one message-only window; the timer identifier finds the model timer.
class TimerPeer final : public Peer {
 public:
  TimerPeer(HWND window, UINT_PTR id, Timer& timer, std::map<UINT_PTR, Timer*>& registry)
      : window_(window), id_(id), timer_(timer), registry_(registry) {
    registry_[id_] = &timer_;
    Update(Change::Timer, -1);
  }
  ~TimerPeer() override {
    KillTimer(window_, id_);
    registry_.erase(id_);
  }
  void Update(Change, int) override {
    KillTimer(window_, id_);
    if (timer_.Enabled() && timer_.Interval() > 0) SetTimer(window_, id_, timer_.Interval(), nullptr);
  }

 private:
  HWND window_;
  UINT_PTR id_;
  Timer& timer_;
  std::map<UINT_PTR, Timer*>& registry_;
};

LRESULT CALLBACK TimerWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

ModalResult FromDialogCode(int code) {
  switch (code) {
    case IDOK: return ModalResult::Ok;
    case IDCANCEL: return ModalResult::Cancel;
    case IDYES: return ModalResult::Yes;
    case IDNO: return ModalResult::No;
    case IDABORT: return ModalResult::Abort;
    case IDRETRY: return ModalResult::Retry;
    case IDIGNORE: return ModalResult::Ignore;
    default: return ModalResult::Cancel;
  }
}

UINT IconFlags(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Error: return MB_ICONERROR;
    case MessageIcon::Warning: return MB_ICONWARNING;
    case MessageIcon::Information: return MB_ICONINFORMATION;
    case MessageIcon::Question: return MB_ICONQUESTION;
    case MessageIcon::None: break;
  }
  return 0;
}

UINT ButtonFlags(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::OkCancel: return MB_OKCANCEL;
    case MessageButtons::YesNo: return MB_YESNO;
    case MessageButtons::YesNoCancel: return MB_YESNOCANCEL;
    default: return MB_OK;
  }
}

}  // namespace

class Win32Backend final : public Backend {
 public:
  Win32Backend() {
    instance_ = GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS |
                                              ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    RegisterWindowClasses(instance_);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = TimerWindowProc;
    wc.hInstance = instance_;
    wc.lpszClassName = kTimerWindowClass;
    RegisterClassExW(&wc);
    timerWindow_ = CreateWindowExW(0, kTimerWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   instance_, nullptr);
    SetWindowLongPtrW(timerWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }

  ~Win32Backend() override {
    if (timerWindow_) DestroyWindow(timerWindow_);
  }

  void Attach(Application& app) override { app_ = &app; }

  std::unique_ptr<Peer> CreatePeer(Control& control) override {
    if (control.Kind() == ControlKind::Form) return CreateFormPeer(*this, static_cast<Form&>(control));
    return CreateControlPeer(*this, control);
  }

  std::unique_ptr<Peer> CreateTimerPeer(Timer& timer) override {
    return std::make_unique<TimerPeer>(timerWindow_, nextTimerId_++, timer, timers_);
  }

  Insets FrameInsets(BorderStyle style) const override {
    RECT r{0, 0, 0, 0};
    AdjustWindowRectEx(&r, FormStyle(style), FALSE, FormExStyle(style));
    return {-r.left, -r.top, r.right, r.bottom};
  }

  Rect DesktopArea() const override {
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }

  Size MeasureText(const Form& form, const std::string& text, int maxWidth) const override {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, FontOf(form));
    std::wstring wide = Wide(text);
    RECT r{0, 0, maxWidth > 0 ? maxWidth : 10000, 0};
    UINT flags = DT_CALCRECT | DT_NOPREFIX | (maxWidth > 0 ? DT_WORDBREAK : 0);
    DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &r, flags);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return {r.right - r.left, r.bottom - r.top};
  }

  void RunLoop() override {
    MSG msg;
    while (!app_->Terminated()) {
      BOOL got = GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0 || got == -1) break;
      Deliver(msg);
    }
  }

  void RunModal(Form& form) override {
    HWND self = HandleOf(&form);
    // Every other window of the program is disabled while the form is modal.
    std::vector<HWND> disabled;
    std::pair<HWND, std::vector<HWND>*> search{self, &disabled};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM param) -> BOOL {
          auto* list = reinterpret_cast<std::pair<HWND, std::vector<HWND>*>*>(param);
          if (hwnd != list->first && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
            EnableWindow(hwnd, FALSE);
            list->second->push_back(hwnd);
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (self) SetForegroundWindow(self);

    MSG msg;
    while (form.GetModalResult() == ModalResult::None && !app_->Terminated() &&
           form.Visible()) {
      BOOL got = GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0 || got == -1) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      Deliver(msg);
    }
    for (HWND hwnd : disabled) EnableWindow(hwnd, TRUE);
    if (!disabled.empty() && self && GetActiveWindow() == self) SetActiveWindow(disabled.front());
  }

  void ProcessMessages() override {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        app_->Terminate();
        break;
      }
      Deliver(msg);
    }
  }

  void Quit() override {
    if (quitPosted_) return;
    quitPosted_ = true;
    PostQuitMessage(0);
  }

  ModalResult ShowMessageBox(Form* owner, const MessageRequest& request) override {
    if (request.buttons == MessageButtons::YesNoAll) return ShowMessageDialog(owner, request);
    std::wstring text = Wide(request.text), caption = Wide(request.caption);
    int code = MessageBoxW(OwnerWindow(owner), text.c_str(), caption.c_str(),
                           IconFlags(request.icon) | ButtonFlags(request.buttons));
    return FromDialogCode(code);
  }

  ModalResult ShowMessageDialog(Form* owner, const MessageRequest& request) override {
    return RunMessageDialogForm(*app_, owner, request);
  }

  bool ShowInputDialog(Form* owner, const InputRequest& request, std::string& value, bool& exact) override {
    return RunInputDialogForm(*app_, owner, request, value, exact);
  }

  void FireTimer(UINT_PTR id) {
    auto it = timers_.find(id);
    if (it != timers_.end()) it->second->Fire();
  }

 private:
  // Keyboard navigation (Tab, Enter, Esc) inside forms, then the usual dispatch.
  void Deliver(MSG& msg) {
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root && ControlFromHwnd(root) && IsDialogMessageW(root, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }

  HWND OwnerWindow(Form* owner) const {
    HWND hwnd = HandleOf(owner);
    return hwnd && IsWindowVisible(hwnd) ? hwnd : nullptr;
  }

  Application* app_ = nullptr;
  HINSTANCE instance_ = nullptr;
  HWND timerWindow_ = nullptr;
  std::map<UINT_PTR, Timer*> timers_;
  UINT_PTR nextTimerId_ = 1;
  bool quitPosted_ = false;
};

namespace {

LRESULT CALLBACK TimerWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER) {
    auto* backend = reinterpret_cast<Win32Backend*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (backend) {
      try {
        backend->FireTimer(wParam);
      } catch (...) {
        // Timer handlers report their own errors; nothing may unwind into the system.
      }
    }
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

std::unique_ptr<Backend> CreateWin32Backend() { return std::make_unique<Win32Backend>(); }

}  // namespace ui::win32
