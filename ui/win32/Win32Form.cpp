// Form windows: creation, font choice, and the form's window procedure.
#include <algorithm>
#include <array>

#include "ui/Controls.h"
#include "ui/win32/Win32Internal.h"

namespace ui::win32 {

namespace {

int CALLBACK NoteFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FaceHasChinese(HDC dc, const std::wstring& face) {
  if (face.empty() || face.size() >= LF_FACESIZE) return false;
  LOGFONTW lf{};
  lf.lfCharSet = GB2312_CHARSET;
  std::copy(face.begin(), face.end(), lf.lfFaceName);
  bool found = false;
  EnumFontFamiliesExW(dc, &lf, NoteFound, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

// The requested face when it has Chinese glyphs, else the first installed Chinese face.
std::wstring ChooseFace(HDC dc, const std::wstring& wanted) {
  if (FaceHasChinese(dc, wanted)) return wanted;
  static const std::array<const wchar_t*, 7> kChinese = {
      L"SimSun", L"NSimSun", L"Microsoft YaHei", L"SimHei", L"WenQuanYi Micro Hei",
      L"WenQuanYi Zen Hei", L"Noto Sans CJK SC"};
  for (const wchar_t* face : kChinese)
    if (FaceHasChinese(dc, face)) return face;
  return L"SimSun";  // the font mapper picks a face with the character set
}

HFONT CreateFormFont(const Form& form) {
  HDC dc = GetDC(nullptr);
  std::wstring face = ChooseFace(dc, Wide(form.FontName()));
  int height = -MulDiv(form.FontSize(), GetDeviceCaps(dc, LOGPIXELSY), 72);
  ReleaseDC(nullptr, dc);
  return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, face.c_str());
}

class FormPeer final : public HwndPeer {
 public:
  FormPeer(Win32Backend& backend, Form& form) : HwndPeer(backend, form), form_(form) {
    font_ = CreateFormFont(form);
    HWND owner = nullptr;
    Form* main = form.App().MainForm();
    if (main && main != &form) owner = HandleOf(main);
    std::wstring caption = Wide(form.Caption());
    const Rect& r = form.Bounds();
    HWND hwnd = CreateWindowExW(FormExStyle(form.GetBorderStyle()), kFormClass, caption.c_str(),
                                FormStyle(form.GetBorderStyle()), r.left, r.top, r.width, r.height,
                                owner, nullptr, GetModuleHandleW(nullptr), nullptr);
    Attach(hwnd);
    if (form.Visible()) ShowWindow(hwnd_, SW_SHOW);
  }

  ~FormPeer() override {
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
    hwnd_ = nullptr;
    if (font_) DeleteObject(font_);
  }

  HFONT Font() const { return font_; }

  void Update(Change what, int) override {
    switch (what) {
      case Change::Visible:
        ShowWindow(hwnd_, form_.Visible() ? SW_SHOW : SW_HIDE);
        break;
      case Change::Style: {
        SyncScope sync(*this);
        DWORD style = FormStyle(form_.GetBorderStyle()) | (form_.Visible() ? WS_VISIBLE : 0);
        SetWindowLongPtrW(hwnd_, GWL_STYLE, static_cast<LONG_PTR>(style));
        SetWindowLongPtrW(hwnd_, GWL_EXSTYLE,
                          static_cast<LONG_PTR>(FormExStyle(form_.GetBorderStyle())));
        SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        break;
      }
      case Change::Font: {
        HFONT old = font_;
        font_ = CreateFormFont(form_);
        for (Control* c : form_.Controls())
          if (HWND child = HandleOf(c)) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
        if (old) DeleteObject(old);
        break;
      }
      case Change::BringToFront:
        if (form_.Visible()) SetForegroundWindow(hwnd_);
        break;
      case Change::MoveByCaption:
        ReleaseCapture();
        SendMessageW(hwnd_, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, 0);
        break;
      default:
        ApplyCommon(what);
        break;
    }
  }

  // The user moved the window: the model follows without echoing the move back.
  void Moved() {
    RECT r;
    // A minimised window reports a parking place far off the screen, not a position.
    if (Syncing() || IsIconic(hwnd_) || !GetWindowRect(hwnd_, &r)) return;
    SyncScope sync(*this);
    form_.SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
  }

 private:
  Form& form_;
  HFONT font_ = nullptr;
};

void ClickButton(Button* button) {
  if (!button || !button->Enabled() || !button->Visible()) return;
  button->OwnerForm().App().Dispatch([button] { button->Click(); });
}

LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Control* control = ControlFromHwnd(hwnd);
  if (!control || control->Kind() != ControlKind::Form)
    return DefWindowProcW(hwnd, message, wParam, lParam);
  Form& form = static_cast<Form&>(*control);
  LRESULT result = 0;
  if (RouteChildMessage(message, wParam, lParam, result)) return result;
  switch (message) {
    case WM_CLOSE:
      Guarded([&form] { form.App().Dispatch([&form] { form.Close(); }); });
      return 0;
    case WM_COMMAND:
      // Enter and Esc, from the dialog keyboard handling.
      if (lParam == 0 && LOWORD(wParam) == IDOK) {
        Guarded([&form] { ClickButton(form.DefaultButton()); });
        return 0;
      }
      if (lParam == 0 && LOWORD(wParam) == IDCANCEL) {
        // Only a form with a cancel button answers Esc; the others close by their close box.
        Guarded([&form] { ClickButton(form.CancelButton()); });
        return 0;
      }
      break;
    case WM_MOVE:
      if (auto* peer = dynamic_cast<FormPeer*>(form.GetPeer())) peer->Moved();
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

std::unique_ptr<Peer> CreateFormPeer(Win32Backend& backend, Form& form) {
  return std::make_unique<FormPeer>(backend, form);
}

HFONT FontOf(const Form& form) {
  if (auto* peer = dynamic_cast<FormPeer*>(form.GetPeer())) return peer->Font();
  return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

WNDPROC FormWindowProcedure() { return FormProc; }

}  // namespace ui::win32
