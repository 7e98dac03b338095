#include "cfs/codecs/compress/CFSBZip2.h"

#include <bzlib.h>

#include <algorithm>
#include <limits>
#include <string>

#include "cfs/codecs/compress/CodecScratch.h"
#include "cfs/codecs/compress/OutputEstimate.h"

namespace {

constexpr std::size_t kGrowStep = 256;

struct CompressEnd {
  bz_stream* stream;
  ~CompressEnd() { BZ2_bzCompressEnd(stream); }
};
struct DecompressEnd {
  bz_stream* stream;
  ~DecompressEnd() { BZ2_bzDecompressEnd(stream); }
};

std::string ErrorText(int code) { return "error " + std::to_string(code); }

// A stream whose work areas come from `scratch` (the library's own malloc without one).
bz_stream StreamWith(TCodecScratch* scratch) {
  bz_stream bs{};
  if (scratch != nullptr) {
    bs.opaque = scratch;
    bs.bzalloc = [](void* opaque, int items, int size) -> void* {
      if (items < 0 || size < 0) return nullptr;
      return TCodecScratch::AllocateItems(opaque, static_cast<std::size_t>(items), static_cast<std::size_t>(size));
    };
    bs.bzfree = [](void* opaque, void* block) { TCodecScratch::ReleaseBlock(opaque, block); };
  }
  return bs;
}

}  // namespace

// The library's internal consistency checks call this when it is built without stdio
// (BZ_NO_STDIO); execution must not return into the failed routine, so it raises. The stdio
// builds used here (the system library, the static Windows build) print the failure and end the
// process themselves (exit code 3) and never call it. The checks guard the library's own
// invariants, not the input: damaged data comes back as BZ_DATA_ERROR codes.
extern "C" void bz_internal_error(int errcode) {
  throw EBZip2Error("Compression Error " + std::to_string(errcode));
}

std::vector<std::uint8_t> BZip2Compress(const std::uint8_t* in, std::size_t inSize,
                                        int blockSize100k, TCodecScratch* scratch) {
  if (inSize > std::numeric_limits<unsigned>::max()) throw EBZCompressionError(ErrorText(BZ_PARAM_ERROR));
  std::vector<std::uint8_t> own;
  std::vector<std::uint8_t>& out = scratch ? scratch->Output(CompressedSizeEstimate(inSize)) : own;
  if (!scratch) out.resize(CompressedSizeEstimate(inSize));
  // The scratch buffer may be larger than this block needs; the library is given at most 4 GB.
  const std::size_t room = std::min<std::size_t>(out.size(), std::numeric_limits<unsigned>::max());
  bz_stream bs = StreamWith(scratch);
  const int init = BZ2_bzCompressInit(&bs, blockSize100k, 0, 0);
  if (init != BZ_OK) throw EBZCompressionError(ErrorText(init));
  CompressEnd end{&bs};
  bs.next_in = const_cast<char*>(reinterpret_cast<const char*>(in));
  bs.avail_in = static_cast<unsigned>(inSize);
  std::size_t total = 0;
  for (std::size_t limit = room;;) {
    bs.next_out = reinterpret_cast<char*>(out.data() + total);
    bs.avail_out = static_cast<unsigned>(limit - total);
    const unsigned inBefore = bs.avail_in;
    const unsigned outBefore = bs.avail_out;
    const int r = BZ2_bzCompress(&bs, BZ_FINISH);
    total = limit - bs.avail_out;
    if (r == BZ_STREAM_END) break;
    if (r < 0) throw EBZCompressionError(ErrorText(r));
    if (bs.avail_out == 0) {
      limit += kGrowStep;
      if (out.size() < limit) out.resize(limit);
    } else if (bs.avail_in == inBefore && bs.avail_out == outBefore) {
      throw EBZCompressionError(ErrorText(BZ_SEQUENCE_ERROR));  // no progress: never loop
    }
  }
  if (scratch) return std::vector<std::uint8_t>(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(total));
  out.resize(total);
  return own;
}

std::vector<std::uint8_t> BZip2Decompress(const std::uint8_t* in, std::size_t inSize,
                                          std::size_t expectedSize, TCodecScratch* scratch) {
  if (inSize > std::numeric_limits<unsigned>::max() ||
      expectedSize > std::numeric_limits<unsigned>::max()) {
    throw EBZDecompressionError(ErrorText(BZ_PARAM_ERROR));
  }
  std::vector<std::uint8_t> out(expectedSize);
  bz_stream bs = StreamWith(scratch);
  const int init = BZ2_bzDecompressInit(&bs, 0, 0);
  if (init != BZ_OK) throw EBZDecompressionError(ErrorText(init));
  DecompressEnd end{&bs};
  bs.next_in = const_cast<char*>(reinterpret_cast<const char*>(in));
  bs.avail_in = static_cast<unsigned>(inSize);
  bs.next_out = reinterpret_cast<char*>(out.data());
  bs.avail_out = static_cast<unsigned>(out.size());
  for (;;) {
    const unsigned inBefore = bs.avail_in;
    const unsigned outBefore = bs.avail_out;
    const int r = BZ2_bzDecompress(&bs);
    if (r == BZ_STREAM_END) break;
    if (r < 0) throw EBZDecompressionError(ErrorText(r));
    // The library asks for more input or more room by returning BZ_OK without progress.
    if (bs.avail_in == inBefore && bs.avail_out == outBefore) {
      throw EBZDecompressionError(ErrorText(bs.avail_out == 0 ? BZ_OUTBUFF_FULL : BZ_UNEXPECTED_EOF));
    }
  }
  out.resize(out.size() - bs.avail_out);
  return out;
}
