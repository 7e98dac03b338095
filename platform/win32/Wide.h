#pragma once
// Conversions at the Win32 boundary: the program's code page 936 text to the wide strings the W
// APIs take, whatever the system's ANSI code page is. Internal to platform/win32.
#include <windows.h>

#include <string>

// The platform interface uses names that <windows.h> defines as macros.
#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#undef GetCurrentDirectory
#undef GetFileAttributes
#undef RemoveDirectory
#undef SetCurrentDirectory
#undef SetFileAttributes
#undef ShellExecute

namespace platform::win32 {

inline std::wstring Wide(const std::string& cp936) {
  if (cp936.empty()) return {};
  int n = MultiByteToWideChar(936, 0, cp936.data(), static_cast<int>(cp936.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(936, 0, cp936.data(), static_cast<int>(cp936.size()), out.data(), n);
  return out;
}

// `exact` (when given) tells whether every character had a code page 936 form.
inline std::string Narrow(const wchar_t* s, int length = -1, bool* exact = nullptr) {
  if (exact) *exact = true;
  if (length < 0) length = static_cast<int>(wcslen(s));
  if (length == 0) return {};
  // No best-fit substitutes: "é" must not turn into the name of another file, "e".
  BOOL usedDefault = FALSE;
  int n = WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, s, length, nullptr, 0, "?", nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, s, length, out.data(), n, "?", &usedDefault);
  if (exact) *exact = !usedDefault;
  return out;
}

inline std::string Narrow(const std::wstring& s) { return Narrow(s.c_str(), static_cast<int>(s.size())); }

std::string ErrorText(DWORD code);

}  // namespace platform::win32
