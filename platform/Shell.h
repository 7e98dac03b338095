#pragma once
// Asking the desktop shell to open something.
#include <string>

namespace platform {

// How the started program shows its window: the Windows show commands (SW_*), by name.
enum ShowCommand : int {
  kShowNormal = 1,  // SW_SHOWNORMAL: activated, restored to its normal place and size
  kShowWindow = 5,  // SW_SHOW: activated, in its current place and size
};

// Windows: ShellExecute(owner, verb, file, parameters, directory, show). Linux: xdg-open, used
// only when a desktop session is present. On both, when ZELK_SHELL_LOG names a file, the request
// is appended to it as one tab-separated code page 936 line instead (on Windows, instead of
// starting anything): verb, file, parameters, directory, show command (its number), and "owner"
// when an owner window was given, else nothing.
bool ShellExecute(void* ownerWindow, const std::string& verb, const std::string& file,
                  const std::string& parameters, const std::string& directory, int showCommand);

}  // namespace platform
