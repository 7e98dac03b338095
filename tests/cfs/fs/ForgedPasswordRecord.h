#pragma once
// A container whose password record a given wrong password passes, as about one wrong password
// in 65,536 does by chance: the record's check value is rewritten for the key that password
// deciphers, and the header's checksum fixed.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "cfs/codecs/cipher/CFSChecksum.h"
#include "cfs/codecs/cipher/CFSCipher.h"
#include "cfs/engine/CFSHeader.h"
#include "tests/cfs/file/StorageTestUtil.h"

namespace fstest {

// Rewrites the header at `headerAt` in `file`; the record written, or none when that fails.
inline std::optional<TCFSPasswordRec> ForgeRecordFor(const std::string& file, const std::string& password,
                                                     std::int64_t headerAt) {
  storagetest::Bytes bytes = storagetest::ReadAll(file);
  if (bytes.size() < static_cast<std::size_t>(headerAt) + 256) return std::nullopt;
  TCFSHeader header;
  std::copy(bytes.begin() + headerAt, bytes.begin() + headerAt + 256, header.Bytes.begin());
  TCFSPasswordRec rec = header.PasswordRec();
  std::array<std::uint8_t, 32> key{};
  std::copy(rec.begin(), rec.begin() + 32, key.begin());
  TPageCipher cipher;
  if (!cipher.Decode(password, key.data(), key.size())) return std::nullopt;
  const std::uint32_t check = Checksum(key.data(), key.size(), 1);
  for (int i = 0; i < 4; ++i) rec[64 + i] = static_cast<std::uint8_t>(check >> (8 * i));
  header.SetPasswordRec(rec);
  header.UpdateChecksum();
  std::copy(header.Bytes.begin(), header.Bytes.end(), bytes.begin() + headerAt);
  if (!storagetest::WriteAll(file, bytes)) return std::nullopt;
  return rec;
}

}  // namespace fstest
