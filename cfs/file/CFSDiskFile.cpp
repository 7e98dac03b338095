#include "cfs/file/CFSDiskFile.h"

#include "platform/Exception.h"
#include "platform/FileSystem.h"

TCFSDiskFile::~TCFSDiskFile() {
  try {
    Close();
  } catch (...) {
    // A destructor must not throw; the handle is released either way.
  }
}

void TCFSDiskFile::SetExclusive(bool value) {
  if (value == Exclusive) return;
  Exclusive = value;
  if (IsOpen()) Reopen();
}

void TCFSDiskFile::SetReadOnly(bool value) {
  if (value == ReadOnly) return;
  ReadOnly = value;
  if (IsOpen()) Reopen();
}

void TCFSDiskFile::SetSize(std::int64_t newSize) {
  if (!file_) throw Exception("TCFSDiskFile.SetSize - File is not open: " + FileName);
  if (newSize < 0 || file_->Seek(newSize, platform::SeekOrigin::Begin) != newSize ||
      !file_->SetEndOfFile())
    throw Exception(platform::LastErrorText());
}

void TCFSDiskFile::Close() {
  if (!file_) return;
  Flush();
  file_.reset();
}

void TCFSDiskFile::Flush() {
  if (file_) file_->Flush();
}

bool TCFSDiskFile::Open(bool createNew) {
  file_.reset();
  openError_.clear();
  file_ = platform::File::Open(
      FileName, ReadOnly ? platform::FileAccess::Read : platform::FileAccess::ReadWrite,
      Exclusive ? platform::FileShare::Exclusive : platform::FileShare::ReadWrite,
      createNew ? platform::FileDisposition::CreateAlways : platform::FileDisposition::OpenExisting,
      &openError_);
  return file_ != nullptr;
}

std::int32_t TCFSDiskFile::Read(void* buffer, std::int32_t count) {
  if (!file_ || count <= 0) return 0;
  const std::int64_t n = file_->Read(buffer, count);
  return n > 0 ? static_cast<std::int32_t>(n) : 0;
}

std::int64_t TCFSDiskFile::Seek(std::int64_t offset, std::uint16_t origin) {
  if (!file_ || origin > 2) return -1;
  return file_->Seek(offset, static_cast<platform::SeekOrigin>(origin));
}

std::int32_t TCFSDiskFile::Write(const void* buffer, std::int32_t count) {
  if (!file_) return 0;
  if (count == 0) {
    file_->SetEndOfFile();
    return 0;
  }
  if (count < 0) return 0;
  const std::int64_t n = file_->Write(buffer, count);
  return n > 0 ? static_cast<std::int32_t>(n) : 0;
}
