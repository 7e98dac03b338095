#pragma once
// The stream import and export use: a block stream that enforces the read-only rule of its open
// mode and passes a progress notification through.
#include <cstdint>
#include <memory>
#include <string>

#include "cfs/fs/CFSAdvancedFileStream.h"

class TCFSFileStream : public TStream {
 public:
  // Opening modes other than kModeCreate ignore question, answer and method.
  TCFSFileStream(TContainerFS* system, const std::string& fileName, std::uint16_t mode,
                 const std::string& password, const std::string& question, const std::string& answer,
                 std::uint8_t method, const TCFSStreamProgressEvent& onProgress = {});

  // Raises "TCFSFileStream.Write - file is in read only mode." on a read-only stream.
  std::int32_t Write(const void* buffer, std::int32_t count) override;
  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int64_t Seek(std::int64_t offset, int origin) override;
  std::int64_t GetSize() override;
  // Raises "TCFSFileStream.SetSize - file is in read only mode." on a read-only stream.
  void SetSize(std::int64_t newSize) override;

  // Writes the whole stored file to a disk file (created or replaced), stamped as given; returns
  // the disk file's size as it was closed.
  std::int64_t SaveToFile(const std::string& fileName, const TDiskFileStamp& stamp = {});
  // Replaces the stored file's content with a disk file's (whatever the open mode).
  void LoadFromFile(const std::string& fileName);
  // The same from a disk file already open, read from its start.
  void LoadFromFile(TStream& file);
  // LoadFromFile with the blocks of file `index` read and compressed ahead; falls back to
  // reading diskPath itself when this stream cannot take them. Returns the disk file's time and
  // attributes from its reader (empty when it fell back).
  TDiskFileStamp LoadFromFile(const std::string& diskPath, TImportAhead& ahead, std::size_t index);
  // SaveToFile of file `index` of an export read ahead (this is the stream ahead.Open gave).
  std::int64_t SaveToFile(const std::string& fileName, TExportAhead& ahead, std::size_t index,
                          const TDiskFileStamp& stamp = {});

  bool ReadOnly() const { return readOnly_; }
  std::uint16_t Mode() const { return mode_; }
  const std::string& FileName() const { return fileName_; }
  TCFSAdvancedFileStream& Inner() { return *inner_; }

  TCFSStreamProgressEvent OnProgress;

 private:
  std::unique_ptr<TCFSAdvancedFileStream> inner_;
  std::uint16_t mode_;
  std::string fileName_;
  std::string password_;
  bool readOnly_;
};
