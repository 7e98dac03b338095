#pragma once
// Shared pieces of the Win32 backend: wide-text conversion, the peers' common base, the window
// classes and the routing of child notifications to the model.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "ui/Application.h"
#include "ui/Backend.h"
#include "ui/Control.h"
#include "ui/Form.h"

namespace ui::win32 {

class Win32Backend;

// Code page 936 <-> UTF-16, explicitly, whatever the system's ANSI code page is.
std::wstring Wide(const std::string& cp936);
// `exact` (when given): whether code page 936 holds every character.
std::string Narrow(const wchar_t* text, int length = -1, bool* exact = nullptr);
std::string WindowTextOf(HWND hwnd, bool* exact = nullptr);

// Window class names and property names the end-to-end driver relies on.
inline constexpr wchar_t kFormClass[] = L"ZelkForm";
inline constexpr wchar_t kPanelClass[] = L"ZelkPanel";
inline constexpr wchar_t kHeaderPanelClass[] = L"ZelkHeaderPanel";
inline constexpr wchar_t kInfoPanelClass[] = L"ZelkInfoPanel";
inline constexpr wchar_t kLinkLabelClass[] = L"ZelkLinkLabel";
inline constexpr wchar_t kTimerWindowClass[] = L"ZelkTimerWindow";
inline constexpr wchar_t kIdProperty[] = L"ZelkCtl";
inline constexpr wchar_t kObjectProperty[] = L"ZelkObj";

void RegisterWindowClasses(HINSTANCE instance);
WNDPROC FormWindowProcedure();
// Lets a standard container (the group box) pass its children's notifications to the model.
void SubclassContainer(HWND hwnd);

// Peer owning one window; the window carries a pointer to its model object.
class HwndPeer : public Peer {
 public:
  HwndPeer(Win32Backend& backend, Control& control) : backend_(backend), control_(control) {}
  ~HwndPeer() override;
  HWND Handle() const { return hwnd_; }
  void* NativeHandle() const override { return hwnd_; }
  Control& Model() const { return control_; }
  // Set while the peer pushes model state into the window, so that the notifications this
  // causes are not taken for user input.
  bool Syncing() const { return syncing_ > 0; }

 protected:
  void Attach(HWND hwnd);
  struct SyncScope {
    explicit SyncScope(HwndPeer& p) : peer(p) { ++peer.syncing_; }
    ~SyncScope() { --peer.syncing_; }
    HwndPeer& peer;
  };
  void ApplyCommon(Change what);  // text, bounds, visibility, enabled state, font

  Win32Backend& backend_;
  Control& control_;
  HWND hwnd_ = nullptr;
  int syncing_ = 0;
};

Control* ControlFromHwnd(HWND hwnd);
HwndPeer* PeerOf(const Control& control);
HWND HandleOf(const Control* control);
HFONT FontOf(const Form& form);

// WM_COMMAND and WM_NOTIFY from child controls, for forms and every container window.
bool RouteChildMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
// Runs model code from a window procedure: no exception may cross into the system.
void Guarded(const std::function<void()>& fn);

std::unique_ptr<Peer> CreateFormPeer(Win32Backend& backend, Form& form);
std::unique_ptr<Peer> CreateControlPeer(Win32Backend& backend, Control& control);

// Style bits of a form's window for its border style.
DWORD FormStyle(BorderStyle style);
DWORD FormExStyle(BorderStyle style);

ModalResult RunMessageDialogForm(Application& app, Form* owner, const MessageRequest& request);
bool RunInputDialogForm(Application& app, Form* owner, const InputRequest& request, std::string& value,
                        bool& exact);

}  // namespace ui::win32
