#pragma once
// PPMd variant G block coder used by compression methods 3, 4 and 6.
//
// A framed stream is: a 4-byte little-endian parameter word
//   P = ((memoryMB - 1) << 4) | (order - 1) | 0x6000
// followed by the range coder output, which ends with the coded end mark and a 4-byte flush.
// Every call owns its model and its memory arena, so calls may run in several threads at once.

#include <cstddef>
#include <cstdint>

// Encodes `in` as a framed PPMd variant G stream (4-byte parameter word, coder output, end mark,
// 4-byte flush) into out[0..outCapacity).
// Returns the number of bytes written, or 0 on failure (capacity exceeded, allocation failure,
// order outside 2..16 or memory outside 1..256 MB).
std::size_t PpmdCompress(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out,
                         std::size_t outCapacity, int order, int memoryMB);

// Decodes a framed stream into out[0..expectedSize). Returns false on a damaged stream, a bad
// parameter word or output beyond expectedSize; outSize = bytes produced.
bool PpmdDecompress(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out,
                    std::size_t expectedSize, std::size_t& outSize);
