#include "cfs/file/CFSAbstractFile.h"

#include <algorithm>
#include <vector>

#include "platform/Exception.h"

std::int64_t TCFSAbstractFile::GetSize() {
  const std::int64_t pos = Seek(0, 1);
  const std::int64_t size = Seek(0, 2);
  if (pos >= 0) Seek(pos, 0);
  return size;
}

std::int32_t TCFSAbstractFile::ReadAt(std::int64_t pos, void* buffer, std::int32_t count) {
  return Seek(pos, 0) == pos ? Read(buffer, count) : 0;
}

std::int32_t TCFSAbstractFile::WriteAt(std::int64_t pos, const void* buffer, std::int32_t count) {
  return count > 0 && Seek(pos, 0) == pos ? Write(buffer, count) : 0;
}

void TCFSAbstractFile::ReadBuffer(void* buffer, std::int32_t count) {
  if (count != 0 && Read(buffer, count) != count)
    throw Exception("TCFSAbstractFile.ReadBuffer - Stream read error");
}

void TCFSAbstractFile::WriteBuffer(const void* buffer, std::int32_t count) {
  // A zero count still goes to Write: for a disk file that sets the end of the file.
  if (Write(buffer, count) != count && count != 0)
    throw Exception("TCFSAbstractFile.WriteBuffer - Stream write error");
}

std::int64_t TCFSAbstractFile::CopyFrom(TCFSAbstractFile& source, std::int64_t count) {
  constexpr std::int64_t kBufferSize = 61440;
  if (count < 0) return 0;
  if (count == 0) {
    source.SetPosition(0);
    count = source.GetSize();
    if (count <= 0) return 0;
  }
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min(count, kBufferSize)));
  for (std::int64_t left = count; left > 0;) {
    const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(left, buffer.size()));
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    left -= n;
  }
  return count;
}

void TCFSAbstractFile::Reopen() {
  const std::int64_t pos = GetPosition();
  Close();
  if (!Open(false)) throw Exception("TCFSAbstractFile.Reopen - File cannot be reopened: " + FileName);
  if (pos > 0) SetPosition(pos);
}
