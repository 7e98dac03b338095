#pragma once
// Small builders for directory items in tests.
#include <cstdint>
#include <string>

#include "cfs/index/CFSDirItem.h"

inline TCFSDirItem FileItem(const std::string& name, std::int32_t parent, std::int64_t size = 0) {
  TCFSDirItem item;
  item.Name = name;
  item.Parent = parent;
  item.Size = size;
  return item;
}

inline TCFSDirItem FolderItem(const std::string& name, std::int32_t parent) {
  TCFSDirItem item = FileItem(name, parent);
  item.IsFolder = true;
  item.Attributes = TCFSDirItem::kFolderAttribute;
  return item;
}

inline TCFSDirItem Deleted(TCFSDirItem item) {
  item.IsDeleted = true;
  return item;
}
