#include "ui/win32/Win32Inspect.h"

#include "ui/win32/Win32Internal.h"

#include <commctrl.h>

#include <vector>

namespace ui::win32 {

namespace {

std::u16string ToU16(const std::wstring& w) { return std::u16string(w.begin(), w.end()); }
std::wstring ToWide(const std::u16string& u) { return std::wstring(u.begin(), u.end()); }

std::u16string ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  int n = GetClassNameW(hwnd, name, 256);
  return ToU16(std::wstring(name, n > 0 ? static_cast<std::size_t>(n) : 0));
}

std::u16string TextOf(HWND hwnd) {
  int length = GetWindowTextLengthW(hwnd);
  std::wstring buffer(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
  int got = GetWindowTextW(hwnd, buffer.data(), length + 1);
  buffer.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return ToU16(buffer);
}

HWND FindTopLevel(const std::u16string& className, const std::u16string& caption) {
  struct Search {
    std::u16string cls, caption;
    HWND found = nullptr;
  } search{className, caption};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        if (!IsWindowVisible(hwnd)) return TRUE;
        if (!s->cls.empty() && ClassOf(hwnd) != s->cls) return TRUE;
        if (!s->caption.empty() && TextOf(hwnd) != s->caption) return TRUE;
        s->found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(
      parent,
      [](HWND hwnd, LPARAM param) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  return children;
}

bool SameClass(HWND hwnd, const wchar_t* name) {
  return CompareStringOrdinal(ToWide(ClassOf(hwnd)).c_str(), -1, name, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

WindowFacts FactsOf(const Control& control) {
  WindowFacts facts;
  HWND hwnd = HandleOf(&control);
  if (!hwnd || !IsWindow(hwnd)) return facts;
  facts.exists = true;
  facts.className = ClassOf(hwnd);
  facts.text = TextOf(hwnd);
  facts.dialogId = static_cast<int>(GetWindowLongPtrW(hwnd, GWLP_ID));
  facts.propertyId = static_cast<int>(reinterpret_cast<INT_PTR>(GetPropW(hwnd, kIdProperty)));
  facts.visible = (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
  facts.enabled = IsWindowEnabled(hwnd) != FALSE;
  facts.style = static_cast<unsigned long>(GetWindowLongPtrW(hwnd, GWL_STYLE));
  facts.exStyle = static_cast<unsigned long>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
  RECT r;
  GetWindowRect(hwnd, &r);
  if (HWND parent = GetParent(hwnd); parent && (facts.style & WS_CHILD))
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  facts.bounds = {r.left, r.top, r.right - r.left, r.bottom - r.top};
  return facts;
}

std::u16string OwnerClassOf(const Form& form) {
  HWND owner = GetWindow(HandleOf(&form), GW_OWNER);
  return owner ? ClassOf(owner) : std::u16string();
}

int ListRowCount(const ListView& list) {
  return static_cast<int>(SendMessageW(HandleOf(&list), LVM_GETITEMCOUNT, 0, 0));
}

std::u16string ListCellText(const ListView& list, int row, int column) {
  wchar_t buffer[512] = {};
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = 512;
  LRESULT n = SendMessageW(HandleOf(&list), LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                           reinterpret_cast<LPARAM>(&item));
  return ToU16(std::wstring(buffer, n > 0 ? static_cast<std::size_t>(n) : 0));
}

int ListStateImage(const ListView& list, int row) {
  LRESULT state = SendMessageW(HandleOf(&list), LVM_GETITEMSTATE, static_cast<WPARAM>(row),
                               LVIS_STATEIMAGEMASK);
  return static_cast<int>((state & LVIS_STATEIMAGEMASK) >> 12);
}

int ListColumnWidth(const ListView& list, int column) {
  return static_cast<int>(SendMessageW(HandleOf(&list), LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

void ToggleListCheckInWindow(const ListView& list, int row, bool checked) {
  LVITEMW item{};
  item.stateMask = LVIS_STATEIMAGEMASK;
  item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
  SendMessageW(HandleOf(&list), LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

char16_t PasswordCharOf(const Edit& edit) {
  return static_cast<char16_t>(SendMessageW(HandleOf(&edit), EM_GETPASSWORDCHAR, 0, 0));
}

void TypeInWindow(const Edit& edit, const std::u16string& text) {
  SetWindowTextW(HandleOf(&edit), ToWide(text).c_str());
}

int ProgressPositionOf(const ProgressBar& bar) {
  return static_cast<int>(SendMessageW(HandleOf(&bar), PBM_GETPOS, 0, 0));
}

void SendClick(const Control& control) { SendMessageW(HandleOf(&control), BM_CLICK, 0, 0); }

void SendLeftButtonUp(const Control& control, int x, int y) {
  SendMessageW(HandleOf(&control), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

void SendClose(const Form& form) { SendMessageW(HandleOf(&form), WM_CLOSE, 0, 0); }

bool ClickButtonInWindow(const std::u16string& className, const std::u16string& caption,
                         const std::u16string& button) {
  HWND window = FindTopLevel(className, caption);
  if (!window) return false;
  for (HWND child : ChildrenOf(window)) {
    if (SameClass(child, L"Button") && TextOf(child) == button) {
      // Posted, so that a dialog's own loop handles it as user input.
      PostMessageW(child, BM_CLICK, 0, 0);
      return true;
    }
  }
  return false;
}

bool SetEditInWindow(const std::u16string& className, const std::u16string& caption,
                     const std::u16string& text) {
  HWND window = FindTopLevel(className, caption);
  if (!window) return false;
  for (HWND child : ChildrenOf(window)) {
    if (SameClass(child, L"Edit")) {
      SetWindowTextW(child, ToWide(text).c_str());
      return true;
    }
  }
  return false;
}

std::u16string StaticTextInWindow(const std::u16string& className, const std::u16string& caption) {
  HWND window = FindTopLevel(className, caption);
  if (!window) return {};
  for (HWND child : ChildrenOf(window))
    if (SameClass(child, L"Static") && !(GetWindowLongPtrW(child, GWL_STYLE) & SS_ICON))
      if (std::u16string text = TextOf(child); !text.empty()) return text;
  return {};
}

}  // namespace ui::win32
