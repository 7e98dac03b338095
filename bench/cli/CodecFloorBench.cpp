// The codec work a container of a tree cannot do without, in CPU seconds, for the floor lines of
// run.sh: every file cut into the method's blocks and compressed on its own (as the container
// stores it), every block decompressed again (restore and the packing run's read-back), and the
// stored blocks deflated at level 6 (about what zipping the restore program costs). Files are
// read before the clock starts: no I/O, no pages, no container is counted, so these figures
// divided by the thread count are a lower bound for any implementation of the format.
// Usage: codec_floor_bench <tree> [method]      prints "name seconds" lines
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cfs/codecs/compress/CFSCompress.h"
#include "cfs/codecs/compress/CodecScratch.h"

namespace {

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Block {
  std::vector<std::uint8_t> packed;
  std::int32_t size = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: codec_floor_bench <tree> [method]\n");
    return 2;
  }
  const auto method = static_cast<std::uint8_t>(argc > 2 ? std::stoi(argv[2]) : 9);
  const std::int32_t blockSize = BlockSizeForMethod(method);

  std::vector<std::vector<std::uint8_t>> files;
  std::uint64_t bytes = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(argv[1]))
    if (e.is_regular_file()) {
      files.push_back(ReadFile(e.path()));
      bytes += files.back().size();
    }

  TCodecScratch scratch;
  std::vector<Block> blocks;
  double start = CpuSeconds();
  for (const auto& f : files)
    for (std::size_t at = 0; at < f.size(); at += static_cast<std::size_t>(blockSize)) {
      Block b;
      b.size = static_cast<std::int32_t>(std::min<std::size_t>(f.size() - at, static_cast<std::size_t>(blockSize)));
      TCFSBlockHeader h{};
      if (!CompressBuffer(f.data() + at, b.size, b.packed, method, h, &scratch)) {
        std::fprintf(stderr, "codec_floor_bench: compression failed\n");
        return 1;
      }
      blocks.push_back(std::move(b));
    }
  const double compress = CpuSeconds() - start;

  std::uint64_t packedBytes = 0;
  std::vector<std::uint8_t> out;
  start = CpuSeconds();
  for (const auto& b : blocks) {
    std::int32_t size = b.size;
    if (!DecompressBuffer(b.packed.data(), static_cast<std::int32_t>(b.packed.size()), out, method, size, &scratch) ||
        size != b.size) {
      std::fprintf(stderr, "codec_floor_bench: decompression failed\n");
      return 1;
    }
    packedBytes += b.packed.size();
  }
  const double decompress = CpuSeconds() - start;

  // The packed blocks as one level-6 stream, as the zip writer deflates the restore program.
  std::vector<std::uint8_t> deflated(64 * 1024);
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  start = CpuSeconds();
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    z.next_in = const_cast<Bytef*>(blocks[i].packed.data());
    z.avail_in = static_cast<uInt>(blocks[i].packed.size());
    const int flush = i + 1 == blocks.size() ? Z_FINISH : Z_NO_FLUSH;
    do {
      z.next_out = deflated.data();
      z.avail_out = static_cast<uInt>(deflated.size());
      deflate(&z, flush);
    } while (z.avail_out == 0);
  }
  const double deflateSeconds = CpuSeconds() - start;
  deflateEnd(&z);

  std::printf("files %zu\nbytes %llu\npacked %llu\n", files.size(), static_cast<unsigned long long>(bytes),
              static_cast<unsigned long long>(packedBytes));
  std::printf("compress %.3f\ndecompress %.3f\ndeflate %.3f\n", compress, decompress, deflateSeconds);
  return 0;
}
