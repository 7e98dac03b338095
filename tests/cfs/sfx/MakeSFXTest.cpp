// The self-extracting executable: stub bytes, wrapper header, container, and the container found
// again behind the stub.
#include <gtest/gtest.h>

#include <cstring>

#include "cfs/file/CFSLittleEndian.h"
#include "cfs/fs/ContainerFS.h"
#include "cfs/sfx/MakeSFX.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "tests/cfs/fs/FSTestUtil.h"

namespace {

using storagetest::Bytes;
using storagetest::ErrorOf;
using storagetest::ReadAll;
using storagetest::ScratchDir;
using storagetest::WriteAll;

const Bytes kSmall = storagetest::Text("settings of one account\r\n");

class MakeSFXTest : public ::testing::Test {
 protected:
  void SetUp() override {
    container_ = dir_ / "zelkbak.Config";
    TContainerFS fs(container_, kModeCreate, "", "", "", 0);
    fstest::WriteWhole(fs, "small.txt", kSmall);
    ASSERT_TRUE(fs.Directory().ForceDirectories("userdata\\acc1"));
    fstest::WriteWhole(fs, "userdata\\acc1\\big.bin", storagetest::Pattern(20000, 7));
  }

  // Reopens a file as a container and checks it holds what SetUp stored.
  void ExpectSameFiles(const std::string& path) {
    TContainerFS fs(path, 0, "", "", "", 0);
    EXPECT_EQ(fstest::ReadWhole(fs, "small.txt"), kSmall);
    EXPECT_EQ(fstest::ReadWhole(fs, "userdata\\acc1\\big.bin"), storagetest::Pattern(20000, 7));
    EXPECT_FALSE(fs.FileExists("other.txt"));
  }

  std::int64_t BaseOffsetOf(const std::string& path) {
    TContainerFS fs(path, 0, "", "", "", 0);
    return fs.PageFile().File().GetBaseOffset();
  }

  ScratchDir dir_;
  std::string container_;
};

TEST_F(MakeSFXTest, OutputIsStubHeaderAndContainer) {
  const Bytes stub = storagetest::Pattern(70001, 3);
  ASSERT_TRUE(WriteAll(dir_ / "loader.bin", stub));
  const std::string out = dir_ / "out.exe";
  MakeSFX(container_, dir_ / "loader.bin", out);

  const Bytes data = ReadAll(out);
  const Bytes cont = ReadAll(container_);
  ASSERT_EQ(data.size(), stub.size() + 280 + (cont.size() - 280));
  EXPECT_TRUE(std::equal(stub.begin(), stub.end(), data.begin()));
  EXPECT_EQ(std::memcmp(data.data() + stub.size(), "AAMVHFSS", 8), 0);
  // The container's own part size, no next part.
  EXPECT_EQ(GetLE64s(data.data() + stub.size() + 8), GetLE64s(cont.data() + 8));
  EXPECT_EQ(data[stub.size() + 16], 0);
  EXPECT_TRUE(std::equal(cont.begin() + 280, cont.end(), data.begin() + stub.size() + 280));
  // The inputs are left alone.
  EXPECT_EQ(ReadAll(dir_ / "loader.bin"), stub);

  EXPECT_EQ(BaseOffsetOf(out), std::int64_t(stub.size()));
  ExpectSameFiles(out);
}

TEST_F(MakeSFXTest, EmptyStubPutsTheHeaderAtTheStart) {
  ASSERT_TRUE(WriteAll(dir_ / "empty.bin", {}));
  const std::string out = dir_ / "out.exe";
  MakeSFX(container_, dir_ / "empty.bin", out);
  EXPECT_EQ(ReadAll(out), ReadAll(container_));
  EXPECT_EQ(BaseOffsetOf(out), 0);
  ExpectSameFiles(out);
}

TEST_F(MakeSFXTest, StubWithStraySignaturesAndChineseOutputName) {
  // A stub carrying the wrapper signature in its code (not followed by a container) and
  // ending just across the header search's read chunk.
  Bytes stub = storagetest::Pattern(65533, 11);
  std::memcpy(stub.data() + 100, "AAMVHFSS", 8);
  std::memcpy(stub.data() + 65530 - 8, "AAMVHFSS", 8);
  ASSERT_TRUE(WriteAll(dir_ / "stub.exe", stub));
  const std::string out = dir_ / platform::Utf8ToCp936("Zelk配置文件恢复包.exe");
  MakeSFX(container_, dir_ / "stub.exe", out);
  EXPECT_TRUE(platform::FileExists(out));
  EXPECT_EQ(BaseOffsetOf(out), 65533);
  ExpectSameFiles(out);
}

TEST_F(MakeSFXTest, AContainerOutputCanBeWrappedAgainAndReplacesAnOldOutput) {
  const std::string out = dir_ / "out.exe";
  ASSERT_TRUE(WriteAll(out, storagetest::Pattern(300000, 5)));  // longer than the new output
  ASSERT_TRUE(WriteAll(dir_ / "stub.bin", storagetest::Text("MZ stub")));
  MakeSFX(container_, dir_ / "stub.bin", out);
  EXPECT_EQ(ReadAll(out).size(), 7 + ReadAll(container_).size());
  // The output is itself a container file behind a stub: wrapping it again keeps the container.
  const std::string again = dir_ / "again.exe";
  MakeSFX(out, dir_ / "stub.bin", again);
  EXPECT_EQ(BaseOffsetOf(again), 7);
  ExpectSameFiles(again);
}

TEST_F(MakeSFXTest, PartSizeGrowsWhenTheStubPushesTheContainerPastIt) {
  // A container made with a small part size still fits one part by itself...
  const std::string small = dir_ / "small.cfs";
  {
    TPageFileManager pf(small, kModeCreate, "", "", "", TCFSStorageFactory::Disk(), 4096, 8, 4096 * 40);
  }
  const Bytes cont = ReadAll(small);
  ASSERT_LT(std::int64_t(cont.size()), 4096 * 40);
  // ...but not behind a stub of 40 pages.
  ASSERT_TRUE(WriteAll(dir_ / "stub.bin", storagetest::Pattern(4096 * 40, 2)));
  const std::string out = dir_ / "out.exe";
  MakeSFX(small, dir_ / "stub.bin", out);
  const Bytes data = ReadAll(out);
  ASSERT_EQ(data.size(), 4096 * 40 + cont.size());
  EXPECT_EQ(GetLE64s(data.data() + 4096 * 40 + 8), std::int64_t(data.size()));
  TPageFileManager reopened(out, 0, "", "", "", TCFSStorageFactory::Disk(), 4096, 8, -1);
  EXPECT_EQ(reopened.File().GetSize(), std::int64_t(cont.size()) - 280);
  EXPECT_EQ(reopened.File().PartCount(), 1u);
}

TEST_F(MakeSFXTest, FailuresNameTheFile) {
  ASSERT_TRUE(WriteAll(dir_ / "stub.bin", storagetest::Text("MZ")));
  const std::string out = dir_ / "out.exe";
  EXPECT_EQ(ErrorOf([&] { MakeSFX(container_, "", out); }), "MakeSFX - SFXStub file name is blank");
  EXPECT_EQ(ErrorOf([&] { MakeSFX(container_, dir_ / "none.bin", out); }),
            "MakeSFX - Cannot open file " + (dir_ / "none.bin"));
  EXPECT_EQ(ErrorOf([&] { MakeSFX(dir_ / "none.cfs", dir_ / "stub.bin", out); }),
            "MakeSFX - Cannot open file " + (dir_ / "none.cfs"));
  // Not a container: no wrapper header, or one without a container behind it.
  Bytes fake = storagetest::Pattern(1000, 4);
  std::memcpy(fake.data(), "AAMVHFSS", 8);
  ASSERT_TRUE(WriteAll(dir_ / "fake.cfs", fake));
  EXPECT_EQ(ErrorOf([&] { MakeSFX(dir_ / "fake.cfs", dir_ / "stub.bin", out); }),
            "MakeSFX - Cannot open file " + (dir_ / "fake.cfs"));
  EXPECT_FALSE(platform::FileExists(out));
  // The output may not overwrite an input.
  EXPECT_NE(ErrorOf([&] { MakeSFX(container_, dir_ / "stub.bin", dir_ / "stub.bin"); }), "<no error>");
  EXPECT_EQ(ReadAll(dir_ / "stub.bin"), storagetest::Text("MZ"));
  // An output in a missing folder cannot be created.
  EXPECT_NE(ErrorOf([&] { MakeSFX(container_, dir_ / "stub.bin", dir_ / "no\\such\\out.exe"); }), "<no error>");
}

}  // namespace
