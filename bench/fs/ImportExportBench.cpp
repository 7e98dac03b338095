// One bulk operation of the facade on a disk folder, timed, for the import/export comparison
// script (import_export_bench.sh), which runs it under /usr/bin/time next to tar + bzip2.
// Usage:
//   importexport_bench import <folder> <container> [password [method]]   ImportDirectory (method 9)
//   importexport_bench export <container> <target> [password]   ExportFiles "*.*"
//   importexport_bench compress-each <folder> [method]   every file compressed on its own in
//       memory, one block per file as a stored file of that size gets: the codec's share of an
//       import, which no container work can go below
// Prints "<op> <seconds> <bytes>" where bytes is the size of the disk data moved.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cfs/codecs/compress/CFSCompress.h"
#include "cfs/codecs/compress/CodecScratch.h"
#include "cfs/fs/ContainerFS.h"
#include "platform/Exception.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace {

// Calls visit(path, size) for every file below dir ("\"-terminated).
template <typename Visit>
void ForEachFile(const std::string& dir, Visit&& visit) {
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDirectory(dir + "*.*", platform::kAttrAnyFile, entries)) return;
  for (const auto& e : entries) {
    if (e.name == "." || e.name == "..") continue;
    if (e.attributes & platform::kAttrDirectory)
      ForEachFile(dir + e.name + "\\", visit);
    else
      visit(dir + e.name, e.size);
  }
}

std::int64_t TreeBytes(const std::string& dir) {
  std::int64_t total = 0;
  ForEachFile(dir, [&](const std::string&, std::int64_t size) { total += size; });
  return total;
}

// Reads and compresses each file below dir in blocks of the method's size; returns the bytes read.
std::int64_t CompressEach(const std::string& dir, std::uint8_t method) {
  TCodecScratch scratch;
  std::vector<std::uint8_t> data(static_cast<std::size_t>(BlockSizeForMethod(method))), packed;
  std::int64_t total = 0;
  ForEachFile(dir, [&](const std::string& path, std::int64_t) {
    auto file = platform::File::Open(path, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                     platform::FileDisposition::OpenExisting);
    if (!file) throw Exception("cannot open " + path);
    for (std::int64_t n; (n = file->Read(data.data(), static_cast<std::int64_t>(data.size()))) > 0;) {
      TCFSBlockHeader header{};
      if (!CompressBuffer(data.data(), static_cast<std::int32_t>(n), packed, method, header, &scratch))
        throw Exception("compression failed for " + path);
      total += n;
    }
  });
  return total;
}

// Command-line paths are posix or Windows paths in the locale's encoding.
std::string Arg(const char* s) { return platform::FromCommandLine(s); }

}  // namespace

int main(int argc, char** argv) {
  const std::string op = argc > 1 ? argv[1] : "";
  if (op == "compress-each" && argc >= 3) {
    const auto start = std::chrono::steady_clock::now();
    try {
      const std::int64_t bytes = CompressEach(platform::IncludeTrailingPathDelimiter(Arg(argv[2])),
                                              static_cast<std::uint8_t>(argc > 3 ? std::atoi(argv[3]) : 9));
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::printf("%s %.3f %lld\n", op.c_str(), seconds, static_cast<long long>(bytes));
      return 0;
    } catch (const Exception& e) {
      std::fprintf(stderr, "%s\n", e.Message().c_str());
      return 1;
    }
  }
  if (argc < 4) {
    std::fprintf(stderr, "usage: importexport_bench import|export <from> <to> [password [method]]\n"
                         "       importexport_bench compress-each <folder> [method]\n");
    return 2;
  }
  const std::string from = Arg(argv[2]);
  const std::string to = Arg(argv[3]);
  const std::string password = argc > 4 ? argv[4] : "";
  const int method = argc > 5 ? std::atoi(argv[5]) : 9;
  try {
    const auto start = std::chrono::steady_clock::now();
    std::int64_t bytes = 0;
    if (op == "import") {
      TContainerFS fs(to, kModeCreate, password, "", "", static_cast<std::uint8_t>(method));
      fs.ImportDirectory(from, "", true, TExistingFiles::Overwrite, false);
      if (fs.LastImportError().Failed) {
        std::fprintf(stderr, "import failed at %s: %s\n", fs.LastImportError().DiskPath.c_str(),
                     fs.LastImportError().Message.c_str());
        return 1;
      }
      bytes = TreeBytes(platform::IncludeTrailingPathDelimiter(from));
    } else if (op == "export") {
      TContainerFS fs(from, 0, password, "", "", 0);
      fs.ExportFiles("*.*", to, platform::kAttrAnyFile, true, TExistingFiles::Overwrite);
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
