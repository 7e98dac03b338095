#pragma once
// Which data pages hold the bytes of each stored file. A file's pages are listed, in file order,
// in a chain of map pages starting at the directory item's FirstMapPageNo:
//   map page: page type 5, next-page field = next map page of the chain (-1 on the last), data
//   area = M = D div 4 int32 page numbers; map page i lists the file's data pages i*M .. i*M+M-1.
// A file of size s owns PagesForSize(s) data pages and ceil(pages / M) map pages; a file of size
// 0 may still own its first map page. File byte x lies at offset x mod D of data page x div D.
#include <cstdint>

#include "cfs/CFSErrors.h"
#include "cfs/engine/PageFileManager.h"
#include "cfs/index/CFSDirItem.h"
#include "cfs/index/IntegerArray.h"
#include "cfs/index/SortedPtrArray.h"
#include "cfs/space/FreeSpaceManager.h"

class TUserFilePageMapManager {
 public:
  // Files whose lists are kept before the caches are emptied.
  static constexpr std::int32_t kMaxCachedFiles = 100;

  TUserFilePageMapManager(TPageFileManager& pageFile, TFreeSpaceManager& freeSpace);
  TUserFilePageMapManager(const TUserFilePageMapManager&) = delete;
  TUserFilePageMapManager& operator=(const TUserFilePageMapManager&) = delete;

  // The map pages and data pages of a file (only FirstMapPageNo and Size of the item are used),
  // read from its chain unless cached. The lists stay owned by the manager and are valid until
  // its next call. Raises for a file without map and for a damaged chain. Beyond 100 cached files
  // the caches are emptied; so callers store a file's new size before they turn to another file.
  void GetMaps(const TCFSDirItem& file, TIntegerArray*& mapPages, TIntegerArray*& dataPages);
  // Adds count data pages at the end of the file, written as zeros when zeroFill; sets
  // FirstMapPageNo for a file that had none. false with LastError -17 when no pages are left.
  bool AppendPages(TCFSDirItem& file, std::int32_t count, bool zeroFill);
  // Removes the file's last count data pages (and the map pages no longer needed); sets
  // FirstMapPageNo to -1 when no map page remains.
  void DeletePagesFromEOF(TCFSDirItem& file, std::int32_t count);
  // Makes the file own exactly PagesForSize(newSize) data pages; size 0 releases every page,
  // the first map page included. The item's Size is the caller's to update.
  bool SetFileSize(TCFSDirItem& file, bool zeroFill, std::int64_t newSize);
  // Lists in pages the data pages covering count bytes from position, growing the file to
  // position + count first when grow is set. When the range ends on a page boundary inside the
  // file, the page after it is listed too (0 bytes of it are used).
  bool GetRangePages(TCFSDirItem& file, bool grow, TIntegerArray& pages, std::int32_t count, std::int64_t position);
  // Writes map pages firstIndex .. firstIndex + count - 1 of a chain. Raises on a write failure.
  void SaveMaps(std::int32_t firstIndex, std::int32_t count, const TIntegerArray& dataPages,
                const TIntegerArray& mapPages);
  // Data pages of a file of size bytes. Raises beyond the int32 range.
  std::int32_t PagesForSize(std::int64_t size) const;

  std::int32_t LastError() const { return lastError_; }
  std::int32_t EntriesPerMapPage() const { return M_; }
  std::int32_t CachedFileCount() const { return mapCache_.Count(); }
  bool IsCached(std::int32_t firstMapPageNo) const { return mapCache_.Find(firstMapPageNo) != nullptr; }

 private:
  void ReadChain(const TCFSDirItem& file, TIntegerArray& mapPages, TIntegerArray& dataPages);
  // Empties both caches, except the lists of file while they hold pages its size does not count.
  void EmptyCaches(const TCFSDirItem& file);
  void Forget(std::int32_t firstMapPageNo);
  void FreeScratch();

  TPageFileManager& pageFile_;
  std::int32_t lastError_ = 0;
  TFreeSpaceManager& freeSpace_;
  TSortedPtrArray<TIntegerArray> mapCache_;
  TSortedPtrArray<TIntegerArray> dataCache_;
  std::int32_t M_;
  TIntegerArray scratch_;
};
