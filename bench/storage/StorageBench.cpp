// Page I/O throughput of the page file (unencrypted pages, XOR32 checksums) against plain
// platform file writes and reads of the same number of 4096-byte blocks, and the wrapper header
// search behind a large stub against one plain read of that file, all in one run.
// Usage: storage_bench [folder] [pages]   Prints "name MB/s" lines and the ratios.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cfs/engine/PageFileManager.h"
#include "cfs/file/CFSDiskFile.h"
#include "cfs/file/CFSHugeFile.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

double Rate(double bytes, double seconds) { return bytes / seconds / 1e6; }

struct Figures {
  double plainWrite, pageWrite, plainRead, pageRead, plainScan, search;
};

bool Round(const std::string& folder, int pages, Figures& fig) {
  const std::string container = folder + "storage_bench.cfs";
  const std::string plain = folder + "storage_bench.bin";
  const double bytes = double(pages) * 4096;
  std::vector<std::uint8_t> block(4096, 0x5A);

  // Baseline: the same bytes as plain 4096-byte writes and reads.
  auto start = Clock::now();
  {
    auto f = platform::File::Open(plain, platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
                                  platform::FileDisposition::CreateAlways);
    for (int p = 0; p < pages; ++p) f->Write(block.data(), 4096);
    f->Flush();
  }
  fig.plainWrite = Rate(bytes, Seconds(start));
  start = Clock::now();
  {
    auto f = platform::File::Open(plain, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                  platform::FileDisposition::OpenExisting);
    for (int p = 0; p < pages; ++p) f->Read(block.data(), 4096);
  }
  fig.plainRead = Rate(bytes, Seconds(start));

  bool ok = true;
  start = Clock::now();
  {
    TPageFileManager pf(container, kModeCreate, "", "", "", TCFSStorageFactory::Disk(), 4096, 8, -1);
    ok &= pf.AddPages(pages);
    TCFSPageRec rec;
    pf.InitPageRecord(rec);
    for (int p = 1; p <= pages; ++p) ok &= pf.WritePage(rec, p);
    pf.Flush();
  }
  fig.pageWrite = Rate(bytes, Seconds(start));
  start = Clock::now();
  {
    TPageFileManager pf(container, 0, "", "", "", TCFSStorageFactory::Disk(), 4096, 8, -1);
    TCFSPageRec rec;
    pf.InitPageRecord(rec);
    for (int p = 1; p <= pages; ++p) ok &= pf.ReadPage(rec, p);
  }
  fig.pageRead = Rate(bytes, Seconds(start));

  // Header search: the plain file serves as a stub in front of a small container.
  {
    TCFSHugeFile c(container, false, false, false, -1);
    ok &= c.Open(false, false);
    c.SetSize(4096);
  }
  {
    TCFSHugeFile c(container, false, false, false, -1);
    ok &= c.Open(false, false);
    TCFSDiskFile out(plain, false, false);
    ok &= out.Open(false);
    out.Seek(0, 2);
    c.SaveToStream(out);
  }
  start = Clock::now();
  {
    TCFSHugeFile sfx(plain, true, false, false, -1);
    ok &= sfx.Open(false, false) && sfx.GetBaseOffset() == std::int64_t(pages) * 4096;
  }
  fig.search = Rate(bytes, Seconds(start));
  start = Clock::now();
  {
    auto f = platform::File::Open(plain, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                  platform::FileDisposition::OpenExisting);
    std::vector<std::uint8_t> chunk(65535);
    while (f->Read(chunk.data(), 65535) > 0) {
    }
  }
  fig.plainScan = Rate(bytes, Seconds(start));

  platform::DeleteFile(container);
  platform::DeleteFile(plain);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? std::string(argv[1]) : platform::GetTempDirectory();
  const int pages = argc > 2 ? std::atoi(argv[2]) : 8192;
  // Best of several rounds: the figures are I/O bound and the machine is shared.
  Figures best{};
  bool ok = true;
  for (int round = 0; round < 5; ++round) {
    Figures f{};
    ok &= Round(folder, pages, f);
    best.plainWrite = std::max(best.plainWrite, f.plainWrite);
    best.pageWrite = std::max(best.pageWrite, f.pageWrite);
    best.plainRead = std::max(best.plainRead, f.plainRead);
    best.pageRead = std::max(best.pageRead, f.pageRead);
    best.plainScan = std::max(best.plainScan, f.plainScan);
    best.search = std::max(best.search, f.search);
  }
  const double plainWrite = best.plainWrite, pageWrite = best.pageWrite, plainRead = best.plainRead,
               pageRead = best.pageRead, plainScan = best.plainScan, search = best.search;
  std::printf("plain_write %10.1f MB/s\npage_write  %10.1f MB/s\n", plainWrite, pageWrite);
  std::printf("plain_read  %10.1f MB/s\npage_read   %10.1f MB/s\n", plainRead, pageRead);
  std::printf("plain_scan  %10.1f MB/s\nheader_find %10.1f MB/s\n", plainScan, search);
  std::printf("page_write / plain_write: %.2f\npage_read / plain_read: %.2f\nheader_find / plain_scan: %.2f\n",
              pageWrite / plainWrite, pageRead / plainRead, search / plainScan);
  if (!ok) std::printf("FAILED: a page operation or the header search failed\n");
  return ok ? 0 : 1;
}
