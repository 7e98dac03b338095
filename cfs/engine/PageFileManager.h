#pragma once
// The container as an array of equal-sized pages over a TCFSHugeFile. Page 0 holds the
// container header; every other page is a page header and a data area, written with a checksum
// and, when asked, enciphered. One manager per open container.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cfs/CFSErrors.h"
#include "cfs/codecs/cipher/CFSCipher.h"
#include "cfs/engine/CFSHeader.h"
#include "cfs/engine/CFSPage.h"
#include "cfs/engine/PageCache.h"
#include "cfs/file/CFSHugeFile.h"

// Open mode word: kModeCreate creates; otherwise the low two bits give the access (0 read,
// 1 write, 2 read/write) and kModeExclusive asks for exclusive use.
constexpr std::uint16_t kModeCreate = 0xFFFF;
constexpr std::uint16_t kModeExclusive = 0x10;

class TPageFileManager {
 public:
  static constexpr std::int32_t kMinPageSize = 544;
  // Bounds for geometry read from a container, so that buffers sized by it stay reasonable.
  static constexpr std::int32_t kMaxPageSize = 1 << 20;
  static constexpr std::int32_t kMaxExtentPageCount = 4096;

  // Creates (mode kModeCreate) or opens the container. Raises on a bad geometry, a missing or
  // damaged file, or when the file cannot be created. For an encrypted container the key is
  // derived from password; a wrong password gives a wrong key (callers check it beforehand).
  // The storage file's parts come from storage.
  TPageFileManager(const std::string& fileName, std::uint16_t mode, const std::string& password,
                   const std::string& question, const std::string& answer, const TCFSStorageFactory& storage,
                   std::int32_t pageSize, std::int32_t extentPageCount, std::int64_t partSize);
  ~TPageFileManager();
  TPageFileManager(const TPageFileManager&) = delete;
  TPageFileManager& operator=(const TPageFileManager&) = delete;

  // Reads page pageNo into rec. raw skips deciphering; a non-empty key overrides the container
  // key; size is the data length (negative: the whole data area, 0: the page header only).
  // false with LastError -7, -9, -11 or -12. Pages outside 1..page count - 1 fail with -7.
  bool ReadPage(TCFSPageRec& rec, std::int32_t pageNo, bool raw = false, std::string_view key = {},
                std::int32_t size = -1);
  // Writes rec as page pageNo, enciphering rec's data in place (afterwards it holds the stored
  // bytes) and storing its checksum. false with LastError -8, -10 or -13; pages outside
  // 1..page count - 1 fail with -8.
  bool WritePage(TCFSPageRec& rec, std::int32_t pageNo, std::string_view key = {}, std::int32_t size = -1);

  // Encipher / decipher in place: type 0 leaves the bytes, type 1 is AES under key. An unknown
  // type raises when enciphering and fails when deciphering.
  bool EncodeBuffer(void* data, std::int32_t size, std::string_view key, std::uint8_t encryptionType);
  bool DecodeBuffer(void* data, std::int32_t size, std::string_view key, std::uint8_t encryptionType);

  void LoadHeader();
  bool CheckHeader();
  void SaveHeader();
  // Appends count pages; false (header unchanged) when the file cannot grow.
  bool AddPages(std::int32_t count);
  // Cuts the storage file at newSize bytes (free pages at the end; the page count is kept).
  void CutFile(std::int64_t newSize);

  std::int64_t PageOffset(std::int32_t pageNo) const;
  std::int32_t DataSize() const { return header_.PageSize() - static_cast<std::int32_t>(TCFSPageHeader::kSize); }
  void InitPageRecord(TCFSPageRec& rec) const;
  static void FreePageRecord(TCFSPageRec& rec);
  void Flush();

  // The header image; managers change its fields and call SaveHeader.
  TCFSHeader& Header() { return header_; }
  const TCFSHeader& Header() const { return header_; }
  TCFSHugeFile& File() { return *file_; }
  const std::string& FileName() const { return fileName_; }
  bool InMemory() const { return inMemory_; }
  bool ReadOnly() const { return readOnly_; }
  bool Exclusive() const { return exclusive_; }
  const std::string& Key() const { return key_; }
  // Whether the password passed the header's password record (always true when the container
  // is not encrypted). About one wrong password in 65,536 passes too: the facade also tries the
  // key on the first directory page.
  bool PasswordRecMatches() const { return passwordRecMatches_; }
  const std::string& Password() const { return password_; }
  std::int32_t LastError() const { return lastError_; }

  // Whether the fields of a header that passed its checksum fit each other and a storage file of
  // fileSize bytes: geometry within bounds, counters non-negative, the pages they count present
  // in the file.
  static bool HeaderFieldsValid(const TCFSHeader& header, std::int64_t fileSize);

 private:
  std::string_view EffectiveKey(std::string_view key) const { return key.empty() ? std::string_view(key_) : key; }

  std::unique_ptr<TCFSHugeFile> file_;
  std::string fileName_;
  bool inMemory_;
  TCFSHeader header_;
  bool readOnly_;
  bool exclusive_;
  std::string key_;
  bool passwordRecMatches_ = true;
  std::int32_t lastError_ = 0;
  std::string password_;
  TPageCipher cipher_;
  // Page header and data travel together through this buffer: one transfer per page.
  std::vector<std::uint8_t> io_;
  TPageCache cache_;
};
