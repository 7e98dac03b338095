#pragma once
// A TStream over a disk file opened through platform::File (owned).
#include <memory>
#include <string>

#include "cfs/fs/Stream.h"
#include "platform/File.h"

class TDiskFileStream : public TStream {
 public:
  // Creates (or truncates) the file for writing, or opens an existing one for reading with
  // other writers denied. Raises "Cannot create file "<name>". <reason>" or
  // "Cannot open file "<name>". <reason>".
  enum class OpenKind { Create, Read };
  TDiskFileStream(const std::string& fileName, OpenKind kind);

  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int32_t Write(const void* buffer, std::int32_t count) override;
  std::int64_t Seek(std::int64_t offset, int origin) override;
  std::int64_t GetSize() override;
  void SetSize(std::int64_t newSize) override;
  // Stamps the file's last-write time (FILETIME, UTC) before it closes; false when refused.
  bool SetLastWriteTime(std::int64_t utcFileTime) { return file_->SetLastWriteTime(utcFileTime); }

 private:
  std::unique_ptr<platform::File> file_;
};
