#pragma once
// Helpers of the zip tests: a scratch directory reached through the platform layer, file
// contents, and little-endian field access on archive bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "tests/platform/TempDir.h"

namespace ziptest {

// A fresh directory below the system's temporary directory, removed again at the end; file
// contents written and read through the platform layer.
using ScratchDir = testutil::TempDir;
using testutil::ReadFile;
using testutil::WriteFile;

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
