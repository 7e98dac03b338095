#pragma once
// Every page after page 0 is a 32-byte page header followed by the data area (page size - 32):
//   0   4   next page of a chain, -1 for none
//   4   4   checksum of the data as stored (after encryption), over the length written
//   8   1   page type: 1 directory, 2 GAM, 3 SGAM, 4 PFS, 5 file page map, 6 file data
//   9   1   encryption type: 0 none, 1 AES
//   10  1   checksum type: 0 XOR32, 1 CRC-16
//   11  21  reserved, never interpreted
#include <array>
#include <cstdint>
#include <span>
#include <vector>

enum : std::uint8_t {
  kPageTypeDirectory = 1,
  kPageTypeGAM = 2,
  kPageTypeSGAM = 3,
  kPageTypePFS = 4,
  kPageTypeFileMap = 5,
  kPageTypeFileData = 6,
};

enum : std::uint8_t { kEncryptionNone = 0, kEncryptionAES = 1 };

struct TCFSPageHeader {
  static constexpr std::size_t kSize = 32;

  std::int32_t NextPage = -1;
  std::uint32_t DataChecksum = 0;
  std::uint8_t PageType = 0;
  std::uint8_t EncryptionType = 0;
  std::uint8_t ChecksumType = 0;
  std::array<std::uint8_t, 21> Reserved{};

  void Store(std::uint8_t* out) const;
  void Load(const std::uint8_t* in);
};

// A page in memory: its header and the data area. Data is the buffer pages are read into and
// written from; InitPageRecord points it at Buffer, but a caller may point it at memory of its
// own (a slice of a bitmap, say) as long as that outlives the page operation.
struct TCFSPageRec {
  TCFSPageHeader Header;
  std::span<std::uint8_t> Data;
  std::vector<std::uint8_t> Buffer;

  TCFSPageRec() = default;
  TCFSPageRec(TCFSPageRec&&) = default;
  TCFSPageRec& operator=(TCFSPageRec&&) = default;
  TCFSPageRec(const TCFSPageRec&) = delete;  // Data would still point into the original
  TCFSPageRec& operator=(const TCFSPageRec&) = delete;
};
