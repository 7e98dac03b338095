#pragma once
// One logical byte sequence, the container, spread over one or more part files. Every part
// starts with a 280-byte wrapper header naming the next part; the first part may carry any bytes
// (an executable) in front of its header, which are skipped.
//
// Logical position P lives in part k = (P + BaseOffset) div PartDataSize at data offset
// o = (P + BaseOffset) - k * PartDataSize (o = P for k = 0); its file position is 280 + o, plus
// BaseOffset in the first part.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cfs/file/CFSAbstractFile.h"
#include "cfs/file/CFSStorageFactory.h"
#include "cfs/file/CFSWrapperHeader.h"

namespace platform {
class File;
}

class TCFSHugeFile {
 public:
  // partSize -1 asks GetMaxPartSize(fileName), a result <= 0 meaning 2147483647. Raises "File
  // part size is too small. Minimal part size is 380" below 380. Opens nothing. Every part file
  // comes from storage.
  TCFSHugeFile(std::string fileName, bool readOnly, bool exclusive, TCFSStorageFactory storage,
               std::int64_t partSize);
  // inMemory picks the memory factory, otherwise the disk factory.
  TCFSHugeFile(std::string fileName, bool readOnly, bool exclusive, bool inMemory, std::int64_t partSize);
  ~TCFSHugeFile();
  TCFSHugeFile(const TCFSHugeFile&) = delete;
  TCFSHugeFile& operator=(const TCFSHugeFile&) = delete;

  // createNew replaces the file (and the parts it links); otherwise the chain of parts is opened
  // and, with tolerant, kept as far as it could be followed.
  bool Open(bool createNew, bool tolerant);
  void Close();
  // Deletes the file named at construction and the part files its headers link, as creating a
  // new container there does; for a caller that gives up on a half-written container.
  void DeleteParts() { DeletePartFiles(); }

  std::int64_t GetPosition() { return Seek(0, 1); }
  void SetPosition(std::int64_t pos) { Seek(pos, 0); }
  std::int64_t Seek(std::int64_t offset, std::uint16_t origin);
  std::int64_t GetSize() const { return Size; }
  void SetSize(std::int64_t newSize);
  std::int32_t Read(void* buffer, std::int32_t count);
  void ReadBuffer(void* buffer, std::int32_t count);
  std::int32_t Write(const void* buffer, std::int32_t count);
  void WriteBuffer(const void* buffer, std::int32_t count);
  void Flush();

  // Writes a wrapper header (this PartSize, no next part) at the stream's position followed by
  // all container bytes: the self-extracting layout when the stream already holds a stub. Both
  // positions are restored afterwards.
  void SaveToStream(TCFSAbstractFile& stream);
  void SaveToStream(platform::File& stream);

  const std::string& GetFileName() const { return FileName; }
  bool GetReadOnly() const { return ReadOnly; }
  bool GetExclusive() const { return Exclusive; }
  bool GetInMemory() const { return Storage.InMemory; }
  std::int64_t GetPartSize() const { return PartSize; }
  std::int64_t GetPartDataSize() const { return PartDataSize; }
  std::int64_t GetBaseOffset() const { return BaseOffset; }
  bool GetIsOpen() const { return IsOpen; }
  std::size_t PartCount() const { return Parts.size(); }
  TCFSAbstractFile& Part(std::size_t index) { return *Parts.at(index); }
  // Why the last part could not be opened or created (platform text), for error messages.
  const std::string& LastOpenError() const { return lastOpenError_; }
  // Why the chain of parts ended before its last part when it was last opened (a part missing,
  // cut short or not a part); empty for a complete chain.
  const std::string& ChainError() const { return chainError_; }

  // Longest chain of part files followed when opening or deleting.
  static constexpr std::size_t kMaxPartCount = 65535;

 private:
  bool InternalOpen(const std::string& fileName, bool createNew, bool tolerant);
  bool AddPartFile();
  void DeleteLastPartFile();
  bool OpenPartFiles(const std::string& fileName);
  void DeletePartFiles();
  void FindHeaderOffset(TCFSAbstractFile& firstPart);

  std::unique_ptr<TCFSAbstractFile> NewPart(const std::string& name) const;
  bool OpenPart(TCFSAbstractFile& part, bool createNew);
  // Part index and data offset of a logical position (pos >= 0 and pos + BaseOffset not
  // overflowing).
  void MapPosition(std::int64_t pos, std::size_t& part, std::int64_t& offset) const;
  std::int64_t PartFilePosition(std::size_t part, std::int64_t offset) const;
  std::int64_t PartCapacity(std::size_t part) const;
  // Rewrites the next-name field of a part's header, keeping that part's file position.
  void LinkPart(std::size_t part, const std::string& nextName);
  template <class Sink>
  void CopyTo(Sink& sink);

  std::string FileName;
  bool ReadOnly;
  bool Exclusive;
  TCFSStorageFactory Storage;
  // Cleared by the destructor so that Close releases the parts of a memory container too.
  bool KeepPartsOnClose;
  std::int64_t Position = 0;
  std::int64_t Size = 0;
  std::int64_t PartSize = 0;
  std::int64_t PartDataSize = 0;
  std::vector<std::unique_ptr<TCFSAbstractFile>> Parts;
  bool IsOpen = false;
  std::int64_t BaseOffset = 0;
  std::string lastOpenError_;
  std::string chainError_;
};
