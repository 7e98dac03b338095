// File system operations through the wide Win32 APIs.
#include "platform/win32/Wide.h"

#include <memory>

#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace platform {

namespace win32 {

std::string ErrorText(DWORD code) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out = n && text ? Trim(Narrow(text, static_cast<int>(n))) : "error " + std::to_string(code);
  if (text) LocalFree(text);
  return out;
}

}  // namespace win32

namespace {

using win32::Wide;
using win32::Narrow;

std::int64_t FileTimeValue(const FILETIME& t) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

// The root of the volume holding `path` ("C:\", "\\server\share\").
std::wstring VolumeRoot(const std::string& path) {
  wchar_t root[MAX_PATH + 1];
  std::wstring w = Wide(path.empty() ? std::string(".") : path);
  if (GetVolumePathNameW(w.c_str(), root, MAX_PATH)) return root;
  return w;
}

}  // namespace

bool ListDirectory(const std::string& pattern, std::uint32_t attrMask, std::vector<DirEntry>& out) {
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileExW(Wide(pattern).c_str(), FindExInfoStandard, &data, FindExSearchNameMatch, nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) {
    // An existing folder without a match is an empty listing, not a failure.
    DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_NO_MORE_FILES) return true;
    return false;
  }
  // Delphi's FindFirst rule: hidden, system, volume and folder entries need their bit in the mask.
  const DWORD excluded = ~attrMask & (kAttrHidden | kAttrSystem | kAttrVolumeId | kAttrDirectory);
  do {
    if (data.dwFileAttributes & excluded) continue;
    DirEntry e;
    e.name = Narrow(data.cFileName, -1, &e.nameExact);
    e.attributes = data.dwFileAttributes;
    e.size = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                 ? 0
                 : static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    e.lastWriteTime = FileTimeValue(data.ftLastWriteTime);
    out.push_back(std::move(e));
  } while (FindNextFileW(h, &data));
  FindClose(h);
  return true;
}

bool FileExists(const std::string& path) {
  DWORD a = GetFileAttributesW(Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  DWORD a = GetFileAttributesW(Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DeleteFile(const std::string& path) { return DeleteFileW(Wide(path).c_str()) != 0; }
bool CreateDirectory(const std::string& path) { return CreateDirectoryW(Wide(path).c_str(), nullptr) != 0; }
bool RemoveDirectory(const std::string& path) { return RemoveDirectoryW(Wide(path).c_str()) != 0; }
bool RenameFile(const std::string& from, const std::string& to) {
  std::wstring src = Wide(from), dst = Wide(to);
  // A rename that only changes case goes through a temporary name: some file systems (and wine)
  // otherwise take the target for the existing source and keep the old spelling.
  if (from != to && SameTextCp936(ExpandFileName(from), ExpandFileName(to))) {
    std::wstring temp = src + L".~ren";
    if (!MoveFileW(src.c_str(), temp.c_str())) return false;
    if (MoveFileW(temp.c_str(), dst.c_str())) return true;
    DWORD code = GetLastError();
    MoveFileW(temp.c_str(), src.c_str());
    SetLastError(code);
    return false;
  }
  return MoveFileW(src.c_str(), dst.c_str()) != 0;
}
bool MoveReplacing(const std::string& from, const std::string& to) {
  std::wstring dst = Wide(to);
  // Windows refuses to replace a read-only file or a folder; wine would replace a read-only one.
  const DWORD existing = GetFileAttributesW(dst.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return MoveFileExW(Wide(from).c_str(), dst.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}
bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
  return CopyFileW(Wide(from).c_str(), Wide(to).c_str(), failIfExists) != 0;
}

std::uint32_t GetFileAttributes(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()); }

bool SetFileAttributes(const std::string& path, std::uint32_t attributes) {
  return SetFileAttributesW(Wide(path).c_str(), attributes & ~static_cast<std::uint32_t>(kAttrDirectory)) != 0;
}

bool GetFileTime(const std::string& path, std::int64_t& lastWriteTime) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return false;
  lastWriteTime = FileTimeValue(data.ftLastWriteTime);
  return true;
}

bool SetFileTime(const std::string& path, std::int64_t lastWriteTime) {
  HANDLE h = CreateFileW(Wide(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(lastWriteTime));
  t.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(lastWriteTime) >> 32);
  BOOL ok = ::SetFileTime(h, nullptr, nullptr, &t);
  CloseHandle(h);
  return ok != 0;
}

std::int64_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return -1;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

std::string GetCurrentDirectory() {
  DWORD n = GetCurrentDirectoryW(0, nullptr);
  std::wstring buf(n, L'\0');
  n = GetCurrentDirectoryW(n, buf.data());
  buf.resize(n);
  return IncludeTrailingPathDelimiter(Narrow(buf));
}

bool SetCurrentDirectory(const std::string& path) { return SetCurrentDirectoryW(Wide(path).c_str()) != 0; }

std::string GetTempDirectory() {
  wchar_t buf[MAX_PATH + 2];
  DWORD n = GetTempPathW(MAX_PATH + 1, buf);
  if (n == 0 || n > MAX_PATH + 1) return "C:\\";
  return IncludeTrailingPathDelimiter(Narrow(buf, static_cast<int>(n)));
}

std::string ShortPathName(const std::string& path) {
  std::wstring w = Wide(path);
  DWORD n = GetShortPathNameW(w.c_str(), nullptr, 0);
  if (n == 0) return path;
  std::wstring buf(n, L'\0');
  n = GetShortPathNameW(w.c_str(), buf.data(), n);
  if (n == 0 || n >= buf.size()) return path;
  buf.resize(n);
  return Narrow(buf);
}

std::string ExpandFileName(const std::string& path) {
  std::wstring w = Wide(path);
  DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring buf(n, L'\0');
  n = GetFullPathNameW(w.c_str(), n, buf.data(), nullptr);
  buf.resize(n);
  return Narrow(buf);
}

namespace {

std::wstring WideProgramPath() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    buf.resize(buf.size() * 2);
  }
}

bool IsExact(const std::wstring& s) {
  return Utf16ToCp936Exact(std::u16string_view(reinterpret_cast<const char16_t*>(s.data()), s.size())).has_value();
}

}  // namespace

std::string ProgramPath() { return Narrow(WideProgramPath()); }

bool ProgramPathIsExact() { return IsExact(WideProgramPath()); }

bool CurrentDirectoryIsExact() {
  DWORD n = GetCurrentDirectoryW(0, nullptr);
  std::wstring buf(n, L'\0');
  n = GetCurrentDirectoryW(n, buf.data());
  buf.resize(n);
  return IsExact(buf);
}

std::string VolumeFileSystemName(const std::string& path) {
  wchar_t fs[MAX_PATH + 1];
  if (!GetVolumeInformationW(VolumeRoot(path).c_str(), nullptr, 0, nullptr, nullptr, nullptr, fs, MAX_PATH + 1))
    return {};
  return Narrow(fs);
}

std::int64_t DiskFreeBytes(const std::string& path) {
  ULARGE_INTEGER freeToCaller;
  if (!GetDiskFreeSpaceExW(VolumeRoot(path).c_str(), &freeToCaller, nullptr, nullptr)) return -1;
  return static_cast<std::int64_t>(freeToCaller.QuadPart);
}

OsVersion GetOsVersion() {
  // RtlGetVersion reports the true version; GetVersionExW is capped by the manifest.
  OsVersion v;
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto fn = ntdll ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                  : nullptr;
  if (!(fn && fn(&info) == 0) && !GetVersionExW(&info)) return v;
  v.major = info.dwMajorVersion;
  v.minor = info.dwMinorVersion;
  v.nt = info.dwPlatformId == VER_PLATFORM_WIN32_NT;
  return v;
}

std::string LastErrorText() { return win32::ErrorText(GetLastError()); }

}  // namespace platform
