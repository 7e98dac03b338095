// File system operations on posix with the Windows behaviour the program relies on (attributes:
// see Attributes.h).
#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/File.h"
#include "platform/Text.h"
#include "platform/posix/Attributes.h"
#include "platform/posix/FileTimes.h"
#include "platform/posix/FolderIndex.h"
#include "platform/posix/NativePath.h"

namespace platform {

namespace {

bool Fail() {
  posix::RememberError(errno);
  return false;
}

std::string WithoutTrailingSlash(std::string native) {
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  return native;
}

// Windows wildcard matching on code page 936 names: "*" any run, "?" one character, ASCII
// letters without regard to case. "*.*" and "*" match everything; a pattern ending in "."
// also matches names without an extension ("*." lists extension-less names).
bool MatchCharsFrom(std::string_view name, std::size_t n, std::string_view pat, std::size_t p) {
  while (p < pat.size()) {
    if (pat[p] == '*') {
      while (p < pat.size() && pat[p] == '*') ++p;
      if (p == pat.size()) return true;
      for (std::size_t k = n; k <= name.size(); k += (k < name.size() ? CharLength(name, k) : 1))
        if (MatchCharsFrom(name, k, pat, p)) return true;
      return false;
    }
    if (n >= name.size()) return false;
    std::size_t pn = CharLength(pat, p), nn = CharLength(name, n);
    if (!(pn == 1 && pat[p] == '?')) {
      if (pn != nn || CompareTextCp936(pat.substr(p, pn), name.substr(n, nn)) != 0) return false;
    }
    p += pn;
    n += nn;
  }
  return n == name.size();
}

bool MatchWildcard(std::string_view name, std::string_view pattern) {
  if (pattern == "*" || pattern == "*.*") return true;
  if (MatchCharsFrom(name, 0, pattern, 0)) return true;
  if (!pattern.empty() && pattern.back() == '.' && name.find('.') == std::string_view::npos) {
    std::string dotted = std::string(name) + ".";
    return MatchCharsFrom(dotted, 0, pattern, 0);
  }
  return false;
}

// Sort key of a name for a listing order close to NTFS: UTF-16 code units, ASCII letters
// upper-cased.
std::u16string NtfsKey(const std::string& name) {
  std::u16string key = Cp936ToUtf16(name);
  for (auto& c : key)
    if (c >= u'a' && c <= u'z') c -= 0x20;
  return key;
}

// The nearest existing folder of `native` (itself when it exists): volume queries about a path
// that does not exist yet answer for the place it would be created in.
std::string NearestExisting(std::string native) {
  struct stat st;
  while (!native.empty() && native != "/" && stat(native.c_str(), &st) != 0) {
    std::size_t slash = native.find_last_of('/');
    native = slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : native.substr(0, slash);
  }
  return native.empty() ? std::string(".") : native;
}

bool CopyContents(const std::string& from, const std::string& to, bool failIfExists) {
  auto src = File::Open(from, FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting);
  if (!src) return false;
  auto dst = File::Open(to, FileAccess::ReadWrite, FileShare::Exclusive,
                        failIfExists ? FileDisposition::CreateNew : FileDisposition::CreateAlways);
  if (!dst) return false;
  std::vector<char> buf(1 << 16);
  for (;;) {
    std::int64_t n = src->Read(buf.data(), static_cast<std::int64_t>(buf.size()));
    if (n < 0) return false;
    if (n == 0) break;
    if (dst->Write(buf.data(), n) != n) return false;
  }
  return true;
}

}  // namespace

bool ListDirectory(const std::string& pattern, std::uint32_t attrMask, std::vector<DirEntry>& out) {
  std::string dir = ExtractFilePath(pattern);
  std::string mask = ExtractFileName(pattern);
  std::string nativeDir = posix::ToNative(dir.empty() ? std::string(".") : dir);
  if (!nativeDir.empty() && nativeDir.back() != '/') nativeDir += '/';
  std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(nativeDir.c_str()), closedir);
  if (!d) return Fail();

  // Delphi's FindFirst rule: hidden, system, volume and folder entries need their bit in the mask.
  const std::uint32_t excluded = ~attrMask & (kAttrHidden | kAttrSystem | kAttrVolumeId | kAttrDirectory);
  std::vector<DirEntry> dots;
  std::vector<std::pair<std::u16string, DirEntry>> found;
  while (dirent* e = readdir(d.get())) {
    const std::string nativeName = e->d_name;
    DirEntry entry;
    entry.name = Utf8ToCp936(nativeName, &entry.nameExact);
    if (!MatchWildcard(entry.name, mask)) continue;
    const std::string full = nativeDir + nativeName;
    struct stat st;
    if (stat(full.c_str(), &st) != 0) continue;  // dangling links and races are skipped
    entry.attributes = posix::AttributesOf(posix::ByPath(full), st);
    if ((entry.attributes & excluded) != 0) continue;
    entry.size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::int64_t>(st.st_size);
    entry.lastWriteTime = posix::FileTimeOf(st.st_mtim);
    if (nativeName == "." || nativeName == "..")
      dots.push_back(std::move(entry));
    else
      found.emplace_back(NtfsKey(entry.name), std::move(entry));
  }
  // readdir's order is arbitrary: list "." and ".." first, then the names in NTFS-like order.
  std::sort(dots.begin(), dots.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : a.second.name < b.second.name;
  });
  out.insert(out.end(), dots.begin(), dots.end());
  for (auto& f : found) out.push_back(std::move(f.second));
  return true;
}

bool FileExists(const std::string& path) {
  struct stat st;
  std::string native = posix::ToNative(path);
  if (!native.empty() && native.back() == '/') return false;
  return stat(native.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  std::string native = WithoutTrailingSlash(posix::ToNative(path));
  return !native.empty() && stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& path) {
  std::string native = posix::ToNative(path);
  struct stat st;
  if (lstat(native.c_str(), &st) != 0) return Fail();
  if (S_ISDIR(st.st_mode)) {
    posix::RememberError(EISDIR);
    return false;
  }
  // Windows refuses to delete a read-only file.
  if (S_ISREG(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    posix::RememberError(EACCES);
    return false;
  }
  posix::FolderChange change(native);
  if (unlink(native.c_str()) != 0) return Fail();
  change.Removed();
  return true;
}

// rename(2) with the folder indexes told of both names.
static bool Rename(const std::string& src, const std::string& dst) {
  posix::FolderChange gone(src);
  posix::FolderChange added(dst, gone);
  if (rename(src.c_str(), dst.c_str()) != 0) return Fail();
  if (added.SameFolder(gone)) {
    added.RenamedFrom(gone);
  } else {
    gone.Removed();
    added.Added();
  }
  return true;
}

bool CreateDirectory(const std::string& path) {
  std::string native = WithoutTrailingSlash(posix::ToNative(path));
  posix::FolderChange change(native);
  if (mkdir(native.c_str(), 0777) != 0) return Fail();
  change.Added();
  return true;
}

bool RemoveDirectory(const std::string& path) {
  std::string native = WithoutTrailingSlash(posix::ToNative(path));
  posix::FolderChange change(native);
  if (rmdir(native.c_str()) != 0) return Fail();
  change.Removed();
  return true;
}

bool RenameFile(const std::string& from, const std::string& to) {
  std::string src = WithoutTrailingSlash(posix::ToNative(from));
  std::string dst = WithoutTrailingSlash(posix::ToNative(to));
  struct stat s1, s2;
  if (lstat(src.c_str(), &s1) != 0) return Fail();
  // `to` exists unless it is `from` itself under another case.
  if (lstat(dst.c_str(), &s2) == 0 && !(s1.st_dev == s2.st_dev && s1.st_ino == s2.st_ino)) {
    posix::RememberError(EEXIST);
    return false;
  }
  if (lstat(dst.c_str(), &s2) == 0) {
    // Case-only rename: the resolved target is the source; use the requested spelling.
    dst = posix::ToNative(ExtractFilePath(to)) + Cp936ToUtf8(ExtractFileName(to));
  }
  return Rename(src, dst);
}

bool MoveReplacing(const std::string& from, const std::string& to) {
  std::string src = WithoutTrailingSlash(posix::ToNative(from));
  std::string dst = WithoutTrailingSlash(posix::ToNative(to));
  struct stat s1, s2;
  if (lstat(src.c_str(), &s1) != 0) return Fail();
  if (S_ISDIR(s1.st_mode)) {
    posix::RememberError(EISDIR);
    return false;
  }
  if (lstat(dst.c_str(), &s2) == 0) {
    if (S_ISDIR(s2.st_mode)) {
      posix::RememberError(EISDIR);
      return false;
    }
    // Windows refuses to replace a read-only file.
    if (S_ISREG(s2.st_mode) && (s2.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
      posix::RememberError(EACCES);
      return false;
    }
  }
  return Rename(src, dst);
}

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
  if (!FileExists(from)) {
    posix::RememberError(ENOENT);
    return false;
  }
  if (failIfExists && (FileExists(to) || DirectoryExists(to))) {
    posix::RememberError(EEXIST);
    return false;
  }
  if (!CopyContents(from, to, failIfExists)) return false;
  // Windows' CopyFile carries the attributes and the last-write time over.
  std::int64_t t = 0;
  if (GetFileTime(from, t)) SetFileTime(to, t);
  std::uint32_t a = GetFileAttributes(from);
  if (a != kInvalidAttributes) SetFileAttributes(to, a);
  return true;
}

std::uint32_t GetFileAttributes(const std::string& path) {
  std::string native = WithoutTrailingSlash(posix::ToNative(path));
  struct stat st;
  if (native.empty() || stat(native.c_str(), &st) != 0) {
    posix::RememberError(errno);
    return kInvalidAttributes;
  }
  return posix::AttributesOf(posix::ByPath(native), st);
}

bool SetFileAttributes(const std::string& path, std::uint32_t attributes) {
  const std::string native = WithoutTrailingSlash(posix::ToNative(path));
  return posix::SetAttributes(posix::ByPath(native), attributes);
}

bool GetFileTime(const std::string& path, std::int64_t& lastWriteTime) {
  std::string native = WithoutTrailingSlash(posix::ToNative(path));
  struct stat st;
  if (stat(native.c_str(), &st) != 0) return Fail();
  lastWriteTime = posix::FileTimeOf(st.st_mtim);
  return true;
}

bool SetFileTime(const std::string& path, std::int64_t lastWriteTime) {
  std::string native = WithoutTrailingSlash(posix::ToNative(path));
  const struct timespec times[2] = {{0, UTIME_OMIT}, posix::TimespecOf(lastWriteTime)};
  return utimensat(AT_FDCWD, native.c_str(), times, 0) == 0 || Fail();
}

std::int64_t FileSize(const std::string& path) {
  std::string native = posix::ToNative(path);
  struct stat st;
  if (stat(native.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return st.st_size;
}

std::string GetCurrentDirectory() {
  char buf[PATH_MAX];
  if (!getcwd(buf, sizeof buf)) return "\\";
  return IncludeTrailingPathDelimiter(posix::FromNative(buf));
}

bool SetCurrentDirectory(const std::string& path) {
  std::string native = WithoutTrailingSlash(posix::ToNative(path));
  return chdir(native.c_str()) == 0 || Fail();
}

std::string GetTempDirectory() {
  const char* t = std::getenv("TMPDIR");
  std::string dir = (t && *t) ? t : "/tmp";
  return IncludeTrailingPathDelimiter(posix::FromNative(dir));
}

std::string ExpandFileName(const std::string& path) {
  std::string p = ReplaceSeparators(path, '/', '\\');
  std::string prefix(1, '\\');  // "\" or a drive "C:\"
  std::string rest;
  if (p.size() >= 2 && p[1] == ':') {
    prefix.insert(0, p, 0, 2);
    rest = p.substr(2);
  } else if (!p.empty() && p[0] == '\\') {
    rest = p.substr(1);
  } else {
    rest = GetCurrentDirectory().substr(1);
    rest += p;
  }
  // Split into components, dropping "." and folding "..".
  std::vector<std::string> parts;
  std::size_t i = 0;
  std::string cur;
  auto flush = [&]() {
    if (cur == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!cur.empty() && cur != ".") {
      parts.push_back(cur);
    }
    cur.clear();
  };
  while (i < rest.size()) {
    std::size_t n = CharLength(rest, i);
    if (n == 1 && rest[i] == '\\')
      flush();
    else
      cur.append(rest, i, n);
    i += n;
  }
  bool trailing = HasTrailingPathDelimiter(p) && !parts.empty();
  flush();
  std::string out = prefix;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    if (k) out += '\\';
    out += parts[k];
  }
  if (trailing && !HasTrailingPathDelimiter(out)) out += '\\';
  return out;
}

std::string ShortPathName(const std::string& path) { return path; }

namespace {

std::string NativeProgramPath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<std::size_t>(n));
}

}  // namespace

std::string ProgramPath() {
  const std::string native = NativeProgramPath();
  return native.empty() ? std::string() : posix::FromNative(native);
}

bool ProgramPathIsExact() { return Utf8ToCp936Exact(NativeProgramPath()).has_value(); }

bool CurrentDirectoryIsExact() {
  char buf[PATH_MAX];
  return getcwd(buf, sizeof buf) && Utf8ToCp936Exact(buf).has_value();
}

std::string VolumeFileSystemName(const std::string& path) {
  struct statfs fs;
  if (statfs(NearestExisting(WithoutTrailingSlash(posix::ToNative(path))).c_str(), &fs) != 0) return {};
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x4d44: return "FAT32";                    // vfat / msdos
    case 0x5346544e: case 0x7366746e: return "NTFS";  // ntfs, ntfs3
    case 0x9660: return "CDFS";                     // iso9660
    case 0x15013346: return "FS_UDF";               // udf
    default: return "NTFS";
  }
}

std::int64_t DiskFreeBytes(const std::string& path) {
  struct statvfs vfs;
  if (statvfs(NearestExisting(WithoutTrailingSlash(posix::ToNative(path))).c_str(), &vfs) != 0) return -1;
  return static_cast<std::int64_t>(vfs.f_bavail) * static_cast<std::int64_t>(vfs.f_frsize);
}

OsVersion GetOsVersion() {
  // Posix stands in for a current NT system (Windows 7: 6.1).
  OsVersion v;
  v.major = 6;
  v.minor = 1;
  v.nt = true;
  return v;
}

std::string LastErrorText() { return std::strerror(posix::LastError()); }

}  // namespace platform
