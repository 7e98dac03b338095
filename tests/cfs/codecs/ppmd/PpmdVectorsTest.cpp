// Golden streams: the encoder must reproduce them byte for byte and the decoder must restore
// their inputs, including the vectors that exhaust the model memory and restart it.

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cfs/codecs/ppmd/Ppmd.h"
#include "tests/support/Files.h"

namespace {

struct VectorRow {
    std::string name;
    int method = 0, order = 0, memoryMB = 0;
    std::size_t inputSize = 0, outputSize = 0;
};

std::string VectorDir() { return std::string(ZELK_SHARED_DIR) + "/ppmd-vectors"; }

bool ReadFile(const std::string& path, std::vector<std::uint8_t>& data) {
    const std::optional<std::string> bytes = testsupport::TryReadNativeFile(path);
    if (bytes) data.assign(bytes->begin(), bytes->end());
    return bytes.has_value();
}

std::vector<VectorRow> ReadManifest() {
    std::vector<VectorRow> rows;
    std::ifstream f(VectorDir() + "/MANIFEST.tsv");
    std::string line;
    std::getline(f, line);  // column names
    while (std::getline(f, line)) {
        std::istringstream fields(line);
        VectorRow r;
        std::string inSha, outSha;
        if (fields >> r.name >> r.method >> r.order >> r.memoryMB >> r.inputSize >> inSha >> r.outputSize >> outSha)
            rows.push_back(r);
    }
    return rows;
}

class PpmdGoldenVectors : public ::testing::Test {
protected:
    void SetUp() override {
        rows_ = ReadManifest();
        if (rows_.empty()) GTEST_SKIP() << "PPMd golden vectors not found under " << VectorDir();
    }
    std::vector<VectorRow> rows_;
};

TEST_F(PpmdGoldenVectors, ManifestCoversAllThreeMethods) {
    int perMethod[7] = {};
    for (const auto& r : rows_) {
        ASSERT_TRUE(r.method == 3 || r.method == 4 || r.method == 6) << r.name;
        ++perMethod[r.method];
    }
    EXPECT_EQ(perMethod[3], perMethod[4]);
    EXPECT_EQ(perMethod[3], perMethod[6]);
    EXPECT_GE(perMethod[3], 12);
}

TEST_F(PpmdGoldenVectors, EncoderReproducesEveryStream) {
    for (const auto& r : rows_) {
        SCOPED_TRACE(r.name + " m" + std::to_string(r.method));
        std::vector<std::uint8_t> input, expected;
        ASSERT_TRUE(ReadFile(VectorDir() + "/inputs/" + r.name + ".bin", input));
        ASSERT_TRUE(ReadFile(VectorDir() + "/m" + std::to_string(r.method) + "/" + r.name + ".ppmd", expected));
        ASSERT_EQ(input.size(), r.inputSize);
        // The capacity the block layer grants: InSize + InSize div 20 + 50.
        std::vector<std::uint8_t> out(input.size() + input.size() / 20 + 50);
        const std::size_t n = PpmdCompress(input.data(), input.size(), out.data(), out.size(), r.order, r.memoryMB);
        ASSERT_EQ(n, expected.size());
        out.resize(n);
        EXPECT_TRUE(out == expected);
    }
}

TEST_F(PpmdGoldenVectors, DecoderRestoresEveryInput) {
    for (const auto& r : rows_) {
        SCOPED_TRACE(r.name + " m" + std::to_string(r.method));
        std::vector<std::uint8_t> input, stream;
        ASSERT_TRUE(ReadFile(VectorDir() + "/inputs/" + r.name + ".bin", input));
        ASSERT_TRUE(ReadFile(VectorDir() + "/m" + std::to_string(r.method) + "/" + r.name + ".ppmd", stream));
        // An exactly sized copy, so that ASan sees any read past the end of the stream.
        std::vector<std::uint8_t> out(input.size());
        std::size_t outSize = 12345;
        ASSERT_TRUE(PpmdDecompress(stream.data(), stream.size(), out.data(), out.size(), outSize));
        ASSERT_EQ(outSize, input.size());
        EXPECT_TRUE(out == input);
    }
}

}  // namespace
