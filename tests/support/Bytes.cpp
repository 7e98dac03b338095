#include "tests/support/Bytes.h"

#include <stdexcept>

namespace testsupport {

Bytes Pattern(std::size_t n, std::uint32_t seed) {
  Bytes out(n);
  for (auto& b : out) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(seed >> 16);
    if (b == 'A') b = 'a';
  }
  return out;
}

Bytes FromHex(std::string_view hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size();) {
    if (hex[i] == ' ') {
      ++i;
      continue;
    }
    out.push_back(static_cast<std::uint8_t>(std::stoul(std::string(hex.substr(i, 2)), nullptr, 16)));
    i += 2;
  }
  return out;
}

std::string ToHex(const std::uint8_t* data, std::size_t length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < length; ++i) {
    out.push_back(kDigits[data[i] >> 4]);
    out.push_back(kDigits[data[i] & 15]);
  }
  return out;
}

std::uint64_t LoadLE(std::span<const std::uint8_t> bytes, std::size_t at, int size) {
  if (size < 1 || size > 8 || at > bytes.size() || bytes.size() - at < static_cast<std::size_t>(size))
    throw std::out_of_range("little-endian field past the end of the data");
  std::uint64_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = (v << 8) | bytes[at + static_cast<std::size_t>(i)];
  return v;
}

}  // namespace testsupport
