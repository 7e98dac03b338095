// The framework's own window classes: plain panel, header panel, information panel and link
// label, and the routing that lets group boxes hold working controls.
#include "ui/Controls.h"
#include "ui/win32/Win32Internal.h"

#include <commctrl.h>
#include <windowsx.h>

namespace ui::win32 {

namespace {

COLORREF ToColorRef(std::uint32_t rgb) {
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

void DrawTextIn(HDC dc, HWND hwnd, RECT r, UINT format, COLORREF color) {
  Control* control = ControlFromHwnd(hwnd);
  if (!control) return;
  std::wstring text = Wide(control->Text());
  HGDIOBJ old = SelectObject(dc, FontOf(control->OwnerForm()));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, IsWindowEnabled(hwnd) ? color : GetSysColor(COLOR_GRAYTEXT));
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format | DT_NOPREFIX);
  SelectObject(dc, old);
}

// Paints the whole window on the face colour; `draw` adds what the class shows on it.
template <class Draw>
LRESULT PaintOnFace(HWND hwnd, Draw draw) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT r;
  GetClientRect(hwnd, &r);
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  draw(dc, r);
  EndPaint(hwnd, &ps);
  return 0;
}

// Windows that draw their own text repaint when it changes.
LRESULT SetTextAndRepaint(HWND hwnd, WPARAM wParam, LPARAM lParam) {
  LRESULT r = DefWindowProcW(hwnd, WM_SETTEXT, wParam, lParam);
  InvalidateRect(hwnd, nullptr, FALSE);
  return r;
}

LRESULT CALLBACK PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (RouteChildMessage(message, wParam, lParam, result)) return result;
  if (message == WM_PAINT) {
    return PaintOnFace(hwnd, [hwnd](HDC dc, RECT r) {
      auto* panel = dynamic_cast<Panel*>(ControlFromHwnd(hwnd));
      if (panel && panel->Bevel()) DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
    });
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK HeaderPanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (RouteChildMessage(message, wParam, lParam, result)) return result;
  auto* panel = dynamic_cast<HeaderPanel*>(ControlFromHwnd(hwnd));
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      return PaintOnFace(hwnd, [hwnd, panel](HDC dc, RECT r) {
        if (!panel) return;
        RECT head = r;
        head.bottom = head.top + panel->HeaderHeight();
        if (head.bottom > r.bottom) head.bottom = r.bottom;
        FillRect(dc, &head, GetSysColorBrush(COLOR_ACTIVECAPTION));
        RECT line = head;
        line.top = head.bottom - 1;
        FillRect(dc, &line, GetSysColorBrush(COLOR_BTNSHADOW));
        head.left += 6;
        head.right -= 4;
        DrawTextIn(dc, hwnd, head, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS,
                   GetSysColor(COLOR_CAPTIONTEXT));
      });
    case WM_SETTEXT:
      return SetTextAndRepaint(hwnd, wParam, lParam);
    case WM_LBUTTONDOWN:
      if (panel && panel->OnMouseDown) {
        int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
        Guarded([panel, x, y] {
          auto handler = panel->OnMouseDown;
          panel->OwnerForm().App().Dispatch([&handler, x, y] { handler(x, y); });
        });
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK InfoPanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      return PaintOnFace(hwnd, [hwnd](HDC dc, RECT r) {
        DrawIconEx(dc, 4, 4, LoadIconW(nullptr, IDI_INFORMATION), 16, 16, 0, nullptr, DI_NORMAL);
        r.left += 26;
        r.top += 4;
        r.right -= 4;
        DrawTextIn(dc, hwnd, r, DT_WORDBREAK | DT_LEFT, GetSysColor(COLOR_WINDOWTEXT));
      });
    case WM_SETTEXT:
      return SetTextAndRepaint(hwnd, wParam, lParam);
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void ClickLink(HWND hwnd) {
  auto* link = dynamic_cast<LinkLabel*>(ControlFromHwnd(hwnd));
  if (!link || !IsWindowEnabled(hwnd)) return;
  Guarded([link] { link->OwnerForm().App().Dispatch([link] { link->Click(); }); });
}

LRESULT CALLBACK LinkLabelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* link = dynamic_cast<LinkLabel*>(ControlFromHwnd(hwnd));
  switch (message) {
    case WM_PAINT:
      return PaintOnFace(hwnd, [hwnd, link](HDC dc, RECT r) {
        DrawTextIn(dc, hwnd, r, DT_SINGLELINE | DT_LEFT,
                   ToColorRef(link ? link->TextColor() : kLinkColor));
      });
    case WM_SETTEXT:
      return SetTextAndRepaint(hwnd, wParam, lParam);
    case WM_MOUSEMOVE:
      if (link && !link->Hot()) {
        Guarded([link] { link->SetHot(true); });
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd, 0};
        TrackMouseEvent(&track);
      }
      return 0;
    case WM_MOUSELEAVE:
      if (link) Guarded([link] { link->SetHot(false); });
      return 0;
    case WM_SETCURSOR:
      SetCursor(LoadCursorW(nullptr, IDC_HAND));
      return TRUE;
    case WM_LBUTTONDOWN:
      SetCapture(hwnd);
      return 0;
    case WM_LBUTTONUP: {
      if (GetCapture() == hwnd) ReleaseCapture();
      POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      RECT r;
      GetClientRect(hwnd, &r);
      if (PtInRect(&r, p)) ClickLink(hwnd);
      return 0;
    }
    case BM_CLICK:
      ClickLink(hwnd);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK ContainerSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR) {
  LRESULT result = 0;
  if (RouteChildMessage(message, wParam, lParam, result)) return result;
  if (message == WM_ERASEBKGND) {
    // The group box paints only its frame and caption; the inside is ours to fill.
    RECT r;
    GetClientRect(hwnd, &r);
    FillRect(reinterpret_cast<HDC>(wParam), &r, GetSysColorBrush(COLOR_BTNFACE));
    return 1;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

void Register(HINSTANCE instance, const wchar_t* name, WNDPROC proc, UINT style) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = style;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name;
  if (proc == FormWindowProcedure()) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  RegisterClassExW(&wc);
}

}  // namespace

void SubclassContainer(HWND hwnd) {
  if (hwnd) SetWindowSubclass(hwnd, ContainerSubclassProc, 1, 0);
}

void RegisterWindowClasses(HINSTANCE instance) {
  Register(instance, kFormClass, FormWindowProcedure(), CS_DBLCLKS);
  Register(instance, kPanelClass, PanelProc, CS_HREDRAW | CS_VREDRAW);
  Register(instance, kHeaderPanelClass, HeaderPanelProc, CS_HREDRAW | CS_VREDRAW);
  Register(instance, kInfoPanelClass, InfoPanelProc, CS_HREDRAW | CS_VREDRAW);
  Register(instance, kLinkLabelClass, LinkLabelProc, CS_HREDRAW | CS_VREDRAW);
}

}  // namespace ui::win32
