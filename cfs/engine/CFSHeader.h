#pragma once
// The 256-byte container header at file offset 0 (little-endian):
//   0   8    "AASFSSGN"
//   8   4    checksum: XOR of the 61 32-bit words at offsets 12..255
//   12  4    format version, single-precision 2.6
//   16  4    page size            20  4  pages per extent      24  4  first extent page
//   28  4    GAM/SGAM pair count  32  4  PFS page count       36  4  directory page count
//   40  4    first directory page 44  4  directory item count 48  4  page count (with page 0)
//   52  172  password record
//   224 1    encryption type      225 1  default compression  226 30 reserved
#include <array>
#include <cstdint>

#include "cfs/codecs/cipher/CFSCipher.h"

class TCFSHeader {
 public:
  static constexpr std::size_t kSize = 256;
  static constexpr float kVersion = 2.6f;

  std::array<std::uint8_t, kSize> Bytes{};

  void Clear() { Bytes.fill(0); }
  bool HasSignature() const;
  void SetSignature();
  std::uint32_t StoredChecksum() const;
  std::uint32_t ComputeChecksum() const;
  void UpdateChecksum();
  bool ChecksumValid() const { return StoredChecksum() == ComputeChecksum(); }

  float Version() const;
  void SetVersion(float value);
  std::int32_t PageSize() const { return Get(16); }
  void SetPageSize(std::int32_t v) { Set(16, v); }
  std::int32_t ExtentPageCount() const { return Get(20); }
  void SetExtentPageCount(std::int32_t v) { Set(20, v); }
  std::int32_t FirstExtentPage() const { return Get(24); }
  void SetFirstExtentPage(std::int32_t v) { Set(24, v); }
  std::int32_t GAMPageCount() const { return Get(28); }
  void SetGAMPageCount(std::int32_t v) { Set(28, v); }
  std::int32_t PFSPageCount() const { return Get(32); }
  void SetPFSPageCount(std::int32_t v) { Set(32, v); }
  std::int32_t DIRPageCount() const { return Get(36); }
  void SetDIRPageCount(std::int32_t v) { Set(36, v); }
  std::int32_t FirstDIRPage() const { return Get(40); }
  void SetFirstDIRPage(std::int32_t v) { Set(40, v); }
  std::int32_t DIRItemCount() const { return Get(44); }
  void SetDIRItemCount(std::int32_t v) { Set(44, v); }
  std::int32_t PageCount() const { return Get(48); }
  void SetPageCount(std::int32_t v) { Set(48, v); }
  TCFSPasswordRec PasswordRec() const;
  void SetPasswordRec(const TCFSPasswordRec& rec);
  std::uint8_t EncryptionType() const { return Bytes[224]; }
  void SetEncryptionType(std::uint8_t v) { Bytes[224] = v; }
  std::uint8_t DefaultCompression() const { return Bytes[225]; }
  void SetDefaultCompression(std::uint8_t v) { Bytes[225] = v; }

 private:
  std::int32_t Get(std::size_t offset) const;
  void Set(std::size_t offset, std::int32_t value);
};
