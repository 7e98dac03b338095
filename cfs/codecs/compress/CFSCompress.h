#pragma once
// Compression of one block held in memory, selected by the method byte of a stored file:
//   0      bytes copied                               block 0x100000
//   1 2 5  zlib level 1, 5, 9                         block 0x80000, 0x100000, 0x180000
//   3 4 6  PPMd order 5/25 MB, 13/50 MB, 3/10 MB      block 0x100000, 0x180000, 0x80000
//   7 8 9  bzip2 with 2, 6, 9 x 100 000-byte blocks   block 0x80000, 0x100000, 0x180000
//   10..   no codec: compression and decompression fail  (block 0x100000)
// Codec failures never leave these functions as exceptions: they come back as false.
#include <cstdint>
#include <vector>

#include "cfs/codecs/compress/CFSBlockHeader.h"

class TCodecScratch;

enum class TCFSCodec { Copy, Zlib, PPMd, BZip2, None };

struct TCFSMethodInfo {
  TCFSCodec Codec;
  int Level;     // zlib level, PPMd model order, bzip2 block size in 100 000 bytes
  int MemoryMB;  // PPMd model memory
  std::int32_t BlockSize;
};

// The row of the method table; methods 10..255 give codec None.
TCFSMethodInfo MethodInfo(std::uint8_t method);
std::int32_t BlockSizeForMethod(std::uint8_t method);

// No block this format writes unpacks to more than 0x180000 bytes. Decompression refuses
// expected sizes above this cap so that a damaged block header cannot ask for a huge buffer.
constexpr std::int32_t kMaxExpectedBlockSize = 0x1000000;

// Compresses in[0..inSize) into out and sets header.PackedSize to out's length; the header's
// other fields are left alone. inSize 0 returns false and touches neither out nor the header.
// On failure out is empty and PackedSize 0. True when at least one byte was produced.
// zlib and bzip2 take their work areas from `scratch` when one is given (here and below).
bool CompressBuffer(const std::uint8_t* in, std::int32_t inSize, std::vector<std::uint8_t>& out,
                    std::uint8_t method, TCFSBlockHeader& header, TCodecScratch* scratch = nullptr);

// Decompresses in[0..inSize) into out. On entry outSize is the expected unpacked size; on exit
// it is the number of bytes produced (out.size()). Output never exceeds the expected size: a
// block that would need more fails. False (out empty, outSize 0) on every failure.
bool DecompressBuffer(const std::uint8_t* in, std::int32_t inSize, std::vector<std::uint8_t>& out,
                      std::uint8_t method, std::int32_t& outSize, TCodecScratch* scratch = nullptr);
