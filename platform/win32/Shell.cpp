// ShellExecuteW. When ZELK_SHELL_LOG names a file the request is only recorded there (one
// tab-separated code page 936 line), so that tests can check it without starting anything.
#include "platform/win32/Wide.h"

#include <shellapi.h>

#include "platform/File.h"
#include "platform/Shell.h"
#include "platform/ShellLog.h"

#undef ShellExecute

namespace platform {

bool ShellExecute(void* ownerWindow, const std::string& verb, const std::string& file,
                  const std::string& parameters, const std::string& directory, int showCommand) {
  wchar_t log[MAX_PATH + 1];
  DWORD n = GetEnvironmentVariableW(L"ZELK_SHELL_LOG", log, MAX_PATH + 1);
  if (n > 0 && n <= MAX_PATH) {
    auto f = File::Open(win32::Narrow(log, static_cast<int>(n)), FileAccess::ReadWrite, FileShare::ReadWrite,
                        FileDisposition::OpenAlways);
    if (!f || f->Seek(0, SeekOrigin::End) < 0) return false;
    const std::string line = ShellLogLine(verb, file, parameters, directory, showCommand, ownerWindow != nullptr);
    return f->Write(line.data(), static_cast<std::int64_t>(line.size())) == static_cast<std::int64_t>(line.size());
  }
  auto optional = [](const std::wstring& s) { return s.empty() ? nullptr : s.c_str(); };
  std::wstring v = win32::Wide(verb), f = win32::Wide(file), p = win32::Wide(parameters), d = win32::Wide(directory);
  HINSTANCE r = ShellExecuteW(static_cast<HWND>(ownerWindow), optional(v), f.c_str(), optional(p), optional(d), showCommand);
  return reinterpret_cast<INT_PTR>(r) > 32;
}

}  // namespace platform
