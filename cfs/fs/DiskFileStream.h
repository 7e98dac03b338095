#pragma once
// A TStream over a disk file opened through platform::File (owned).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cfs/fs/Stream.h"
#include "platform/File.h"

// What a writer gives the disk file it made before closing it: the last-write time (FILETIME,
// UTC) and the attributes, each when known. Through the writing handle, since opening the file
// again by name costs about as much as writing a small file.
struct TDiskFileStamp {
  std::optional<std::int64_t> lastWriteTime;
  std::optional<std::uint32_t> attributes;
};

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
  // Stamps the file before it closes; a part refused is left as it was (as setting it by name
  // after the write, which this replaces, did).
  void Stamp(const TDiskFileStamp& stamp);
  // The open file's time and attributes; empty when refused.
  TDiskFileStamp CurrentStamp();

 private:
  std::unique_ptr<platform::File> file_;
};
