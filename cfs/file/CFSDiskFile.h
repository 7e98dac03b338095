#pragma once
// A storage file on disk. Read-only opens are read-only at the platform level; an exclusive
// file is opened without sharing.
#include <memory>

#include "cfs/file/CFSAbstractFile.h"
#include "platform/File.h"

class TCFSDiskFile : public TCFSAbstractFile {
 public:
  TCFSDiskFile(std::string fileName, bool readOnly, bool exclusive)
      : TCFSAbstractFile(std::move(fileName), readOnly, exclusive) {}
  ~TCFSDiskFile() override;

  // Changing a flag of an open file reopens it with the new sharing or access mode.
  void SetExclusive(bool value) override;
  void SetReadOnly(bool value) override;
  // Cuts or extends the file at newSize; a platform failure raises its error text. Growth by up
  // to kZeroFillLimit bytes is written as zeros (see the .cpp).
  void SetSize(std::int64_t newSize) override;
  void Close() override;
  void Flush() override;
  // createNew replaces an existing file; otherwise the file must exist.
  bool Open(bool createNew) override;
  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int64_t Seek(std::int64_t offset, std::uint16_t origin) override;
  // A count of 0 sets the end of the file at the current position.
  std::int32_t Write(const void* buffer, std::int32_t count) override;
  // Through the platform's positioned transfer (pread/pwrite on posix).
  std::int32_t ReadAt(std::int64_t pos, void* buffer, std::int32_t count) override;
  std::int32_t WriteAt(std::int64_t pos, const void* buffer, std::int32_t count) override;

  static constexpr std::int64_t kZeroFillLimit = 1 << 20;

  bool IsOpen() const { return file_ != nullptr; }
  // The platform's text for the last failed Open.
  std::string OpenErrorText() const override { return openError_; }

 private:
  std::unique_ptr<platform::File> file_;
  std::string openError_;
  // The handle's file position as last set or advanced by us, -1 when unknown; lets a seek to
  // where the file already is skip the system call (page I/O seeks before every transfer).
  std::int64_t position_ = -1;

  bool ZeroFill(std::int64_t from, std::int64_t to);
};
