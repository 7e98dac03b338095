// Streams coded with a 1 MiB model and assorted orders. With so little memory most of these runs
// exhaust the arena again and again, so they check the sub-allocator's reserve, block splitting
// and the model restart, besides orders outside the three container methods.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cfs/codecs/ppmd/Ppmd.h"
#include "cfs/codecs/ppmd/PpmdModel.h"
#include "tests/cfs/codecs/ppmd/Sha256.h"
#include "tests/support/Bytes.h"

namespace {

// Coder output without the 4-byte parameter word.
std::vector<std::uint8_t> Encode(const std::vector<std::uint8_t>& in, int order, int memoryMB) {
    std::vector<std::uint8_t> out(in.size() + in.size() / 8 + 64);
    const std::size_t n = PpmdCompress(in.data(), in.size(), out.data(), out.size(), order, memoryMB);
    if (n < 4) return {};
    return {out.begin() + 4, out.begin() + static_cast<std::ptrdiff_t>(n)};
}

// Coder output straight from the model, with the number of times its memory ran out.
std::vector<std::uint8_t> EncodeCountingRestarts(const std::vector<std::uint8_t>& in, int order, int& restarts) {
    ppmd::SubAllocator arena;
    if (!arena.Create(1)) return {};
    ppmd::Model model(arena, order);
    std::vector<std::uint8_t> out(in.size() + in.size() / 8 + 64);
    ppmd::RangeEncoder rc(out.data(), out.size());
    if (!model.Encode(rc, in.data(), in.size())) return {};
    out.resize(rc.BytesWritten());
    restarts = model.Restarts();
    return out;
}

bool DecodeMatches(const std::vector<std::uint8_t>& in, int order, int memoryMB) {
    std::vector<std::uint8_t> framed(in.size() + in.size() / 8 + 64);
    const std::size_t n = PpmdCompress(in.data(), in.size(), framed.data(), framed.size(), order, memoryMB);
    if (n == 0) return false;
    framed.resize(n);
    std::vector<std::uint8_t> out(in.size());
    std::size_t outSize = 0;
    return PpmdDecompress(framed.data(), framed.size(), out.data(), out.size(), outSize) &&
           outSize == in.size() && out == in;
}

// Linear congruential generator x' = 1103515245 x + 12345 mod 2^31; byte = (x' >> 16) & 255.
std::vector<std::uint8_t> LcgBytes(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    std::uint32_t x = 1;
    for (auto& b : v) {
        x = (1103515245u * x + 12345u) & 0x7FFFFFFFu;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return v;
}

// Mostly 'a', sometimes 'b', rarely 'c'..'j'.
std::vector<std::uint8_t> SkewedLetters(std::size_t n) {
    std::vector<std::uint8_t> v = LcgBytes(n);
    for (auto& b : v) b = b < 232 ? 'a' : b < 248 ? 'b' : static_cast<std::uint8_t>('c' + (b - 248));
    return v;
}

std::vector<std::uint8_t> Numerals(std::size_t n) {
    std::string s;
    for (unsigned i = 0; s.size() < n; ++i) s += std::to_string(i) + ' ';
    s.resize(n);
    return testsupport::Text(s);
}

TEST(PpmdSmallMemory, ShortStreamsMatchPublishedBytes) {
    EXPECT_EQ(Encode({}, 2, 1), testsupport::FromHex("FF 28 2C 1B 00 "));
    EXPECT_EQ(Encode(testsupport::Text("abracadabra"), 4, 1), testsupport::FromHex("B4 1C 9A FB 0E 53 81 47 59 AE 31 00 "));
    EXPECT_EQ(Encode(testsupport::Text("The quick brown fox jumps over the lazy dog"), 6, 10),
              testsupport::FromHex("AD F1 09 14 60 35 C1 39 1A 0F B0 4F 9C 6F 89 B6 B1 AF A8 18 1E 22 F4 8F DD 78 FD A4 33 3C "
                  "32 07 CB 7D 9C 91 63 16 29 58 39 C8 94 00 "));
    std::vector<std::uint8_t> zeros(37, 0);
    for (std::uint8_t b : testsupport::FromHex("52 85 D6 BD 00 ")) zeros.push_back(b);
    EXPECT_EQ(Encode(std::vector<std::uint8_t>(100000, 0), 16, 1), zeros);
}

TEST(PpmdSmallMemory, LongStreamsMatchPublishedDigests) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> input;
        int order;
        std::size_t size;
        int restarts;
        const char* sha256;
    };
    std::vector<std::uint8_t> cycle(1024);
    for (std::size_t i = 0; i < cycle.size(); ++i) cycle[i] = static_cast<std::uint8_t>(i);
    const std::vector<Case> cases = {
        {"byte cycle", cycle, 3, 320, 0, "ba3b31150a08f729167cc278291b481f30dceedf7b9686eb2d64e153e840a019"},
        {"random, restarts", LcgBytes(300000), 8, 305859, 9, "7982367d43d1590c491d70d71474dd47b3faf47134c7a98ca6e1344885c72a88"},
        {"random, order 2", LcgBytes(300000), 2, 305975, 8, "e168a5e7055e0efd6c707d2e2459b168277ac11f866f33043084efd10ada4b22"},
        {"numerals, order 5", Numerals(1000000), 5, 284979, 10, "7a32b820ceece6d9a52ee71b077b86ce03de9317ca075690504697e33e93a9d0"},
        {"numerals, order 16", Numerals(1000000), 16, 261159, 20, "c087a2b0a1713736d2585f8c48d20dcb2e92a46ebcd0b280dda58fe9c0a22d85"},
        {"skewed, order 2", SkewedLetters(300000), 2, 26148, 0, "9a0ceef6fe8dff68d1e6bf79879887b0f939c0bb08c8be0a248c2f544bf540e0"},
        {"skewed, order 4", SkewedLetters(300000), 4, 26230, 0, "b89bf7e9fc14dc2f9f35d38ba7bff88c06ac5c0b182149c40b831a4697b17ed4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int restarts = -1;
        const std::vector<std::uint8_t> out = EncodeCountingRestarts(c.input, c.order, restarts);
        EXPECT_EQ(out.size(), c.size);
        EXPECT_EQ(restarts, c.restarts);
        EXPECT_EQ(ppmdtest::Sha256Hex(out), c.sha256);
        EXPECT_TRUE(DecodeMatches(c.input, c.order, 1));
    }
}

}  // namespace
