#include "cfs/file/CFSDiskFile.h"

#include <algorithm>

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

// The container grows one extent at a time. Setting the end of a file is a round trip to the
// server under wine (some 40 times the cost of a plain write there), so small growth writes the
// zeros itself; the bytes on disk are the same.
void TCFSDiskFile::SetSize(std::int64_t newSize) {
  if (!file_) throw Exception("TCFSDiskFile.SetSize - File is not open: " + FileName);
  const std::int64_t size = newSize >= 0 ? file_->Size() : -1;
  const bool ok = size >= 0 && newSize > size && newSize - size <= kZeroFillLimit
                      ? ZeroFill(size, newSize)
                      : newSize >= 0 && file_->Seek(newSize, platform::SeekOrigin::Begin) == newSize &&
                            file_->SetEndOfFile();
  if (!ok) {
    position_ = -1;
    throw Exception(platform::LastErrorText());
  }
  position_ = newSize;
}

bool TCFSDiskFile::ZeroFill(std::int64_t from, std::int64_t to) {
  static constexpr std::uint8_t kZeros[65536] = {};
  if (file_->Seek(from, platform::SeekOrigin::Begin) != from) return false;
  for (std::int64_t at = from; at < to;) {
    const std::int64_t n = std::min<std::int64_t>(to - at, sizeof kZeros);
    if (file_->Write(kZeros, n) != n) {
      // A full disk: leave the file as it was.
      if (file_->Seek(from, platform::SeekOrigin::Begin) == from) file_->SetEndOfFile();
      return false;
    }
    at += n;
  }
  return true;
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

std::int32_t TCFSDiskFile::ReadAt(std::int64_t pos, void* buffer, std::int32_t count) {
  if (!file_ || count <= 0 || pos < 0) return 0;
  position_ = -1;
  const std::int64_t n = file_->ReadAt(pos, buffer, count);
  return n < 0 ? 0 : static_cast<std::int32_t>(n);
}

std::int32_t TCFSDiskFile::WriteAt(std::int64_t pos, const void* buffer, std::int32_t count) {
  if (!file_ || count <= 0 || pos < 0) return 0;
  position_ = -1;
  const std::int64_t n = file_->WriteAt(pos, buffer, count);
  return n < 0 ? 0 : static_cast<std::int32_t>(n);
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
