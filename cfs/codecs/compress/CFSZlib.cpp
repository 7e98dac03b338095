#include "cfs/codecs/compress/CFSZlib.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

#include "cfs/codecs/compress/CodecScratch.h"
#include "cfs/codecs/compress/OutputEstimate.h"

namespace {

constexpr std::size_t kGrowStep = 256;

// deflateEnd / inflateEnd whatever happens after a successful init.
struct DeflateEnd {
  z_stream* stream;
  ~DeflateEnd() { deflateEnd(stream); }
};
struct InflateEnd {
  z_stream* stream;
  ~InflateEnd() { inflateEnd(stream); }
};

// A stream whose work areas come from `scratch` (zlib's own malloc without one).
z_stream StreamWith(TCodecScratch* scratch) {
  z_stream zs{};
  if (scratch != nullptr) {
    zs.opaque = scratch;
    zs.zalloc = [](voidpf opaque, uInt items, uInt size) -> voidpf {
      return TCodecScratch::AllocateItems(opaque, items, size);
    };
    zs.zfree = [](voidpf opaque, voidpf block) { TCodecScratch::ReleaseBlock(opaque, block); };
  }
  return zs;
}

}  // namespace

std::vector<std::uint8_t> ZlibCompress(const std::uint8_t* in, std::size_t inSize, int level,
                                       TCodecScratch* scratch) {
  if (inSize > std::numeric_limits<uInt>::max()) throw ECompressionError("error");
  std::vector<std::uint8_t> own;
  std::vector<std::uint8_t>& out = scratch ? scratch->Output(CompressedSizeEstimate(inSize)) : own;
  if (!scratch) out.resize(CompressedSizeEstimate(inSize));
  const std::size_t room = std::min<std::size_t>(out.size(), std::numeric_limits<uInt>::max());
  z_stream zs = StreamWith(scratch);
  if (deflateInit(&zs, level) != Z_OK) throw ECompressionError("error");
  DeflateEnd end{&zs};
  zs.next_in = const_cast<Bytef*>(in);
  zs.avail_in = static_cast<uInt>(inSize);
  std::size_t total = 0;
  for (std::size_t limit = room;;) {
    zs.next_out = out.data() + total;
    zs.avail_out = static_cast<uInt>(limit - total);
    const int r = deflate(&zs, Z_FINISH);
    total = limit - zs.avail_out;
    if (r == Z_STREAM_END) break;
    if (r < 0) throw ECompressionError("error");
    // The estimate was too small: continue with some fresh room.
    limit += kGrowStep;
    if (out.size() < limit) out.resize(limit);
  }
  if (scratch) return std::vector<std::uint8_t>(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(total));
  out.resize(total);
  return own;
}

std::vector<std::uint8_t> ZlibDecompress(const std::uint8_t* in, std::size_t inSize,
                                         std::size_t expectedSize, TCodecScratch* scratch) {
  if (inSize > std::numeric_limits<uInt>::max() || expectedSize > std::numeric_limits<uInt>::max()) {
    throw EDecompressionError("error");
  }
  std::vector<std::uint8_t> out(expectedSize);
  z_stream zs = StreamWith(scratch);
  zs.next_in = const_cast<Bytef*>(in);
  zs.avail_in = static_cast<uInt>(inSize);
  if (inflateInit(&zs) != Z_OK) throw EDecompressionError("error");
  InflateEnd end{&zs};
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  for (;;) {
    const uInt inBefore = zs.avail_in;
    const uInt outBefore = zs.avail_out;
    const int r = inflate(&zs, Z_NO_FLUSH);
    if (r == Z_STREAM_END) break;
    // Negative codes include Z_BUF_ERROR (no progress possible); Z_NEED_DICT asks for a
    // dictionary no block has. A call that neither consumed nor produced anything means the
    // input ended early or the output would exceed the expected size.
    if (r != Z_OK || (zs.avail_in == inBefore && zs.avail_out == outBefore)) {
      throw EDecompressionError("error");
    }
  }
  out.resize(out.size() - zs.avail_out);
  return out;
}
