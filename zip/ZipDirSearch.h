#pragma once
// Walks a directory for the names matching a mask, depth first in the order the file system
// lists them. Directory levels may themselves contain wildcards.
#include <cstdint>
#include <functional>
#include <string>

struct TDirSearchItem {
  std::u16string path;  // full path; directories end in "\"
  bool isDirectory = false;
  std::int64_t size = 0;
  std::uint32_t attributes = 0;
};

// `searchAttr` filters like a Windows search: hidden, system, volume and directory entries pass
// only when their bits are in it. Subdirectories are reported (and entered) only when `recurse`.
void DirSearch(const std::u16string& dir, const std::u16string& mask, bool recurse, std::uint32_t searchAttr,
               const std::function<void(const TDirSearchItem&)>& found);

// Whether an entry with these attributes passes the search attribute: hidden, system, volume and
// directory entries need their bits in it; read-only and archive never filter.
bool SearchAttributePasses(std::uint32_t attributes, std::uint32_t searchAttr);

// Whether a name matches a search mask; a name without "." also matches as if it ended in ".".
bool DirSearchMaskMatch(const std::u16string& mask, const std::u16string& name);
