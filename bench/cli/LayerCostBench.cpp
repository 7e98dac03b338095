// What each kind of call on a container's path costs, in nanoseconds, so that the Windows build
// under wine and the native build can be compared layer by layer (layer_costs.sh runs it both
// ways and prints the ratios). Every line is the best of a few rounds of many calls.
// Usage: layer_cost_bench <scratch folder> [text file for the codec lines]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cfs/codecs/cipher/CFSChecksum.h"
#include "cfs/codecs/compress/CFSCompress.h"
#include "cfs/codecs/compress/CodecScratch.h"
#include "cfs/engine/PageFileManager.h"
#include "cfs/file/CFSDiskFile.h"
#include "platform/Exception.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/Time.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPages = 4096;  // a 16 MB file
constexpr int kRounds = 3;

// Best nanoseconds per call of `op` over kRounds rounds of n calls.
double Cost(int n, const std::function<void(int)>& op) {
  double best = 1e300;
  for (int r = 0; r < kRounds; ++r) {
    const auto start = Clock::now();
    for (int i = 0; i < n; ++i) op(i);
    best = std::min(best, std::chrono::duration<double, std::nano>(Clock::now() - start).count() / n);
  }
  return best;
}

void Line(const char* name, double ns) { std::printf("%-40s %12.1f\n", name, ns); }

// A page number that jumps around the file as the engine's page I/O does.
int Scattered(int i) { return static_cast<int>((static_cast<std::uint32_t>(i) * 2654435761u) % kPages); }

volatile int sink;  // keeps results alive

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: layer_cost_bench <scratch folder> [text file]\n");
    return 2;
  }
  const std::string dir = platform::IncludeTrailingPathDelimiter(platform::FromCommandLine(argv[1]));
  try {
    std::vector<std::uint8_t> page(4096, 0x5A);
    const std::string path = dir + "layer_cost.bin";

    // Plain platform file calls on one open file.
    {
      auto f = platform::File::Open(path, platform::FileAccess::ReadWrite, platform::FileShare::Exclusive,
                                    platform::FileDisposition::CreateAlways);
      if (!f) throw Exception("cannot create " + path);
      for (int p = 0; p < kPages; ++p) f->Write(page.data(), 4096);
      Line("file: seek", Cost(20000, [&](int i) {
             f->Seek(std::int64_t(Scattered(i)) * 4096, platform::SeekOrigin::Begin);
           }));
      Line("file: seek + write 4096", Cost(20000, [&](int i) {
             f->Seek(std::int64_t(Scattered(i)) * 4096, platform::SeekOrigin::Begin);
             f->Write(page.data(), 4096);
           }));
      Line("file: seek + read 4096", Cost(20000, [&](int i) {
             f->Seek(std::int64_t(Scattered(i)) * 4096, platform::SeekOrigin::Begin);
             f->Read(page.data(), 4096);
           }));
      f->Seek(0, platform::SeekOrigin::Begin);
      Line("file: write 4096 in sequence", Cost(kPages / kRounds, [&](int) { f->Write(page.data(), 4096); }));
      Line("file: size", Cost(20000, [&](int) { sink = static_cast<int>(f->Size()); }));
      Line("file: set end of file (+32 KB)", Cost(500, [&](int i) {
             f->Seek(std::int64_t(kPages) * 4096 + std::int64_t(i % 64) * 32768, platform::SeekOrigin::Begin);
             f->SetEndOfFile();
           }));
    }

    // The storage file class and the page file above it (unencrypted, XOR32 page checksums).
    {
      TCFSDiskFile f(path, false, true);
      if (!f.Open(false)) throw Exception("cannot open " + path);
      Line("storage file: write 4096 at", Cost(20000, [&](int i) {
             f.WriteAt(std::int64_t(Scattered(i)) * 4096, page.data(), 4096);
           }));
    }
    {
      const std::string container = dir + "layer_cost.cfs";
      TPageFileManager pf(container, kModeCreate, "", "", "", TCFSStorageFactory::Disk(), 4096, 8, -1);
      pf.AddPages(kPages);
      TCFSPageRec rec;
      pf.InitPageRecord(rec);
      Line("page file: write page", Cost(20000, [&](int i) { pf.WritePage(rec, 1 + Scattered(i) % (kPages - 1)); }));
      Line("page file: read page", Cost(20000, [&](int i) { pf.ReadPage(rec, 1 + Scattered(i) % (kPages - 1)); }));
      // A directory or data page being updated: read it, change it, write it back.
      Line("page file: read + rewrite a page", Cost(20000, [&](int i) {
             const std::int32_t p = 1 + (i & 7);
             pf.ReadPage(rec, p);
             pf.WritePage(rec, p);
           }));
      Line("page file: add 8 pages", Cost(300, [&](int) { pf.AddPages(8); }));
    }
    platform::DeleteFile(dir + "layer_cost.cfs");

    // Calls by path, as an import makes them for every file.
    {
      std::vector<std::string> names;
      for (int i = 0; i < 200; ++i) {
        names.push_back(dir + "small" + std::to_string(i) + ".lua");
        auto f = platform::File::Open(names.back(), platform::FileAccess::ReadWrite, platform::FileShare::Exclusive,
                                      platform::FileDisposition::CreateAlways);
        f->Write(page.data(), 4096);
      }
      std::vector<std::uint8_t> buffer(0x180000);
      Line("path: open + read 4 KB + close", Cost(2000, [&](int i) {
             auto f = platform::File::Open(names[i % 200], platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                           platform::FileDisposition::OpenExisting);
             sink = static_cast<int>(f->Read(buffer.data(), static_cast<std::int64_t>(buffer.size())));
           }));
      Line("path: attributes", Cost(4000, [&](int i) {
             sink = static_cast<int>(platform::GetFileAttributes(names[i % 200]));
           }));
      std::int64_t t = 0;
      Line("path: last-write time", Cost(4000, [&](int i) { sink = platform::GetFileTime(names[i % 200], t); }));
      Line("path: exists", Cost(4000, [&](int i) { sink = platform::FileExists(names[i % 200]); }));
      std::vector<platform::DirEntry> entries;
      Line("path: list 200 entries", Cost(40, [&](int) {
             entries.clear();
             platform::ListDirectory(dir + "*.*", platform::kAttrAnyFile, entries);
           }));
      for (const auto& n : names) platform::DeleteFile(n);
    }
    platform::DeleteFile(path);

    // The clock and the time-zone conversions a directory change makes.
    Line("time: now, to local and back", Cost(20000, [&](int) {
           const std::int64_t local = platform::FileTimeUtcToLocal(platform::NowFileTimeUtc());
           sink = static_cast<int>(platform::FileTimeLocalToUtc(local));
         }));

    // The runtime: allocation, zeroing and copying as the block stream does per file.
    for (std::size_t size : {std::size_t(64), std::size_t(4096), std::size_t(65536), std::size_t(0x180000)}) {
      const std::string name = "alloc + free " + std::to_string(size);
      Line(name.c_str(), Cost(size > 100000 ? 2000 : 100000, [&](int) {
             auto p = std::make_unique_for_overwrite<std::uint8_t[]>(size);
             sink = p[0];
           }));
    }
    Line("vector<uint8_t>(1.5 MB) zeroed", Cost(1000, [&](int) {
           std::vector<std::uint8_t> v(0x180000);
           sink = v[7];
         }));
    std::vector<std::uint8_t> big(0x180000, 1), other(0x180000, 2);
    Line("memcpy 4064", Cost(200000, [&](int i) {
           std::memcpy(big.data() + (i & 255), other.data(), 4064);
         }));
    Line("memcpy 1.5 MB", Cost(500, [&](int) { std::memcpy(big.data(), other.data(), big.size()); }));
    Line("memset 1.5 MB", Cost(500, [&](int i) { std::memset(big.data(), i, big.size()); }));
    Line("string append 40 B x 100", Cost(20000, [&](int) {
           std::string s;
           for (int k = 0; k < 100; ++k) s.append("0123456789012345678901234567890123456789");
           sink = s[5];
         }));
    Line("checksum xor32 4064", Cost(100000, [&](int) {
           sink = static_cast<int>(Checksum(big.data(), 4064, kChecksumXor32));
         }));
    Line("checksum crc16 16 KB", Cost(5000, [&](int) {
           sink = static_cast<int>(Checksum(big.data(), 16384, kChecksumCrc16));
         }));

    // The codec on text like the add-ons' (method 9, one block per file).
    if (argc > 2) {
      auto f = platform::File::Open(platform::FromCommandLine(argv[2]), platform::FileAccess::Read,
                                    platform::FileShare::ReadWrite, platform::FileDisposition::OpenExisting);
      if (!f) throw Exception("cannot open the text file");
      std::vector<std::uint8_t> text(16384);
      text.resize(static_cast<std::size_t>(std::max<std::int64_t>(0, f->Read(text.data(), 16384))));
      TCodecScratch scratch;
      std::vector<std::uint8_t> packed;
      Line("bzip2 -9 of 16 KB text", Cost(300, [&](int) {
             TCFSBlockHeader h{};
             CompressBuffer(text.data(), static_cast<std::int32_t>(text.size()), packed, 9, h, &scratch);
           }));
    }
  } catch (const Exception& e) {
    std::fprintf(stderr, "layer_cost_bench: %s\n", platform::ToConsole(e.Message()).c_str());
    return 1;
  }
  return 0;
}
