#pragma once
// Base of every window element of the model: a named control with a place in its parent, a
// text, and visible/enabled states. Containers hold children laid out by their alignment.
#include <memory>
#include <string>
#include <vector>

#include "ui/Backend.h"
#include "ui/Types.h"

namespace ui {

class Container;
class Form;

class Control {
 public:
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  virtual ~Control();

  ControlKind Kind() const { return kind_; }
  const std::string& Name() const { return name_; }
  Container* Parent() const { return parent_; }
  Form& OwnerForm() const { return *form_; }
  // Dialog identifier: 1000 + index in creation order within the form (the form itself: 0).
  int Id() const { return id_; }

  // Position relative to the parent's origin.
  const Rect& Bounds() const { return bounds_; }
  int Left() const { return bounds_.left; }
  int Top() const { return bounds_.top; }
  int Width() const { return bounds_.width; }
  int Height() const { return bounds_.height; }
  void SetBounds(int left, int top, int width, int height);
  void SetBounds(const Rect& r) { SetBounds(r.left, r.top, r.width, r.height); }
  void SetLeft(int v) { SetBounds(v, bounds_.top, bounds_.width, bounds_.height); }
  void SetTop(int v) { SetBounds(bounds_.left, v, bounds_.width, bounds_.height); }
  void SetWidth(int v) { SetBounds(bounds_.left, bounds_.top, v, bounds_.height); }
  void SetHeight(int v) { SetBounds(bounds_.left, bounds_.top, bounds_.width, v); }

  Align GetAlign() const { return align_; }
  void SetAlign(Align align);

  // Caption or text in code page 936.
  const std::string& Text() const { return text_; }
  void SetText(const std::string& text);
  // False after the user entered characters that code page 936 cannot hold: Text carries "?"
  // in their place and is not what the user sees.
  bool TextExact() const { return textExact_; }

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible, and every parent up to the form visible too.
  bool Showing() const;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  // Draws the control and its children at once instead of at the next quiet moment.
  void Repaint() const { Notify(Change::Repaint); }

  Peer* GetPeer() const { return peer_.get(); }
  // See Peer::NativeHandle; null before the control is realised.
  void* NativeHandle() const { return peer_ ? peer_->NativeHandle() : nullptr; }
  // Called by the form when it is realised.
  void CreatePeer(Backend& backend);
  // Backends report what the user changed without echoing it back to the peer.
  void SetTextFromUser(const std::string& text, bool exact = true) {
    text_ = text;
    textExact_ = exact;
    TextChangedByUser();
  }

 protected:
  Control(Container* parent, ControlKind kind, std::string name);
  void Notify(Change what, int index = -1) const;
  virtual void BoundsChanged() {}
  virtual void TextChangedByUser() {}
  virtual void VisibilityChanged() {}

 private:
  friend class Container;
  friend class Form;
  void PlaceAligned(const Rect& r);  // set by the parent's layout

  ControlKind kind_;
  std::string name_;
  Container* parent_;
  Form* form_;
  int id_ = 0;
  Rect bounds_;
  Align align_ = Align::None;
  std::string text_;
  bool textExact_ = true;
  bool visible_ = true;
  bool enabled_ = true;
  std::unique_ptr<Peer> peer_;
};

class Container : public Control {
 public:
  const std::vector<Control*>& Children() const { return children_; }
  // The part of the container its aligned children share, relative to its origin.
  virtual Rect ClientArea() const { return {0, 0, Width(), Height()}; }
  // Places the aligned children again.
  void Realign();

 protected:
  using Control::Control;
  void BoundsChanged() override { Realign(); }

 private:
  friend class Control;
  std::vector<Control*> children_;
};

// A plain panel; bevelled or flat.
class Panel : public Container {
 public:
  Panel(Container& parent, std::string name) : Container(&parent, ControlKind::Panel, std::move(name)) {}
  bool Bevel() const { return bevel_; }
  void SetBevel(bool bevel) { bevel_ = bevel; Notify(Change::Style); }

 private:
  bool bevel_ = false;
};

class GroupBox : public Container {
 public:
  GroupBox(Container& parent, std::string name)
      : Container(&parent, ControlKind::GroupBox, std::move(name)) {}
  // Inside the frame and below the caption line.
  Rect ClientArea() const override;
};

}  // namespace ui
