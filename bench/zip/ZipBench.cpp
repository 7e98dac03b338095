// Zips one file with TZipWriter (default settings, level 6) and prints the best time of N runs
// and the archive size: "seconds bytes". bench/zip/run.sh compares this with zip -6.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "zip/ZipWriter.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: zip_bench <input file> <output zip> [repetitions]\n");
    return 2;
  }
  // Program paths use "\" separators and code page 936.
  auto ours = [](std::string p) {
    for (auto& c : p) c = c == '/' ? '\\' : c;
    return platform::Utf8ToCp936(p);
  };
  const std::string input = ours(argv[1]);
  const std::string output = ours(argv[2]);
  const int reps = argc > 3 ? std::atoi(argv[3]) : 3;
  double best = 1e30;
  for (int i = 0; i < reps; ++i) {
    platform::DeleteFile(output);
    TZipWriter zip;
    zip.FilesList.Add(platform::Cp936ToUtf16(input));
    zip.SetZipName(platform::Cp936ToUtf16(output));
    const auto t0 = std::chrono::steady_clock::now();
    if (zip.Zip() != 1) {
      std::fprintf(stderr, "zip_bench: the file was not added\n");
      return 1;
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (s < best) best = s;
  }
  std::printf("%.4f %lld\n", best, static_cast<long long>(platform::FileSize(output)));
  return 0;
}
