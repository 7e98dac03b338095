#pragma once
// Asking the desktop shell to open something.
#include <string>

namespace platform {

// Windows: ShellExecute(owner, verb, file, parameters, directory, show). Linux: the request is
// appended as one line to the file named by ZELK_SHELL_LOG when that variable is set, and
// xdg-open is used only when a desktop session is present.
bool ShellExecute(void* ownerWindow, const std::string& verb, const std::string& file,
                  const std::string& parameters, const std::string& directory, int showCommand);

}  // namespace platform
