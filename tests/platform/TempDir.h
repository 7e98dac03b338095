#pragma once
// A fresh folder under the system temporary folder, removed with everything in it at the end.
#include <string>
#include <vector>

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/Random.h"

namespace testutil {

// Removes the folder dir (ending in "\") with everything below it; read-only, hidden and system
// files and folders too, which Windows refuses to delete until their attributes are cleared.
inline void RemoveTree(const std::string& dir) {
  std::vector<platform::DirEntry> entries;
  platform::ListDirectory(dir + "*", platform::kAttrAnyFile, entries);
  for (const auto& e : entries) {
    if (e.name == "." || e.name == "..") continue;
    std::string path = dir + e.name;
    platform::SetFileAttributes(path, platform::kAttrNormal);
    if (e.attributes & platform::kAttrDirectory)
      RemoveTree(path + "\\");
    else
      platform::DeleteFile(path);
  }
  platform::SetFileAttributes(dir, platform::kAttrNormal);
  platform::RemoveDirectory(dir);
}

class TempDir {
 public:
  TempDir() {
    unsigned char r[6];
    platform::RandomBytes(r, sizeof r);
    std::string suffix;
    for (unsigned char c : r) suffix += "0123456789abcdef"[c & 15];
    path_ = platform::GetTempDirectory() + "zelk_test_" + std::to_string(platform::CurrentProcessId()) +
            "_" + suffix + "\\";
    platform::ForceDirectories(path_);
  }
  ~TempDir() { RemoveTree(path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // Ends in "\".
  const std::string& Path() const { return path_; }
  // The path of `name` in the folder.
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// Writes `data` to a new file; false on failure.
inline bool WriteFile(const std::string& path, const std::string& data) {
  auto f = platform::File::Open(path, platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
                                platform::FileDisposition::CreateAlways);
  return f && f->Write(data.data(), static_cast<std::int64_t>(data.size())) == static_cast<std::int64_t>(data.size());
}

inline std::string ReadFile(const std::string& path) {
  auto f = platform::File::Open(path, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                platform::FileDisposition::OpenExisting);
  if (!f) return "<missing>";
  std::string s(static_cast<std::size_t>(f->Size()), '\0');
  if (!s.empty()) f->Read(s.data(), static_cast<std::int64_t>(s.size()));
  return s;
}

}  // namespace testutil
