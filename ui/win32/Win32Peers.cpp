// Peers of the child controls: standard controls and common controls, and the routing of
// their notifications back to the model.
#include "ui/Controls.h"
#include "ui/ListView.h"
#include "ui/win32/Win32Internal.h"

#include <commctrl.h>
#include <windowsx.h>

namespace ui::win32 {

HwndPeer::~HwndPeer() {
  if (hwnd_ && IsWindow(hwnd_)) {
    RemovePropW(hwnd_, kIdProperty);
    RemovePropW(hwnd_, kObjectProperty);
    DestroyWindow(hwnd_);
  }
}

void HwndPeer::Attach(HWND hwnd) {
  hwnd_ = hwnd;
  if (!hwnd_) return;
  SetPropW(hwnd_, kIdProperty, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(control_.Id())));
  SetPropW(hwnd_, kObjectProperty, reinterpret_cast<HANDLE>(&control_));
}

void HwndPeer::ApplyCommon(Change what) {
  if (!hwnd_) return;
  switch (what) {
    case Change::Text: {
      SyncScope sync(*this);
      SetWindowTextW(hwnd_, Wide(control_.Text()).c_str());
      InvalidateRect(hwnd_, nullptr, TRUE);
      break;
    }
    case Change::Bounds: {
      if (Syncing()) break;
      const Rect& r = control_.Bounds();
      SyncScope sync(*this);
      SetWindowPos(hwnd_, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
      break;
    }
    case Change::Visible:
      ShowWindow(hwnd_, control_.Visible() ? SW_SHOWNA : SW_HIDE);
      break;
    case Change::Enabled:
      EnableWindow(hwnd_, control_.Enabled() ? TRUE : FALSE);
      InvalidateRect(hwnd_, nullptr, TRUE);
      break;
    case Change::Font:
      SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(control_.OwnerForm())), TRUE);
      break;
    case Change::Repaint:
      RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
      break;
    default:
      InvalidateRect(hwnd_, nullptr, TRUE);
      break;
  }
}

Control* ControlFromHwnd(HWND hwnd) {
  return hwnd ? static_cast<Control*>(GetPropW(hwnd, kObjectProperty)) : nullptr;
}

HwndPeer* PeerOf(const Control& control) { return dynamic_cast<HwndPeer*>(control.GetPeer()); }

HWND HandleOf(const Control* control) {
  HwndPeer* peer = control ? PeerOf(*control) : nullptr;
  return peer ? peer->Handle() : nullptr;
}

void Guarded(const std::function<void()>& fn) {
  try {
    fn();
  } catch (...) {
    // Handlers report their own errors through the application; this only keeps exceptions
    // from unwinding through the window system.
  }
}

namespace {

void ApplyIcon(HWND hwnd, MessageIcon icon) {
  LPCWSTR id = nullptr;
  switch (icon) {
    case MessageIcon::Error: id = IDI_ERROR; break;
    case MessageIcon::Warning: id = IDI_WARNING; break;
    case MessageIcon::Information: id = IDI_INFORMATION; break;
    case MessageIcon::Question: id = IDI_QUESTION; break;
    case MessageIcon::None: break;
  }
  SendMessageW(hwnd, STM_SETICON, reinterpret_cast<WPARAM>(id ? LoadIconW(nullptr, id) : nullptr), 0);
}

class ChildPeer : public HwndPeer {
 public:
  ChildPeer(Win32Backend& backend, Control& control) : HwndPeer(backend, control) {}

  void Create(const wchar_t* windowClass, DWORD style, DWORD exStyle) {
    const Rect& r = control_.Bounds();
    style |= WS_CHILD | WS_CLIPSIBLINGS;
    if (control_.Visible()) style |= WS_VISIBLE;
    if (!control_.Enabled()) style |= WS_DISABLED;
    std::wstring text = Wide(control_.Text());
    HWND hwnd = CreateWindowExW(exStyle, windowClass, text.c_str(), style, r.left, r.top, r.width,
                                r.height, HandleOf(control_.Parent()),
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(control_.Id())),
                                GetModuleHandleW(nullptr), nullptr);
    Attach(hwnd);
    if (hwnd_) SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(control_.OwnerForm())), FALSE);
  }

  void Update(Change what, int) override { ApplyCommon(what); }
};

class EditPeer final : public ChildPeer {
 public:
  EditPeer(Win32Backend& backend, Edit& edit) : ChildPeer(backend, edit), edit_(edit) {
    Create(L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP | (edit.PasswordChar() ? ES_PASSWORD : 0),
           WS_EX_CLIENTEDGE);
    ApplyStyle();
  }
  void Update(Change what, int index) override {
    if (what == Change::Style)
      ApplyStyle();
    else
      ChildPeer::Update(what, index);
  }

 private:
  void ApplyStyle() {
    if (!hwnd_) return;
    SendMessageW(hwnd_, EM_SETPASSWORDCHAR, static_cast<WPARAM>(static_cast<unsigned char>(edit_.PasswordChar())), 0);
    SendMessageW(hwnd_, EM_LIMITTEXT, static_cast<WPARAM>(edit_.MaxLength() > 0 ? edit_.MaxLength() : 0), 0);
    InvalidateRect(hwnd_, nullptr, TRUE);
  }
  Edit& edit_;
};

class ButtonPeer final : public ChildPeer {
 public:
  ButtonPeer(Win32Backend& backend, Button& button) : ChildPeer(backend, button), button_(button) {
    Create(L"BUTTON", WS_TABSTOP | (button.IsDefault() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0);
  }
  void Update(Change what, int index) override {
    if (what == Change::Style)
      SendMessageW(hwnd_, BM_SETSTYLE, button_.IsDefault() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
    else
      ChildPeer::Update(what, index);
  }

 private:
  Button& button_;
};

class ProgressPeer final : public ChildPeer {
 public:
  ProgressPeer(Win32Backend& backend, ProgressBar& bar) : ChildPeer(backend, bar), bar_(bar) {
    Create(PROGRESS_CLASSW, 0, 0);
    ApplyProgress();
  }
  void Update(Change what, int index) override {
    if (what == Change::Progress)
      ApplyProgress();
    else
      ChildPeer::Update(what, index);
  }

 private:
  void ApplyProgress() {
    SendMessageW(hwnd_, PBM_SETRANGE32, static_cast<WPARAM>(bar_.Min()), static_cast<LPARAM>(bar_.Max()));
    SendMessageW(hwnd_, PBM_SETPOS, static_cast<WPARAM>(bar_.Position()), 0);
  }
  ProgressBar& bar_;
};

class ImagePeer final : public ChildPeer {
 public:
  ImagePeer(Win32Backend& backend, Image& image) : ChildPeer(backend, image), image_(image) {
    Create(L"STATIC", SS_ICON, 0);
    ApplyIcon(hwnd_, image_.Icon());
  }
  void Update(Change what, int index) override {
    if (what == Change::Style)
      ApplyIcon(hwnd_, image_.Icon());
    else if (what != Change::Text)
      ChildPeer::Update(what, index);
  }

 private:
  Image& image_;
};

class ListViewPeer final : public ChildPeer {
 public:
  ListViewPeer(Win32Backend& backend, ListView& list) : ChildPeer(backend, list), list_(list) {
    Create(WC_LISTVIEWW, LVS_REPORT | LVS_SHOWSELALWAYS | WS_TABSTOP, WS_EX_CLIENTEDGE);
    SyncScope sync(*this);
    ApplyStyle();
    RebuildColumns();
    for (int i = 0; i < list_.Count(); ++i) InsertRow(i);
  }

  void Update(Change what, int index) override {
    SyncScope sync(*this);
    switch (what) {
      case Change::Style: ApplyStyle(); break;
      case Change::ListColumns: RebuildColumns(); break;
      case Change::ListCleared: SendMessageW(hwnd_, LVM_DELETEALLITEMS, 0, 0); break;
      case Change::ListItemAdded: InsertRow(index); break;
      case Change::ListItemChanged: SetRowTexts(index); SetCheck(index); break;
      case Change::ListItemsChecks:
        for (int i = 0; i < list_.Count(); ++i) SetCheck(i);
        break;
      default: ChildPeer::Update(what, index); break;
    }
  }

 private:
  void ApplyStyle() {
    DWORD ex = (list_.CheckBoxes() ? LVS_EX_CHECKBOXES : 0) | (list_.GridLines() ? LVS_EX_GRIDLINES : 0) |
               (list_.RowSelect() ? LVS_EX_FULLROWSELECT : 0);
    SendMessageW(hwnd_, LVM_SETEXTENDEDLISTVIEWSTYLE,
                 LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT, ex);
  }

  void RebuildColumns() {
    while (SendMessageW(hwnd_, LVM_DELETECOLUMN, 0, 0)) {
    }
    int i = 0;
    for (const ListColumn& column : list_.Columns()) {
      std::wstring caption = Wide(column.caption);
      LVCOLUMNW c{};
      c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
      c.pszText = caption.data();
      c.cx = column.width;
      c.iSubItem = i;
      SendMessageW(hwnd_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&c));
      ++i;
    }
  }

  void InsertRow(int index) {
    if (index < 0 || index >= list_.Count()) return;
    std::wstring caption = Wide(list_.Item(index).caption);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = caption.data();
    SendMessageW(hwnd_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    SetRowTexts(index);
    SetCheck(index);
  }

  void SetRowTexts(int index) {
    if (index < 0 || index >= list_.Count()) return;
    const ListItem& row = list_.Item(index);
    for (std::size_t s = 0; s <= row.subItems.size(); ++s) {
      std::wstring text = Wide(s == 0 ? row.caption : row.subItems[s - 1]);
      LVITEMW item{};
      item.iSubItem = static_cast<int>(s);
      item.pszText = text.data();
      SendMessageW(hwnd_, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    }
  }

  void SetCheck(int index) {
    if (!list_.CheckBoxes() || index < 0 || index >= list_.Count()) return;
    LVITEMW item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(list_.Checked(index) ? 2 : 1);
    SendMessageW(hwnd_, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  }

  ListView& list_;
};

}  // namespace

std::unique_ptr<Peer> CreateControlPeer(Win32Backend& backend, Control& control) {
  switch (control.Kind()) {
    case ControlKind::Edit:
      return std::make_unique<EditPeer>(backend, static_cast<Edit&>(control));
    case ControlKind::Button:
      return std::make_unique<ButtonPeer>(backend, static_cast<Button&>(control));
    case ControlKind::ProgressBar:
      return std::make_unique<ProgressPeer>(backend, static_cast<ProgressBar&>(control));
    case ControlKind::Image:
      return std::make_unique<ImagePeer>(backend, static_cast<Image&>(control));
    case ControlKind::ListView:
      return std::make_unique<ListViewPeer>(backend, static_cast<ListView&>(control));
    default:
      break;
  }
  auto peer = std::make_unique<ChildPeer>(backend, control);
  switch (control.Kind()) {
    case ControlKind::HeaderPanel:
      peer->Create(kHeaderPanelClass, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT);
      break;
    case ControlKind::Panel:
      peer->Create(kPanelClass, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT);
      break;
    case ControlKind::GroupBox:
      peer->Create(L"BUTTON", BS_GROUPBOX, WS_EX_CONTROLPARENT);
      SubclassContainer(peer->Handle());
      break;
    case ControlKind::InfoPanel:
      peer->Create(kInfoPanelClass, 0, 0);
      break;
    case ControlKind::LinkLabel:
      peer->Create(kLinkLabelClass, 0, 0);
      break;
    default:  // static texts and labels
      peer->Create(L"STATIC", SS_LEFT | SS_NOPREFIX, 0);
      break;
  }
  return peer;
}

bool RouteChildMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN) {
    // Texts and group box captions sit on the face colour of their container.
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    return true;
  }
  if (message == WM_COMMAND && lParam) {
    HWND child = reinterpret_cast<HWND>(lParam);
    Control* control = ControlFromHwnd(child);
    if (!control) return false;
    WORD code = HIWORD(wParam);
    if (control->Kind() == ControlKind::Button && code == BN_CLICKED) {
      auto* button = static_cast<Button*>(control);
      Guarded([button] { button->OwnerForm().App().Dispatch([button] { button->Click(); }); });
      result = 0;
      return true;
    }
    if (control->Kind() == ControlKind::Edit && code == EN_CHANGE) {
      HwndPeer* peer = PeerOf(*control);
      if (peer && !peer->Syncing()) {
        auto* edit = static_cast<Edit*>(control);
        Guarded([edit, child] {
          bool exact = true;
          std::string text = WindowTextOf(child, &exact);
          edit->OwnerForm().App().Dispatch([edit, &text, exact] { edit->SetTextFromUser(text, exact); });
        });
      }
      result = 0;
      return true;
    }
    return false;
  }
  if (message == WM_NOTIFY && lParam) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    Control* control = ControlFromHwnd(header->hwndFrom);
    if (!control || control->Kind() != ControlKind::ListView) return false;
    if (header->code == LVN_ITEMCHANGED) {
      auto* change = reinterpret_cast<NMLISTVIEW*>(lParam);
      HwndPeer* peer = PeerOf(*control);
      if (peer && !peer->Syncing() && change->iItem >= 0 && (change->uChanged & LVIF_STATE) &&
          ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK)) {
        auto* list = static_cast<ListView*>(control);
        int index = change->iItem;
        bool checked = ((change->uNewState & LVIS_STATEIMAGEMASK) >> 12) == 2;
        Guarded([list, index, checked] {
          list->OwnerForm().App().Dispatch([list, index, checked] { list->SetCheckedFromUser(index, checked); });
        });
      }
      result = 0;
      return true;
    }
    return false;
  }
  return false;
}

}  // namespace ui::win32
