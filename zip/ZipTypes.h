#pragma once
// Enumerations, wide string lists and multi-volume settings of the zip component.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum TZipAction { zaUpdate, zaReplace, zaFreshen };
enum TUZOverwriteMode { Prompt, Always, Never, ifNewer, ifOlder };
enum TSkipReason {
  srBadPassword,
  srNoOverwrite,
  srFileOpenError,
  srCreateError,
  srExcludeList,
  srArchiveBitNotSet,
  srNoFileToFreshen,
  srSkippedInStartZip
};
enum TUpdateAction { uaReplacing, uaKeeping };
enum TZipSortMode { ByName, ByFileName, ByDirectoryName, ByDate, ByCompressedSize, ByUnCompressedSize, ByRate, ByNone };
enum TOEMConvert { oemNever, oemFlexible };
enum TEncryptStrength { esPKStandard, esAES128, esAES192, esAES256 };
enum TIncompleteZipMode { izAssumeMulti, izAssumeBad, izAssumeNotAZip };
enum TMultiMode { mmNone, mmSpan, mmBlocks };

// An ordered list of UTF-16 strings.
class TWideStrings {
 public:
  virtual ~TWideStrings() = default;
  int Add(const std::u16string& s) {
    items_.push_back(s);
    return static_cast<int>(items_.size()) - 1;
  }
  void Insert(int index, const std::u16string& s) { items_.insert(items_.begin() + index, s); }
  void Delete(int index) { items_.erase(items_.begin() + index); }
  void Clear() { items_.clear(); }
  int Count() const { return static_cast<int>(items_.size()); }
  const std::u16string& operator[](int index) const { return items_.at(static_cast<std::size_t>(index)); }
  std::u16string& operator[](int index) { return items_.at(static_cast<std::size_t>(index)); }
  const std::vector<std::u16string>& Items() const { return items_; }

 private:
  std::vector<std::u16string> items_;
};

class TWideStringList : public TWideStrings {};

// Settings of split and spanned archives. Only mmNone (one archive file) is acted upon.
struct TMultiZipInfo {
  TMultiMode MultiMode = mmNone;
  std::int64_t BlockSize = 1457600;
  std::int64_t FirstBlockSize = 0;
  std::int64_t SaveOnFirstDisk = 0;
  bool SaveZipInfoOnFirstDisk = false;
  bool CheckDiskLabels = true;
  bool WriteDiskLabels = true;
};
