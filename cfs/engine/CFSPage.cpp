#include "cfs/engine/CFSPage.h"

#include <cstring>

#include "cfs/file/CFSLittleEndian.h"

void TCFSPageHeader::Store(std::uint8_t* out) const {
  PutLE32(out, static_cast<std::uint32_t>(NextPage));
  PutLE32(out + 4, DataChecksum);
  out[8] = PageType;
  out[9] = EncryptionType;
  out[10] = ChecksumType;
  std::memcpy(out + 11, Reserved.data(), Reserved.size());
}

void TCFSPageHeader::Load(const std::uint8_t* in) {
  NextPage = GetLE32s(in);
  DataChecksum = GetLE32(in + 4);
  PageType = in[8];
  EncryptionType = in[9];
  ChecksumType = in[10];
  std::memcpy(Reserved.data(), in + 11, Reserved.size());
}
