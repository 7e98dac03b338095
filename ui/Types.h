#pragma once
// Small value types shared by the widget model and its backends.
#include <cstdint>
#include <string>

namespace ui {

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
  int Right() const { return left + width; }
  int Bottom() const { return top + height; }
  bool operator==(const Rect&) const = default;
};

struct Size {
  int width = 0, height = 0;
};

// Space taken by a window frame around the client area.
struct Insets {
  int left = 0, top = 0, right = 0, bottom = 0;
};

enum class ControlKind {
  Form,
  HeaderPanel,
  InfoPanel,
  Panel,
  GroupBox,
  StaticText,
  Label,
  LinkLabel,
  Edit,
  Button,
  ListView,
  ProgressBar,
  Image,
};

// Title bar variants the forms use.
enum class BorderStyle {
  Normal,      // caption, system menu and minimise box, fixed size
  SystemMenu,  // caption and system menu only
  None,        // no border and no title bar
};

enum class FormPosition {
  Designed,        // Left and Top as set
  DesktopCenter,   // centred on the desktop when first shown
  CenterOnForm,    // centred on another form (Form::SetCenterOn) when shown
};

// Docking inside the parent's client area, processed Top, Bottom, Left, Right, then Client.
enum class Align { None, Top, Bottom, Left, Right, Client };

enum class CloseAction { None, Hide };

// Results of modal forms, message boxes and dialogs.
enum class ModalResult { None, Ok, Cancel, Yes, No, All, Abort, Retry, Ignore };

enum class MessageIcon { None, Error, Warning, Information, Question };

enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, YesNoAll };

// What changed on a model object; a backend peer reads the new state from the model.
enum class Change {
  Text,
  Bounds,
  Visible,
  Enabled,
  Font,
  Style,        // password character, maximum length, default button, colours
  Hot,          // link label hover state
  ListColumns,
  ListCleared,
  ListItemAdded,    // index = the new row
  ListItemChanged,  // index = the row (texts or check state)
  ListItemsChecks,  // every row's check state
  Progress,
  Timer,
  BringToFront,
  Repaint,        // draw the window and its children now
  MoveByCaption,  // start dragging the form as if by its title bar
};

constexpr std::uint32_t kFuchsia = 0xFF00FF;   // 0xRRGGBB
constexpr std::uint32_t kLinkColor = 0x0000FF;  // blue
constexpr std::uint32_t kWindowText = 0x000000;

}  // namespace ui
