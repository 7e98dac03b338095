#pragma once
// The whole directory of a container in memory: every item plus two sorted indexes of the live
// (not deleted) items, one by name and one by parent, for path resolution and wildcard search.
//
// Item numbers are positions in the item storage, from 0; the root folder has no item and is
// numbered -1. Deleted items keep their number but are in neither index.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cfs/CFSErrors.h"
#include "cfs/index/CFSDirItem.h"
#include "cfs/index/CFSSearchRec.h"
#include "cfs/index/GrowthPolicy.h"
#include "cfs/index/IntegerArray.h"

// Splits a path at its last "\" or "/" (a trailing one is ignored; trail bytes of two-byte
// characters are not separators). With a separator, `folder` is the part before it ("\" when the
// separator is the first character) and the result is true; without one, `folder` is empty, the
// whole path is the name and the result is false.
bool SplitItemPath(std::string_view path, std::string& folder, std::string& name);

class TDIRArray {
 public:
  // The directory manager passes its items per page as step and ten times that as limit.
  TDIRArray(std::int32_t initialStep, std::int32_t stepLimit);
  ~TDIRArray();

  std::int32_t ItemCount() const { return static_cast<std::int32_t>(items_.size()); }
  std::int32_t IndexedCount() const { return nameIndex_.Count(); }
  std::int32_t Capacity() const { return policy_.Capacity(); }

  // 0 clears items, indexes and searches; a larger size reserves room; a size below the item
  // count raises.
  void SetSize(std::int32_t n);
  void Clear() { SetSize(0); }

  // Appends the item and returns its number. Names are cut to what an item can hold.
  std::int32_t AddItem(TCFSDirItem item);
  // Raise for an item number outside 0..ItemCount()-1.
  void ReadItem(std::int32_t n, TCFSDirItem& item) const;
  const TCFSDirItem& Item(std::int32_t n) const;
  // Replaces item n and repairs both indexes.
  void UpdateItem(TCFSDirItem item, std::int32_t n);

  // Item number of the path walked from startItem; kCFSRootItem for the root, kCFSPathInvalid or
  // kCFSPathNotResolved when it does not resolve.
  std::int32_t ResolvePath(std::string_view path, std::int32_t startItem) const;
  // "\docs\a.txt" for a file a.txt in a folder docs under the root; "\" for an invalid number.
  std::string GetItemPath(std::int32_t n) const;
  // Wildcards "*" and "?" over bytes; ASCII letters match regardless of case, bytes of two-byte
  // characters only themselves; "*.*" matches all.
  static bool MatchMask(std::string_view name, std::string_view mask);

  // Searches the folder named by the path part for items whose names match the mask part.
  // attributes selects hidden (2), system (4), volume (8) and folder (16) items in addition to
  // plain ones. 0 with rec filled from the first hit, kCFSFindFolderMissing or kCFSFindNoMore.
  // The search keeps a slot until FindClose, whatever the result.
  std::int32_t FindFirst(std::string_view pathAndMask, std::uint32_t attributes,
                         std::int32_t startItem, TSearchRec& rec);
  // 0 with rec filled from the next hit, kCFSFindNoMore or kCFSFindClosed.
  std::int32_t FindNext(TSearchRec& rec);
  void FindClose(TSearchRec& rec);
  void FillSearchRec(std::int32_t n, TSearchRec& rec) const;

  // The indexes, as lists of item numbers.
  const TIntegerArray& NameIndex() const { return nameIndex_; }
  const TIntegerArray& ParentIndex() const { return parentIndex_; }

 private:
  struct TSearchSlot {
    TIntegerArray hits;
    std::int32_t next = 0;
  };

  void CheckItemNo(const char* operation, std::int32_t n) const;
  // The name index is ordered by name (case-insensitively) and, among equal names, by parent:
  // equal names still form one run, and a lookup goes straight to the item of one folder instead
  // of scanning that name's items in every folder. Compares item's key with (name, parent).
  int CompareKey(std::int32_t item, std::string_view name, std::int32_t parent) const;
  // Positions in the name index: first with a key not below / above (name, parent).
  std::int32_t KeyLowerBound(std::string_view name, std::int32_t parent) const;
  std::int32_t KeyUpperBound(std::string_view name, std::int32_t parent) const;
  std::int32_t ParentLowerBound(std::int32_t parent) const;
  std::int32_t ParentUpperBound(std::int32_t parent) const;
  // Position of item n in the run of equal keys, or -1.
  std::int32_t NamePositionOf(std::int32_t n, std::string_view name, std::int32_t parent) const;
  std::int32_t ParentPositionOf(std::int32_t n, std::int32_t parent) const;

  TGrowthPolicy policy_;
  std::vector<TCFSDirItem> items_;
  TIntegerArray nameIndex_;
  TIntegerArray parentIndex_;
  std::vector<std::unique_ptr<TSearchSlot>> searches_;  // null entries are free
};
