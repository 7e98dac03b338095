// The file-system work any create of a tree must do, and nothing else: every folder listed,
// every file opened, read to its end and closed, through the platform layer as the import does
// it. Built natively and for Windows: its time under wine less its native time is what wine adds
// to any create of that tree, whatever the container does (run.sh's floor line for the Windows
// build).
// Usage: tree_read_floor <tree>      prints "read <files> <folders> <bytes>"
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/Exception.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace {

struct Totals {
  std::int64_t files = 0;
  std::int64_t folders = 0;
  std::int64_t bytes = 0;
};

void ReadTree(const std::string& folder, std::vector<std::uint8_t>& buffer, Totals& totals) {
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDirectory(folder + "*.*", platform::kAttrAnyFile, entries))
    throw Exception("cannot list " + folder);
  ++totals.folders;
  for (const platform::DirEntry& e : entries) {
    if (e.name == "." || e.name == "..") continue;
    const std::string path = folder + e.name;
    if (e.attributes & platform::kAttrDirectory) {
      ReadTree(path + "\\", buffer, totals);
      continue;
    }
    auto f = platform::File::Open(path, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                  platform::FileDisposition::OpenExisting);
    if (!f) throw Exception("cannot open " + path);
    for (std::int64_t n; (n = f->Read(buffer.data(), static_cast<std::int64_t>(buffer.size()))) > 0;)
      totals.bytes += n;
    ++totals.files;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: tree_read_floor <tree>\n");
    return 2;
  }
  try {
    std::vector<std::uint8_t> buffer(0x180000);
    Totals totals;
    ReadTree(platform::IncludeTrailingPathDelimiter(platform::FromCommandLine(argv[1])), buffer, totals);
    std::printf("read %lld %lld %lld\n", static_cast<long long>(totals.files), static_cast<long long>(totals.folders),
                static_cast<long long>(totals.bytes));
  } catch (const Exception& e) {
    std::fprintf(stderr, "tree_read_floor: %s\n", platform::ToConsole(e.Message()).c_str());
    return 1;
  }
  return 0;
}
