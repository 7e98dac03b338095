#pragma once
// Scratch folders and raw file access for the storage and page file tests.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Random.h"

namespace storagetest {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the temporary folder, removed with its files at the end.
class ScratchDir {
 public:
  ScratchDir() {
    unsigned char r[8];
    platform::RandomBytes(r, sizeof r);
    std::string suffix;
    for (unsigned char c : r) suffix += "0123456789abcdef"[c & 15];
    path_ = platform::GetTempDirectory() + "zelk_storage_" + suffix + "\\";
    platform::ForceDirectories(path_);
  }
  ~ScratchDir() {
    std::vector<platform::DirEntry> entries;
    platform::ListDirectory(path_ + "*", platform::kAttrAnyFile, entries);
    for (const auto& e : entries)
      if (!(e.attributes & platform::kAttrDirectory)) platform::DeleteFile(path_ + e.name);
    platform::RemoveDirectory(path_);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string operator/(const std::string& name) const { return path_ + name; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

inline Bytes ReadAll(const std::string& path) {
  auto f = platform::File::Open(path, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                platform::FileDisposition::OpenExisting);
  if (!f) return {};
  Bytes data(static_cast<std::size_t>(f->Size()));
  if (!data.empty()) f->Read(data.data(), static_cast<std::int64_t>(data.size()));
  return data;
}

inline bool WriteAll(const std::string& path, const Bytes& data) {
  auto f = platform::File::Open(path, platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
                                platform::FileDisposition::CreateAlways);
  return f && f->Write(data.data(), static_cast<std::int64_t>(data.size())) == static_cast<std::int64_t>(data.size());
}

// Overwrites bytes of an existing file at offset.
inline bool Patch(const std::string& path, std::int64_t offset, const Bytes& data) {
  auto f = platform::File::Open(path, platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
                                platform::FileDisposition::OpenExisting);
  return f && f->Seek(offset, platform::SeekOrigin::Begin) == offset &&
         f->Write(data.data(), static_cast<std::int64_t>(data.size())) == static_cast<std::int64_t>(data.size());
}

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Deterministic pseudo-random bytes (no "A" so that no signature appears by chance).
inline Bytes Pattern(std::size_t n, std::uint32_t seed) {
  Bytes out(n);
  for (auto& b : out) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(seed >> 16);
    if (b == 'A') b = 'a';
  }
  return out;
}

}  // namespace storagetest
