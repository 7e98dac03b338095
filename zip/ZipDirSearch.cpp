#include "zip/ZipDirSearch.h"

#include <vector>

#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "zip/WideText.h"
#include "zip/ZipPatterns.h"

namespace {

// Deeper trees than this are not walked (guards against link loops).
constexpr int kMaxDepth = 128;
const std::u16string kWildcards = u"*?<>|";

bool List(const std::u16string& dir, std::uint32_t searchAttr, std::vector<platform::DirEntry>& out) {
  bool lossless = true;
  const std::u16string base = dir.empty() ? std::u16string() : ziptext::IncludeTrailingBackslash(dir);
  const std::string pattern = platform::Utf16ToCp936(base + u"*", &lossless);
  if (!lossless) return false;
  out.clear();
  return platform::ListDirectory(pattern, searchAttr, out);
}

bool IsDots(const std::string& name) { return name == "." || name == ".."; }

void Walk(const std::u16string& dir, const std::u16string& mask, bool recurse, std::uint32_t searchAttr,
          const std::function<void(const TDirSearchItem&)>& found, int depth) {
  std::vector<platform::DirEntry> entries;
  if (!List(dir, searchAttr, entries)) return;
  const std::u16string base = dir.empty() ? std::u16string() : ziptext::IncludeTrailingBackslash(dir);
  for (const auto& e : entries) {
    if (IsDots(e.name) || !SearchAttributePasses(e.attributes, searchAttr)) continue;
    const std::u16string name = platform::Cp936ToUtf16(e.name);
    TDirSearchItem item;
    item.attributes = e.attributes;
    if (e.attributes & platform::kAttrDirectory) {
      if (!recurse || depth >= kMaxDepth) continue;
      item.path = base + name + u"\\";
      item.isDirectory = true;
      found(item);
      Walk(item.path, mask, recurse, searchAttr, found, depth + 1);
    } else if (DirSearchMaskMatch(mask, name)) {
      item.path = base + name;
      item.size = e.size;
      found(item);
    }
  }
}

// Expands wildcard levels of a directory path into the existing directories they name.
void ExpandDirectories(const std::u16string& dir, std::uint32_t searchAttr, std::vector<std::u16string>& out) {
  std::vector<std::u16string> parts;
  std::u16string part;
  for (char16_t c : dir) {
    if (c == u'\\') {
      parts.push_back(part + u"\\");
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part + u"\\");

  std::vector<std::u16string> current{u""};
  for (const auto& p : parts) {
    const std::u16string level = p.substr(0, p.size() - 1);
    std::vector<std::u16string> next;
    if (!ziptext::ContainsAny(level, kWildcards)) {
      for (const auto& c : current) next.push_back(c + p);
    } else {
      for (const auto& c : current) {
        std::vector<platform::DirEntry> entries;
        if (!List(c, searchAttr, entries)) continue;
        for (const auto& e : entries) {
          if (IsDots(e.name) || !(e.attributes & platform::kAttrDirectory) || !SearchAttributePasses(e.attributes, searchAttr)) continue;
          const std::u16string name = platform::Cp936ToUtf16(e.name);
          if (ZipPatternMatch(level, name)) next.push_back(c + name + u"\\");
        }
      }
    }
    current = std::move(next);
  }
  for (auto& c : current) out.push_back(std::move(c));
}

}  // namespace

bool SearchAttributePasses(std::uint32_t attributes, std::uint32_t searchAttr) {
  const std::uint32_t filtered = platform::kAttrHidden | platform::kAttrSystem | platform::kAttrVolumeId | platform::kAttrDirectory;
  return (attributes & filtered & ~searchAttr) == 0;
}

bool DirSearchMaskMatch(const std::u16string& mask, const std::u16string& name) {
  if (ZipPatternMatch(mask, name)) return true;
  return name.find(u'.') == std::u16string::npos && ZipPatternMatch(mask, name + u".");
}

void DirSearch(const std::u16string& dir, const std::u16string& mask, bool recurse, std::uint32_t searchAttr,
               const std::function<void(const TDirSearchItem&)>& found) {
  if (!ziptext::ContainsAny(dir, kWildcards)) {
    Walk(dir, mask, recurse, searchAttr, found, 0);
    return;
  }
  std::vector<std::u16string> dirs;
  ExpandDirectories(dir, searchAttr, dirs);
  for (const auto& d : dirs) Walk(d, mask, recurse, searchAttr, found, 0);
}
