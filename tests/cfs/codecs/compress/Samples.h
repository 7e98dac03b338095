#pragma once
// Deterministic test inputs for the block codecs.
#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <vector>

// The methods with a codec in this build (PPMd ones only where its coder is built).
inline std::vector<int> CodecMethods() {
#ifdef ZELK_HAVE_PPMD
  return {1, 2, 3, 4, 5, 6, 7, 8, 9};
#else
  return {1, 2, 5, 7, 8, 9};
#endif
}

inline std::vector<std::uint8_t> TextSample(std::size_t size, unsigned seed = 1) {
  static const char* const kWords[] = {"local ", "function ", "end\n", "return ", "if ", "then ",
                                       "self.", "frame", ":SetPoint(", "\"TOPLEFT\"", ", ", "0",
                                       ")\n", "\xD6\xD0\xCE\xC4", "= {", "}\n", "nil", "true"};
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> out;
  out.reserve(size + 32);
  while (out.size() < size) {
    const std::string w = kWords[rng() % std::size(kWords)];
    out.insert(out.end(), w.begin(), w.end());
  }
  out.resize(size);
  return out;
}

inline std::vector<std::uint8_t> RandomSample(std::size_t size, unsigned seed = 2) {
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}
