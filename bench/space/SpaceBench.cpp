// What allocation costs on top of page I/O. In one run, with containers in a folder (or in
// memory when none is given):
//   baseline  write N pages in a row into a container grown beforehand;
//   append    write N pages as files of 64 pages, each grown page by page through the page maps
//             (SetFileSize, GetRangePages, then the page write), as stored files are written;
//   churn     the same, then delete every other file and write the files again into the holes.
// Usage: space_bench [pages] [folder]   Prints pages/s for each and the ratios to the baseline.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cfs/maps/UserFilePageMapManager.h"
#include "platform/FileSystem.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

constexpr int kFilePages = 64;

bool WriteFiles(TPageFileManager& pf, TUserFilePageMapManager& maps, std::vector<TCFSDirItem>& files,
                std::size_t step) {
  TCFSPageRec rec;
  pf.InitPageRecord(rec);
  TIntegerArray pages;
  const std::int32_t d = pf.DataSize();
  bool ok = true;
  for (std::size_t i = 0; i < files.size(); i += step) {
    TCFSDirItem& f = files[i];
    for (int p = 0; p < kFilePages; ++p) {
      // As the stored-file writer does: pages without zero filling, then the range.
      ok &= maps.SetFileSize(f, false, std::int64_t(p + 1) * d);
      ok &= maps.GetRangePages(f, false, pages, d, std::int64_t(p) * d);
      f.Size = std::int64_t(p + 1) * d;
      rec.Header.PageType = kPageTypeFileData;
      ok &= pf.WritePage(rec, pages[0]);
    }
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const int pages = argc > 1 ? std::atoi(argv[1]) : 65536;
  const int fileCount = pages / kFilePages;
  const bool inMemory = argc <= 2;
  const std::string folder = inMemory ? "" : argv[2];
  bool ok = true;

  double baseline = 0;
  {
    TPageFileManager pf(folder + "space_bench_baseline.cfs", kModeCreate, "", "",
        "", inMemory ? TCFSStorageFactory::Memory() : TCFSStorageFactory::Disk(), 4096, 8, -1);
    ok &= pf.AddPages(pages);
    TCFSPageRec rec;
    pf.InitPageRecord(rec);
    // Once to fault the memory in, then timed.
    for (int p = 1; p <= pages; ++p) ok &= pf.WritePage(rec, p);
    const auto start = Clock::now();
    for (int p = 1; p <= pages; ++p) ok &= pf.WritePage(rec, p);
    baseline = pages / Seconds(start);
  }
  if (!inMemory) platform::DeleteFile(folder + "space_bench_baseline.cfs");

  TPageFileManager pf(folder + "space_bench_maps.cfs", kModeCreate, "", "",
      "", inMemory ? TCFSStorageFactory::Memory() : TCFSStorageFactory::Disk(), 4096, 8, -1);
  TFreeSpaceManager fs(pf);
  TUserFilePageMapManager maps(pf, fs);
  std::vector<TCFSDirItem> files(static_cast<std::size_t>(fileCount));
  auto start = Clock::now();
  ok &= WriteFiles(pf, maps, files, 1);
  const double append = pages / Seconds(start);

  start = Clock::now();
  for (std::size_t i = 0; i < files.size(); i += 2) {
    ok &= maps.SetFileSize(files[i], false, 0);
    files[i].Size = 0;
  }
  ok &= WriteFiles(pf, maps, files, 2);
  const double churn = (pages / 2.0) / Seconds(start);

  if (!ok) {
    std::fprintf(stderr, "space_bench: a page operation failed\n");
    return 1;
  }
  std::printf("baseline page writes   %10.0f pages/s\n", baseline);
  std::printf("append through maps    %10.0f pages/s  ratio %.2f\n", append, append / baseline);
  std::printf("free and rewrite half  %10.0f pages/s  ratio %.2f\n", churn, churn / baseline);
  std::printf("container pages %d for %d data pages\n", pf.Header().PageCount(), pages);
  if (!inMemory) platform::DeleteFile(folder + "space_bench_maps.cfs");
  return 0;
}
