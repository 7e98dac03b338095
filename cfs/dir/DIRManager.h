#pragma once
// The container's directory: one 512-byte item per stored file and folder, P = data size div
// 512 items per directory page (7 with 4096-byte pages), pages chained through their next-page
// field from the header's first directory page. The whole directory is read at opening into a
// TDIRArray; every change is written through to the page holding the item at once, or, while
// item writes are held, once when the hold ends.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cfs/CFSErrors.h"
#include "cfs/dir/CFSTime.h"
#include "cfs/engine/PageFileManager.h"
#include "cfs/index/DIRArray.h"
#include "cfs/index/IntegerArray.h"
#include "cfs/space/FreeSpaceManager.h"

class TDIRManager {
 public:
  // Reads the directory; raises when a directory page cannot be read or holds a damaged item.
  TDIRManager(TPageFileManager& pageFile, TFreeSpaceManager& freeSpace);
  // The time stamped on new and opened items; the local clock unless a test sets a fixed one.
  void SetClock(std::function<std::int64_t()> clock) { clock_ = std::move(clock); }
  std::int64_t Now() const { return clock_(); }
  TDIRManager(const TDIRManager&) = delete;
  TDIRManager& operator=(const TDIRManager&) = delete;

  void Load();
  // Whether the container key of an encrypted container turns its first directory page into
  // sound items. The password record's 16-bit check lets about one wrong password in 65,536
  // through; the key it then gives deciphers the directory into garbage. True for a container
  // without encryption or items, and when the page cannot be read or is not a directory page
  // (damage, which Load reports).
  static bool FirstPageDeciphers(TPageFileManager& pageFile);

  // Stores a new item in the first deleted slot, else at the end (chaining a new page when the
  // last one is full). false with LastError -17 when no page could be had.
  bool AddItem(const TCFSDirItem& item);
  // Replaces item n in memory and on its page; raises for an invalid n.
  void WriteItem(std::int32_t n, const TCFSDirItem& item);
  // While held, WriteItem changes the item in memory only and its page is written when the last
  // hold is released: storing one file changes its item a dozen times, and each change would
  // otherwise write the whole page again. Releasing raises as WriteItem does when a page cannot
  // be written.
  void HoldItemWrites() { ++holds_; }
  void ReleaseItemWrites();
  TCFSDirItem ReadItem(std::int32_t n) const;
  const TCFSDirItem& Item(std::int32_t n) const { return items_.Item(n); }

  // Item number of the new file, or -1 (no name, parent missing or not a folder, no room).
  std::int32_t CreateFile(std::string_view path, std::string_view password, std::string_view question,
                          std::string_view answer);
  bool CreateDir(std::string_view path);
  bool ForceDirectories(std::string_view path);
  bool DirectoryExists(std::string_view path);
  // Item number; kCFSRootItem for the root; kCFSPathInvalid / kCFSPathNotResolved when absent.
  std::int32_t FindItem(std::string_view path) const;

  // Item number of the opened file or -1 (absent, or a folder). Raises the open count, derives
  // the file's page key into key when it has its own password, and (unless read-only) stamps
  // the last access time.
  std::int32_t OpenFile(std::string_view path, std::string_view password, std::string& key);
  void CloseFile(std::int32_t n);
  std::int32_t GetOpenCount(std::int32_t n) const;
  bool CheckPassword(std::string_view path, std::string_view password) const;

  bool ChangeDir(std::string_view path);
  const std::string& GetCurrentDir() const { return currentPath_; }
  std::int32_t CurrentDirItem() const { return currentItem_; }

  // Searches from the root for a path starting with a separator, else from the current folder.
  std::int32_t FindFirst(std::string_view pathAndMask, std::uint32_t attributes, TSearchRec& rec);
  std::int32_t FindNext(TSearchRec& rec) { return items_.FindNext(rec); }
  void FindClose(TSearchRec& rec) { items_.FindClose(rec); }

  std::int32_t ItemCount() const { return items_.ItemCount(); }
  std::int32_t ItemsPerPage() const { return itemsPerPage_; }
  const TIntegerArray& PageList() const { return pageList_; }
  const TDIRArray& Items() const { return items_; }
  std::int32_t LastError() const { return lastError_; }

 private:
  // Slot number that received the item, or -1.
  std::int32_t StoreItem(const TCFSDirItem& item);
  bool AppendPage();
  // Writes directory page k from the items in memory. Fresh pages get new header fields;
  // others keep the fields of their stored page header.
  void SavePage(std::int32_t k, bool fresh, const char* operation);
  // Undoes the adding of the last item after its header save failed.
  void TakeBackLastItem(bool appendedPage, std::int32_t firstPageBefore);
  // Resolves the folder part of path (the current folder when there is none) into parent and
  // the cut item name into name; false when the folder is missing or not a folder, or the name
  // cannot be an item name.
  bool ResolveParent(std::string_view path, std::int32_t& parent, std::string& name) const;
  bool IsFolderItem(std::int32_t n) const;
  static bool IsAbsolute(std::string_view path) {
    return !path.empty() && (path.front() == '\\' || path.front() == '/');
  }

  TFreeSpaceManager& freeSpace_;
  TIntegerArray pageList_;
  std::int32_t itemsPerPage_;
  std::int32_t dataLength_;
  TPageFileManager& pageFile_;
  TDIRArray items_;
  TIntegerArray openCounts_;
  std::int32_t deletedCount_ = 0;  // reusable slots; spares the scan for them when there are none
  std::int32_t lastError_ = 0;
  std::string currentPath_ = "\\";
  std::int32_t currentItem_ = kCFSRootItem;
  TCFSPageRec page_;
  std::int32_t holds_ = 0;
  std::vector<std::int32_t> heldPages_;  // directory pages (by index) whose items changed while held
  std::function<std::int64_t()> clock_ = CFSFileTimeNow;
};
