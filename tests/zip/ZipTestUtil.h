#pragma once
// Helpers of the zip tests: archive contents of a given kind; scratch folders, file access and
// little-endian fields come from tests/support.
#include <cstdint>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "tests/support/Bytes.h"
#include "tests/support/Files.h"
#include "tests/support/TempFolder.h"

namespace ziptest {

using ScratchDir = testsupport::TempFolder;
using testsupport::ReadFile;
using testsupport::U16;
using testsupport::U32;
using testsupport::U64;
using testsupport::WriteFile;

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
