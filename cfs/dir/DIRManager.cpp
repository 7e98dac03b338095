#include "cfs/dir/DIRManager.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "cfs/codecs/cipher/CFSCipher.h"
#include "cfs/dir/CFSTime.h"
#include "platform/Exception.h"
#include "platform/Text.h"

namespace {

constexpr std::int32_t kItemSize = static_cast<std::int32_t>(TCFSDirItem::kSize);
// Searches that decide whether a folder exists see hidden and system folders too.
constexpr std::uint32_t kFolderSearchAttributes = 0x16;

[[noreturn]] void Fail(const char* operation, const char* text, std::int32_t pageNo) {
  throw Exception(std::string("TDIRManager.") + operation + " - " + text + std::to_string(pageNo));
}

bool IsRootPath(std::string_view path) { return path == "\\" || path == "/"; }

}  // namespace

TDIRManager::TDIRManager(TPageFileManager& pageFile, TFreeSpaceManager& freeSpace)
    : freeSpace_(freeSpace),
      itemsPerPage_(pageFile.DataSize() / kItemSize),
      dataLength_(itemsPerPage_ * kItemSize),
      pageFile_(pageFile),
      items_(itemsPerPage_, itemsPerPage_ * 10) {
  pageFile_.InitPageRecord(page_);
  Load();
}

void TDIRManager::Load() {
  const TCFSHeader& h = pageFile_.Header();
  const std::int32_t pageCount = h.DIRPageCount();
  const std::int32_t itemCount = h.DIRItemCount();
  if (pageCount < 0 || itemCount < 0 || std::int64_t(itemCount) > std::int64_t(pageCount) * itemsPerPage_)
    throw Exception("TDIRManager.Load - directory counters are damaged, pages = " + std::to_string(pageCount) +
                    ", items = " + std::to_string(itemCount));

  // Every link is checked before it is followed: inside the container, not an allocation map
  // page, in use, and not seen before (a loop would otherwise be read forever).
  pageList_.Clear();
  std::vector<TCFSDirItem> loaded;
  loaded.reserve(static_cast<std::size_t>(itemCount));
  std::unordered_set<std::int32_t> seen;
  std::int32_t pageNo = h.FirstDIRPage();
  for (std::int32_t k = 0; k < pageCount; ++k) {
    if (pageNo < 1 || pageNo >= h.PageCount() || freeSpace_.Geometry().IsMapPage(pageNo) ||
        freeSpace_.IsPageFree(pageNo) || !seen.insert(pageNo).second)
      Fail("Load", "invalid page in the directory chain, pageNo = ", pageNo);
    if (!pageFile_.ReadPage(page_, pageNo, false, {}, dataLength_)) Fail("Load", "can not load page, pageNo = ", pageNo);
    if (page_.Header.PageType != kPageTypeDirectory || page_.Header.EncryptionType != h.EncryptionType())
      Fail("Load", "page is not a directory page, pageNo = ", pageNo);
    pageList_.Add(pageNo);
    for (std::int32_t s = 0; s < itemsPerPage_; ++s) {
      const std::int32_t n = k * itemsPerPage_ + s;
      if (n >= itemCount) {
        // Slots past the last item are written as zeros: an item there means the item count
        // lost it.
        const std::uint8_t* slot = page_.Data.data() + s * kItemSize;
        if (std::any_of(slot, slot + kItemSize, [](std::uint8_t b) { return b != 0; }))
          throw Exception("TDIRManager.Load - damaged directory: an item past the item count, slot " +
                          std::to_string(n));
        continue;
      }
      TCFSDirItem item;
      std::string problem;
      // Garbage items in an encrypted container are what a wrong key deciphers to.
      const std::string cause = h.EncryptionType() != kEncryptionNone ? " (wrong password or damaged directory)" : "";
      if (!TCFSDirItem::Parse(page_.Data.data() + s * kItemSize, item, &problem))
        throw Exception("TDIRManager.Load - damaged directory item " + std::to_string(n) + ": " + problem + cause);
      if (item.Parent >= itemCount || item.Parent == n || item.FirstMapPageNo >= h.PageCount())
        throw Exception("TDIRManager.Load - damaged directory item " + std::to_string(n) +
                        ": parent or first map page out of range" + cause);
      loaded.push_back(std::move(item));
    }
    pageNo = page_.Header.NextPage;
  }

  items_.Clear();
  openCounts_.Clear();
  deletedCount_ = 0;
  if (itemCount > 0) items_.SetSize(itemCount);
  for (TCFSDirItem& item : loaded) {
    if (item.IsDeleted) ++deletedCount_;
    items_.AddItem(std::move(item));
    openCounts_.Add(0);
  }
  if (currentItem_ >= items_.ItemCount()) {
    currentItem_ = kCFSRootItem;
    currentPath_.assign(1, '\\');
  }
}

bool TDIRManager::FirstPageDeciphers(TPageFileManager& pageFile) {
  const TCFSHeader& h = pageFile.Header();
  const std::int32_t perPage = pageFile.DataSize() / kItemSize;
  const std::int32_t items = std::min(h.DIRItemCount(), perPage);
  const std::int32_t first = h.FirstDIRPage();
  if (h.EncryptionType() == kEncryptionNone || h.DIRPageCount() < 1 || items < 1 || first < 1 ||
      first >= h.PageCount())
    return true;
  TCFSPageRec rec;
  pageFile.InitPageRecord(rec);
  // Read as stored first, so that a page that fails its checksum counts as damage, not as a
  // wrong key.
  if (!pageFile.ReadPage(rec, first, true, {}, perPage * kItemSize) || rec.Header.PageType != kPageTypeDirectory ||
      rec.Header.EncryptionType != h.EncryptionType() ||
      !pageFile.DecodeBuffer(rec.Data.data(), perPage * kItemSize, pageFile.Key(), rec.Header.EncryptionType))
    return true;
  for (std::int32_t s = 0; s < items; ++s) {
    TCFSDirItem item;
    if (!TCFSDirItem::Parse(rec.Data.data() + s * kItemSize, item) || item.Parent >= h.DIRItemCount() ||
        item.FirstMapPageNo >= h.PageCount())
      return false;
  }
  return true;
}

bool TDIRManager::AddItem(const TCFSDirItem& item) { return StoreItem(item) >= 0; }

std::int32_t TDIRManager::StoreItem(const TCFSDirItem& item) {
  lastError_ = 0;
  // A read-only container cannot take items; its pages would not be written.
  if (pageFile_.ReadOnly()) {
    lastError_ = kCFSErrReadOnly;
    return kCFSFailed;
  }
  for (std::int32_t i = 0; deletedCount_ > 0 && i < items_.ItemCount(); ++i) {
    if (items_.Item(i).IsDeleted) {
      WriteItem(i, item);
      return i;
    }
  }
  const bool fresh = pageList_.Count() * itemsPerPage_ == items_.ItemCount();
  const std::int32_t firstPageBefore = pageFile_.Header().FirstDIRPage();
  if (fresh && !AppendPage()) return kCFSFailed;
  TCFSHeader& h = pageFile_.Header();
  h.SetDIRItemCount(items_.ItemCount() + 1);
  const std::int32_t n = items_.AddItem(item);
  if (item.IsDeleted) ++deletedCount_;
  openCounts_.Add(0);
  SavePage(n / itemsPerPage_, fresh, "AddItem");
  try {
    pageFile_.SaveHeader();
  } catch (const Exception&) {
    TakeBackLastItem(fresh, firstPageBefore);
    throw;
  }
  return n;
}

void TDIRManager::TakeBackLastItem(bool appendedPage, std::int32_t firstPageBefore) {
  // The header on disk still counts the items (and pages) from before, and a slot past the item
  // count must hold zeros, or the container no longer opens: clear the slot on disk (as far as
  // the storage lets us) and return to the old counts in memory.
  const std::int32_t n = items_.ItemCount() - 1;
  TCFSHeader& h = pageFile_.Header();
  h.SetDIRItemCount(n);
  if (appendedPage) {
    TIntegerArray page;
    page.Add(pageList_[pageList_.Count() - 1]);
    pageList_.Delete(pageList_.Count() - 1);
    h.SetDIRPageCount(pageList_.Count());
    h.SetFirstDIRPage(firstPageBefore);
    if (pageList_.Count() > 0) {
      const std::int32_t last = pageList_[pageList_.Count() - 1];
      if (pageFile_.ReadPage(page_, last, false, {}, 0)) {
        page_.Header.NextPage = -1;
        pageFile_.WritePage(page_, last, {}, 0);
      }
    }
    freeSpace_.FreePages(page);
  } else {
    const std::int32_t pageNo = pageList_[n / itemsPerPage_];
    if (pageFile_.ReadPage(page_, pageNo, false, {}, dataLength_)) {
      std::memset(page_.Data.data() + (n % itemsPerPage_) * kItemSize, 0, TCFSDirItem::kSize);
      pageFile_.WritePage(page_, pageNo, {}, dataLength_);
    }
  }
  // The item arrays cannot drop an item: build them again from the ones before.
  std::vector<TCFSDirItem> kept;
  kept.reserve(static_cast<std::size_t>(n));
  for (std::int32_t i = 0; i < n; ++i) kept.push_back(items_.Item(i));
  if (items_.Item(n).IsDeleted) --deletedCount_;
  items_.Clear();
  if (n > 0) items_.SetSize(n);
  for (TCFSDirItem& item : kept) items_.AddItem(std::move(item));
  openCounts_.SetCount(n);
}

bool TDIRManager::AppendPage() {
  TIntegerArray pages;
  const bool any = pageList_.Count() > 0;
  const std::int32_t hint = any ? pageList_[pageList_.Count() - 1] : freeSpace_.FirstExtentPage();
  if (!freeSpace_.GetPages(1, hint, pages, pageList_.Count() > 8) || pages.Count() != 1) {
    lastError_ = kCFSErrNoFreePage;
    return false;
  }
  const std::int32_t newPage = pages[0];
  TCFSHeader& h = pageFile_.Header();
  if (any) {
    const std::int32_t last = pageList_[pageList_.Count() - 1];
    if (!pageFile_.ReadPage(page_, last, false, {}, 0)) Fail("AddItem", "can not load last page, pageNo = ", last);
    page_.Header.NextPage = newPage;
    if (!pageFile_.WritePage(page_, last, {}, 0)) Fail("AddItem", "can not save last page, pageNo = ", last);
  } else {
    h.SetFirstDIRPage(newPage);
  }
  pageList_.Add(newPage);
  h.SetDIRPageCount(pageList_.Count());
  return true;
}

void TDIRManager::SavePage(std::int32_t k, bool fresh, const char* operation) {
  const std::int32_t pageNo = pageList_[k];
  if (fresh) {
    page_.Header = TCFSPageHeader{};
    page_.Header.NextPage = -1;
    page_.Header.PageType = kPageTypeDirectory;
    page_.Header.EncryptionType = pageFile_.Header().EncryptionType();
    page_.Header.ChecksumType = 0;
  } else if (!pageFile_.ReadPage(page_, pageNo, false, {}, 0)) {
    Fail(operation, "can not load  page, pageNo = ", pageNo);
  }
  std::uint8_t* data = page_.Data.data();
  for (std::int32_t s = 0; s < itemsPerPage_; ++s) {
    const std::int32_t n = k * itemsPerPage_ + s;
    if (n < items_.ItemCount())
      items_.Item(n).Serialize(data + s * kItemSize);
    else
      std::memset(data + s * kItemSize, 0, TCFSDirItem::kSize);
  }
  if (!pageFile_.WritePage(page_, pageNo, {}, dataLength_)) Fail(operation, "can not save page, pageNo = ", pageNo);
}

void TDIRManager::WriteItem(std::int32_t n, const TCFSDirItem& item) {
  const bool wasDeleted = n >= 0 && n < items_.ItemCount() && items_.Item(n).IsDeleted;
  items_.UpdateItem(item, n);
  deletedCount_ += int(item.IsDeleted) - int(wasDeleted);
  if (item.IsDeleted) openCounts_.Set(n, 0);
  const std::int32_t k = n / itemsPerPage_;
  if (holds_ == 0)
    SavePage(k, false, "WriteItem");
  else if (std::find(heldPages_.begin(), heldPages_.end(), k) == heldPages_.end())
    heldPages_.push_back(k);
}

void TDIRManager::ReleaseItemWrites() {
  if (holds_ == 0 || --holds_ > 0) return;
  const std::vector<std::int32_t> pages = std::move(heldPages_);
  heldPages_.clear();
  // A page appended meanwhile and taken back again has no items left to write.
  for (std::int32_t k : pages)
    if (k < pageList_.Count()) SavePage(k, false, "WriteItem");
}

TCFSDirItem TDIRManager::ReadItem(std::int32_t n) const {
  TCFSDirItem item;
  items_.ReadItem(n, item);
  return item;
}

bool TDIRManager::IsFolderItem(std::int32_t n) const {
  if (n < 0 || n >= items_.ItemCount()) return false;
  const TCFSDirItem& item = items_.Item(n);
  return item.IsFolder && !item.IsDeleted;
}

bool TDIRManager::ResolveParent(std::string_view path, std::int32_t& parent, std::string& name) const {
  std::string folder, raw;
  parent = SplitItemPath(path, folder, raw) ? items_.ResolvePath(folder, currentItem_) : currentItem_;
  if (parent < kCFSRootItem) return false;
  // Items live in folders only: a file below a file could never be exported.
  if (parent != kCFSRootItem && !IsFolderItem(parent)) return false;
  name = CutItemName(raw);
  return IsPlainItemName(name);
}

std::int32_t TDIRManager::CreateFile(std::string_view path, std::string_view password, std::string_view question,
                                     std::string_view answer) {
  if (path.empty() || IsRootPath(path)) return kCFSFailed;
  TCFSDirItem item;
  if (!ResolveParent(path, item.Parent, item.Name)) return kCFSFailed;
  item.FirstMapPageNo = -1;
  item.CreationTime = item.LastWriteTime = item.LastAccessTime = clock_();
  if (!password.empty()) {
    TCFSPasswordRec rec{};
    MakePasswordRec(rec, password, question, answer);
    std::copy(rec.begin(), rec.end(), item.PasswordRec.begin());
    item.HasPassword = true;
  }
  return StoreItem(item);
}

bool TDIRManager::CreateDir(std::string_view path) {
  if (path.empty() || IsRootPath(path) || DirectoryExists(path)) return false;
  TCFSDirItem item;
  if (!ResolveParent(path, item.Parent, item.Name)) return false;
  // A folder may not take the name of a file beside it: two items of one name in one folder
  // would make the path ambiguous.
  if (items_.ResolvePath(item.Name, item.Parent) >= 0) return false;
  item.FirstMapPageNo = -1;
  item.CreationTime = item.LastWriteTime = item.LastAccessTime = clock_();
  item.Attributes = TCFSDirItem::kFolderAttribute;
  item.IsFolder = true;
  return StoreItem(item) >= 0;
}

bool TDIRManager::ForceDirectories(std::string_view path) {
  if (path.empty()) return false;
  std::string folder, name;
  if (!SplitItemPath(path, folder, name) || folder.empty()) return DirectoryExists(path) || CreateDir(path);
  if (folder.size() >= path.size()) return false;
  if (!DirectoryExists(folder) && !ForceDirectories(folder))
    throw Exception("TDIRManager.ForceDirectories - ForceDirectories error!");
  // A trail byte 0x5C at the end of the folder's last name is not a separator.
  const bool separated = folder.back() == '/' || platform::HasTrailingPathDelimiter(folder);
  const std::string full = separated ? folder + name : folder + "\\" + name;
  return DirectoryExists(full) || CreateDir(full);
}

bool TDIRManager::DirectoryExists(std::string_view path) {
  if (IsRootPath(path) || path == ".") return true;
  if (path.empty()) return false;
  TSearchRec rec;
  const bool found = FindFirst(path, kFolderSearchAttributes, rec) == 0 &&
                     (rec.Attr & TCFSDirItem::kFolderAttribute) != 0;
  FindClose(rec);
  return found;
}

std::int32_t TDIRManager::FindItem(std::string_view path) const { return items_.ResolvePath(path, currentItem_); }

std::int32_t TDIRManager::FindFirst(std::string_view pathAndMask, std::uint32_t attributes, TSearchRec& rec) {
  return items_.FindFirst(pathAndMask, attributes, IsAbsolute(pathAndMask) ? kCFSRootItem : currentItem_, rec);
}

std::int32_t TDIRManager::OpenFile(std::string_view path, std::string_view password, std::string& key) {
  const std::int32_t n = FindItem(path);
  if (n < 0 || n >= items_.ItemCount()) return kCFSErrNotFound;
  TCFSDirItem item = items_.Item(n);
  if (item.IsFolder || item.IsDeleted) return kCFSErrNotFound;
  key.clear();
  if (item.HasPassword) {
    TCFSPasswordRec rec{};
    std::copy(item.PasswordRec.begin(), item.PasswordRec.end(), rec.begin());
    CheckPasswordRec(rec, password, key);
  }
  if (!pageFile_.ReadOnly()) {
    item.LastAccessTime = clock_();
    WriteItem(n, item);
  }
  openCounts_.Set(n, openCounts_[n] + 1);
  return n;
}

void TDIRManager::CloseFile(std::int32_t n) {
  if (n >= 0 && n < openCounts_.Count() && openCounts_[n] > 0) openCounts_.Set(n, openCounts_[n] - 1);
}

std::int32_t TDIRManager::GetOpenCount(std::int32_t n) const {
  return n >= 0 && n < openCounts_.Count() ? openCounts_[n] : -1;
}

bool TDIRManager::CheckPassword(std::string_view path, std::string_view password) const {
  const std::int32_t n = FindItem(path);
  if (n < 0 || n >= items_.ItemCount()) return false;
  const TCFSDirItem& item = items_.Item(n);
  if (!item.HasPassword) return true;
  TCFSPasswordRec rec{};
  std::copy(item.PasswordRec.begin(), item.PasswordRec.end(), rec.begin());
  std::string key;
  return CheckPasswordRec(rec, password, key);
}

bool TDIRManager::ChangeDir(std::string_view path) {
  const std::int32_t n = items_.ResolvePath(path, currentItem_);
  if (n < kCFSRootItem || (n != kCFSRootItem && !IsFolderItem(n))) return false;
  currentItem_ = n;
  currentPath_ = n == kCFSRootItem ? std::string("\\") : items_.GetItemPath(n);
  return true;
}
