#pragma once
// File system operations with Windows semantics on every platform. Paths are code page 936
// Windows paths ("\" separators); on posix they are mapped to UTF-8 with "/" and looked up
// case-insensitively per path component (the exact name first).
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Windows file attribute bits.
enum : std::uint32_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrSystem = 0x04,
  kAttrVolumeId = 0x08,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
  kAttrNormal = 0x80,
  kAttrAnyFile = 0x3F,
  kInvalidAttributes = 0xFFFFFFFFu,
};

struct DirEntry {
  std::string name;             // code page 936, no directory
  std::uint32_t attributes = 0; // Windows attribute bits
  std::int64_t size = 0;
  std::int64_t lastWriteTime = 0;  // FILETIME, UTC (100 ns since 1601-01-01)
  // False when the name has characters without a code page 936 form: `name` then carries "?" in
  // their place and names no file.
  bool nameExact = true;
};

// Lists the entries matching Pattern ("C:\dir\*.*", "dir\*.txt"; wildcards * and ? in the name
// part only, Windows matching rules) whose attributes pass `attrMask` like Delphi's FindFirst:
// entries carrying hidden, system or directory bits are included only when the mask has those
// bits; plain files always are. "." and ".." are reported as the platform reports them (Windows
// lists them, posix lists them too for Windows compatibility). Order: the platform's listing
// order; posix, whose own order is arbitrary, gives "." and ".." first and then the names in an
// NTFS-like order (UTF-16 code units, ASCII letters upper-cased). Names that have no code page 936
// form carry "?" in their place. Returns false when the directory cannot be read; an existing
// folder without a match gives true and no entries.
bool ListDirectory(const std::string& pattern, std::uint32_t attrMask, std::vector<DirEntry>& out);

bool FileExists(const std::string& path);       // an existing file (not a directory)
bool DirectoryExists(const std::string& path);  // an existing directory; a trailing "\" is allowed
bool DeleteFile(const std::string& path);       // refuses read-only files, as Windows does
bool CreateDirectory(const std::string& path);
bool ForceDirectories(const std::string& path);  // creates every missing level
bool RemoveDirectory(const std::string& path);   // empty directories only
bool RenameFile(const std::string& from, const std::string& to);  // fails when `to` exists
// Moves the file `from` to `to` in one step, replacing an existing file `to` (both on one volume:
// a rename). Fails, leaving both as they were, when `to` is a folder or read-only.
bool MoveReplacing(const std::string& from, const std::string& to);
bool CopyFile(const std::string& from, const std::string& to, bool failIfExists);

// kInvalidAttributes when the path does not exist.
std::uint32_t GetFileAttributes(const std::string& path);
// Read-only, hidden, system and archive bits; on posix read-only maps to the write permission
// of files and the others (and a folder's read-only bit) are kept in the extended attribute
// "user.zelk.attr" where the file system allows it. A posix file without that attribute reports
// archive; names starting with "." are not taken as hidden.
bool SetFileAttributes(const std::string& path, std::uint32_t attributes);
// Last-write time as FILETIME UTC.
bool GetFileTime(const std::string& path, std::int64_t& lastWriteTime);
bool SetFileTime(const std::string& path, std::int64_t lastWriteTime);
std::int64_t FileSize(const std::string& path);  // -1 when missing

std::string GetCurrentDirectory();  // ends in "\"
bool SetCurrentDirectory(const std::string& path);
std::string GetTempDirectory();     // ends in "\"
// Absolute form of a possibly relative path (against the current directory), "." and ".." resolved.
std::string ExpandFileName(const std::string& path);
// Full path of the running program's executable.
std::string ProgramPath();
// Whether the program's path and the current directory can be written in code page 936. When
// not, ProgramPath and GetCurrentDirectory carry "?" in place of the characters that cannot, and
// nothing can be opened through them.
bool ProgramPathIsExact();
bool CurrentDirectoryIsExact();
// The short (8.3) form of an existing path where the file system keeps one (Windows volumes
// with short names); otherwise, or when it cannot be read, the path unchanged. Posix file
// systems have no short names.
std::string ShortPathName(const std::string& path);

// File-system name of the volume holding `path` as Windows names it ("NTFS", "FAT32", "FAT",
// "CDFS", "FS_UDF", ...); posix maps vfat to "FAT32", ntfs to "NTFS", iso9660 to "CDFS", udf to
// "FS_UDF" and everything else to "NTFS". Empty when it cannot be read.
std::string VolumeFileSystemName(const std::string& path);
// Bytes free on the volume of `path` for the caller, -1 when unknown.
std::int64_t DiskFreeBytes(const std::string& path);

struct OsVersion {
  unsigned major = 0, minor = 0;
  bool nt = true;  // NT family (false for Windows 9x)
};
OsVersion GetOsVersion();

// Text of the last platform error of this thread.
std::string LastErrorText();

}  // namespace platform
