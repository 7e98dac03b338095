#pragma once
// In-memory zip entries and end record, and the byte layout of the records the writer emits:
// local file header, central directory header, ZIP64 blocks and records, end of central directory.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "zip/ZipTypes.h"

namespace zipsig {
inline constexpr std::uint32_t kLocalHeader = 0x04034B50;
inline constexpr std::uint32_t kCentralHeader = 0x02014B50;
inline constexpr std::uint32_t kEndCentral = 0x06054B50;
inline constexpr std::uint32_t kZip64EndCentral = 0x06064B50;
inline constexpr std::uint32_t kZip64Locator = 0x07064B50;
inline constexpr std::uint32_t kDataDescriptor = 0x08074B50;
}  // namespace zipsig

inline constexpr std::uint32_t kZipMax32 = 0xFFFFFFFFu;
inline constexpr std::uint16_t kZipMax16 = 0xFFFFu;
inline constexpr std::size_t kLocalHeaderSize = 30;
inline constexpr std::size_t kCentralHeaderSize = 46;
inline constexpr std::size_t kEndCentralSize = 22;
inline constexpr std::size_t kZip64EndCentralSize = 56;
inline constexpr std::size_t kZip64LocatorSize = 20;

// General purpose flag bits.
inline constexpr std::uint16_t kFlagMaximum = 0x0002;
inline constexpr std::uint16_t kFlagFast = 0x0004;
inline constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr std::uint16_t kFlagUtf8 = 0x0800;

// One archive entry. Sizes and the offset are kept at full width; the 32-bit fields and the
// ZIP64 block are derived from them when a record is written.
class TZipHeaderInfo {
 public:
  std::uint16_t VersionMadeBy = 45;
  std::uint16_t VersionNeeded = 20;
  std::uint16_t Flag = 0;
  std::uint16_t CompressionMethod = 8;
  std::uint32_t ModifDateTime = 0;  // DOS time low half, DOS date high half
  std::uint32_t CRC32 = 0xFFFFFFFFu;
  std::uint64_t CompressedSize = 0;
  std::uint64_t UncompressedSize = 0;
  std::uint16_t FileNameLength = 0;
  std::uint16_t CentralExtraFieldLength = 0;
  std::uint16_t LocalExtraFieldLength = 0;
  std::uint16_t FileCommentLength = 0;
  std::uint32_t DiskNumberStart = 0;
  std::uint16_t InternalFileAttributes = 1;
  std::uint32_t ExternalFileAttributes = 0x20;
  std::uint64_t RelativeOffsetOfLocalHeader = 0;
  std::u16string FileName;   // file-name part
  std::u16string Directory;  // directory part, ending in "\" when not empty
  std::string FileComment;
  TOEMConvert OEMConvert = oemFlexible;

  // Entries read from an existing archive: their central extra blocks without ZIP64 (0x0001)
  // and 0x9901 blocks, written again as they were.
  std::string CentralExtra;
  // Set when the first local header of an added file already reserved 64-bit sizes, so that the
  // rewritten header has the same length.
  bool LocalSizes64 = false;

  std::u16string StoredPath() const { return Directory + FileName; }
};

// The end-of-central-directory record with the values that may need ZIP64 records.
class TEndCentral {
 public:
  std::uint32_t ThisDiskNo = 0;
  std::uint32_t CentralDiskNo = 0;
  std::uint64_t CentralEntriesThisDisk = 0;
  std::uint64_t TotalEntries = 0;
  std::uint64_t CentralSize = 0;
  std::uint64_t CentralOffset = 0;
  std::string ZipComment;
};

struct TEncodedName {
  std::string bytes;
  bool utf8 = false;
};

// Encodes "directory + name" ("\" becoming "/") for a header: with oemFlexible the OEM bytes
// when the name survives the ANSI and OEM round trips, else UTF-8.
TEncodedName EncodeEntryName(std::u16string_view storedPath, TOEMConvert mode);
// Decodes a stored name (UTF-8 when flag bit 11 is set, else the OEM code page), "/" becoming "\".
std::u16string DecodeEntryName(std::string_view bytes, bool utf8);

// Local header: 30 bytes, name, ZIP64 block when needed, then `extraTail`. Throws EZipException
// when the extra field would exceed 65,535 bytes.
std::string BuildLocalHeader(const TZipHeaderInfo& h, const TEncodedName& name, std::string_view extraTail);
// Central header: 46 bytes, name, h.CentralExtra, ZIP64 block when needed, comment.
std::string BuildCentralHeader(const TZipHeaderInfo& h, const TEncodedName& name);
// ZIP64 end record and locator when a field of the end record overflows, then the end record and
// the comment. `position` is where the bytes will be written.
std::string BuildEndRecords(const TEndCentral& e, std::uint64_t position);
// Whether the end record needs the ZIP64 records.
bool EndNeedsZip64(const TEndCentral& e);

// Extra field block IDs the writer treats specially.
inline constexpr std::uint16_t kExtraZip64 = 0x0001;
inline constexpr std::uint16_t kExtraStrongEncryption = 0x9901;
// The extra field without the blocks of the given IDs; a malformed tail is kept as it was.
std::string RemoveExtraBlocks(const std::string& extra, std::initializer_list<std::uint16_t> ids);

// Little-endian helpers on byte strings.
void PutU16(std::string& out, std::uint16_t v);
void PutU32(std::string& out, std::uint32_t v);
void PutU64(std::string& out, std::uint64_t v);
std::uint16_t GetU16(const unsigned char* p);
std::uint32_t GetU32(const unsigned char* p);
std::uint64_t GetU64(const unsigned char* p);

// The file's last-write time in local time as a DOS date (high half) and time (low half);
// 0xFFFFFFFF when the system cannot supply it.
std::uint32_t DosDateTimeOfPath(const std::string& cp936Path);
std::uint32_t DosDateTimeNow();
