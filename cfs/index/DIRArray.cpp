#include "cfs/index/DIRArray.h"

#include <algorithm>
#include <utility>

#include "platform/Exception.h"
#include "platform/Text.h"
#include "platform/Time.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Position of the next separator at or after `from` (walking whole characters), or npos.
std::size_t NextSeparator(std::string_view s, std::size_t from) {
  for (std::size_t i = from; i < s.size(); i += platform::CharLength(s, i)) {
    if (IsSeparator(s[i])) return i;
  }
  return std::string_view::npos;
}

// Position of the last separator, or npos.
std::size_t LastSeparator(std::string_view s) {
  std::size_t last = std::string_view::npos;
  for (std::size_t i = 0; i < s.size(); i += platform::CharLength(s, i)) {
    if (IsSeparator(s[i])) last = i;
  }
  return last;
}

bool HasTrailingSeparator(std::string_view s) {
  return !s.empty() && LastSeparator(s) == s.size() - 1;
}

// Single-byte characters match when equal or when they differ only in bit 0x20 and both are at
// least 0x41 (ASCII letters regardless of case). A byte of a two-byte character in the name
// matches only itself: folding it would let one Chinese character match another.
bool SameMaskByte(unsigned char nameByte, bool inTwoByteChar, unsigned char maskByte) {
  if (nameByte == maskByte) return true;
  if (inTwoByteChar || nameByte >= 0x80 || maskByte >= 0x80) return false;
  return (nameByte ^ maskByte) == 0x20 && (nameByte & maskByte) >= 0x41;
}

}  // namespace

bool SplitItemPath(std::string_view path, std::string& folder, std::string& name) {
  if (path.size() > 1 && HasTrailingSeparator(path)) path.remove_suffix(1);
  const std::size_t sep = LastSeparator(path);
  if (sep == std::string_view::npos) {
    folder.clear();
    name = std::string(path);
    return false;
  }
  folder = sep == 0 ? std::string("\\") : std::string(path.substr(0, sep));
  name = std::string(path.substr(sep + 1));
  return true;
}

TDIRArray::TDIRArray(std::int32_t initialStep, std::int32_t stepLimit)
    : policy_(initialStep, 0, stepLimit),
      nameIndex_(0, stepLimit, initialStep),
      parentIndex_(0, stepLimit, initialStep) {}

TDIRArray::~TDIRArray() = default;

void TDIRArray::SetSize(std::int32_t n) {
  if (n == 0) {
    policy_.Resize(ItemCount(), 0);
    std::vector<TCFSDirItem>().swap(items_);
    nameIndex_.Clear();
    parentIndex_.Clear();
    searches_.clear();
    return;
  }
  if (n < ItemCount()) {
    throw Exception("TDIRArray.SetSize - newSize < itemCount error.  newSize = " +
                    std::to_string(n) + " itemCount = " + std::to_string(ItemCount()));
  }
  // The policy's capacity is the one reported; the storage itself grows at least twofold, as
  // steps capped at ten pages' worth would copy every item again for each few hundred added.
  const auto capacity = static_cast<std::size_t>(policy_.Resize(ItemCount(), n));
  if (capacity > items_.capacity()) items_.reserve(std::max(capacity, items_.capacity() * 2));
}

void TDIRArray::CheckItemNo(const char* operation, std::int32_t n) const {
  if (n < 0 || n >= ItemCount()) {
    throw Exception(std::string("TDIRArray.") + operation + " - invalid itemNo = " +
                    std::to_string(n));
  }
}

int TDIRArray::CompareKey(std::int32_t item, std::string_view name, std::int32_t parent) const {
  const TCFSDirItem& it = items_[item];
  if (const int c = platform::CompareTextCp936(it.Name, name); c != 0) return c;
  return it.Parent < parent ? -1 : (it.Parent > parent ? 1 : 0);
}

std::int32_t TDIRArray::KeyLowerBound(std::string_view name, std::int32_t parent) const {
  const std::int32_t* first = nameIndex_.Data();
  return static_cast<std::int32_t>(
      std::lower_bound(first, first + nameIndex_.Count(), 0,
                       [&](std::int32_t item, int) { return CompareKey(item, name, parent) < 0; }) -
      first);
}

std::int32_t TDIRArray::KeyUpperBound(std::string_view name, std::int32_t parent) const {
  const std::int32_t* first = nameIndex_.Data();
  return static_cast<std::int32_t>(
      std::upper_bound(first, first + nameIndex_.Count(), 0,
                       [&](int, std::int32_t item) { return CompareKey(item, name, parent) > 0; }) -
      first);
}

std::int32_t TDIRArray::ParentLowerBound(std::int32_t parent) const {
  const std::int32_t* first = parentIndex_.Data();
  return static_cast<std::int32_t>(
      std::lower_bound(first, first + parentIndex_.Count(), parent,
                       [this](std::int32_t item, std::int32_t key) {
                         return items_[item].Parent < key;
                       }) -
      first);
}

std::int32_t TDIRArray::ParentUpperBound(std::int32_t parent) const {
  const std::int32_t* first = parentIndex_.Data();
  return static_cast<std::int32_t>(
      std::upper_bound(first, first + parentIndex_.Count(), parent,
                       [this](std::int32_t key, std::int32_t item) {
                         return key < items_[item].Parent;
                       }) -
      first);
}

std::int32_t TDIRArray::NamePositionOf(std::int32_t n, std::string_view name, std::int32_t parent) const {
  for (std::int32_t i = KeyLowerBound(name, parent); i < nameIndex_.Count(); ++i) {
    const std::int32_t item = nameIndex_[i];
    if (item == n) return i;
    if (CompareKey(item, name, parent) != 0) break;
  }
  return -1;
}

std::int32_t TDIRArray::ParentPositionOf(std::int32_t n, std::int32_t parent) const {
  for (std::int32_t i = ParentLowerBound(parent); i < parentIndex_.Count(); ++i) {
    const std::int32_t item = parentIndex_[i];
    if (item == n) return i;
    if (items_[item].Parent != parent) break;
  }
  return -1;
}

std::int32_t TDIRArray::AddItem(TCFSDirItem item) {
  // Taken by value: growing the storage below would invalidate a reference into it.
  item.Name = CutItemName(item.Name);
  const std::int32_t n = ItemCount();
  if (n == Capacity()) SetSize(n + 1);
  items_.push_back(std::move(item));
  const TCFSDirItem& added = items_.back();
  if (!added.IsDeleted) {
    nameIndex_.Insert(KeyUpperBound(added.Name, added.Parent), n);
    parentIndex_.Insert(ParentUpperBound(added.Parent), n);
  }
  return n;
}

void TDIRArray::ReadItem(std::int32_t n, TCFSDirItem& item) const {
  CheckItemNo("ReadItem", n);
  item = items_[n];
}

const TCFSDirItem& TDIRArray::Item(std::int32_t n) const {
  CheckItemNo("ReadItem", n);
  return items_[n];
}

void TDIRArray::UpdateItem(TCFSDirItem item, std::int32_t n) {
  CheckItemNo("UpdateItem", n);
  item.Name = CutItemName(item.Name);  // names as the directory page will hold them
  const TCFSDirItem& old = items_[n];
  const bool wasLive = !old.IsDeleted;
  const bool nameChanged = platform::CompareTextCp936(old.Name, item.Name) != 0;
  const bool parentChanged = old.Parent != item.Parent;
  // Where n leaves an index or its key there changes, it is found under its old key while the
  // indexes and the stored item still agree. An update that keeps both keys (a new size, time or
  // attribute: most updates) searches nothing, as the parent index's search walks every item of
  // the folder.
  const bool nameKeyMoves = wasLive && (item.IsDeleted || nameChanged || parentChanged);
  const bool parentKeyMoves = wasLive && (item.IsDeleted || parentChanged);
  std::int32_t oldNamePos = -1;
  std::int32_t oldParentPos = -1;
  if (nameKeyMoves) {
    oldNamePos = NamePositionOf(n, old.Name, old.Parent);
    if (oldNamePos < 0) {
      throw Exception("TDIRArray.UpdateItem - old name position not found. Position = " +
                      std::to_string(n) + ", ItemCount = " + std::to_string(ItemCount()) +
                      ", FileName = \"" + old.Name + "\"");
    }
  }
  if (parentKeyMoves) {
    oldParentPos = ParentPositionOf(n, old.Parent);
    if (oldParentPos < 0) {
      throw Exception("TDIRArray.UpdateItem - old parentID position not found. Position = " +
                      std::to_string(n) + ", ItemCount = " + std::to_string(ItemCount()) +
                      ", ParentID = " + std::to_string(old.Parent));
    }
  }
  items_[n] = std::move(item);
  const TCFSDirItem& stored = items_[n];

  if (stored.IsDeleted) {
    if (wasLive) {
      nameIndex_.Delete(oldNamePos);
      parentIndex_.Delete(oldParentPos);
    }
    return;
  }
  if (!wasLive) {
    nameIndex_.Insert(KeyUpperBound(stored.Name, stored.Parent), n);
    parentIndex_.Insert(ParentUpperBound(stored.Parent), n);
    return;
  }
  // Both live: an entry whose key changed is taken out and put back where the new key belongs
  // (n is out of the index while the new position is searched); an unchanged key keeps its place.
  if (nameChanged || parentChanged) {
    nameIndex_.Delete(oldNamePos);
    nameIndex_.Insert(KeyUpperBound(stored.Name, stored.Parent), n);
  }
  if (parentChanged) {
    parentIndex_.Delete(oldParentPos);
    parentIndex_.Insert(ParentUpperBound(stored.Parent), n);
  }
}

std::int32_t TDIRArray::ResolvePath(std::string_view path, std::int32_t startItem) const {
  if (path.empty() || startItem < -1 || startItem >= ItemCount()) return kCFSPathInvalid;
  if (path == "\\" || path == "/") return kCFSRootItem;

  std::int32_t current = startItem;
  std::size_t pos = 0;
  if (IsSeparator(path[0])) {
    current = kCFSRootItem;
    pos = 1;
  }
  while (pos < path.size()) {
    std::size_t end = NextSeparator(path, pos);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view segment = path.substr(pos, end - pos);
    pos = end + 1;  // a trailing separator ends the walk
    if (segment.empty()) return kCFSPathInvalid;

    if (segment == "..") {
      // The root is its own parent. A parent number outside the directory (damaged item) ends
      // the walk instead of leading anywhere.
      if (current == kCFSRootItem) continue;
      const std::int32_t parent = items_[current].Parent;
      if (parent < -1 || parent >= ItemCount()) return kCFSPathNotResolved;
      current = parent;
      continue;
    }

    const std::string name = CutItemName(segment);
    const std::int32_t i = KeyLowerBound(name, current);
    if (i < nameIndex_.Count() && CompareKey(nameIndex_[i], name, current) == 0) {
      current = nameIndex_[i];
      continue;
    }
    // Not in this folder: an unknown name is -2, a name found only in other folders -3. Equal
    // names are one run, so any of them borders position i.
    const auto nameAt = [&](std::int32_t k) {
      return k >= 0 && k < nameIndex_.Count() && platform::CompareTextCp936(items_[nameIndex_[k]].Name, name) == 0;
    };
    return nameAt(i) || nameAt(i - 1) ? kCFSPathNotResolved : kCFSPathInvalid;
  }
  return current;
}

std::string TDIRArray::GetItemPath(std::int32_t n) const {
  if (n < 0 || n >= ItemCount()) return "\\";
  // Walk up to the root. Each item is visited once, so a parent chain that loops (a damaged
  // directory) ends where it would revisit an item, and a parent outside the directory ends it
  // as well; the path then starts at the last item reached.
  std::vector<bool> visited(items_.size(), false);
  std::vector<const std::string*> names;
  std::int32_t current = n;
  while (current >= 0 && current < ItemCount() && !visited[current]) {
    visited[current] = true;
    names.push_back(&items_[current].Name);
    current = items_[current].Parent;
  }
  std::string path;
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    path += '\\';
    path += **it;
  }
  return path;
}

bool TDIRArray::MatchMask(std::string_view name, std::string_view mask) {
  if (mask == "*.*") return true;
  // Row i holds, for every j, whether name[i..] matches mask[j..]. Rows are filled from the end
  // of the name backwards, keeping only the row below and, for "*", whether any later non-empty
  // rest of the name matched: time O(n * m), memory O(m), no recursion.
  const std::size_t n = name.size();
  const std::size_t m = mask.size();
  std::vector<std::uint8_t> below(m + 1, 0);     // row i + 1
  std::vector<std::uint8_t> row(m + 1, 0);       // row i
  std::vector<std::uint8_t> anyBelow(m + 1, 0);  // OR of rows i + 1 .. n - 1
  std::vector<bool> twoByte(n, false);
  for (std::size_t i = 0; i < n; i += platform::CharLength(name, i)) {
    if (platform::CharLength(name, i) == 2) twoByte[i] = twoByte[i + 1] = true;
  }
  for (std::size_t i = n + 1; i-- > 0;) {
    for (std::size_t j = m + 1; j-- > 0;) {
      bool result;
      if (j + 1 == m && mask[j] == '*') {
        result = true;  // the rest of the mask is exactly "*"
      } else if (i == n) {
        result = j == m;  // the name has ended: only an ended mask matches
      } else if (j == m) {
        result = false;
      } else if (mask[j] == '*') {
        // What follows the "*" must match a non-empty rest of the name starting here or later.
        result = row[j + 1] != 0 || anyBelow[j + 1] != 0;
      } else if (mask[j] == '?') {
        result = below[j + 1] != 0;
      } else {
        result = SameMaskByte(static_cast<unsigned char>(name[i]), twoByte[i],
                              static_cast<unsigned char>(mask[j])) &&
                 below[j + 1] != 0;
      }
      row[j] = result ? 1 : 0;
    }
    if (i < n) {
      for (std::size_t j = 0; j <= m; ++j) anyBelow[j] |= row[j];
    }
    std::swap(below, row);
  }
  return below[0] != 0;
}

std::int32_t TDIRArray::FindFirst(std::string_view pathAndMask, std::uint32_t attributes,
                                  std::int32_t startItem, TSearchRec& rec) {
  // A free slot, or a new one; the handle is its number.
  std::size_t slotNo = 0;
  while (slotNo < searches_.size() && searches_[slotNo] != nullptr) ++slotNo;
  if (slotNo == searches_.size()) searches_.emplace_back();
  searches_[slotNo] = std::make_unique<TSearchSlot>();
  TSearchSlot& slot = *searches_[slotNo];
  rec.FindHandle = static_cast<std::int32_t>(slotNo);
  rec.ExcludeAttr = (attributes & 0x1E) ^ 0x1E;

  std::string folderPath;
  std::string mask;
  std::int32_t folder = startItem;
  if (SplitItemPath(pathAndMask, folderPath, mask)) folder = ResolvePath(folderPath, startItem);
  if (folder < -1) return kCFSFindFolderMissing;

  for (std::int32_t i = ParentLowerBound(folder); i < parentIndex_.Count(); ++i) {
    const TCFSDirItem& item = items_[parentIndex_[i]];
    if (item.Parent != folder) break;
    if ((item.Attributes & rec.ExcludeAttr) == 0 && MatchMask(item.Name, mask)) {
      slot.hits.Add(parentIndex_[i]);
    }
  }
  if (slot.hits.Count() == 0) return kCFSFindNoMore;
  FillSearchRec(slot.hits[0], rec);
  slot.next = 1;
  return 0;
}

std::int32_t TDIRArray::FindNext(TSearchRec& rec) {
  if (rec.FindHandle < 0 || static_cast<std::size_t>(rec.FindHandle) >= searches_.size()) {
    return kCFSFindNoMore;
  }
  TSearchSlot* slot = searches_[rec.FindHandle].get();
  if (slot == nullptr) return kCFSFindClosed;
  if (slot->next >= slot->hits.Count()) return kCFSFindNoMore;
  FillSearchRec(slot->hits[slot->next++], rec);
  return 0;
}

void TDIRArray::FindClose(TSearchRec& rec) {
  if (rec.FindHandle < 0 || static_cast<std::size_t>(rec.FindHandle) >= searches_.size()) return;
  searches_[rec.FindHandle].reset();
}

void TDIRArray::FillSearchRec(std::int32_t n, TSearchRec& rec) const {
  const TCFSDirItem& item = Item(n);
  std::uint16_t dosDate = 0;
  std::uint16_t dosTime = 0;
  rec.Time = 0;
  if (platform::FileTimeToDosDateTime(platform::FileTimeUtcToLocal(item.LastWriteTime), dosDate,
                                      dosTime)) {
    rec.Time = static_cast<std::int32_t>(std::uint32_t{dosDate} << 16 | dosTime);
  }
  rec.Size = static_cast<std::int32_t>(static_cast<std::uint32_t>(item.Size));
  rec.Attr = item.Attributes;
  rec.Name = item.Name;
  rec.FindData.Attributes = item.Attributes;
  rec.FindData.CreationTime = item.CreationTime;
  rec.FindData.LastAccessTime = item.LastAccessTime;
  rec.FindData.LastWriteTime = item.LastWriteTime;
  rec.FindData.SizeHigh = static_cast<std::uint32_t>(static_cast<std::uint64_t>(item.Size) >> 32);
  rec.FindData.SizeLow = static_cast<std::uint32_t>(item.Size);
  rec.FindData.FileName = item.Name;
}
