#include "backup/GameEntries.h"

#include "platform/FileSystem.h"

namespace {

bool Offered(const platform::DirEntry& entry) { return !entry.name.empty() && entry.name[0] != '.'; }

}  // namespace

std::vector<TGameEntry> ListAccountEntries(const std::string& gamePath) {
  std::vector<TGameEntry> out;
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDirectory(gamePath + "userdata\\*.*", platform::kAttrAnyFile, entries)) return out;
  for (const platform::DirEntry& entry : entries)
    if (Offered(entry)) out.push_back({entry.name, (entry.attributes & platform::kAttrDirectory) != 0});
  return out;
}

std::vector<std::string> ListAddonFolders(const std::string& gamePath) {
  std::vector<std::string> out;
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDirectory(gamePath + "interface\\*.*", platform::kAttrAnyFile, entries)) return out;
  for (const platform::DirEntry& entry : entries)
    if (Offered(entry) && (entry.attributes & platform::kAttrDirectory)) out.push_back(entry.name);
  return out;
}
