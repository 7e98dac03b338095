// Process list from /proc. The executable name is the file name of /proc/<pid>/exe (the kernel's
// 15-character "comm" would cut long names); processes whose link cannot be read (other users',
// kernel threads) are listed with their "comm" name.
#include <dirent.h>
#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "platform/Process.h"
#include "platform/Text.h"
#include "platform/posix/NativePath.h"

namespace platform {

namespace {

bool ReadExeLink(std::uint32_t pid, std::string& native) {
  std::string link = "/proc/" + std::to_string(pid) + "/exe";
  char buf[PATH_MAX];
  ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
  if (n <= 0) return false;
  native.assign(buf, static_cast<std::size_t>(n));
  // A replaced executable shows as "path (deleted)".
  const std::string deleted = " (deleted)";
  if (native.size() > deleted.size() && native.compare(native.size() - deleted.size(), deleted.size(), deleted) == 0)
    native.resize(native.size() - deleted.size());
  return true;
}

}  // namespace

bool SnapshotProcesses(std::vector<ProcessEntry>& out) {
  std::unique_ptr<DIR, int (*)(DIR*)> d(opendir("/proc"), closedir);
  if (!d) return false;
  while (dirent* e = readdir(d.get())) {
    char* end = nullptr;
    unsigned long pid = std::strtoul(e->d_name, &end, 10);
    if (end == e->d_name || *end != '\0' || pid == 0 || pid > 0xFFFFFFFFul) continue;
    ProcessEntry entry;
    entry.id = static_cast<std::uint32_t>(pid);
    std::string native;
    if (ReadExeLink(entry.id, native)) {
      std::size_t slash = native.find_last_of('/');
      entry.exeName = Utf8ToCp936(slash == std::string::npos ? native : native.substr(slash + 1));
    } else {
      std::ifstream comm("/proc/" + std::string(e->d_name) + "/comm");
      std::string name;
      if (!std::getline(comm, name)) continue;  // the process has gone
      entry.exeName = Utf8ToCp936(name);
    }
    out.push_back(std::move(entry));
  }
  return true;
}

std::uint32_t CurrentProcessId() { return static_cast<std::uint32_t>(getpid()); }

bool ProcessMainModulePath(std::uint32_t processId, std::string& path) {
  std::string native;
  if (!ReadExeLink(processId, native)) return false;
  path = posix::FromNative(native);
  return true;
}

}  // namespace platform
