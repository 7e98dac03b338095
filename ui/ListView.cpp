#include "ui/ListView.h"

namespace ui {

void ListView::SetStyle(bool checkBoxes, bool gridLines, bool rowSelect) {
  checkBoxes_ = checkBoxes;
  gridLines_ = gridLines;
  rowSelect_ = rowSelect;
  Notify(Change::Style);
}

void ListView::AddColumn(const std::string& caption, int width) {
  columns_.push_back({caption, width});
  Notify(Change::ListColumns);
}

int ListView::AddItem(const std::string& caption, std::vector<std::string> subItems) {
  items_.push_back({caption, std::move(subItems), false});
  int index = Count() - 1;
  Notify(Change::ListItemAdded, index);
  return index;
}

void ListView::Clear() {
  if (items_.empty()) return;
  items_.clear();
  Notify(Change::ListCleared);
}

void ListView::SetChecked(int index, bool checked) {
  ListItem& item = MutableItem(index);
  if (item.checked == checked) return;
  item.checked = checked;
  Notify(Change::ListItemChanged, index);
}

void ListView::SetAllChecked(const std::vector<bool>& checks) {
  for (std::size_t i = 0; i < items_.size() && i < checks.size(); ++i) items_[i].checked = checks[i];
  Notify(Change::ListItemsChecks);
}

void ListView::SetCheckedFromUser(int index, bool checked) {
  if (index < 0 || index >= Count()) return;
  ListItem& item = MutableItem(index);
  if (item.checked == checked) return;
  item.checked = checked;
  if (OnItemChecked) OnItemChecked(index);
}

}  // namespace ui
