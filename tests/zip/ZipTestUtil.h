#pragma once
// Helpers of the zip tests: a scratch directory reached through the platform layer, file
// contents, and little-endian field access on archive bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Random.h"
#include "platform/Text.h"

namespace ziptest {

// Removes a directory tree given as a code page 936 path ending in "\".
inline void RemoveTree(const std::string& dir) {
  std::vector<platform::DirEntry> entries;
  if (platform::ListDirectory(dir + "*", platform::kAttrAnyFile, entries)) {
    for (const auto& e : entries) {
      if (e.name == "." || e.name == "..") continue;
      const std::string path = dir + e.name;
      if (e.attributes & platform::kAttrDirectory) {
        RemoveTree(path + "\\");
      } else {
        platform::SetFileAttributes(path, platform::kAttrArchive);
        platform::DeleteFile(path);
      }
    }
  }
  platform::RemoveDirectory(dir);
}

// A fresh directory below the system's temporary directory, removed again at the end.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& base = platform::GetTempDirectory()) {
    unsigned char r[6] = {};
    platform::RandomBytes(r, sizeof r);
    std::string name = "zelkzip_";
    for (unsigned char c : r) name += "0123456789abcdef"[c >> 4], name += "0123456789abcdef"[c & 15];
    path_ = platform::IncludeTrailingPathDelimiter(base) + name + "\\";
    platform::ForceDirectories(path_);
  }
  ~ScratchDir() { RemoveTree(path_); }
  const std::string& Path() const { return path_; }  // ends in "\"
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

inline bool WriteFile(const std::string& path, const std::string& data) {
  auto f = platform::File::Open(path, platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
                                platform::FileDisposition::CreateAlways);
  return f && f->Write(data.data(), static_cast<std::int64_t>(data.size())) == static_cast<std::int64_t>(data.size());
}

inline std::string ReadFile(const std::string& path) {
  auto f = platform::File::Open(path, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                platform::FileDisposition::OpenExisting);
  if (!f) return {};
  std::string data(static_cast<std::size_t>(f->Size()), '\0');
  if (f->Read(data.data(), static_cast<std::int64_t>(data.size())) != static_cast<std::int64_t>(data.size())) return {};
  return data;
}

inline std::uint16_t U16(const std::string& b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b.at(at)) | (static_cast<unsigned char>(b.at(at + 1)) << 8));
}
inline std::uint32_t U32(const std::string& b, std::size_t at) {
  return static_cast<std::uint32_t>(U16(b, at)) | (static_cast<std::uint32_t>(U16(b, at + 2)) << 16);
}
inline std::uint64_t U64(const std::string& b, std::size_t at) {
  return static_cast<std::uint64_t>(U32(b, at)) | (static_cast<std::uint64_t>(U32(b, at + 4)) << 32);
}

// Deterministic pseudo-random bytes (incompressible enough for stored-versus-deflated checks).
inline std::string NoiseBytes(std::size_t n, std::uint32_t seed) {
  std::string out(n, '\0');
  for (auto& c : out) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return out;
}

inline std::string TextBytes(std::size_t n) {
  std::string out;
  static const char* words[] = {"interface ", "userdata ", "account ", "Zelk ", "settings\r\n", "addon ", "the "};
  std::uint32_t s = 7;
  while (out.size() < n) {
    s = s * 1664525u + 1013904223u;
    out += words[(s >> 24) % 7];
  }
  out.resize(n);
  return out;
}

}  // namespace ziptest
