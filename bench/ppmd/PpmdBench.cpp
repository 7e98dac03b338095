// Throughput and ratio of the PPMd methods 3, 4 and 6 against bzip2 -9 on the same bytes.
// The PPMd methods run block by block with the block size the container uses for them, each
// block with a fresh model; bzip2 -9 codes the whole sample as the command-line tool would.
//
// usage: ppmd_bench <sample file> [repetitions]

#include <bzlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "cfs/codecs/ppmd/Ppmd.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

struct Result {
    const char* name;
    std::size_t packed = 0;
    double compressSec = 1e30, decompressSec = 1e30;
    bool ok = true;
};

Result RunPpmd(const char* name, const std::vector<std::uint8_t>& in, int order, int mem, std::size_t block, int reps) {
    Result r{name};
    std::vector<std::vector<std::uint8_t>> packed;
    for (int rep = 0; rep < reps; ++rep) {
        packed.clear();
        const auto t0 = Clock::now();
        for (std::size_t off = 0; off < in.size(); off += block) {
            const std::size_t n = std::min(block, in.size() - off);
            std::vector<std::uint8_t> out(n + n / 20 + 50);
            const std::size_t got = PpmdCompress(in.data() + off, n, out.data(), out.size(), order, mem);
            if (got == 0) out.assign(in.begin() + static_cast<std::ptrdiff_t>(off), in.begin() + static_cast<std::ptrdiff_t>(off + n));  // stored
            else out.resize(got);
            packed.push_back(std::move(out));
        }
        r.compressSec = std::min(r.compressSec, Seconds(t0, Clock::now()));
    }
    r.packed = 0;
    for (const auto& p : packed) r.packed += p.size();
    std::vector<std::uint8_t> back(in.size());
    for (int rep = 0; rep < reps; ++rep) {
        const auto t0 = Clock::now();
        std::size_t off = 0;
        for (const auto& p : packed) {
            const std::size_t n = std::min(block, in.size() - off);
            std::size_t outSize = 0;
            if (!PpmdDecompress(p.data(), p.size(), back.data() + off, n, outSize) || outSize != n) r.ok = false;
            off += n;
        }
        r.decompressSec = std::min(r.decompressSec, Seconds(t0, Clock::now()));
    }
    if (back != in) r.ok = false;
    return r;
}

Result RunBzip2(const std::vector<std::uint8_t>& in, int reps) {
    Result r{"bzip2 -9"};
    std::vector<char> out(in.size() + in.size() / 100 + 600);
    unsigned int packed = 0;
    for (int rep = 0; rep < reps; ++rep) {
        packed = static_cast<unsigned int>(out.size());
        const auto t0 = Clock::now();
        if (BZ2_bzBuffToBuffCompress(out.data(), &packed, reinterpret_cast<char*>(const_cast<std::uint8_t*>(in.data())),
                                     static_cast<unsigned int>(in.size()), 9, 0, 0) != BZ_OK)
            r.ok = false;
        r.compressSec = std::min(r.compressSec, Seconds(t0, Clock::now()));
    }
    r.packed = packed;
    std::vector<char> back(in.size());
    for (int rep = 0; rep < reps; ++rep) {
        unsigned int n = static_cast<unsigned int>(back.size());
        const auto t0 = Clock::now();
        if (BZ2_bzBuffToBuffDecompress(back.data(), &n, out.data(), packed, 0, 0) != BZ_OK || n != in.size()) r.ok = false;
        r.decompressSec = std::min(r.decompressSec, Seconds(t0, Clock::now()));
    }
    if (std::memcmp(back.data(), in.data(), in.size()) != 0) r.ok = false;
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <sample file> [repetitions]\n", argv[0]);
        return 2;
    }
    std::ifstream f(argv[1], std::ios::binary);
    const std::vector<std::uint8_t> in((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    if (in.empty()) {
        std::fprintf(stderr, "empty or missing sample %s\n", argv[1]);
        return 2;
    }

    const Result base = RunBzip2(in, reps);
    const Result results[] = {
        RunPpmd("method 3 (o5/25MB)", in, 5, 25, 0x100000, reps),
        RunPpmd("method 4 (o13/50MB)", in, 13, 50, 0x180000, reps),
        RunPpmd("method 6 (o3/10MB)", in, 3, 10, 0x80000, reps),
    };

    const double mib = static_cast<double>(in.size()) / (1 << 20);
    std::printf("sample: %s, %.2f MiB, best of %d\n", argv[1], mib, reps);
    std::printf("%-22s %10s %7s %10s %10s %9s %9s %9s\n", "codec", "packed", "ratio", "comp MB/s", "dec MB/s",
                "size/bz2", "comp/bz2", "dec/bz2");
    auto row = [&](const Result& r) {
        std::printf("%-22s %10zu %7.3f %10.2f %10.2f %9.3f %9.3f %9.3f%s\n", r.name, r.packed,
                    static_cast<double>(r.packed) / static_cast<double>(in.size()), mib / r.compressSec,
                    mib / r.decompressSec, static_cast<double>(r.packed) / static_cast<double>(base.packed),
                    base.compressSec / r.compressSec, base.decompressSec / r.decompressSec, r.ok ? "" : "  ROUND TRIP FAILED");
    };
    row(base);
    bool ok = base.ok;
    for (const auto& r : results) {
        row(r);
        ok = ok && r.ok;
    }
    std::printf("(size/bz2 < 1: smaller than bzip2 -9; comp/bz2 and dec/bz2 > 1: faster than bzip2 -9)\n");
    return ok ? 0 : 1;
}
