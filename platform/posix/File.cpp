// Disk files on posix. Windows share modes are emulated with advisory locks taken on the open
// file description: an exclusive opener holds LOCK_EX, a sharing opener LOCK_SH, so an exclusive
// open is refused while anyone else has the file open and vice versa, in this process or another.
#include "platform/File.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/posix/Attributes.h"
#include "platform/posix/FileTimes.h"
#include "platform/posix/FolderIndex.h"
#include "platform/posix/NativePath.h"

namespace platform {

namespace {

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

// Reads until count bytes or the end; -1 on an error. transfer(p, n, done) is one read call.
template <typename Transfer>
std::int64_t ReadLoop(char* p, std::int64_t count, Transfer transfer) {
  std::int64_t done = 0;
  while (done < count) {
    const ssize_t n = transfer(p + done, static_cast<std::size_t>(count - done), done);
    if (n < 0) {
      if (errno == EINTR) continue;
      posix::RememberError(errno);
      return -1;
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

// Writes count bytes; on an error what was written, or -1 when nothing was.
template <typename Transfer>
std::int64_t WriteLoop(const char* p, std::int64_t count, Transfer transfer) {
  std::int64_t done = 0;
  while (done < count) {
    const ssize_t n = transfer(p + done, static_cast<std::size_t>(count - done), done);
    if (n < 0) {
      if (errno == EINTR) continue;
      posix::RememberError(errno);
      return done > 0 ? done : -1;
    }
    done += n;
  }
  return done;
}

void SetError(std::string* error, int code) {
  posix::RememberError(code);
  if (error) *error = std::strerror(code);
}

}  // namespace

std::unique_ptr<File> File::Open(const std::string& path, FileAccess access, FileShare share,
                                 FileDisposition disposition, std::string* error) {
  std::string native = posix::ToNative(path);
  int flags = O_CLOEXEC | (access == FileAccess::Read ? O_RDONLY : O_RDWR);
  switch (disposition) {
    case FileDisposition::CreateAlways: flags |= O_CREAT; break;  // truncated after locking
    case FileDisposition::CreateNew: flags |= O_CREAT | O_EXCL; break;
    case FileDisposition::OpenExisting: break;
    case FileDisposition::OpenAlways: flags |= O_CREAT; break;
  }
  if (!native.empty() && native.back() == '/') {
    SetError(error, EISDIR);
    return nullptr;
  }
  std::optional<posix::FolderChange> change;
  if (flags & O_CREAT) change.emplace(native);
  int fd = ::open(native.c_str(), flags, 0666);
  if (fd < 0) {
    SetError(error, errno);
    return nullptr;
  }
  if (change) change->Added();
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    int code = errno ? errno : EISDIR;
    if (S_ISDIR(st.st_mode)) code = EISDIR;
    ::close(fd);
    SetError(error, code);
    return nullptr;
  }
  // Windows refuses to open a read-only file for writing even for its owner (and for root).
  if (access == FileAccess::ReadWrite && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    ::close(fd);
    SetError(error, EACCES);
    return nullptr;
  }
  if (flock(fd, (share == FileShare::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    int code = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    SetError(error, code);
    return nullptr;
  }
  // Truncate only once the lock is held; a read-only handle truncates through a second one
  // (closing it does not drop the lock, which belongs to the first).
  if (disposition == FileDisposition::CreateAlways) {
    int target = fd;
    if (access == FileAccess::Read) target = ::open(native.c_str(), O_WRONLY | O_CLOEXEC);
    bool ok = target >= 0 && ftruncate(target, 0) == 0;
    int code = errno;
    if (target >= 0 && target != fd) ::close(target);
    if (!ok) {
      ::close(fd);
      SetError(error, code);
      return nullptr;
    }
  }
  return std::unique_ptr<File>(new File(fd, path));
}

File::~File() { ::close(Fd(handle_)); }

std::int64_t File::Read(void* buffer, std::int64_t count) {
  if (count < 0) return -1;
  return ReadLoop(static_cast<char*>(buffer), count, [&](char* p, std::size_t n, std::int64_t) {
    return ::read(Fd(handle_), p, n);
  });
}

std::int64_t File::Write(const void* buffer, std::int64_t count) {
  if (count < 0) return -1;
  return WriteLoop(static_cast<const char*>(buffer), count, [&](const char* p, std::size_t n, std::int64_t) {
    return ::write(Fd(handle_), p, n);
  });
}

std::int64_t File::ReadAt(std::int64_t offset, void* buffer, std::int64_t count) {
  if (count < 0 || offset < 0) return -1;
  return ReadLoop(static_cast<char*>(buffer), count, [&](char* p, std::size_t n, std::int64_t done) {
    return ::pread(Fd(handle_), p, n, static_cast<off_t>(offset + done));
  });
}

std::int64_t File::WriteAt(std::int64_t offset, const void* buffer, std::int64_t count) {
  if (count < 0 || offset < 0) return -1;
  return WriteLoop(static_cast<const char*>(buffer), count, [&](const char* p, std::size_t n, std::int64_t done) {
    return ::pwrite(Fd(handle_), p, n, static_cast<off_t>(offset + done));
  });
}

std::int64_t File::Seek(std::int64_t offset, SeekOrigin origin) {
  int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(Fd(handle_), static_cast<off_t>(offset), whence);
  if (r < 0) {
    posix::RememberError(errno);
    return -1;
  }
  return r;
}

std::int64_t File::Size() {
  struct stat st;
  if (fstat(Fd(handle_), &st) != 0) {
    posix::RememberError(errno);
    return -1;
  }
  return st.st_size;
}

bool File::SetEndOfFile() {
  std::int64_t pos = Position();
  if (pos < 0) return false;
  if (ftruncate(Fd(handle_), static_cast<off_t>(pos)) != 0) {
    posix::RememberError(errno);
    return false;
  }
  return true;
}

bool File::Flush() {
  if (fsync(Fd(handle_)) != 0) {
    posix::RememberError(errno);
    return false;
  }
  return true;
}

bool File::SetLastWriteTime(std::int64_t utcFileTime) {
  const struct timespec times[2] = {{0, UTIME_OMIT}, posix::TimespecOf(utcFileTime)};
  if (futimens(Fd(handle_), times) == 0) return true;
  posix::RememberError(errno);
  return false;
}

bool File::SetAttributes(std::uint32_t attributes) { return posix::SetAttributes(posix::ByFd(Fd(handle_)), attributes); }

bool File::GetAttributesAndTime(std::uint32_t& attributes, std::int64_t& lastWriteTime) {
  struct stat st;
  if (fstat(Fd(handle_), &st) != 0) {
    posix::RememberError(errno);
    return false;
  }
  attributes = posix::AttributesOf(posix::ByFd(Fd(handle_)), st);
  lastWriteTime = posix::FileTimeOf(st.st_mtim);
  return true;
}

}  // namespace platform
