#include "cfs/fs/DiskFileStream.h"

#include <algorithm>

#include "platform/Exception.h"

TDiskFileStream::TDiskFileStream(const std::string& fileName, OpenKind kind) {
  std::string error;
  if (kind == OpenKind::Create) {
    file_ = platform::File::Open(fileName, platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
                                 platform::FileDisposition::CreateAlways, &error);
    if (!file_) throw Exception("Cannot create file \"" + fileName + "\". " + error);
  } else {
    file_ = platform::File::Open(fileName, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                 platform::FileDisposition::OpenExisting, &error);
    if (!file_) throw Exception("Cannot open file \"" + fileName + "\". " + error);
  }
}

void TDiskFileStream::Stamp(const TDiskFileStamp& stamp) {
  // The time first: a read-only file would refuse it on some systems.
  if (stamp.lastWriteTime) file_->SetLastWriteTime(*stamp.lastWriteTime);
  if (stamp.attributes) file_->SetAttributes(*stamp.attributes);
}

TDiskFileStamp TDiskFileStream::CurrentStamp() {
  std::uint32_t attributes = 0;
  std::int64_t lastWriteTime = 0;
  if (!file_->GetAttributesAndTime(attributes, lastWriteTime)) return {};
  return {lastWriteTime, attributes};
}

std::int32_t TDiskFileStream::Read(void* buffer, std::int32_t count) {
  if (count <= 0) return 0;
  const std::int64_t n = file_->Read(buffer, count);
  return n < 0 ? 0 : static_cast<std::int32_t>(n);
}

std::int32_t TDiskFileStream::Write(const void* buffer, std::int32_t count) {
  if (count <= 0) return 0;
  const std::int64_t n = file_->Write(buffer, count);
  return n < 0 ? 0 : static_cast<std::int32_t>(n);
}

std::int64_t TDiskFileStream::Seek(std::int64_t offset, int origin) {
  return file_->Seek(offset, static_cast<platform::SeekOrigin>(origin));
}

std::int64_t TDiskFileStream::GetSize() { return file_->Size(); }

void TDiskFileStream::SetSize(std::int64_t newSize) {
  const std::int64_t position = file_->Position();
  if (file_->Seek(newSize, platform::SeekOrigin::Begin) < 0 || !file_->SetEndOfFile())
    throw Exception("Stream write error");
  file_->Seek(std::min(position, newSize), platform::SeekOrigin::Begin);
}
