#pragma once
// The simple controls of the model.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/Control.h"

namespace ui {

// A panel whose top line is a header showing its caption (Text()); children share the rest.
class HeaderPanel : public Container {
 public:
  HeaderPanel(Container& parent, std::string name)
      : Container(&parent, ControlKind::HeaderPanel, std::move(name)) {}
  int HeaderHeight() const { return headerHeight_; }
  void SetHeaderHeight(int height);
  Rect ClientArea() const override;
  // Left button pressed on the panel, at client coordinates.
  std::function<void(int x, int y)> OnMouseDown;

 private:
  int headerHeight_ = 22;
};

// A small information icon beside word-wrapped text.
class InfoPanel : public Control {
 public:
  InfoPanel(Container& parent, std::string name)
      : Control(&parent, ControlKind::InfoPanel, std::move(name)) {}
  // The text is the lines joined by CR LF.
  void SetLines(const std::vector<std::string>& lines);
  std::vector<std::string> Lines() const;
};

// Static text with a sunken-free plain look.
class StaticText : public Control {
 public:
  StaticText(Container& parent, std::string name)
      : Control(&parent, ControlKind::StaticText, std::move(name)) {}
};

class Label : public Control {
 public:
  Label(Container& parent, std::string name)
      : Control(&parent, ControlKind::Label, std::move(name)) {}
};

// Text acting like a hyperlink: highlighted in fuchsia while the mouse is over it.
class LinkLabel : public Control {
 public:
  LinkLabel(Container& parent, std::string name)
      : Control(&parent, ControlKind::LinkLabel, std::move(name)) {}
  std::function<void()> OnClick;
  void Click() { if (OnClick) OnClick(); }
  bool Hot() const { return hot_; }
  void SetHot(bool hot);
  // 0xRRGGBB of the text as currently drawn.
  std::uint32_t TextColor() const { return hot_ ? kFuchsia : kLinkColor; }

 private:
  bool hot_ = false;
};

class Edit : public Control {
 public:
  Edit(Container& parent, std::string name) : Control(&parent, ControlKind::Edit, std::move(name)) {}
  // 0: characters shown as typed.
  char PasswordChar() const { return passwordChar_; }
  void SetPasswordChar(char c) { passwordChar_ = c; Notify(Change::Style); }
  // 0: no limit. Counted in bytes of code page 936, a character is never split.
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int length) { maxLength_ = length; Notify(Change::Style); }
  std::function<void()> OnChange;

 protected:
  void TextChangedByUser() override { if (OnChange) OnChange(); }

 private:
  char passwordChar_ = 0;
  int maxLength_ = 0;
};

class Button : public Control {
 public:
  Button(Container& parent, std::string name)
      : Control(&parent, ControlKind::Button, std::move(name)) {}
  std::function<void()> OnClick;
  // Sets the form's modal result (when the button has one), then runs OnClick.
  void Click();
  ModalResult GetModalResult() const { return modalResult_; }
  void SetModalResult(ModalResult result) { modalResult_ = result; }
  bool IsDefault() const;

 private:
  ModalResult modalResult_ = ModalResult::None;
};

class ProgressBar : public Control {
 public:
  ProgressBar(Container& parent, std::string name)
      : Control(&parent, ControlKind::ProgressBar, std::move(name)) {}
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  void SetMin(int v);
  void SetMax(int v);
  // Clamped to Min..Max.
  void SetPosition(int v);

 private:
  int min_ = 0, max_ = 100, position_ = 0;
};

// One of the system's standard icons.
class Image : public Control {
 public:
  Image(Container& parent, std::string name)
      : Control(&parent, ControlKind::Image, std::move(name)) {}
  MessageIcon Icon() const { return icon_; }
  void SetIcon(MessageIcon icon) { icon_ = icon; Notify(Change::Style); }

 private:
  MessageIcon icon_ = MessageIcon::None;
};

}  // namespace ui
