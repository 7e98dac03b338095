#include "cfs/fs/CFSUserFileStream.h"

#include "cfs/fs/Quote.h"
#include "platform/Exception.h"

TCFSUserFileStream::TCFSUserFileStream(TContainerFS* system, const std::string& fileName, std::uint16_t mode,
                                       const std::string& password, const std::string& question,
                                       const std::string& answer)
    : system_(system), fileName_(fileName) {
  if (!system_) throw Exception("TCFSUserFileStream.Create - Single file system = nil!");
  handle_ = system_->FileOpen(fileName, mode, password, question, answer);
  if (handle_ < 0) throw Exception("TCFSUserFileStream.Create - unable to open file " + DoubleQuoted(fileName));
}

TCFSUserFileStream::~TCFSUserFileStream() { system_->FileClose(handle_); }

std::int32_t TCFSUserFileStream::Read(void* buffer, std::int32_t count) {
  return system_->FileRead(handle_, buffer, count);
}

std::int32_t TCFSUserFileStream::Write(const void* buffer, std::int32_t count) {
  return system_->FileWrite(handle_, buffer, count);
}

std::int64_t TCFSUserFileStream::Seek(std::int64_t offset, int origin) {
  return system_->FileSeek(handle_, origin, offset);
}

void TCFSUserFileStream::SetSize(std::int64_t newSize) { system_->FileSetSize(handle_, newSize); }
