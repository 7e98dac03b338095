#include "tests/app/TreeCheck.h"

#include <algorithm>
#include <cstdlib>

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

bool HashOf(const std::string& path, std::uint64_t& hash) {
  auto file = platform::File::Open(path, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                   platform::FileDisposition::OpenExisting);
  if (!file) return false;
  hash = 14695981039346656037ull;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    std::int64_t n = file->Read(buffer.data(), static_cast<std::int64_t>(buffer.size()));
    if (n < 0) return false;
    if (n == 0) return true;
    hash = fixtures::Fnv1a64(buffer.data(), static_cast<std::size_t>(n), hash);
  }
}

std::vector<fixtures::ManifestEntry> EntriesUnder(const fixtures::FakeGame& game,
                                                  const std::vector<std::string>& prefixes) {
  std::vector<fixtures::ManifestEntry> out;
  for (const fixtures::ManifestEntry& e : game.entries) {
    std::string upper = platform::UpperCaseAscii(e.path);
    for (const std::string& prefix : prefixes) {
      if (upper.compare(0, prefix.size(), platform::UpperCaseAscii(prefix)) == 0) {
        out.push_back(e);
        break;
      }
    }
  }
  return out;
}

std::string CompareWithManifest(const std::string& dir, const std::vector<fixtures::ManifestEntry>& entries,
                                const std::vector<std::string>& skip) {
  std::string diff;
  const std::uint32_t kBits = platform::kAttrReadOnly | platform::kAttrHidden;
  for (const fixtures::ManifestEntry& e : entries) {
    if (std::find(skip.begin(), skip.end(), e.path) != skip.end()) continue;
    const std::string path = dir + e.path;
    const std::string shown = platform::Cp936ToUtf8(e.path);
    if (e.directory) {
      if (!platform::DirectoryExists(path)) diff += "missing folder " + shown + "\n";
      continue;
    }
    if (!platform::FileExists(path)) {
      diff += "missing file " + shown + "\n";
      continue;
    }
    if (platform::FileSize(path) != e.size) diff += "size of " + shown + "\n";
    std::uint64_t hash = 0;
    if (!HashOf(path, hash) || hash != e.hash) diff += "contents of " + shown + "\n";
    std::uint32_t attributes = platform::GetFileAttributes(path);
    if ((attributes & kBits) != (e.attributes & kBits)) diff += "attributes of " + shown + "\n";
    std::int64_t time = 0;
    if (!platform::GetFileTime(path, time) || std::llabs(time - e.lastWriteTime) >= 20000000)
      diff += "time of " + shown + "\n";
  }
  return diff;
}

std::vector<fixtures::ManifestEntry> PackedEntries(const fixtures::FakeGame& game) {
  std::vector<std::string> tops;
  for (const fixtures::SelectionRow& row : game.accountRows) tops.push_back("USERDATA\\" + platform::UpperCaseAscii(row.caption));
  for (const fixtures::SelectionRow& row : game.addonRows) tops.push_back("INTERFACE\\" + platform::UpperCaseAscii(row.caption));
  std::vector<fixtures::ManifestEntry> out;
  for (const fixtures::ManifestEntry& e : game.entries) {
    std::string upper = platform::UpperCaseAscii(e.path);
    for (const std::string& top : tops) {
      if (upper == top || upper.compare(0, top.size() + 1, top + "\\") == 0) {
        out.push_back(e);
        break;
      }
    }
  }
  return out;
}
