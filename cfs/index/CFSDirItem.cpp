#include "cfs/index/CFSDirItem.h"

#include <algorithm>
#include <cstring>

#include "cfs/file/CFSLittleEndian.h"
#include "platform/Text.h"

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

namespace {

// Names are cut between characters when stored; a last byte that opens a two-byte character
// was changed after.
bool EndsInHalfCharacter(std::string_view name) {
  std::size_t i = 0;
  while (i < name.size() && i + platform::CharLength(name, i) < name.size()) i += platform::CharLength(name, i);
  return i < name.size() && platform::CharLength(name, i) == 1 && platform::IsLeadByte(static_cast<unsigned char>(name[i]));
}

}  // namespace

bool TCFSDirItem::Parse(const std::uint8_t* p, TCFSDirItem& item, std::string* problem) {
  item.FirstMapPageNo = GetLE32s(p);
  item.Size = GetLE64s(p + 4);
  item.CreationTime = GetLE64s(p + 12);
  item.LastWriteTime = GetLE64s(p + 20);
  item.LastAccessTime = GetLE64s(p + 28);
  item.Attributes = GetLE32(p + 36);
  item.Parent = GetLE32s(p + 40);
  item.Reserved44 = GetLE32(p + 44);
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
  } else if (!item.IsDeleted && EndsInHalfCharacter(item.Name)) {
    fault = "name ends in half a character";
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
  PutLE32(p, static_cast<std::uint32_t>(FirstMapPageNo));
  PutLE64(p + 4, static_cast<std::uint64_t>(Size));
  PutLE64(p + 12, static_cast<std::uint64_t>(CreationTime));
  PutLE64(p + 20, static_cast<std::uint64_t>(LastWriteTime));
  PutLE64(p + 28, static_cast<std::uint64_t>(LastAccessTime));
  PutLE32(p + 36, Attributes);
  PutLE32(p + 40, static_cast<std::uint32_t>(Parent));
  PutLE32(p + 44, Reserved44);
  std::memcpy(p + kPasswordRecOffset, PasswordRec.data(), kPasswordRecSize);
  p[220] = IsFolder ? 1 : 0;
  p[221] = IsDeleted ? 1 : 0;
  p[222] = HasPassword ? 1 : 0;
  p[223] = Reserved223;
  const std::string name = CutItemName(Name);
  std::memcpy(p + kNameOffset, name.data(), name.size());
  std::memcpy(p + 484, Reserved484.data(), Reserved484.size());
}
