#pragma once
// The 16-byte header in front of every compressed block of a stored file:
//   0 PackedSize   int32   bytes of codec output after the header
//   4 UnpackedSize int32   bytes of file data in the block
//   8 Crc          uint32  CRC-16/ARC of the unpacked data, zero-extended
//  12 Next         uint32  offset of the next block header (past this block's data for the last)
#include <cstdint>
#include <cstddef>

struct TCFSBlockHeader {
  static constexpr std::size_t kSize = 16;

  std::int32_t PackedSize = 0;
  std::int32_t UnpackedSize = 0;
  std::uint32_t Crc = 0;
  std::uint32_t Next = 0;

  // Little-endian, byte-wise: the bytes may sit at any alignment inside a page buffer.
  static TCFSBlockHeader Read(const std::uint8_t* p) {
    TCFSBlockHeader h;
    h.PackedSize = static_cast<std::int32_t>(Le32(p));
    h.UnpackedSize = static_cast<std::int32_t>(Le32(p + 4));
    h.Crc = Le32(p + 8);
    h.Next = Le32(p + 12);
    return h;
  }
  void Write(std::uint8_t* p) const {
    PutLe32(p, static_cast<std::uint32_t>(PackedSize));
    PutLe32(p + 4, static_cast<std::uint32_t>(UnpackedSize));
    PutLe32(p + 8, Crc);
    PutLe32(p + 12, Next);
  }

  friend bool operator==(const TCFSBlockHeader&, const TCFSBlockHeader&) = default;

 private:
  static std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
  }
  static void PutLe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
  }
};
