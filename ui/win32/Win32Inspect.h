#pragma once
// What the window system shows for the model, and user input sent the way Windows delivers it.
// For tests of the backend and for tools that drive the windows from inside the program.
#include <string>

#include "ui/Controls.h"
#include "ui/ListView.h"
#include "ui/Types.h"

namespace ui::win32 {

struct WindowFacts {
  bool exists = false;
  std::u16string className;
  std::u16string text;
  int dialogId = 0;    // GWLP_ID
  int propertyId = 0;  // the "ZelkCtl" window property
  bool visible = false;
  bool enabled = false;
  Rect bounds;  // relative to the parent's client area (screen for forms)
  unsigned long style = 0;
  unsigned long exStyle = 0;
};

WindowFacts FactsOf(const Control& control);
// The class of the window that owns the form's window ("" when none).
std::u16string OwnerClassOf(const Form& form);

int ListRowCount(const ListView& list);
std::u16string ListCellText(const ListView& list, int row, int column);
// 2 checked, 1 unchecked, 0 no check box.
int ListStateImage(const ListView& list, int row);
int ListColumnWidth(const ListView& list, int column);
// Sets a row's check box in the window, as a click on it does.
void ToggleListCheckInWindow(const ListView& list, int row, bool checked);

char16_t PasswordCharOf(const Edit& edit);
// Replaces the edit's text in the window, as typing does.
void TypeInWindow(const Edit& edit, const std::u16string& text);
int ProgressPositionOf(const ProgressBar& bar);

// BM_CLICK to a button or link label.
void SendClick(const Control& control);
// A left button release at client coordinates.
void SendLeftButtonUp(const Control& control, int x, int y);
// WM_CLOSE, as the close box sends it.
void SendClose(const Form& form);

// Top-level window of this thread with the class and caption (either may be empty to match
// any); presses its button captioned `button` (BM_CLICK). False when not found.
bool ClickButtonInWindow(const std::u16string& className, const std::u16string& caption,
                         const std::u16string& button);
// Sets the text of the first EDIT child of such a window.
bool SetEditInWindow(const std::u16string& className, const std::u16string& caption,
                     const std::u16string& text);
// Text of the first STATIC child without an icon of such a window.
std::u16string StaticTextInWindow(const std::u16string& className, const std::u16string& caption);

}  // namespace ui::win32
