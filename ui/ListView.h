#pragma once
// A report-style list: columns, and rows of a caption, sub-item texts and a check state.
#include <functional>
#include <string>
#include <vector>

#include "ui/Control.h"

namespace ui {

struct ListColumn {
  std::string caption;
  int width = 50;
};

struct ListItem {
  std::string caption;
  std::vector<std::string> subItems;
  bool checked = false;
};

class ListView : public Control {
 public:
  ListView(Container& parent, std::string name)
      : Control(&parent, ControlKind::ListView, std::move(name)) {}

  bool CheckBoxes() const { return checkBoxes_; }
  bool GridLines() const { return gridLines_; }
  bool RowSelect() const { return rowSelect_; }
  void SetStyle(bool checkBoxes, bool gridLines, bool rowSelect);

  void AddColumn(const std::string& caption, int width = 50);
  const std::vector<ListColumn>& Columns() const { return columns_; }

  // Index of the new row.
  int AddItem(const std::string& caption, std::vector<std::string> subItems = {});
  void Clear();
  int Count() const { return static_cast<int>(items_.size()); }
  // `index` must be below Count().
  const ListItem& Item(int index) const { return items_.at(static_cast<std::size_t>(index)); }
  const std::vector<ListItem>& Items() const { return items_; }
  bool Checked(int index) const { return Item(index).checked; }
  void SetChecked(int index, bool checked);
  // Several rows at once, one notification.
  void SetAllChecked(const std::vector<bool>& checks);
  // The user toggled a check box; no echo to the peer.
  void SetCheckedFromUser(int index, bool checked);
  std::function<void(int index)> OnItemChecked;

 private:
  ListItem& MutableItem(int index) { return items_.at(static_cast<std::size_t>(index)); }

  bool checkBoxes_ = false, gridLines_ = false, rowSelect_ = false;
  std::vector<ListColumn> columns_;
  std::vector<ListItem> items_;
};

}  // namespace ui
