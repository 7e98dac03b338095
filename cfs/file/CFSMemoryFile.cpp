#include "cfs/file/CFSMemoryFile.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "platform/Exception.h"

namespace {
constexpr std::int64_t kMaxMemorySize = std::numeric_limits<std::int32_t>::max();
}

void TCFSMemoryFile::SetSize(std::int64_t newSize) {
  if (!open_) throw Exception("TCFSMemoryFile.SetSize - File is not open.");
  if (newSize < 0 || newSize > kMaxMemorySize)
    throw Exception("TCFSMemoryFile.SetSize - Size out of range: " + std::to_string(newSize));
  try {
    data_.resize(static_cast<std::size_t>(newSize));
  } catch (const std::bad_alloc&) {
    throw Exception("TCFSMemoryFile.SetSize - Out of memory for " + std::to_string(newSize) + " bytes.");
  }
  position_ = newSize;
}

void TCFSMemoryFile::Close() {
  std::vector<std::uint8_t>().swap(data_);
  position_ = 0;
  open_ = false;
}

bool TCFSMemoryFile::Open(bool createNew) {
  if (!createNew)
    throw Exception("TCFSMemoryFile.Open - File cannot be open, only creation is available.");
  std::vector<std::uint8_t>().swap(data_);
  position_ = 0;
  open_ = true;
  return true;
}

std::int32_t TCFSMemoryFile::Read(void* buffer, std::int32_t count) {
  if (!open_ || count <= 0) return 0;
  const auto size = static_cast<std::int64_t>(data_.size());
  if (position_ >= size) return 0;
  const std::int64_t n = std::min<std::int64_t>(count, size - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return static_cast<std::int32_t>(n);
}

std::int64_t TCFSMemoryFile::Seek(std::int64_t offset, std::uint16_t origin) {
  if (!open_) return -1;
  std::int64_t base = 0;
  if (origin == 1)
    base = position_;
  else if (origin == 2)
    base = static_cast<std::int64_t>(data_.size());
  else if (origin != 0)
    return -1;
  // Offsets are 32-bit: anything outside 0..2^31-1 leaves the position alone.
  if (offset < -kMaxMemorySize || offset > kMaxMemorySize) return -1;
  const std::int64_t pos = base + offset;
  if (pos < 0 || pos > kMaxMemorySize) return -1;
  position_ = pos;
  return position_;
}

std::int32_t TCFSMemoryFile::Write(const void* buffer, std::int32_t count) {
  if (!open_ || count <= 0) return 0;
  const std::int64_t end = position_ + count;
  if (end > kMaxMemorySize) return 0;
  if (end > static_cast<std::int64_t>(data_.size())) {
    try {
      data_.resize(static_cast<std::size_t>(end));
    } catch (const std::bad_alloc&) {
      return 0;
    }
  }
  std::memcpy(data_.data() + position_, buffer, static_cast<std::size_t>(count));
  position_ = end;
  return count;
}
