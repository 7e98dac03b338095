#pragma once
// zlib glue for compression methods 1, 2 and 5: the zlib wrapper (header and Adler-32 trailer)
// with a 15-bit window, memory level 8 and the default strategy.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Exception.h"

class TCodecScratch;

class EZlibError : public Exception {
 public:
  using Exception::Exception;
};
class ECompressionError : public EZlibError {
 public:
  using EZlibError::EZlibError;
};
class EDecompressionError : public EZlibError {
 public:
  using EZlibError::EZlibError;
};

// Deflates in[0..inSize) at the level (1..9). Raises ECompressionError on a zlib failure. The
// library's work areas come from `scratch` when one is given (here and below).
std::vector<std::uint8_t> ZlibCompress(const std::uint8_t* in, std::size_t inSize, int level,
                                       TCodecScratch* scratch = nullptr);

// Inflates one zlib stream into exactly the room of expectedSize bytes: a stream that would
// produce more, or that ends early or is damaged, raises EDecompressionError. Returns the bytes
// produced (the stream's end was reached).
std::vector<std::uint8_t> ZlibDecompress(const std::uint8_t* in, std::size_t inSize,
                                         std::size_t expectedSize, TCodecScratch* scratch = nullptr);
