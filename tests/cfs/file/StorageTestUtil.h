#pragma once
// Scratch folders and raw file access for the storage and page file tests.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Exception.h"
#include "platform/File.h"
#include "tests/platform/TempDir.h"

namespace storagetest {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the temporary folder, removed with its files at the end; dir / "name"
// gives the path of a file in it.
using ScratchDir = testutil::TempDir;

// The message of the Exception an action raises, "<no error>" when it raises none.
inline std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "<no error>";
}

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
