#include "ui/Control.h"

#include <algorithm>

#include "ui/Form.h"

namespace ui {

Control::Control(Container* parent, ControlKind kind, std::string name)
    : kind_(kind), name_(std::move(name)), parent_(parent),
      form_(parent ? &parent->OwnerForm() : nullptr) {
  if (parent_) {
    parent_->children_.push_back(this);
    id_ = form_->Register(this);
  }
}

Control::~Control() {
  peer_.reset();
  if (parent_) {
    auto& siblings = parent_->children_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    form_->Unregister(this);
  }
}

void Control::Notify(Change what, int index) const {
  if (peer_) peer_->Update(what, index);
}

void Control::CreatePeer(Backend& backend) {
  if (!peer_) peer_ = backend.CreatePeer(*this);
}

void Control::SetBounds(int left, int top, int width, int height) {
  Rect r{left, top, std::max(width, 0), std::max(height, 0)};
  if (r == bounds_) return;
  bounds_ = r;
  Notify(Change::Bounds);
  BoundsChanged();
  if (align_ != Align::None && parent_) parent_->Realign();
}

void Control::PlaceAligned(const Rect& area) {
  Rect r{area.left, area.top, std::max(area.width, 0), std::max(area.height, 0)};
  if (r == bounds_) return;
  bounds_ = r;
  Notify(Change::Bounds);
  BoundsChanged();
}

void Control::SetAlign(Align align) {
  if (align == align_) return;
  align_ = align;
  if (parent_) parent_->Realign();
}

void Control::SetText(const std::string& text) {
  textExact_ = true;
  if (text == text_) return;
  text_ = text;
  Notify(Change::Text);
}

void Control::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  Notify(Change::Visible);
  if (align_ != Align::None && parent_) parent_->Realign();
  VisibilityChanged();
}

bool Control::Showing() const {
  return visible_ && (!parent_ || parent_->Showing());
}

void Control::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Notify(Change::Enabled);
}

void Container::Realign() {
  Rect area = ClientArea();
  for (Align pass : {Align::Top, Align::Bottom, Align::Left, Align::Right, Align::Client}) {
    for (Control* child : children_) {
      if (child->GetAlign() != pass || !child->Visible()) continue;
      Rect r;
      switch (pass) {
        case Align::Top:
          r = {area.left, area.top, area.width, std::min(child->Height(), area.height)};
          area.top += r.height;
          area.height -= r.height;
          break;
        case Align::Bottom:
          r = {area.left, 0, area.width, std::min(child->Height(), area.height)};
          r.top = area.Bottom() - r.height;
          area.height -= r.height;
          break;
        case Align::Left:
          r = {area.left, area.top, std::min(child->Width(), area.width), area.height};
          area.left += r.width;
          area.width -= r.width;
          break;
        case Align::Right:
          r = {0, area.top, std::min(child->Width(), area.width), area.height};
          r.left = area.Right() - r.width;
          area.width -= r.width;
          break;
        default:
          r = area;
          break;
      }
      child->PlaceAligned(r);
    }
  }
}

Rect GroupBox::ClientArea() const {
  // Frame of 2 pixels, caption line of one text height above the frame.
  constexpr int kFrame = 2, kCaption = 13;
  return {kFrame, kCaption + kFrame, std::max(Width() - 2 * kFrame, 0),
          std::max(Height() - kCaption - 2 * kFrame, 0)};
}

}  // namespace ui
