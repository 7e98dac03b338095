#include "cfs/fs/ContainerFS.h"

#include "cfs/fs/ImportAhead.h"
#include "cfs/fs/Quote.h"
#include "platform/Exception.h"
#include "platform/Threads.h"

namespace {

constexpr std::int32_t kPageSize = 4096;
constexpr std::int32_t kExtentPageCount = 8;

std::unique_ptr<TPageFileManager> OpenForCheck(const std::string& fileName, const std::string& password) {
  return std::make_unique<TPageFileManager>(fileName, 0, password, "", "", TCFSStorageFactory::Disk(), kPageSize,
                                            kExtentPageCount, -1);
}

// Whether the page file's password opens it: the password record accepts it and, since about one
// wrong password in 65,536 passes the record, its key deciphers the first directory page.
bool PasswordOpens(TPageFileManager& pageFile) {
  if (pageFile.Header().EncryptionType() == kEncryptionNone) return true;
  return pageFile.PasswordRecMatches() && TDIRManager::FirstPageDeciphers(pageFile);
}

}  // namespace

bool CheckContainerPassword(const std::string& fileName, const std::string& password) {
  return PasswordOpens(*OpenForCheck(fileName, password));
}

bool IsContainerEncrypted(const std::string& fileName) {
  return OpenForCheck(fileName, "")->Header().EncryptionType() != kEncryptionNone;
}

TContainerFS::TContainerFS(const std::string& fileName, std::uint16_t mode, const std::string& password,
                           const std::string& question, const std::string& answer, std::uint8_t compressionMethod,
                           std::int64_t partSize)
    : TContainerFS(TCFSStorageFactory::Disk(), fileName, mode, password, question, answer, compressionMethod,
                   partSize) {}

TContainerFS::TContainerFS(const TCFSStorageFactory& storage, const std::string& fileName, std::uint16_t mode,
                           const std::string& password, const std::string& question, const std::string& answer,
                           std::uint8_t compressionMethod, std::int64_t partSize)
    : handles_(0, 1000, 10), threadCount_(platform::ThreadCount()) {
  mode_ = mode;
  fileName_ = fileName;
  pageFile_ = std::make_unique<TPageFileManager>(fileName, mode, password, question, answer, storage, kPageSize,
                                                 kExtentPageCount, mode == kModeCreate ? partSize : -1);
  // Refused before the managers below read pages with a wrong key (they would take the garbage
  // for damage); nothing has been written yet.
  if (mode != kModeCreate && !PasswordOpens(*pageFile_))
    throw ECFSWrongPassword("TContainerFS.Create - invalid password specified, file name = " +
                            DoubleQuoted(fileName));
  if (mode == kModeCreate) SetCompressionMethod(compressionMethod);
  password_ = password;
  freeSpace_ = std::make_unique<TFreeSpaceManager>(*pageFile_);
  directory_ = std::make_unique<TDIRManager>(*pageFile_, *freeSpace_);
  pageMaps_ = std::make_unique<TUserFilePageMapManager>(*pageFile_, *freeSpace_);
  readOnly_ = pageFile_->ReadOnly();
  exclusive_ = pageFile_->Exclusive();
  if (!IsEncrypted()) password_.clear();
  pageFile_->InitPageRecord(page_);
}

TContainerFS::~TContainerFS() {
  handles_.Clear();
  try {
    pageFile_->Flush();
  } catch (...) {
    // Everything was written through already; a failing flush must not escape a destructor.
  }
  pageMaps_.reset();
  directory_.reset();
  freeSpace_.reset();
  pageFile_.reset();
}

bool TContainerFS::IsEncrypted() const { return pageFile_->Header().EncryptionType() != kEncryptionNone; }

std::uint8_t TContainerFS::CompressionMethod() const { return pageFile_->Header().DefaultCompression(); }

void TContainerFS::SetCompressionMethod(std::uint8_t method) {
  pageFile_->Header().SetDefaultCompression(method);
  pageFile_->SaveHeader();
}

void TContainerFS::QueryPassword(const std::string& fileName, std::string& password, bool& cancel) {
  if (OnPassword) {
    OnPassword(*this, fileName, password, cancel);
  } else if (PasswordPrompt) {
    cancel = !PasswordPrompt("Password for " + DoubleQuoted(fileName), "Enter password: ", password);
  } else {
    cancel = true;
  }
}
