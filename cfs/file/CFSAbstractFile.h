#pragma once
// A storage file: one part file of a container, on disk or in memory. The engine reads and
// writes containers only through these and TCFSHugeFile, never through the platform directly.
#include <cstdint>
#include <string>

class TCFSAbstractFile {
 public:
  TCFSAbstractFile(std::string fileName, bool readOnly, bool exclusive)
      : FileName(std::move(fileName)), Exclusive(exclusive), ReadOnly(readOnly) {}
  virtual ~TCFSAbstractFile() = default;
  TCFSAbstractFile(const TCFSAbstractFile&) = delete;
  TCFSAbstractFile& operator=(const TCFSAbstractFile&) = delete;

  virtual void SetExclusive(bool value) { Exclusive = value; }
  virtual void SetPosition(std::int64_t pos) { Seek(pos, 0); }
  virtual std::int64_t GetPosition() { return Seek(0, 1); }
  virtual void SetReadOnly(bool value) { ReadOnly = value; }
  virtual void SetSize(std::int64_t newSize) = 0;
  // Seek(0, 2) gives the size; the position is kept.
  virtual std::int64_t GetSize();
  virtual void Close() = 0;
  virtual void Flush() = 0;
  virtual bool Open(bool createNew) = 0;
  // Bytes read; short at the end of the file, 0 on error or for count <= 0.
  virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;
  // Origin 0 from the beginning, 1 from the current position, 2 from the end. New position,
  // -1 on failure.
  virtual std::int64_t Seek(std::int64_t offset, std::uint16_t origin) = 0;
  virtual std::int32_t Write(const void* buffer, std::int32_t count) = 0;
  // A transfer at pos (>= 0): Seek then Read or Write, in one system call where the file allows
  // it. The position afterwards is unspecified. 0 when the seek fails; a count of 0 writes nothing.
  virtual std::int32_t ReadAt(std::int64_t pos, void* buffer, std::int32_t count);
  virtual std::int32_t WriteAt(std::int64_t pos, const void* buffer, std::int32_t count);

  // Raise "TCFSAbstractFile.ReadBuffer - Stream read error" / "...WriteBuffer - Stream write
  // error" when fewer than count bytes move (count not 0).
  void ReadBuffer(void* buffer, std::int32_t count);
  void WriteBuffer(const void* buffer, std::int32_t count);
  // Copies count bytes from source's position to ours; count 0 copies all of source from its
  // start. Returns the count copied.
  std::int64_t CopyFrom(TCFSAbstractFile& source, std::int64_t count);
  // Close and open again (for instance with new sharing or access flags), keeping the position.
  void Reopen();

  // The platform's text for why the last Open failed; empty where there is none.
  virtual std::string OpenErrorText() const { return {}; }

  const std::string& GetFileName() const { return FileName; }
  bool GetExclusive() const { return Exclusive; }
  bool GetReadOnly() const { return ReadOnly; }

 protected:
  std::string FileName;
  bool Exclusive;
  bool ReadOnly;
};
