#pragma once
// Helpers shared by the cipher tests: hex conversion and reproducible pseudo-random bytes.
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

inline std::vector<std::uint8_t> FromHex(std::string_view hex) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoul(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

inline std::string ToHex(const std::uint8_t* data, std::size_t length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < length; ++i) {
    out.push_back(kDigits[data[i] >> 4]);
    out.push_back(kDigits[data[i] & 15]);
  }
  return out;
}

inline std::vector<std::uint8_t> RandomData(std::size_t length, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<std::uint8_t> out(length);
  for (auto& b : out) b = static_cast<std::uint8_t>(gen());
  return out;
}
