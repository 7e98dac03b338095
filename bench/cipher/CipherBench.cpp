// Page cipher throughput: 4064-byte page data areas enciphered and deciphered in place through
// TPageCipher under one fixed 33-byte page key, the way the page layer does it.
// Usage: cipher_bench [seconds-per-figure]   Prints lines "name MB/s" (1 MB = 10^6 bytes).
// Rates are bytes per second of processor time (std::clock), the basis openssl speed uses by
// default, so a figure and its baseline stay comparable on a busy machine.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "cfs/codecs/cipher/CFSChecksum.h"
#include "cfs/codecs/cipher/CFSCipher.h"

namespace {

constexpr std::size_t kPageData = 4064;
constexpr std::size_t kPages = 256;  // about 1 MB, stays in cache like a run of pages does

template <typename Work>
double Measure(double seconds, Work&& work) {
  std::size_t bytes = 0;
  const std::clock_t start = std::clock();
  const std::clock_t until = start + static_cast<std::clock_t>(seconds * CLOCKS_PER_SEC);
  std::clock_t now;
  do {
    bytes += work();
    now = std::clock();
  } while (now < until);
  return bytes / (static_cast<double>(now - start) / CLOCKS_PER_SEC) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
  std::vector<std::uint8_t> pages(kPages * kPageData);
  std::mt19937 gen(1);
  for (auto& b : pages) b = static_cast<std::uint8_t>(gen());
  const std::string key = std::string("0123456789abcdef0123456789ABCDEF") + std::string(1, '\0');
  bool ok = true;

  for (auto backend : {TAesBackend::Best, TAesBackend::Portable}) {
    const char* name = backend == TAesBackend::Best ? "" : "portable_";
    TPageCipher cipher(backend);
    const double enc = Measure(seconds, [&] {
      for (std::size_t p = 0; p < kPages; ++p) ok &= cipher.Encode(key, &pages[p * kPageData], kPageData);
      return pages.size();
    });
    const double dec = Measure(seconds, [&] {
      for (std::size_t p = 0; p < kPages; ++p) ok &= cipher.Decode(key, &pages[p * kPageData], kPageData);
      return pages.size();
    });
    std::printf("%sencode %.1f\n%sdecode %.1f\n", name, enc, name, dec);
  }
  std::uint32_t sink = 0;
  const double xor32 = Measure(seconds / 2, [&] {
    for (std::size_t p = 0; p < kPages; ++p) sink ^= Checksum(&pages[p * kPageData], kPageData, kChecksumXor32);
    return pages.size();
  });
  const double crc16 = Measure(seconds / 2, [&] {
    sink ^= Checksum(pages.data(), pages.size(), kChecksumCrc16);
    return pages.size();
  });
  std::printf("xor32 %.1f\ncrc16 %.1f\n", xor32, crc16);
  if (!ok) {
    std::fprintf(stderr, "page cipher failed (sink %u)\n", sink);
    return 1;
  }
  return 0;
}
