// Export of many small files into one disk folder, against writing the same files directly in
// the same run. The export looks up every target name case-insensitively; the figures at a
// quarter, half and all of the count show whether its cost grows with the folder.
// Usage: export_folder_bench [files=10000] [scratch folder=the temporary folder]
// Prints seconds per step and the ratios export / direct writes and full / quarter count.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "cfs/fs/ContainerFS.h"
#include "platform/Exception.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/Text.h"

namespace {

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string NameOf(int i) { return "Setting" + std::to_string(i) + ".lua"; }

void WriteFiles(const std::string& dir, int count) {
  platform::ForceDirectories(dir);
  for (int i = 0; i < count; ++i) {
    auto f = platform::File::Open(dir + NameOf(i), platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
                                  platform::FileDisposition::CreateAlways);
    const std::string text = "-- " + NameOf(i) + "\n";
    if (!f || f->Write(text.data(), static_cast<std::int64_t>(text.size())) != static_cast<std::int64_t>(text.size()))
      throw Exception("cannot write " + dir + NameOf(i));
  }
}

void RemoveTree(const std::string& dir) {
  std::vector<platform::DirEntry> entries;
  platform::ListDirectory(dir + "*", platform::kAttrAnyFile, entries);
  for (const auto& e : entries) {
    if (e.name == "." || e.name == "..") continue;
    platform::SetFileAttributes(dir + e.name, platform::kAttrNormal);
    if (e.attributes & platform::kAttrDirectory)
      RemoveTree(dir + e.name + "\\");
    else
      platform::DeleteFile(dir + e.name);
  }
  platform::RemoveDirectory(dir);
}

void Export(const std::string& container, const std::string& target, int expected) {
  TContainerFS fs(container, 0, "", "", "", 0);
  if (fs.ExportFiles("*.*", target, platform::kAttrAnyFile, true, TExistingFiles::Overwrite) != expected)
    throw Exception("export found the wrong count");
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    if (count < 4) throw Exception("give at least 4 files");
    const std::string scratch = (argc > 2 ? platform::IncludeTrailingPathDelimiter(argv[2])
                                          : platform::GetTempDirectory()) +
                                "zelk_export_bench_" + std::to_string(platform::CurrentProcessId()) + "\\";
    std::printf("%d files in one folder\n", count);
    std::vector<int> counts = {count / 4, count / 2, count};
    std::vector<double> exported;
    double direct = 0;
    for (int n : counts) {
      const std::string run = scratch + std::to_string(n) + "\\";
      WriteFiles(run + "src\\", n);
      {
        TContainerFS fs(run + "c.cfs", kModeCreate, "", "", "", 0);
        fs.ImportFiles(run + "src\\*.*", "", platform::kAttrAnyFile, false, TExistingFiles::Overwrite, false);
      }
      if (n == count) direct = Seconds([&] { WriteFiles(run + "direct\\", n); });
      exported.push_back(Seconds([&] { Export(run + "c.cfs", run + "out\\", n); }));
      std::printf("  export %6d files: %8.3f s\n", n, exported.back());
      if (n == count) {
        const double again = Seconds([&] { Export(run + "c.cfs", run + "out\\", n); });
        std::printf("  again over them:    %8.3f s\n", again);
        if (!platform::FileExists(run + "out\\" + NameOf(n - 1))) throw Exception("the last file is missing");
      }
      RemoveTree(run);
    }
    RemoveTree(scratch);
    std::printf("  direct writes:      %8.3f s\n", direct);
    std::printf("ratio export / direct writes: %.2f\n", exported.back() / direct);
    std::printf("ratio %d / %d files: %.2f (4 when linear)\n", count, count / 4, exported.back() / exported.front());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "export_folder_bench: %s\n", e.what());
    return 1;
  }
}
