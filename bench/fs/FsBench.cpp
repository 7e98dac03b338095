// Raw stored-file throughput: one stored file written and read back through the facade's
// handle API in 1 MiB calls, without and with a container password, against a plain file
// written, read and copied (a read/write loop) the same way, all in one run; plus the peak resident memory early in the
// write and at its end (it must not grow with the file).
// Usage: fs_bench [folder] [MiB]   Prints "name MB/s" lines and the ratios.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "cfs/fs/ContainerFS.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int32_t kChunk = 1 << 20;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }
double Rate(double bytes, double seconds) { return bytes / seconds / 1e6; }

// Peak resident set in KiB where the system reports it, else -1.
long PeakRssKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

struct Figures {
  double plainWrite = 0, plainRead = 0, plainCopy = 0, cfsWrite = 0, cfsRead = 0;
  long rssEarly = -1, rssEnd = -1;
};

bool PlainRound(const std::string& path, int mib, const std::vector<std::uint8_t>& data, Figures& fig) {
  std::vector<std::uint8_t> in(kChunk);
  bool ok = true;
  auto start = Clock::now();
  {
    auto f = platform::File::Open(path, platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
                                  platform::FileDisposition::CreateAlways);
    if (!f) return false;
    for (int i = 0; i < mib; ++i) ok &= f->Write(data.data(), kChunk) == kChunk;
    f->Flush();
  }
  fig.plainWrite = std::max(fig.plainWrite, Rate(double(mib) * kChunk, Seconds(start)));
  start = Clock::now();
  {
    auto f = platform::File::Open(path, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                  platform::FileDisposition::OpenExisting);
    if (!f) return false;
    for (int i = 0; i < mib; ++i) ok &= f->Read(in.data(), kChunk) == kChunk;
  }
  fig.plainRead = std::max(fig.plainRead, Rate(double(mib) * kChunk, Seconds(start)));
  // The copy: a read/write loop from that file into a new one.
  const std::string copy = path + ".copy";
  start = Clock::now();
  {
    auto src = platform::File::Open(path, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                    platform::FileDisposition::OpenExisting);
    auto dst = platform::File::Open(copy, platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
                                    platform::FileDisposition::CreateAlways);
    if (!src || !dst) return false;
    for (int i = 0; i < mib; ++i) {
      ok &= src->Read(in.data(), kChunk) == kChunk;
      ok &= dst->Write(in.data(), kChunk) == kChunk;
    }
    dst->Flush();
  }
  fig.plainCopy = std::max(fig.plainCopy, Rate(double(mib) * kChunk, Seconds(start)));
  platform::DeleteFile(copy);
  platform::DeleteFile(path);
  return ok;
}

bool ContainerRound(const std::string& path, const std::string& password, int mib,
                    const std::vector<std::uint8_t>& data, Figures& fig) {
  std::vector<std::uint8_t> in(kChunk);
  bool ok = true;
  platform::DeleteFile(path);
  auto start = Clock::now();
  {
    TContainerFS fs(path, kModeCreate, password, "", "", 0);
    const std::int32_t h = fs.FileOpen("bench.bin", kModeCreate, "", "", "");
    if (h < 0) return false;
    for (int i = 0; i < mib; ++i) {
      ok &= fs.FileWrite(h, data.data(), kChunk) == kChunk;
      if (i == mib / 10) fig.rssEarly = PeakRssKiB();
    }
    fs.FileClose(h);
  }
  fig.cfsWrite = std::max(fig.cfsWrite, Rate(double(mib) * kChunk, Seconds(start)));
  fig.rssEnd = PeakRssKiB();
  start = Clock::now();
  {
    TContainerFS fs(path, 0, password, "", "", 0);
    const std::int32_t h = fs.FileOpen("bench.bin", 0, "", "", "");
    if (h < 0) return false;
    for (int i = 0; i < mib; ++i) {
      ok &= fs.FileRead(h, in.data(), kChunk) == kChunk;
      ok &= std::equal(in.begin(), in.begin() + 64, data.begin());
    }
    fs.FileClose(h);
  }
  fig.cfsRead = std::max(fig.cfsRead, Rate(double(mib) * kChunk, Seconds(start)));
  platform::DeleteFile(path);
  return ok;
}

void Report(const char* label, const Figures& f) {
  std::printf("%s\n", label);
  std::printf("  stored-file write %8.1f MB/s   x plain copy %.2f   (x plain write %.2f)\n", f.cfsWrite,
              f.cfsWrite / f.plainCopy, f.cfsWrite / f.plainWrite);
  std::printf("  stored-file read  %8.1f MB/s   x plain copy %.2f   (x plain read %.2f)\n", f.cfsRead,
              f.cfsRead / f.plainCopy, f.cfsRead / f.plainRead);
  std::printf("  peak RSS after 10%% of the write %ld KiB, at the end %ld KiB\n", f.rssEarly, f.rssEnd);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? std::string(argv[1]) : platform::GetTempDirectory();
  const int mib = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
  std::vector<std::uint8_t> data(kChunk);
  std::uint32_t seed = 1;
  for (auto& b : data) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(seed >> 16);
  }
  Figures plain, locked;
  bool ok = true;
  for (int round = 0; round < 3; ++round) {
    ok &= PlainRound(folder + "fs_bench.bin", mib, data, plain);
    ok &= ContainerRound(folder + "fs_bench.cfs", "", mib, data, plain);
    locked.plainWrite = plain.plainWrite;
    locked.plainRead = plain.plainRead;
    locked.plainCopy = plain.plainCopy;
    ok &= ContainerRound(folder + "fs_bench_pw.cfs", "bench password", mib, data, locked);
  }
  std::printf("%d MiB in 1 MiB calls, best of 3 rounds\n", mib);
  std::printf("plain file: write %.1f MB/s, read %.1f MB/s, copy (read/write loop) %.1f MB/s\n", plain.plainWrite,
              plain.plainRead, plain.plainCopy);
  Report("without password", plain);
  Report("with password", locked);
  if (!ok) {
    std::printf("FAILED: a transfer was short or read back wrong\n");
    return 1;
  }
  return 0;
}
