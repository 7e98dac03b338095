#pragma once
// Small helpers shared by import and export.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/FileSystem.h"

namespace bulk {

// Runs a cleanup when the scope ends, however it ends.
template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : f_(std::move(f)) {}
  ~ScopeExit() { f_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  F f_;
};

// Deeper trees than this are taken for a loop (a linked folder, or a damaged container).
constexpr int kMaxFolderDepth = 200;

// Number of "\"-terminated components of a relative folder path (double-byte aware).
int FolderDepth(std::string_view dir);

// A listed entry is wanted when every hidden, system, volume and folder bit it carries is also
// in the search attributes.
inline bool AttributesSelected(std::uint32_t entry, std::uint32_t search) {
  constexpr std::uint32_t kSpecial =
      platform::kAttrHidden | platform::kAttrSystem | platform::kAttrVolumeId | platform::kAttrDirectory;
  return (entry & kSpecial & ~search) == 0;
}

// Whether a name read from a container may become a disk file or folder name below the export
// folder: not empty, not made of dots and blanks only (Windows would shorten it to "." or
// ".."), no "\", "/", ":" and no control characters. A trail byte of a two-byte character is
// not taken for a separator.
bool IsSafeExportName(std::string_view name);

}  // namespace bulk
