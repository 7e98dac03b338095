// Shell requests on posix: recorded for tests in the file named by ZELK_SHELL_LOG, and handed to
// xdg-open only inside a desktop session.
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>

#include "platform/Shell.h"
#include "platform/ShellLog.h"
#include "platform/Text.h"
#include "platform/posix/NativePath.h"

extern char** environ;

namespace platform {

bool ShellExecute(void* ownerWindow, const std::string& verb, const std::string& file,
                  const std::string& parameters, const std::string& directory, int showCommand) {
  bool handled = false;
  if (const char* log = std::getenv("ZELK_SHELL_LOG"); log && *log) {
    std::ofstream out(log, std::ios::app | std::ios::binary);
    out << ShellLogLine(verb, file, parameters, directory, showCommand, ownerWindow != nullptr);
    handled = static_cast<bool>(out);
  }
  const char* display = std::getenv("DISPLAY");
  const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
  if (display && *display && desktop && *desktop) {
    // "explorer.exe /select,"path"" has no posix twin: open the folder of the selected file.
    std::string target = file;
    const std::string select = "/select,";
    if (UpperCaseAscii(ExtractFileName(file)) == "EXPLORER.EXE" && parameters.rfind(select, 0) == 0) {
      std::string p = parameters.substr(select.size());
      if (p.size() >= 2 && p.front() == '"' && p.back() == '"') p = p.substr(1, p.size() - 2);
      target = ExtractFilePath(p);
    }
    std::string native = posix::ToNative(target);
    char prog[] = "xdg-open";
    char* argv[] = {prog, native.data(), nullptr};
    pid_t pid;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) == 0) {
      int status = 0;
      waitpid(pid, &status, 0);
      handled = handled || (WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
  }
  return handled;
}

}  // namespace platform
