#pragma once
// Asking the desktop shell to open something.
#include <string>

namespace platform {

// Windows: ShellExecute(owner, verb, file, parameters, directory, show). Linux: xdg-open, used
// only when a desktop session is present. On both, when ZELK_SHELL_LOG names a file, the request
// is appended to it as one tab-separated code page 936 line instead (on Windows, instead of
// starting anything): verb, file, parameters, directory, show command, and "owner" when an
// owner window was given, else nothing.
bool ShellExecute(void* ownerWindow, const std::string& verb, const std::string& file,
                  const std::string& parameters, const std::string& directory, int showCommand);

}  // namespace platform
