// The PPMd decoder on damaged framed streams. The parameter word is kept except for its model
// memory, which is held to 1 or 2 MB so that a run tries many inputs (restarts of a full model
// come sooner with less memory, which is the part worth reaching). Output must stay within the
// expected size; the decoder must fail or stop, never crash or hang.
//
// Input: one byte giving the expected size (n * 4 KiB + the input's own size), then the stream.
#include <cstdlib>
#include <vector>

#include "cfs/codecs/ppmd/Ppmd.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::vector<std::uint8_t> stream(data + 1, data + size);
  // Memory - 1 sits in bits 4..11 of the little-endian word: keeping only bit 4 leaves 1 or 2 MB.
  if (stream.size() >= 2) {
    stream[0] = static_cast<std::uint8_t>(stream[0] & 0x1F);
    stream[1] = static_cast<std::uint8_t>(stream[1] & 0xF0);
  }
  std::vector<std::uint8_t> out(std::size_t{data[0]} * 4096 + stream.size() + 1);
  std::size_t produced = 0;
  PpmdDecompress(stream.data(), stream.size(), out.data(), out.size(), produced);
  if (produced > out.size()) std::abort();
  return 0;
}
