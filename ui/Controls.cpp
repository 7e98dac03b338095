#include "ui/Controls.h"

#include <algorithm>

#include "ui/Form.h"

namespace ui {

void HeaderPanel::SetHeaderHeight(int height) {
  headerHeight_ = std::max(height, 0);
  Notify(Change::Style);
  Realign();
}

Rect HeaderPanel::ClientArea() const {
  int top = std::min(headerHeight_, Height());
  return {0, top, Width(), Height() - top};
}

void InfoPanel::SetLines(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i) text += "\r\n";
    text += lines[i];
  }
  SetText(text);
}

std::vector<std::string> InfoPanel::Lines() const {
  std::vector<std::string> lines;
  const std::string& text = Text();
  std::size_t start = 0;
  while (true) {
    std::size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return lines;
}

void LinkLabel::SetHot(bool hot) {
  if (hot == hot_) return;
  hot_ = hot;
  Notify(Change::Hot);
}

void Button::Click() {
  if (modalResult_ != ModalResult::None) OwnerForm().SetModalResult(modalResult_);
  if (OnClick) OnClick();
}

bool Button::IsDefault() const { return OwnerForm().DefaultButton() == this; }

void ProgressBar::SetMin(int v) {
  min_ = v;
  if (max_ < min_) max_ = min_;
  position_ = std::clamp(position_, min_, max_);
  Notify(Change::Progress);
}

void ProgressBar::SetMax(int v) {
  max_ = v;
  if (min_ > max_) min_ = max_;
  position_ = std::clamp(position_, min_, max_);
  Notify(Change::Progress);
}

void ProgressBar::SetPosition(int v) {
  v = std::clamp(v, min_, max_);
  if (v == position_) return;
  position_ = v;
  Notify(Change::Progress);
}

}  // namespace ui
