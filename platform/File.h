#pragma once
// An open disk file, owned by this object and closed with it. Paths are code page 936 Windows
// paths ("\" separators).
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

enum class FileAccess { Read, ReadWrite };
// Exclusive: no other opener may read or write (Windows share mode 0; on posix an advisory lock).
enum class FileShare { Exclusive, ReadWrite };
enum class FileDisposition {
  CreateAlways,  // create, truncating an existing file
  CreateNew,     // create, failing when the file exists
  OpenExisting,  // fail when the file does not exist
  OpenAlways,    // open, creating when missing
};
enum class SeekOrigin { Begin = 0, Current = 1, End = 2 };

class File {
 public:
  // nullptr on failure; `error` (when given) receives the platform's error text. Opening a
  // read-only file for writing fails on every platform, as on Windows.
  static std::unique_ptr<File> Open(const std::string& path, FileAccess access, FileShare share,
                                    FileDisposition disposition, std::string* error = nullptr);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Bytes transferred (short at end of file), -1 on error.
  std::int64_t Read(void* buffer, std::int64_t count);
  std::int64_t Write(const void* buffer, std::int64_t count);
  // The same at `offset`, in one system call where Seek + Read/Write take two (page I/O, which
  // jumps around the file). The file position afterwards is unspecified: Seek before the next
  // Read or Write.
  std::int64_t ReadAt(std::int64_t offset, void* buffer, std::int64_t count);
  std::int64_t WriteAt(std::int64_t offset, const void* buffer, std::int64_t count);
  // New position, -1 on error.
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin);
  std::int64_t Position() { return Seek(0, SeekOrigin::Current); }
  // Size in bytes, -1 on error. The position is unchanged.
  std::int64_t Size();
  // Cuts or extends the file at the current position.
  bool SetEndOfFile();
  // Stamps the last-write time (FILETIME, UTC) through this handle, with no second open.
  bool SetLastWriteTime(std::int64_t utcFileTime);
  // Attributes (Windows bits) through this handle, as SetFileAttributes and GetFileAttributes
  // with GetFileTime reach them by name; the query gives the last-write time (FILETIME, UTC) too.
  bool SetAttributes(std::uint32_t attributes);
  bool GetAttributesAndTime(std::uint32_t& attributes, std::int64_t& lastWriteTime);
  bool Flush();
  const std::string& Path() const { return path_; }

 private:
  File(std::intptr_t handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  std::intptr_t handle_;
  std::string path_;
};

}  // namespace platform
