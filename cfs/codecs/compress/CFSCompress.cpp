#include "cfs/codecs/compress/CFSCompress.h"

#include <exception>
#include <iterator>

#include "cfs/codecs/compress/CFSBZip2.h"
#include "cfs/codecs/compress/CFSZlib.h"
#ifdef ZELK_HAVE_PPMD
#include "cfs/codecs/ppmd/Ppmd.h"
#endif

namespace {

constexpr TCFSMethodInfo kMethods[] = {
    {TCFSCodec::Copy, 0, 0, 0x100000},  {TCFSCodec::Zlib, 1, 0, 0x80000},
    {TCFSCodec::Zlib, 5, 0, 0x100000},  {TCFSCodec::PPMd, 5, 25, 0x100000},
    {TCFSCodec::PPMd, 13, 50, 0x180000}, {TCFSCodec::Zlib, 9, 0, 0x180000},
    {TCFSCodec::PPMd, 3, 10, 0x80000},  {TCFSCodec::BZip2, 2, 0, 0x80000},
    {TCFSCodec::BZip2, 6, 0, 0x100000}, {TCFSCodec::BZip2, 9, 0, 0x180000},
};
constexpr TCFSMethodInfo kNoMethod = {TCFSCodec::None, 0, 0, 0x100000};

// The largest model memory any method uses. The decoder takes its memory size from the block's
// parameter word; a damaged word could otherwise ask for up to 256 MB.
constexpr int kMaxPpmdMemoryMB = 50;

std::vector<std::uint8_t> PpmdCompressBlock(const std::uint8_t* in, std::size_t inSize,
                                            const TCFSMethodInfo& info) {
#ifdef ZELK_HAVE_PPMD
  std::vector<std::uint8_t> out(inSize + inSize / 20 + 50);
  const std::size_t written =
      PpmdCompress(in, inSize, out.data(), out.size(), info.Level, info.MemoryMB);
  out.resize(written);
  return out;
#else
  (void)in, (void)inSize, (void)info;
  return {};
#endif
}

bool PpmdDecompressBlock(const std::uint8_t* in, std::size_t inSize, std::size_t expectedSize,
                         std::vector<std::uint8_t>& out) {
#ifdef ZELK_HAVE_PPMD
  if (inSize < 4) return false;
  const int memoryMB = ((in[0] | in[1] << 8) >> 4 & 0xFF) + 1;
  if (memoryMB > kMaxPpmdMemoryMB) return false;
  out.resize(expectedSize);
  std::size_t produced = 0;
  if (!PpmdDecompress(in, inSize, out.data(), expectedSize, produced) || produced > expectedSize) {
    return false;
  }
  out.resize(produced);
  return true;
#else
  (void)in, (void)inSize, (void)expectedSize, (void)out;
  return false;
#endif
}

}  // namespace

TCFSMethodInfo MethodInfo(std::uint8_t method) {
  return method < std::size(kMethods) ? kMethods[method] : kNoMethod;
}

std::int32_t BlockSizeForMethod(std::uint8_t method) { return MethodInfo(method).BlockSize; }

bool CompressBuffer(const std::uint8_t* in, std::int32_t inSize, std::vector<std::uint8_t>& out,
                    std::uint8_t method, TCFSBlockHeader& header, TCodecScratch* scratch) {
  if (inSize == 0) return false;
  header.PackedSize = 0;
  out.clear();
  if (inSize < 0 || in == nullptr) return false;
  const TCFSMethodInfo info = MethodInfo(method);
  const std::size_t size = static_cast<std::size_t>(inSize);
  try {
    switch (info.Codec) {
      case TCFSCodec::Copy:
        out.assign(in, in + size);
        break;
      case TCFSCodec::Zlib:
        out = ZlibCompress(in, size, info.Level, scratch);
        break;
      case TCFSCodec::BZip2:
        out = BZip2Compress(in, size, info.Level, scratch);
        break;
      case TCFSCodec::PPMd:
        out = PpmdCompressBlock(in, size, info);
        break;
      case TCFSCodec::None:
        return false;
    }
  } catch (...) {
    // Codec exceptions, allocation failures: the block cannot be compressed.
    out.clear();
    return false;
  }
  header.PackedSize = static_cast<std::int32_t>(out.size());
  return !out.empty();
}

bool DecompressBuffer(const std::uint8_t* in, std::int32_t inSize, std::vector<std::uint8_t>& out,
                      std::uint8_t method, std::int32_t& outSize, TCodecScratch* scratch) {
  const std::int32_t expected = outSize;
  outSize = 0;
  out.clear();
  const TCFSMethodInfo info = MethodInfo(method);
  if (expected <= 0 || info.Codec == TCFSCodec::None) return false;
  if (inSize < 0 || (in == nullptr && inSize > 0)) return false;
  const std::size_t size = static_cast<std::size_t>(inSize);
  if (info.Codec == TCFSCodec::Copy) {
    out.assign(in, in + size);
    outSize = inSize;
    return true;
  }
  if (expected > kMaxExpectedBlockSize || inSize == 0) return false;
  const std::size_t room = static_cast<std::size_t>(expected);
  try {
    switch (info.Codec) {
      case TCFSCodec::Zlib:
        out = ZlibDecompress(in, size, room, scratch);
        break;
      case TCFSCodec::BZip2:
        out = BZip2Decompress(in, size, room, scratch);
        break;
      case TCFSCodec::PPMd:
        if (!PpmdDecompressBlock(in, size, room, out)) out.clear();
        break;
      default:
        return false;
    }
  } catch (...) {
    out.clear();
    return false;
  }
  outSize = static_cast<std::int32_t>(out.size());
  return outSize > 0;
}
