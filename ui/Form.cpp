#include "ui/Form.h"

#include <algorithm>

#include "ui/Application.h"
#include "ui/Controls.h"

namespace ui {

Form::Form(Application& app, std::string name)
    : Container(nullptr, ControlKind::Form, std::move(name)), app_(app) {
  form_ = this;
  visible_ = false;
}

Form::~Form() = default;

int Form::Register(Control* control) {
  controls_.push_back(control);
  return 1000 + static_cast<int>(controls_.size()) - 1;
}

void Form::Unregister(Control* control) {
  // Identifiers stay as assigned; only the pointer goes.
  auto it = std::find(controls_.begin(), controls_.end(), control);
  if (it != controls_.end()) *it = nullptr;
  if (defaultButton_ == control) defaultButton_ = nullptr;
  if (cancelButton_ == control) cancelButton_ = nullptr;
}

Control* Form::FindControl(const std::string& name) const {
  for (Control* c : controls_)
    if (c && c->Name() == name) return c;
  return nullptr;
}

void Form::SetBorderStyle(BorderStyle style) {
  if (style == border_) return;
  border_ = style;
  Notify(Change::Style);
  Realign();
}

Insets Form::FrameInsets() const { return app_.GetBackend().FrameInsets(border_); }

int Form::ClientWidth() const {
  Insets in = FrameInsets();
  return std::max(Width() - in.left - in.right, 0);
}

int Form::ClientHeight() const {
  Insets in = FrameInsets();
  return std::max(Height() - in.top - in.bottom, 0);
}

void Form::SetClientSize(int width, int height) {
  Insets in = FrameInsets();
  SetBounds(Left(), Top(), width + in.left + in.right, height + in.top + in.bottom);
}

Rect Form::ScreenClientRect() const {
  Insets in = FrameInsets();
  return {Left() + in.left, Top() + in.top, ClientWidth(), ClientHeight()};
}

void Form::SetFont(const std::string& name, int pointSize) {
  fontName_ = name;
  fontSize_ = pointSize;
  Notify(Change::Font);
}

void Form::Realize() {
  Backend& backend = app_.GetBackend();
  CreatePeer(backend);
  // Creation order puts every parent before its children.
  for (Control* c : controls_)
    if (c) c->CreatePeer(backend);
}

void Form::PlaceForShowing() {
  Rect target;
  if (position_ == FormPosition::CenterOnForm) {
    Form* on = centerOn_ ? centerOn_ : app_.MainForm();
    if (on == this || !on) on = nullptr;
    target = on ? on->Bounds() : app_.GetBackend().DesktopArea();
  } else if (position_ == FormPosition::DesktopCenter && !placed_) {
    target = app_.GetBackend().DesktopArea();
  } else {
    placed_ = true;
    return;
  }
  placed_ = true;
  SetBounds(target.left + (target.width - Width()) / 2, target.top + (target.height - Height()) / 2,
            Width(), Height());
}

void Form::ShowForm() {
  Realize();
  if (!Visible()) PlaceForShowing();
  SetVisible(true);
  BringToFront();
}

void Form::VisibilityChanged() {
  if (Visible() && OnShow) OnShow();
}

ModalResult Form::ShowModal() {
  if (modal_) return ModalResult::None;
  Realize();
  PlaceForShowing();
  modalResult_ = ModalResult::None;
  modal_ = true;
  app_.PushModal(this);
  struct Restore {
    Form& form;
    ~Restore() {
      form.app_.PopModal();
      form.modal_ = false;
      form.SetVisible(false);
    }
  } restore{*this};
  SetVisible(true);
  BringToFront();
  app_.GetBackend().RunModal(*this);
  return modalResult_;
}

void Form::Close() {
  CloseAction action = CloseAction::Hide;
  if (OnClose) OnClose(action);
  if (action == CloseAction::None) return;
  if (modal_) {
    if (modalResult_ == ModalResult::None) modalResult_ = ModalResult::Cancel;
    return;
  }
  HideForm();
  if (this == app_.MainForm()) app_.Terminate();
}

}  // namespace ui
