#pragma once
// Helpers shared by the cipher tests: hex conversion and reproducible pseudo-random bytes.
#include <cstdint>
#include <random>
#include <vector>

#include "tests/support/Bytes.h"

using testsupport::FromHex;
using testsupport::ToHex;

inline std::vector<std::uint8_t> RandomData(std::size_t length, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<std::uint8_t> out(length);
  for (auto& b : out) b = static_cast<std::uint8_t>(gen());
  return out;
}
