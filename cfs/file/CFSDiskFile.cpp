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
      !file_->SetEndOfFile()) {
    position_ = -1;
    throw Exception(platform::LastErrorText());
  }
  position_ = newSize;
}

void TCFSDiskFile::Close() {
  if (!file_) return;
  Flush();
  file_.reset();
  position_ = -1;
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
  position_ = file_ ? 0 : -1;
  return file_ != nullptr;
}

std::int32_t TCFSDiskFile::Read(void* buffer, std::int32_t count) {
  if (!file_ || count <= 0) return 0;
  const std::int64_t n = file_->Read(buffer, count);
  if (n < 0) {
    position_ = -1;
    return 0;
  }
  if (position_ >= 0) position_ += n;
  return static_cast<std::int32_t>(n);
}

std::int64_t TCFSDiskFile::Seek(std::int64_t offset, std::uint16_t origin) {
  if (!file_ || origin > 2) return -1;
  if (origin == 0 && offset == position_) return position_;
  position_ = file_->Seek(offset, static_cast<platform::SeekOrigin>(origin));
  return position_;
}

std::int32_t TCFSDiskFile::Write(const void* buffer, std::int32_t count) {
  if (!file_) return 0;
  if (count == 0) {
    file_->SetEndOfFile();
    return 0;
  }
  if (count < 0) return 0;
  const std::int64_t n = file_->Write(buffer, count);
  if (n < 0) {
    position_ = -1;
    return 0;
  }
  if (position_ >= 0) position_ += n;
  return static_cast<std::int32_t>(n);
}
