// Deflating one large file: TZipWriter at 1 and 2 threads against one-stream zlib level 6
// (CRC-32 and raw deflate of the file held in memory) and, when given, pigz -6 on 2 threads,
// measured in the same process. Then the size cost of a few chunk sizes. bench/zip/chunked.sh
// makes the input.
//
//   zip_chunked_bench <input file> <output zip> [repetitions] [pigz program]
//
// Rows: "<name> <seconds> <deflated bytes> <baseline seconds / seconds> <size against baseline, %>".
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "zip/ChunkedDeflate.h"
#include "zip/ZipWriter.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

std::vector<unsigned char> ReadAll(const std::string& path) {
  std::vector<unsigned char> data(static_cast<std::size_t>(std::max<std::int64_t>(platform::FileSize(path), 0)));
  auto f = platform::File::Open(path, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                platform::FileDisposition::OpenExisting);
  if (!f || f->Read(data.data(), static_cast<std::int64_t>(data.size())) != static_cast<std::int64_t>(data.size())) {
    std::fprintf(stderr, "zip_chunked_bench: cannot read the input\n");
    std::exit(1);
  }
  return data;
}

// One raw deflate stream at level 6 over the whole buffer, with its CRC-32: what the writer did
// before large entries were cut into chunks.
std::size_t OneStream(const std::vector<unsigned char>& in, std::vector<unsigned char>& out) {
  volatile uLong crc = crc32(0, in.data(), static_cast<uInt>(in.size()));
  (void)crc;
  z_stream zs{};
  if (deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) std::exit(1);
  out.resize(deflateBound(&zs, static_cast<uLong>(in.size())));
  zs.next_in = const_cast<unsigned char*>(in.data());
  zs.avail_in = static_cast<uInt>(in.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  if (deflate(&zs, Z_FINISH) != Z_STREAM_END) std::exit(1);
  const std::size_t n = zs.total_out;
  deflateEnd(&zs);
  return n;
}

// The writer's deflated size for one chunk size, deflating the buffer in memory.
std::size_t ChunkedSize(const std::vector<unsigned char>& in, std::size_t chunkSize) {
  zipdeflate::ChunkedDeflateOptions options;
  options.chunkSize = chunkSize;
  options.threads = 2;
  std::size_t at = 0, out = 0;
  zipdeflate::DeflateChunked(
      options,
      [&](unsigned char* buffer, std::size_t count) {
        const std::size_t n = std::min(count, in.size() - at);
        std::copy(in.begin() + static_cast<std::ptrdiff_t>(at), in.begin() + static_cast<std::ptrdiff_t>(at + n), buffer);
        at += n;
        return n;
      },
      [&](const unsigned char*, std::size_t count) { out += count; });
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: zip_chunked_bench <input file> <output zip> [repetitions] [pigz program]\n");
    return 2;
  }
  auto ours = [](std::string p) {  // program paths use "\" separators and code page 936
    for (auto& c : p) c = c == '/' ? '\\' : c;
    return platform::Utf8ToCp936(p);
  };
  const std::string input = ours(argv[1]);
  const std::string output = ours(argv[2]);
  const int reps = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  const std::string pigz = argc > 4 ? argv[4] : "";
  const std::vector<unsigned char> data = ReadAll(input);

  // One measurement per run and repetition, the runs taking turns, so that a busy moment of
  // the machine hits them alike; each keeps its best time.
  struct Measure {
    const char* name;
    std::function<std::size_t()> run;  // returns the deflated size
    double best = 1e30;
    std::size_t bytes = 0;
  };
  std::vector<unsigned char> scratch;
  auto writer = [&](int threads) {
    return [&, threads]() -> std::size_t {
      platform::DeleteFile(output);
      TZipWriter zip;
      zip.SetThreadCount(threads);
      zip.FilesList.Add(platform::Cp936ToUtf16(input));
      zip.SetZipName(platform::Cp936ToUtf16(output));
      std::int64_t deflated = 0;
      zip.OnEndZip = [&](TZipReader*, const std::u16string&, std::int64_t, std::int64_t compressed, std::int64_t) {
        deflated = compressed;
      };
      if (zip.Zip() != 1) {
        std::fprintf(stderr, "zip_chunked_bench: the file was not added\n");
        std::exit(1);
      }
      return static_cast<std::size_t>(deflated);
    };
  };
  std::vector<Measure> measures = {{"zlib-6_one_stream", [&] { return OneStream(data, scratch); }},
                                   {"writer_1_thread", writer(1)},
                                   {"writer_2_threads", writer(2)}};
  if (!pigz.empty()) {
    // gzip output less its 18 bytes of header and trailer (no name stored)
    measures.push_back({"pigz-6_2_threads", [&]() -> std::size_t {
                          const std::string gz = std::string(argv[2]) + ".gz";
                          const std::string cmd = pigz + " -6 -n -p 2 -c '" + argv[1] + "' > '" + gz + "'";
                          if (std::system(cmd.c_str()) != 0) std::exit(1);
                          return static_cast<std::size_t>(platform::FileSize(ours(gz)) - 18);
                        }});
  }
  for (int i = 0; i < reps; ++i) {
    for (auto& m : measures) {
      const auto t0 = Clock::now();
      m.bytes = m.run();
      m.best = std::min(m.best, Seconds(t0));
    }
  }
  const double baseTime = measures[0].best;
  const std::size_t baseSize = measures[0].bytes;
  for (const auto& m : measures) {
    std::printf("%-22s %9.3f %12zu %9.2f %+9.3f\n", m.name, m.best, m.bytes, baseTime / m.best,
                100.0 * (static_cast<double>(m.bytes) - static_cast<double>(baseSize)) / static_cast<double>(baseSize));
  }

  for (const std::size_t kib : {128, 256, 512, 1024, 2048}) {
    const std::string name = "chunks_of_" + std::to_string(kib) + "KiB" + (kib * 1024 == zipdeflate::kChunkSize ? "*" : "");
    const std::size_t size = ChunkedSize(data, kib * 1024);
    std::printf("%-22s %9s %12zu %9s %+9.3f\n", name.c_str(), "-", size, "-",
                100.0 * (static_cast<double>(size) - static_cast<double>(baseSize)) / static_cast<double>(baseSize));
  }
  return 0;
}
