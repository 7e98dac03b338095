#pragma once
// bzip2 glue for compression methods 7, 8 and 9: block sizes of 2, 6 and 9 x 100 000 bytes,
// the library's default work factor.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Exception.h"

class TCodecScratch;

class EBZip2Error : public Exception {
 public:
  using Exception::Exception;
};
class EBZCompressionError : public EBZip2Error {
 public:
  using EBZip2Error::EBZip2Error;
};
class EBZDecompressionError : public EBZip2Error {
 public:
  using EBZip2Error::EBZip2Error;
};

// Compresses in[0..inSize) with the block size in units of 100 000 bytes (1..9). Raises
// EBZCompressionError "error <code>" on a library failure. The library's work areas come from
// `scratch` when one is given.
std::vector<std::uint8_t> BZip2Compress(const std::uint8_t* in, std::size_t inSize,
                                        int blockSize100k, TCodecScratch* scratch = nullptr);

// Decompresses one bzip2 stream into exactly the room of expectedSize bytes. Raises
// EBZDecompressionError "error <code>" for a damaged stream, for one that ends early
// (BZ_UNEXPECTED_EOF) and for one that would produce more than expectedSize (BZ_OUTBUFF_FULL).
std::vector<std::uint8_t> BZip2Decompress(const std::uint8_t* in, std::size_t inSize,
                                          std::size_t expectedSize, TCodecScratch* scratch = nullptr);
