#pragma once
// A storage file kept in memory. It can only be created, never opened from disk; positions are
// limited to 32 bits.
#include <vector>

#include "cfs/file/CFSAbstractFile.h"

class TCFSMemoryFile : public TCFSAbstractFile {
 public:
  TCFSMemoryFile(std::string fileName, bool readOnly, bool exclusive)
      : TCFSAbstractFile(std::move(fileName), readOnly, exclusive) {}

  void SetSize(std::int64_t newSize) override;
  void Close() override;
  void Flush() override {}
  // Raises for createNew false; createNew true starts an empty buffer.
  bool Open(bool createNew) override;
  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int64_t Seek(std::int64_t offset, std::uint16_t origin) override;
  // Writing past the end grows the buffer.
  std::int32_t Write(const void* buffer, std::int32_t count) override;

  bool IsOpen() const { return open_; }
  const std::vector<std::uint8_t>& Data() const { return data_; }

 private:
  std::vector<std::uint8_t> data_;
  std::int64_t position_ = 0;
  bool open_ = false;
};
