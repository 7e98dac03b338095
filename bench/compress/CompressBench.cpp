// Throughput and ratio of the zlib and bzip2 block methods against the gzip -6 and bzip2 -9
// command-line tools on the same bytes, measured in the same run. The methods code the sample
// block by block with the block size a stored file uses for them, through the same calls the
// block stream makes; the tools code the whole file in one stream.
//
// usage: compress_bench <sample file> [repetitions]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cfs/codecs/compress/CFSCompress.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Figures {
  std::string name;
  std::uint64_t packed = 0;
  double compressSec = 1e30;
  double decompressSec = 1e30;
  bool ok = true;
};

Figures RunMethod(int method, const std::vector<std::uint8_t>& in, int reps) {
  Figures f{"method " + std::to_string(method)};
  const std::size_t block = static_cast<std::size_t>(BlockSizeForMethod(method));
  std::vector<std::vector<std::uint8_t>> packed;
  for (int rep = 0; rep < reps; ++rep) {
    packed.clear();
    const auto start = Clock::now();
    for (std::size_t off = 0; off < in.size(); off += block) {
      const std::size_t n = std::min(block, in.size() - off);
      std::vector<std::uint8_t> out;
      TCFSBlockHeader header;
      if (!CompressBuffer(in.data() + off, static_cast<std::int32_t>(n), out, method, header)) {
        f.ok = false;
      }
      packed.push_back(std::move(out));
    }
    f.compressSec = std::min(f.compressSec, Since(start));
  }
  f.packed = 0;
  for (const auto& p : packed) f.packed += p.size();
  for (int rep = 0; rep < reps; ++rep) {
    const auto start = Clock::now();
    std::size_t off = 0;
    for (const auto& p : packed) {
      const std::size_t n = std::min(block, in.size() - off);
      std::vector<std::uint8_t> out;
      std::int32_t size = static_cast<std::int32_t>(n);
      if (!DecompressBuffer(p.data(), static_cast<std::int32_t>(p.size()), out, method, size) ||
          !std::equal(out.begin(), out.end(), in.begin() + static_cast<std::ptrdiff_t>(off)) ||
          static_cast<std::size_t>(size) != n) {
        f.ok = false;
      }
      off += n;
    }
    f.decompressSec = std::min(f.decompressSec, Since(start));
  }
  return f;
}

double TimeCommand(const std::string& command) {
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) return -1;
  return Since(start);
}

std::uint64_t FileSize(const std::string& path) {
  std::ifstream f(path, std::ios::binary | std::ios::ate);
  return f ? static_cast<std::uint64_t>(f.tellg()) : 0;
}

Figures RunTool(const std::string& tool, const std::string& level, const std::string& sample,
                int reps) {
  Figures f{tool + " " + level};
  const std::string packed = sample + "." + tool + "-bench";
  for (int rep = 0; rep < reps; ++rep) {
    const double c = TimeCommand(tool + " " + level + " -c '" + sample + "' > '" + packed + "'");
    const double d = TimeCommand(tool + " -d -c '" + packed + "' > /dev/null");
    if (c < 0 || d < 0) f.ok = false;
    f.compressSec = std::min(f.compressSec, c);
    f.decompressSec = std::min(f.decompressSec, d);
  }
  f.packed = FileSize(packed);
  std::remove(packed.c_str());
  return f;
}

void Print(const Figures& f, double mib, std::uint64_t size, const Figures& base) {
  const double cRate = mib / f.compressSec;
  const double dRate = mib / f.decompressSec;
  std::printf("%-12s ratio %6.2f%%  pack %7.2f MiB/s (x%.2f)  unpack %7.2f MiB/s (x%.2f)%s\n",
              f.name.c_str(), 100.0 * static_cast<double>(f.packed) / static_cast<double>(size),
              cRate, base.compressSec / f.compressSec, dRate,
              base.decompressSec / f.decompressSec, f.ok ? "" : "  FAILED");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: compress_bench <sample file> [repetitions]\n");
    return 2;
  }
  const std::string sample = argv[1];
  const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  std::ifstream file(sample, std::ios::binary);
  const std::vector<std::uint8_t> in((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
  if (in.empty()) {
    std::fprintf(stderr, "compress_bench: cannot read %s\n", sample.c_str());
    return 2;
  }
  const double mib = static_cast<double>(in.size()) / (1 << 20);
  std::printf("sample %s: %.2f MiB, best of %d\n", sample.c_str(), mib, reps);
  std::printf("(xN: speed relative to the command-line tool of the same codec, above 1 is faster)\n");

  const Figures gzip = RunTool("gzip", "-6", sample, reps);
  const Figures bzip2 = RunTool("bzip2", "-9", sample, reps);
  Print(gzip, mib, in.size(), gzip);
  Print(bzip2, mib, in.size(), bzip2);
  bool ok = gzip.ok && bzip2.ok;
  for (int method : {1, 2, 5, 7, 8, 9}) {
    const Figures f = RunMethod(method, in, reps);
    Print(f, mib, in.size(), method <= 5 ? gzip : bzip2);
    ok = ok && f.ok;
  }
  return ok ? 0 : 1;
}
