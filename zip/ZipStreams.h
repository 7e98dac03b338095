#pragma once
// Buffered archive streams over platform files (8 KiB buffers).
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/File.h"

// Write side of the archive. Every short write raises ENotEnoughRoom.
class TZipOutStream {
 public:
  explicit TZipOutStream(std::unique_ptr<platform::File> file);
  ~TZipOutStream();
  TZipOutStream(const TZipOutStream&) = delete;
  TZipOutStream& operator=(const TZipOutStream&) = delete;

  void Write(const void* data, std::size_t count);
  void Seek(std::uint64_t position);
  std::uint64_t Position() const { return position_; }
  void Flush();
  // Flushes (optionally to disk) and closes the file.
  void Close(bool flushToDisk);

 private:
  void WriteThrough(const void* data, std::size_t count);
  std::unique_ptr<platform::File> file_;
  std::vector<unsigned char> buffer_;
  std::uint64_t position_ = 0;  // logical position, buffered bytes included
};

// Positioned reads with a small read-ahead buffer.
class TZipInStream {
 public:
  explicit TZipInStream(std::unique_ptr<platform::File> file);
  std::uint64_t Size() const { return size_; }
  // Reads exactly `count` bytes at `position`; false when they are not all in the file.
  bool ReadAt(std::uint64_t position, void* data, std::size_t count);

 private:
  std::unique_ptr<platform::File> file_;
  std::uint64_t size_ = 0;
  std::vector<unsigned char> buffer_;
  std::uint64_t bufferPos_ = 0;
  std::size_t bufferLen_ = 0;
};
