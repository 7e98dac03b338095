#include "cfs/engine/PageFileManager.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "cfs/codecs/cipher/CFSChecksum.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace {

constexpr std::int32_t kDirItemSize = 512;
// Memory for the recently used pages: 64 pages of the facade's 4096 bytes.
constexpr std::int64_t kPageCacheBytes = 256 * 1024;

std::int64_t CeilDiv(std::int64_t a, std::int64_t b) { return a <= 0 ? 0 : (a + b - 1) / b; }

}  // namespace

TPageFileManager::TPageFileManager(const std::string& fileName, std::uint16_t mode, const std::string& password,
                                   const std::string& question, const std::string& answer,
                                   const TCFSStorageFactory& storage, std::int32_t pageSize,
                                   std::int32_t extentPageCount, std::int64_t partSize)
    : fileName_(fileName), inMemory_(storage.InMemory), readOnly_((mode & 3) == 0),
      exclusive_((mode & kModeExclusive) == kModeExclusive), password_(password) {
  if (pageSize < kMinPageSize)
    throw Exception("TPageFileManager.Create - page size should be >= " + std::to_string(kMinPageSize) + "bytes .");
  if (extentPageCount <= 0) throw Exception("TPageFileManager.Create - extent page count should be >= 1 Page.");
  if (pageSize > kMaxPageSize)
    throw Exception("TPageFileManager.Create - page size should be <= " + std::to_string(kMaxPageSize) + " bytes.");
  if (extentPageCount > kMaxExtentPageCount)
    throw Exception("TPageFileManager.Create - extent page count should be <= " +
                    std::to_string(kMaxExtentPageCount) + " Pages.");

  if (mode == kModeCreate) {
    // The password record is built first so that a refused password leaves no file behind.
    TCFSPasswordRec passwordRec{};
    if (!password.empty()) MakePasswordRec(passwordRec, password, question, answer);
    file_ = std::make_unique<TCFSHugeFile>(fileName, readOnly_, exclusive_, storage, partSize);
    if (!file_->Open(true, false)) {
      const std::string reason = file_->LastOpenError();
      file_.reset();
      throw Exception("TPageFileManager.Create - can not create file '" + fileName + "'" +
                      (reason.empty() ? std::string() : ": " + reason));
    }
    header_.Clear();
    header_.SetSignature();
    header_.SetVersion(TCFSHeader::kVersion);
    header_.SetPageSize(pageSize);
    header_.SetExtentPageCount(extentPageCount);
    header_.SetFirstExtentPage(1);
    header_.SetPageCount(1);
    if (!password.empty()) {
      header_.SetEncryptionType(kEncryptionAES);
      header_.SetPasswordRec(passwordRec);
    }
    SaveHeader();
  } else {
    if (!platform::FileExists(fileName)) throw Exception("File '" + fileName + "' not found");
    file_ = std::make_unique<TCFSHugeFile>(fileName, readOnly_, exclusive_, storage, -1);
    if (!file_->Open(false, true)) {
      file_.reset();
      throw Exception("File " + platform::ExtractFileName(fileName) + " has corrupted header.");
    }
    // A set of parts with one missing or cut short has lost the container's tail, where its
    // directory usually is: say which part rather than fail later on a page.
    if (!file_->ChainError().empty()) {
      const std::string why = file_->ChainError();
      file_.reset();
      throw Exception("File " + platform::ExtractFileName(fileName) + " is incomplete: " + why + ".");
    }
    LoadHeader();
  }
  // A wrong password yields a wrong key here; the facade refuses it before any page is read.
  if (header_.EncryptionType() != kEncryptionNone)
    passwordRecMatches_ = CheckPasswordRec(header_.PasswordRec(), password_, key_);
  const std::int64_t size = header_.PageSize();
  const std::int64_t pages = std::clamp<std::int64_t>(kPageCacheBytes / size, 4, 64);
  cache_.Reset(static_cast<std::size_t>(size), static_cast<std::size_t>(pages));
}

TPageFileManager::~TPageFileManager() = default;

bool TPageFileManager::CheckHeader() {
  file_->Seek(0, 0);
  file_->ReadBuffer(header_.Bytes.data(), static_cast<std::int32_t>(TCFSHeader::kSize));
  return header_.HasSignature() && header_.ChecksumValid();
}

void TPageFileManager::LoadHeader() {
  if (!CheckHeader() || !HeaderFieldsValid(header_, file_->GetSize()))
    throw Exception("TContainerFS.LoadHeader - Invalid CFS file, header is corrupted.");
}

bool TPageFileManager::HeaderFieldsValid(const TCFSHeader& h, std::int64_t fileSize) {
  const std::int32_t pageSize = h.PageSize();
  if (pageSize < kMinPageSize || pageSize > kMaxPageSize) return false;
  if (h.ExtentPageCount() < 1 || h.ExtentPageCount() > kMaxExtentPageCount) return false;
  const std::int32_t pageCount = h.PageCount();
  if (pageCount < 1) return false;
  if (h.FirstExtentPage() < 1 || h.FirstExtentPage() > pageCount) return false;
  if (h.EncryptionType() > kEncryptionAES) return false;
  // The allocation maps and directory pages are pages in use, so they are never trimmed off the
  // end of the file: their counts are bounded by the pages the file holds. (The page count
  // itself may exceed the file, whose free tail pages can have been cut.)
  const std::int64_t storedPages = CeilDiv(fileSize, pageSize);
  for (std::int32_t count : {h.GAMPageCount(), h.PFSPageCount(), h.DIRPageCount()})
    if (count < 0 || count > storedPages || count > pageCount) return false;
  const std::int64_t itemsPerPage = (pageSize - std::int64_t(TCFSPageHeader::kSize)) / kDirItemSize;
  if (h.DIRItemCount() < 0 || h.DIRItemCount() > std::int64_t(h.DIRPageCount()) * itemsPerPage) return false;
  if (h.DIRPageCount() > 0 ? h.FirstDIRPage() < 1 : h.FirstDIRPage() < -1) return false;
  if (h.FirstDIRPage() >= pageCount) return false;
  return true;
}

void TPageFileManager::SaveHeader() {
  if (readOnly_) return;
  header_.UpdateChecksum();
  file_->Seek(0, 0);
  file_->WriteBuffer(header_.Bytes.data(), static_cast<std::int32_t>(TCFSHeader::kSize));
}

std::int64_t TPageFileManager::PageOffset(std::int32_t pageNo) const {
  return std::int64_t(pageNo) * header_.PageSize();
}

bool TPageFileManager::ReadPage(TCFSPageRec& rec, std::int32_t pageNo, bool raw, std::string_view key,
                                std::int32_t size) {
  lastError_ = 0;
  const std::string_view useKey = EffectiveKey(key);
  if (size < 0) size = DataSize();
  if (size > DataSize())
    throw Exception("TPageFileManager.ReadPage - size " + std::to_string(size) + " exceeds the page data size.");
  constexpr auto kHeader = static_cast<std::int32_t>(TCFSPageHeader::kSize);
  const std::int64_t offset = PageOffset(pageNo);
  if (io_.size() < static_cast<std::size_t>(kHeader + size)) io_.resize(static_cast<std::size_t>(kHeader + size));
  // A page number from a damaged link may point anywhere: outside the pages or past the end of
  // the file it is a failed header read, not a read beyond the file.
  std::int32_t got = 0;
  if (pageNo >= 1 && pageNo < header_.PageCount() && offset <= file_->GetSize()) {
    const auto length = static_cast<std::size_t>(kHeader + size);
    if (const std::uint8_t* known = cache_.Find(pageNo, length)) {
      std::memcpy(io_.data(), known, length);
      got = kHeader + size;
    } else if (file_->Seek(offset, 0) == offset) {
      got = file_->Read(io_.data(), kHeader + size);
    }
  }
  if (got < kHeader) {
    lastError_ = kPageErrHeaderRead;
    return false;
  }
  rec.Header.Load(io_.data());
  if (size == 0) return true;
  if (rec.Data.empty()) throw Exception("TPageFileManager.ReadPage - pData is nil.");
  if (rec.Data.size() < static_cast<std::size_t>(size))
    throw Exception("TPageFileManager.ReadPage - pData is smaller than " + std::to_string(size) + " bytes.");
  if (got < kHeader + size) {
    lastError_ = kPageErrDataRead;
    return false;
  }
  std::uint8_t* data = rec.Data.data();
  std::memcpy(data, io_.data() + kHeader, static_cast<std::size_t>(size));
  if (!VerifyChecksum(data, static_cast<std::size_t>(size), rec.Header.ChecksumType, rec.Header.DataChecksum)) {
    lastError_ = kPageErrChecksum;
    return false;
  }
  if (!raw && !DecodeBuffer(data, size, useKey, rec.Header.EncryptionType)) {
    lastError_ = kPageErrDecrypt;
    return false;
  }
  return true;
}

bool TPageFileManager::WritePage(TCFSPageRec& rec, std::int32_t pageNo, std::string_view key, std::int32_t size) {
  lastError_ = 0;
  const std::string_view useKey = EffectiveKey(key);
  if (size < 0) size = DataSize();
  if (size > DataSize())
    throw Exception("TPageFileManager.WritePage - size " + std::to_string(size) + " exceeds the page data size.");
  const bool withData = !rec.Data.empty() && size > 0;
  if (withData) {
    if (rec.Data.size() < static_cast<std::size_t>(size))
      throw Exception("TPageFileManager.WritePage - pData is smaller than " + std::to_string(size) + " bytes.");
    if (!EncodeBuffer(rec.Data.data(), size, useKey, rec.Header.EncryptionType)) {
      lastError_ = kPageErrEncrypt;
      return false;
    }
    rec.Header.DataChecksum = Checksum(rec.Data.data(), static_cast<std::size_t>(size), rec.Header.ChecksumType);
  }
  constexpr auto kHeader = static_cast<std::int32_t>(TCFSPageHeader::kSize);
  const std::int32_t total = kHeader + (withData ? size : 0);
  if (io_.size() < static_cast<std::size_t>(total)) io_.resize(static_cast<std::size_t>(total));
  rec.Header.Store(io_.data());
  if (withData) std::memcpy(io_.data() + kHeader, rec.Data.data(), static_cast<std::size_t>(size));
  const std::int64_t offset = PageOffset(pageNo);
  std::int32_t written = 0;
  if (pageNo >= 1 && pageNo < header_.PageCount() && file_->Seek(offset, 0) == offset)
    written = file_->Write(io_.data(), total);
  if (written == total)
    cache_.Store(pageNo, io_.data(), static_cast<std::size_t>(total));
  else
    cache_.Forget(pageNo);
  if (written < kHeader) {
    lastError_ = kPageErrHeaderWrite;
    return false;
  }
  if (written < total) {
    lastError_ = kPageErrDataWrite;
    return false;
  }
  return true;
}

bool TPageFileManager::EncodeBuffer(void* data, std::int32_t size, std::string_view key,
                                    std::uint8_t encryptionType) {
  if (encryptionType == kEncryptionNone) return true;
  if (encryptionType != kEncryptionAES) throw Exception("TPageFileManager.EncodeBuffer - Unknown encryption type");
  if (size < 0) return false;
  try {
    return cipher_.Encode(key, data, static_cast<std::size_t>(size));
  } catch (...) {
    return false;
  }
}

bool TPageFileManager::DecodeBuffer(void* data, std::int32_t size, std::string_view key,
                                    std::uint8_t encryptionType) {
  if (encryptionType == kEncryptionNone) return true;
  if (encryptionType != kEncryptionAES || size < 0) return false;
  try {
    return cipher_.Decode(key, data, static_cast<std::size_t>(size));
  } catch (...) {
    return false;
  }
}

bool TPageFileManager::AddPages(std::int32_t count) {
  const std::int32_t oldCount = header_.PageCount();
  if (count < 0 || count > std::numeric_limits<std::int32_t>::max() - oldCount) return false;
  try {
    const std::int64_t newSize = (std::int64_t(count) + oldCount) * header_.PageSize();
    file_->SetSize(newSize);
    if (file_->GetSize() != newSize) return false;
    header_.SetPageCount(oldCount + count);
    SaveHeader();
    return true;
  } catch (...) {
    header_.SetPageCount(oldCount);
    return false;
  }
}

void TPageFileManager::CutFile(std::int64_t newSize) {
  cache_.ForgetFrom(newSize);
  file_->SetSize(newSize);
}

void TPageFileManager::InitPageRecord(TCFSPageRec& rec) const {
  rec.Header = TCFSPageHeader{};
  rec.Header.NextPage = -1;
  rec.Buffer.assign(static_cast<std::size_t>(DataSize()), 0);
  rec.Data = rec.Buffer;
}

void TPageFileManager::FreePageRecord(TCFSPageRec& rec) {
  rec.Data = {};
  std::vector<std::uint8_t>().swap(rec.Buffer);
}

void TPageFileManager::Flush() { file_->Flush(); }
