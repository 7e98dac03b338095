#include "cfs/index/CFSDirItem.h"

#include <algorithm>
#include <cstring>

#include "platform/Text.h"

namespace {

std::uint64_t GetLe(const std::uint8_t* p, int width) {
  std::uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

void PutLe(std::uint8_t* p, std::uint64_t v, int width) {
  for (int i = 0; i < width; ++i) {
    p[i] = static_cast<std::uint8_t>(v);
    v >>= 8;
  }
}

}  // namespace

bool IsPlainItemName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (std::size_t i = 0; i < name.size(); i += platform::CharLength(name, i)) {
    if (name[i] == '\\' || name[i] == '/') return false;
  }
  return true;
}

std::string CutItemName(std::string_view name) {
  if (name.size() <= TCFSDirItem::kMaxNameLength) return std::string(name);
  std::size_t end = 0;
  while (end < name.size()) {
    const std::size_t next = end + platform::CharLength(name, end);
    if (next > TCFSDirItem::kMaxNameLength) break;
    end = next;
  }
  return std::string(name.substr(0, end));
}

bool TCFSDirItem::Parse(const std::uint8_t* p, TCFSDirItem& item, std::string* problem) {
  item.FirstMapPageNo = static_cast<std::int32_t>(GetLe(p, 4));
  item.Size = static_cast<std::int64_t>(GetLe(p + 4, 8));
  item.CreationTime = static_cast<std::int64_t>(GetLe(p + 12, 8));
  item.LastWriteTime = static_cast<std::int64_t>(GetLe(p + 20, 8));
  item.LastAccessTime = static_cast<std::int64_t>(GetLe(p + 28, 8));
  item.Attributes = static_cast<std::uint32_t>(GetLe(p + 36, 4));
  item.Parent = static_cast<std::int32_t>(GetLe(p + 40, 4));
  item.Reserved44 = static_cast<std::uint32_t>(GetLe(p + 44, 4));
  std::memcpy(item.PasswordRec.data(), p + kPasswordRecOffset, kPasswordRecSize);
  item.IsFolder = p[220] != 0;
  item.IsDeleted = p[221] != 0;
  item.HasPassword = p[222] != 0;
  item.Reserved223 = p[223];
  std::memcpy(item.Reserved484.data(), p + 484, item.Reserved484.size());

  const char* name = reinterpret_cast<const char*>(p + kNameOffset);
  const std::size_t length = std::find(name, name + kNameField, '\0') - name;
  const bool terminated = length < kNameField;
  item.Name = CutItemName(std::string_view(name, length));

  const char* fault = nullptr;
  if (!terminated) {
    fault = "name is not terminated";
  } else if (!item.IsDeleted && !IsPlainItemName(item.Name)) {
    fault = "name is a path";
  } else if (item.Parent < -1) {
    fault = "invalid parent";
  } else if (item.FirstMapPageNo < -1) {
    fault = "invalid first map page";
  } else if (item.Size < 0) {
    fault = "negative size";
  }
  if (fault != nullptr && problem != nullptr) *problem = fault;
  return fault == nullptr;
}

void TCFSDirItem::Serialize(std::uint8_t* p) const {
  std::memset(p, 0, kSize);
  PutLe(p, static_cast<std::uint32_t>(FirstMapPageNo), 4);
  PutLe(p + 4, static_cast<std::uint64_t>(Size), 8);
  PutLe(p + 12, static_cast<std::uint64_t>(CreationTime), 8);
  PutLe(p + 20, static_cast<std::uint64_t>(LastWriteTime), 8);
  PutLe(p + 28, static_cast<std::uint64_t>(LastAccessTime), 8);
  PutLe(p + 36, Attributes, 4);
  PutLe(p + 40, static_cast<std::uint32_t>(Parent), 4);
  PutLe(p + 44, Reserved44, 4);
  std::memcpy(p + kPasswordRecOffset, PasswordRec.data(), kPasswordRecSize);
  p[220] = IsFolder ? 1 : 0;
  p[221] = IsDeleted ? 1 : 0;
  p[222] = HasPassword ? 1 : 0;
  p[223] = Reserved223;
  const std::string name = CutItemName(Name);
  std::memcpy(p + kNameOffset, name.data(), name.size());
  std::memcpy(p + 484, Reserved484.data(), Reserved484.size());
}
