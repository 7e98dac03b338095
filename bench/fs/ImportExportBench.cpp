// One bulk operation of the facade on a disk folder, timed, for the import/export comparison
// script (import_export_bench.sh), which runs it under /usr/bin/time next to tar + bzip2.
// Usage:
//   importexport_bench import <folder> <container> [password [method]]   ImportDirectory (method 9)
//   importexport_bench export <container> <target> [password]   ExportFiles "*.*"
// Prints "<op> <seconds> <bytes>" where bytes is the size of the disk data moved.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cfs/fs/ContainerFS.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace {

std::int64_t TreeBytes(const std::string& dir) {
  std::vector<platform::DirEntry> entries;
  std::int64_t total = 0;
  if (!platform::ListDirectory(dir + "*.*", 63, entries)) return 0;
  for (const auto& e : entries) {
    if (e.name == "." || e.name == "..") continue;
    if (e.attributes & platform::kAttrDirectory)
      total += TreeBytes(dir + e.name + "\\");
    else
      total += e.size;
  }
  return total;
}

// Command-line paths are posix or Windows paths in the locale's encoding.
std::string Arg(const char* s) { return platform::FromCommandLine(s); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: importexport_bench import|export <from> <to> [password]\n");
    return 2;
  }
  const std::string op = argv[1];
  const std::string from = Arg(argv[2]);
  const std::string to = Arg(argv[3]);
  const std::string password = argc > 4 ? argv[4] : "";
  const int method = argc > 5 ? std::atoi(argv[5]) : 9;
  try {
    const auto start = std::chrono::steady_clock::now();
    std::int64_t bytes = 0;
    if (op == "import") {
      TContainerFS fs(to, kModeCreate, password, "", "", static_cast<std::uint8_t>(method));
      fs.ImportDirectory(from, "", true, 0, false);
      if (fs.LastImportError().Failed) {
        std::fprintf(stderr, "import failed at %s: %s\n", fs.LastImportError().DiskPath.c_str(),
                     fs.LastImportError().Message.c_str());
        return 1;
      }
      bytes = TreeBytes(platform::IncludeTrailingPathDelimiter(from));
    } else if (op == "export") {
      TContainerFS fs(from, 0, password, "", "", 0);
      fs.ExportFiles("*.*", to, 63, true, 0);
      bytes = TreeBytes(platform::IncludeTrailingPathDelimiter(to));
    } else {
      std::fprintf(stderr, "unknown operation %s\n", op.c_str());
      return 2;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s %.3f %lld\n", op.c_str(), seconds, static_cast<long long>(bytes));
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s\n", e.Message().c_str());
    return 1;
  }
  return 0;
}
