#include "cfs/engine/CFSHeader.h"

#include <bit>
#include <cstring>

#include "cfs/file/CFSLittleEndian.h"
#include "cfs/file/CFSWrapperHeader.h"

namespace {
constexpr std::size_t kPasswordRecOffset = 52;
constexpr std::size_t kChecksumOffset = 8;
constexpr std::size_t kVersionOffset = 12;
}  // namespace

bool TCFSHeader::HasSignature() const {
  return std::memcmp(Bytes.data(), kContainerSignature.data(), kContainerSignature.size()) == 0;
}

void TCFSHeader::SetSignature() {
  std::memcpy(Bytes.data(), kContainerSignature.data(), kContainerSignature.size());
}

std::uint32_t TCFSHeader::StoredChecksum() const { return GetLE32(Bytes.data() + kChecksumOffset); }

std::uint32_t TCFSHeader::ComputeChecksum() const {
  std::uint32_t x = 0;
  for (std::size_t offset = kVersionOffset; offset < kSize; offset += 4) x ^= GetLE32(Bytes.data() + offset);
  return x;
}

void TCFSHeader::UpdateChecksum() { PutLE32(Bytes.data() + kChecksumOffset, ComputeChecksum()); }

float TCFSHeader::Version() const { return std::bit_cast<float>(GetLE32(Bytes.data() + kVersionOffset)); }

void TCFSHeader::SetVersion(float value) { PutLE32(Bytes.data() + kVersionOffset, std::bit_cast<std::uint32_t>(value)); }

TCFSPasswordRec TCFSHeader::PasswordRec() const {
  TCFSPasswordRec rec;
  std::memcpy(rec.data(), Bytes.data() + kPasswordRecOffset, rec.size());
  return rec;
}

void TCFSHeader::SetPasswordRec(const TCFSPasswordRec& rec) {
  std::memcpy(Bytes.data() + kPasswordRecOffset, rec.data(), rec.size());
}

std::int32_t TCFSHeader::Get(std::size_t offset) const { return GetLE32s(Bytes.data() + offset); }

void TCFSHeader::Set(std::size_t offset, std::int32_t value) {
  PutLE32(Bytes.data() + offset, static_cast<std::uint32_t>(value));
}
