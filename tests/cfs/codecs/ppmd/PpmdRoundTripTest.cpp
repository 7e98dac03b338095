// Round trips of assorted data, the bounds of both directions, and damaged streams.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "cfs/codecs/ppmd/Ppmd.h"

namespace {

struct Method {
    int order, memoryMB;
};
constexpr Method kMethods[] = {{5, 25}, {13, 50}, {3, 10}};

std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t>& in, int order, int memoryMB) {
    std::vector<std::uint8_t> out(in.size() + in.size() / 20 + 50);
    out.resize(PpmdCompress(in.data(), in.size(), out.data(), out.size(), order, memoryMB));
    return out;
}

// Decodes into a buffer of exactly `expected` bytes; returns false as the decoder does.
bool Decompress(const std::vector<std::uint8_t>& stream, std::size_t expected, std::vector<std::uint8_t>& out) {
    out.assign(expected, 0);
    std::size_t outSize = 0;
    const bool ok = PpmdDecompress(stream.data(), stream.size(), out.data(), expected, outSize);
    EXPECT_LE(outSize, expected);
    out.resize(outSize);
    return ok;
}

std::vector<std::uint8_t> Text(std::size_t n) {
    static const std::string words[] = {"the ", "player ", "settings ", "interface ", "addon ", "frame:",
                                        "SetPoint(", "\"CENTER\", ", "0, 0)\n", "local ", "function ", "end\n"};
    std::mt19937 rng(7);
    std::string s;
    while (s.size() < n) s += words[rng() % std::size(words)];
    s.resize(n);
    return {s.begin(), s.end()};
}

std::vector<std::uint8_t> Random(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) b = static_cast<std::uint8_t>(rng());
    return v;
}

std::vector<std::uint8_t> Runs(std::size_t n) {
    std::vector<std::uint8_t> v;
    std::mt19937 rng(3);
    while (v.size() < n) v.insert(v.end(), 1 + rng() % 5000, static_cast<std::uint8_t>(rng() % 4));
    v.resize(n);
    return v;
}

TEST(PpmdRoundTrip, AssortedDataForEveryMethod) {
    const std::vector<std::pair<const char*, std::vector<std::uint8_t>>> inputs = {
        {"one byte", {0x7F}},
        {"text", Text(200000)},
        {"random", Random(100000, 11)},
        {"long runs", Runs(300000)},
        {"all byte values", [] {
             std::vector<std::uint8_t> v(4096);
             for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<std::uint8_t>(i * 7);
             return v;
         }()},
    };
    for (const auto& m : kMethods) {
        for (const auto& [what, in] : inputs) {
            SCOPED_TRACE(std::string(what) + ", order " + std::to_string(m.order));
            const auto stream = Compress(in, m.order, m.memoryMB);
            ASSERT_GT(stream.size(), 4u);
            std::vector<std::uint8_t> out;
            ASSERT_TRUE(Decompress(stream, in.size(), out));
            EXPECT_TRUE(out == in);
        }
    }
    // Text compresses well at every order; random data barely grows.
    EXPECT_LT(Compress(Text(200000), 3, 10).size(), 200000u / 3);
    EXPECT_LT(Compress(Random(100000, 11), 5, 25).size(), 100000u + 100000u / 20);
}

TEST(PpmdRoundTrip, EmptyInputIsTheEndMarkAlone) {
    std::uint8_t out[64];
    const std::size_t n = PpmdCompress(nullptr, 0, out, sizeof out, 5, 25);
    ASSERT_GT(n, 4u);
    std::size_t outSize = 99;
    std::uint8_t sink[1];
    EXPECT_TRUE(PpmdDecompress(out, n, sink, 0, outSize));
    EXPECT_EQ(outSize, 0u);
}

TEST(PpmdRoundTrip, ParametersOutsideTheVariantAreRefused) {
    const std::vector<std::uint8_t> in = Text(100);
    std::vector<std::uint8_t> out(200);
    for (auto [order, mem] : {std::pair{1, 10}, {17, 10}, {0, 10}, {5, 0}, {5, 257}, {5, -1}})
        EXPECT_EQ(PpmdCompress(in.data(), in.size(), out.data(), out.size(), order, mem), 0u) << order << "/" << mem;
    // Orders 2 and 16 are the ends of the valid range.
    for (int order : {2, 16}) {
        const auto stream = Compress(Text(5000), order, 1);
        std::vector<std::uint8_t> back;
        ASSERT_TRUE(Decompress(stream, 5000, back)) << order;
        EXPECT_TRUE(back == Text(5000));
    }
}

TEST(PpmdRoundTrip, CompressorStopsAtItsCapacity) {
    const std::vector<std::uint8_t> in = Random(3000, 5);
    const auto full = Compress(in, 3, 10);
    ASSERT_GT(full.size(), 3000u);
    constexpr std::size_t kGuard = 64;
    for (std::size_t cap : {std::size_t{0}, std::size_t{3}, std::size_t{4}, std::size_t{5}, std::size_t{100},
                            full.size() / 2, full.size() - 4, full.size() - 1}) {
        std::vector<std::uint8_t> out(cap + kGuard, 0xA5);
        EXPECT_EQ(PpmdCompress(in.data(), in.size(), out.data(), cap, 3, 10), 0u) << cap;
        for (std::size_t i = cap; i < out.size(); ++i) ASSERT_EQ(out[i], 0xA5) << "write past capacity " << cap;
    }
    std::vector<std::uint8_t> exact(full.size());
    EXPECT_EQ(PpmdCompress(in.data(), in.size(), exact.data(), exact.size(), 3, 10), full.size());
    EXPECT_TRUE(exact == full);
}

TEST(PpmdRoundTrip, DecompressorStopsAtTheExpectedSize) {
    const std::vector<std::uint8_t> in = Text(10000);
    const auto stream = Compress(in, 5, 25);
    constexpr std::size_t kGuard = 64;
    for (std::size_t expected : {std::size_t{1}, std::size_t{9999}}) {
        std::vector<std::uint8_t> out(expected + kGuard, 0x5A);
        std::size_t outSize = 0;
        EXPECT_FALSE(PpmdDecompress(stream.data(), stream.size(), out.data(), expected, outSize));
        EXPECT_LE(outSize, expected);
        for (std::size_t i = expected; i < out.size(); ++i) ASSERT_EQ(out[i], 0x5A) << "write past " << expected;
    }
    // A larger buffer is fine: the stream says where it ends.
    std::vector<std::uint8_t> out(20000);
    std::size_t outSize = 0;
    EXPECT_TRUE(PpmdDecompress(stream.data(), stream.size(), out.data(), out.size(), outSize));
    EXPECT_EQ(outSize, in.size());
}

TEST(PpmdRoundTrip, ParameterWordIsChecked) {
    const std::vector<std::uint8_t> in = Text(2000);
    const auto good = Compress(in, 5, 25);
    ASSERT_EQ(good[1] >> 4, 6);  // variant nibble
    std::vector<std::uint8_t> out;
    for (int variant = 0; variant < 16; ++variant) {
        if (variant == 6) continue;
        auto bad = good;
        bad[1] = static_cast<std::uint8_t>((bad[1] & 0x0F) | (variant << 4));
        EXPECT_FALSE(Decompress(bad, in.size(), out)) << "variant " << variant;
    }
    for (int byte : {2, 3}) {
        auto bad = good;
        bad[byte] = 1;
        EXPECT_FALSE(Decompress(bad, in.size(), out)) << "high byte " << byte;
    }
    auto orderOne = good;
    orderOne[0] &= 0xF0;
    EXPECT_FALSE(Decompress(orderOne, in.size(), out));
    // Decoding with other model parameters than the encoder's never yields the input.
    auto otherOrder = good;
    otherOrder[0] = static_cast<std::uint8_t>((otherOrder[0] & 0xF0) | 2);
    EXPECT_FALSE(Decompress(otherOrder, in.size(), out) && out == in);
}

TEST(PpmdRoundTrip, TruncatedOrExtendedStreamsFail) {
    const std::vector<std::uint8_t> in = Text(3000);
    const auto stream = Compress(in, 3, 10);
    std::vector<std::uint8_t> out;
    for (std::size_t len = 0; len < stream.size(); ++len) {
        const std::vector<std::uint8_t> cut(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(len));
        ASSERT_FALSE(Decompress(cut, in.size(), out)) << "length " << len;
    }
    auto longer = stream;
    longer.push_back(0);
    EXPECT_FALSE(Decompress(longer, in.size(), out));
}

TEST(PpmdRoundTrip, CorruptedStreamsNeverCrash) {
    // Each corruption either fails or decodes to something within bounds; run under the
    // sanitizers this checks every arena access of the damaged decoding paths.
    const std::vector<std::uint8_t> in = Text(4000);
    std::mt19937 rng(2024);
    int failures = 0, trials = 0;
    for (const auto& m : kMethods) {
        const auto stream = Compress(in, m.order, m.memoryMB);
        for (int i = 0; i < 120; ++i, ++trials) {
            auto bad = stream;
            const int flips = 1 + static_cast<int>(rng() % 4);
            for (int f = 0; f < flips; ++f) bad[4 + rng() % (bad.size() - 4)] ^= static_cast<std::uint8_t>(1 + rng() % 255);
            std::vector<std::uint8_t> out;
            if (!Decompress(bad, in.size(), out)) ++failures;
        }
    }
    // Pure noise behind a valid parameter word.
    for (int i = 0; i < 60; ++i, ++trials) {
        std::vector<std::uint8_t> noise = Random(8 + rng() % 2000, static_cast<unsigned>(rng()));
        noise[0] = 0x92;
        noise[1] = 0x60;
        noise[2] = noise[3] = 0;
        std::vector<std::uint8_t> out;
        if (!Decompress(noise, 1 + rng() % 5000, out)) ++failures;
    }
    // Damage is nearly always detected (a short stream must end exactly on its end mark).
    EXPECT_GT(failures, trials * 9 / 10);
}

TEST(PpmdRoundTrip, ConcurrentCallsDoNotInterfere) {
    const std::vector<std::uint8_t> a = Text(150000), b = Random(60000, 9);
    const auto expectA = Compress(a, 13, 50), expectB = Compress(b, 3, 10);
    std::vector<std::uint8_t> gotA, gotB, backA, backB;
    bool okA = false, okB = false;
    std::thread ta([&] {
        gotA = Compress(a, 13, 50);
        okA = Decompress(gotA, a.size(), backA);
    });
    std::thread tb([&] {
        gotB = Compress(b, 3, 10);
        okB = Decompress(gotB, b.size(), backB);
    });
    ta.join();
    tb.join();
    EXPECT_TRUE(gotA == expectA);
    EXPECT_TRUE(gotB == expectB);
    EXPECT_TRUE(okA && backA == a);
    EXPECT_TRUE(okB && backB == b);
}

}  // namespace
