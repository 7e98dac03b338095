#include "zip/ZipStreams.h"

#include <algorithm>
#include <cstring>

#include "zip/ZipExceptions.h"

namespace {
constexpr std::size_t kBufferSize = 8192;
}

TZipOutStream::TZipOutStream(std::unique_ptr<platform::File> file) : file_(std::move(file)) {
  buffer_.reserve(kBufferSize);
  const std::int64_t pos = file_->Position();
  position_ = pos > 0 ? static_cast<std::uint64_t>(pos) : 0;
}

TZipOutStream::~TZipOutStream() {
  try {
    if (file_) Flush();
  } catch (...) {
    // The run that owns the stream has already failed or is deleting the file.
  }
}

void TZipOutStream::WriteThrough(const void* data, std::size_t count) {
  const std::int64_t n = file_->Write(data, static_cast<std::int64_t>(count));
  if (n < 0 || static_cast<std::size_t>(n) != count) throw ENotEnoughRoom(zipmsg::kNotEnoughRoom);
}

void TZipOutStream::Flush() {
  if (buffer_.empty()) return;
  std::vector<unsigned char> pending;
  pending.swap(buffer_);
  buffer_.reserve(kBufferSize);
  WriteThrough(pending.data(), pending.size());
}

void TZipOutStream::Write(const void* data, std::size_t count) {
  if (buffer_.size() + count <= kBufferSize) {
    const auto* p = static_cast<const unsigned char*>(data);
    buffer_.insert(buffer_.end(), p, p + count);
  } else {
    Flush();
    if (count >= kBufferSize) {
      WriteThrough(data, count);
    } else {
      const auto* p = static_cast<const unsigned char*>(data);
      buffer_.insert(buffer_.end(), p, p + count);
    }
  }
  position_ += count;
}

void TZipOutStream::Seek(std::uint64_t position) {
  Flush();
  if (file_->Seek(static_cast<std::int64_t>(position), platform::SeekOrigin::Begin) != static_cast<std::int64_t>(position)) {
    throw EZipException("Seek failed in the archive file");
  }
  position_ = position;
}

void TZipOutStream::Close(bool flushToDisk) {
  if (!file_) return;
  Flush();
  if (flushToDisk) file_->Flush();
  file_.reset();
}

TZipInStream::TZipInStream(std::unique_ptr<platform::File> file) : file_(std::move(file)) {
  const std::int64_t n = file_->Size();
  size_ = n > 0 ? static_cast<std::uint64_t>(n) : 0;
  buffer_.resize(kBufferSize);
}

bool TZipInStream::ReadAt(std::uint64_t position, void* data, std::size_t count) {
  if (position > size_ || count > size_ - position) return false;
  auto* out = static_cast<unsigned char*>(data);
  // Served from the buffer when it holds the whole range.
  if (bufferLen_ > 0 && position >= bufferPos_ && position + count <= bufferPos_ + bufferLen_) {
    std::memcpy(out, buffer_.data() + (position - bufferPos_), count);
    return true;
  }
  if (count >= kBufferSize) {
    if (file_->Seek(static_cast<std::int64_t>(position), platform::SeekOrigin::Begin) < 0) return false;
    return file_->Read(out, static_cast<std::int64_t>(count)) == static_cast<std::int64_t>(count);
  }
  if (file_->Seek(static_cast<std::int64_t>(position), platform::SeekOrigin::Begin) < 0) return false;
  const std::uint64_t want = std::min<std::uint64_t>(kBufferSize, size_ - position);
  const std::int64_t got = file_->Read(buffer_.data(), static_cast<std::int64_t>(want));
  if (got < 0 || static_cast<std::size_t>(got) < count) {
    bufferLen_ = 0;
    return false;
  }
  bufferPos_ = position;
  bufferLen_ = static_cast<std::size_t>(got);
  std::memcpy(out, buffer_.data(), count);
  return true;
}
