#pragma once
// A stream over one stored file, opened through the facade's handle API for the stream's whole
// life. The facade is not owned and must outlive the stream.
#include <cstdint>
#include <string>

#include "cfs/fs/ContainerFS.h"
#include "cfs/fs/Stream.h"

class TCFSUserFileStream : public TStream {
 public:
  // Raises "TCFSUserFileStream.Create - Single file system = nil!" without a facade and
  // "TCFSUserFileStream.Create - unable to open file "<name>"" when the file does not open.
  TCFSUserFileStream(TContainerFS* system, const std::string& fileName, std::uint16_t mode,
                     const std::string& password, const std::string& question, const std::string& answer);
  ~TCFSUserFileStream() override;

  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int32_t Write(const void* buffer, std::int32_t count) override;
  std::int64_t Seek(std::int64_t offset, int origin) override;
  void SetSize(std::int64_t newSize) override;

  const std::string& FileName() const { return fileName_; }
  std::int32_t Handle() const { return handle_; }
  TContainerFS& System() const { return *system_; }

 private:
  TContainerFS* system_;
  std::string fileName_;
  std::int32_t handle_ = -1;
};
