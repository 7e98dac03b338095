#include "tests/support/TempFolder.h"

#include <vector>

#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/Random.h"

namespace testsupport {

void RemoveTree(const std::string& dir) {
  std::vector<platform::DirEntry> entries;
  platform::ListDirectory(dir + "*", platform::kAttrAnyFile, entries);
  for (const auto& e : entries) {
    if (e.name == "." || e.name == "..") continue;
    const std::string path = dir + e.name;
    platform::SetFileAttributes(path, platform::kAttrNormal);
    if (e.attributes & platform::kAttrDirectory)
      RemoveTree(path + "\\");
    else
      platform::DeleteFile(path);
  }
  platform::SetFileAttributes(dir, platform::kAttrNormal);
  platform::RemoveDirectory(dir);
}

TempFolder::TempFolder() {
  // Process id and random suffix: parallel test processes never share a folder.
  unsigned char r[6];
  platform::RandomBytes(r, sizeof r);
  std::string suffix;
  for (unsigned char c : r) suffix += "0123456789abcdef"[c & 15];
  path_ = platform::GetTempDirectory() + "zelk_test_" + std::to_string(platform::CurrentProcessId()) + "_" +
          suffix + "\\";
  platform::ForceDirectories(path_);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

}  // namespace testsupport
