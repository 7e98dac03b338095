// cfstool's commands run in-process on fixture trees: create, list, extract, check, info, and
// restore packages behind arbitrary stubs.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cfs/file/CFSLittleEndian.h"
#include "cfs/fs/ContainerFS.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "tests/app/TestTree.h"
#include "tests/cfs/file/StorageTestUtil.h"
#include "tools/CfsTool.h"
#include "tools/CfsToolArgs.h"

namespace {

using storagetest::Bytes;
using storagetest::ReadAll;
using storagetest::WriteAll;

struct Result {
  int code;
  std::string out;
  std::string err;
};

Result RunTool(std::vector<std::string> args) {
  std::ostringstream out, err;
  const CfsToolIO io{out, err, [](std::string_view s) { return std::string(s); }};
  const int code = RunCfsTool(args, io);
  return {code, out.str(), err.str()};
}

const std::string kAddon = platform::Utf8ToCp936("插件甲");
const std::string kBigName = platform::Utf8ToCp936("界面设置.bin");

class CfsToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    src_ = dir_ / "src\\";
    // interface\<addon>\..., userdata\acc\..., an empty file and an empty folder.
    ASSERT_TRUE(platform::ForceDirectories(src_ + "interface\\" + kAddon + "\\sub"));
    ASSERT_TRUE(platform::ForceDirectories(src_ + "userdata\\acc\\empty"));
    Put("interface\\" + kAddon + "\\" + kBigName, storagetest::Pattern(150000, 1));
    Put("interface\\" + kAddon + "\\sub\\info.ini", storagetest::Text("[x]\r\nname=y\r\n"));
    Bytes text;
    for (int i = 0; i < 20000; ++i) text.push_back(static_cast<std::uint8_t>('a' + i % 7));
    Put("userdata\\acc\\config.wtf", text);
    Put("userdata\\acc\\zero.txt", {});
  }

  void Put(const std::string& rel, const Bytes& data) { ASSERT_TRUE(WriteAll(src_ + rel, data)) << rel; }

  // Every file and folder below a is below b with the same bytes.
  void ExpectSameTree(const std::string& a, const std::string& b) {
    std::vector<platform::DirEntry> entries;
    ASSERT_TRUE(platform::ListDirectory(a + "*.*", platform::kAttrAnyFile, entries));
    for (const auto& e : entries) {
      if (e.name == "." || e.name == "..") continue;
      ++compared_;
      if (e.attributes & platform::kAttrDirectory) {
        ASSERT_TRUE(platform::DirectoryExists(b + e.name)) << b + e.name;
        ExpectSameTree(a + e.name + "\\", b + e.name + "\\");
      } else {
        ASSERT_TRUE(platform::FileExists(b + e.name)) << b + e.name;
        EXPECT_EQ(ReadAll(a + e.name), ReadAll(b + e.name)) << e.name;
      }
    }
  }

  storagetest::ScratchDir dir_;
  std::string src_;
  int compared_ = 0;  // entries ExpectSameTree looked at
};

TEST_F(CfsToolTest, CreateListExtractInfoRoundTrip) {
  const std::string c = dir_ / "c.cfs";
  Result r = RunTool({"create", c, src_ + "interface", src_ + "userdata\\", "--method", "7"});
  ASSERT_EQ(r.code, 0) << r.err;

  r = RunTool({"list", c});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("interface\\" + kAddon + "\\" + kBigName), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("150000"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("userdata\\acc\\empty\\"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("7 bzip2/200k"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("4 files, 6 folders"), std::string::npos) << r.out;

  r = RunTool({"info", c});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Base offset:         0\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Encryption:          none"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Files:               4 "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Folders:             6"), std::string::npos) << r.out;

  const std::string out = dir_ / "out\\";
  r = RunTool({"extract", c, out});
  ASSERT_EQ(r.code, 0) << r.err;
  ExpectSameTree(src_, out);
  EXPECT_EQ(compared_, 10);
  EXPECT_TRUE(platform::DirectoryExists(out + "userdata\\acc\\empty"));

  r = RunTool({"check", c});
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("4 files checked, 0 damaged, 0 locked, 0 bad pages"), std::string::npos) << r.out;
}

TEST_F(CfsToolTest, CheckNamesTheFileWithAFlippedByte) {
  // One large incompressible file fills most of the container, so its middle is file data.
  const std::string c = dir_ / "c.cfs";
  ASSERT_EQ(RunTool({"create", c, src_ + "interface\\" + kAddon + "\\" + kBigName, src_ + "userdata\\acc\\config.wtf",
                     "--method", "0"}).code,
            0);
  Bytes data = ReadAll(c);
  ASSERT_GT(data.size(), 150000u);
  data[data.size() / 2] ^= 0x40;
  ASSERT_TRUE(WriteAll(c, data));
  const Result r = RunTool({"check", c});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("DAMAGED " + kBigName + ":"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("1 damaged"), std::string::npos) << r.out;
  // Extracting names it instead of writing wrong bytes silently, keeps the old file of that
  // name, still writes the other file and leaves nothing else behind.
  ASSERT_TRUE(platform::ForceDirectories(dir_ / "x"));
  ASSERT_TRUE(WriteAll(dir_ / ("x\\" + kBigName), storagetest::Text("old")));
  const Result x = RunTool({"extract", c, dir_ / "x"});
  EXPECT_EQ(x.code, 1) << x.out;
  EXPECT_NE(x.err.find("these files could not be extracted (1):\n  " + kBigName + ": "), std::string::npos) << x.err;
  EXPECT_EQ(ReadAll(dir_ / ("x\\" + kBigName)), storagetest::Text("old"));
  EXPECT_EQ(ReadAll(dir_ / "x\\config.wtf"), ReadAll(src_ + "userdata\\acc\\config.wtf"));
  std::vector<platform::DirEntry> left;
  ASSERT_TRUE(platform::ListDirectory(dir_ / "x\\*.*", platform::kAttrAnyFile, left));
  EXPECT_EQ(left.size(), 4u);  // ".", "..", the two files
}

TEST_F(CfsToolTest, PackageBehindAnArbitraryStub) {
  Bytes stub = storagetest::Pattern(70000, 9);
  std::memcpy(stub.data() + 1000, "AAMVHFSS", 8);  // a stray signature in the stub's code
  ASSERT_TRUE(WriteAll(dir_ / "loader.bin", stub));
  const std::string pkg = dir_ / platform::Utf8ToCp936("Zelk配置文件恢复包.exe");
  Result r = RunTool({"create", pkg, src_ + "userdata", "--stub", dir_ / "loader.bin", "--password", "q7m", "--dest",
                  "backup/old", "--part-size", "0x7FFFFFFFFFFFFFFE"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_FALSE(platform::FileExists(pkg + ".cfs-tmp"));
  const Bytes data = ReadAll(pkg);
  ASSERT_GT(data.size(), stub.size() + 280);
  EXPECT_TRUE(std::equal(stub.begin(), stub.end(), data.begin()));
  EXPECT_EQ(GetLE64s(data.data() + stub.size() + 8), 0x7FFFFFFFFFFFFFFE);

  r = RunTool({"info", pkg});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Base offset:         70000"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Encryption:          AES"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("give the container password"), std::string::npos) << r.out;

  r = RunTool({"list", pkg});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("invalid password"), std::string::npos) << r.err;

  r = RunTool({"list", pkg, "--password", "q7m"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("backup\\old\\userdata\\acc\\config.wtf"), std::string::npos) << r.out;

  EXPECT_EQ(RunTool({"check", pkg, "--password", "q7m"}).code, 0);
  const std::string out = dir_ / "out\\";
  ASSERT_EQ(RunTool({"extract", pkg, out, "--password", "q7m"}).code, 0);
  ExpectSameTree(src_ + "userdata\\", out + "backup\\old\\userdata\\");
}

TEST_F(CfsToolTest, FilesWithTheirOwnPasswordAreCheckedWithIt) {
  const std::string c = dir_ / "c.cfs";
  ASSERT_EQ(RunTool({"create", c, src_ + "userdata"}).code, 0);
  {
    TContainerFS fs(c, 2, "", "", "", 0);
    const std::int32_t h = fs.FileOpen("\\locked.txt", kModeCreate, "own", "", "");
    ASSERT_GE(h, 0);
    ASSERT_EQ(fs.FileWrite(h, "secret", 6), 6);
    fs.FileClose(h);
  }
  Result r = RunTool({"check", c});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("LOCKED locked.txt:"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("0 damaged, 1 locked"), std::string::npos) << r.out;
  r = RunTool({"check", c, "--password", "own"});
  EXPECT_EQ(r.code, 0) << r.out;
  r = RunTool({"list", c});
  EXPECT_NE(r.out.find("? unreadable  locked.txt"), std::string::npos) << r.out;
}

// --part-size splits a container into parts as a volume with that file size limit would. The
// set lists, checks, extracts and restores like one file; a part that is missing or cut short
// is a clear error. A package (--stub) stays one file and must fit.
TEST_F(CfsToolTest, PartSizeSplitsTheContainerIntoParts) {
  Put("interface\\" + kAddon + "\\big.bin", storagetest::Pattern(2500000, 9));
  const std::string c = dir_ / "c.cfs";
  Result r = RunTool({"create", c, src_ + "interface", src_ + "userdata", "--method", "1", "--part-size", "300000"});
  ASSERT_EQ(r.code, 0) << r.err;
  std::vector<std::string> parts{c};
  while (platform::FileExists(c + std::to_string(parts.size()))) parts.push_back(c + std::to_string(parts.size()));
  ASSERT_GE(parts.size(), 9u);
  for (std::size_t k = 0; k < parts.size(); ++k) {
    const Bytes part = ReadAll(parts[k]);
    ASSERT_GE(part.size(), 280u);
    EXPECT_EQ(GetLE64s(part.data() + 8), 300000) << k;
    const std::string next(reinterpret_cast<const char*>(part.data()) + 16);
    if (k + 1 < parts.size()) {
      EXPECT_EQ(part.size(), 300000u) << k;
      EXPECT_EQ(next, platform::ExtractFileName(parts[k + 1]));
    } else {
      EXPECT_LE(part.size(), 300000u);
      EXPECT_EQ(next, "");
    }
  }

  r = RunTool({"check", c});
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("5 files checked, 0 damaged"), std::string::npos) << r.out;
  r = RunTool({"extract", c, dir_ / "out\\"});
  ASSERT_EQ(r.code, 0) << r.err;
  ExpectSameTree(src_, dir_ / "out\\");
  EXPECT_EQ(compared_, 11);
  TestTree tree;
  tree.MakeGameDir("game");
  r = RunTool({"restore", c, tree.Dir("game"), "--overwrite", "all"});
  ASSERT_EQ(r.code, 0) << r.err;
  ExpectSameTree(src_, tree.Dir("game"));

  // A part cut short, then a part missing: the set is refused with the part named, and nothing
  // is extracted.
  const Bytes third = ReadAll(parts[3]);
  ASSERT_TRUE(WriteAll(parts[3], Bytes(third.begin(), third.begin() + 150000)));
  const std::string cut = "part file c.cfs3 is shorter than the part size";
  const std::string missing = "part file c.cfs5 is missing";
  for (const std::string& why : {cut, missing}) {
    r = RunTool({"check", c});
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find("c.cfs is incomplete: " + why), std::string::npos) << r.out << r.err;
    r = RunTool({"extract", c, dir_ / "damaged\\"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
    EXPECT_FALSE(platform::FileExists(dir_ / "damaged\\userdata\\acc\\config.wtf"));
    ASSERT_TRUE(WriteAll(parts[3], third));
    if (why == cut) {
      ASSERT_TRUE(platform::DeleteFile(parts[5]));
    }
  }

  // Creating over the set replaces every part of it.
  ASSERT_EQ(RunTool({"create", c, src_ + "userdata", "--part-size", "300000"}).code, 0);
  EXPECT_FALSE(platform::FileExists(parts[1]));
  EXPECT_EQ(RunTool({"check", c}).code, 0);
  // A package is one file: a part size it does not fit is refused and nothing is left behind.
  const std::string stub = dir_ / "stub.exe";
  ASSERT_TRUE(WriteAll(stub, storagetest::Text("MZ stub")));
  const std::string pkg = dir_ / "p.exe";
  r = RunTool({"create", pkg, src_ + "interface", "--stub", stub, "--method", "0", "--part-size", "300000"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("--part-size"), std::string::npos) << r.err;
  EXPECT_FALSE(platform::FileExists(pkg));
  EXPECT_FALSE(platform::FileExists(pkg + ".cfs-tmp"));
  EXPECT_FALSE(platform::FileExists(pkg + ".cfs-tmp1"));
}

TEST_F(CfsToolTest, BadCommandLinesAndBadFiles) {
  EXPECT_EQ(RunTool({}).code, 2);
  EXPECT_EQ(RunTool({"frobnicate"}).code, 2);
  EXPECT_EQ(RunTool({"list"}).code, 2);
  EXPECT_EQ(RunTool({"list", "a", "b"}).code, 2);
  EXPECT_EQ(RunTool({"list", "a", "--stub", "x"}).code, 2);       // option of another command
  EXPECT_EQ(RunTool({"list", "a", "--password"}).code, 2);        // option without value
  EXPECT_EQ(RunTool({"create", dir_ / "c.cfs"}).code, 2);           // nothing to put in
  EXPECT_EQ(RunTool({"create", dir_ / "c.cfs", src_, "--method", "10"}).code, 2);
  EXPECT_EQ(RunTool({"create", dir_ / "c.cfs", src_, "--part-size", "-5"}).code, 2);
  const Result usage = RunTool({"extract", "a"});
  EXPECT_NE(usage.err.find("Usage: cfstool"), std::string::npos);
  EXPECT_FALSE(platform::FileExists(dir_ / "c.cfs"));

  // Missing inputs and files that are no containers fail with a message.
  Result r = RunTool({"create", dir_ / "c.cfs", dir_ / "missing"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("missing"), std::string::npos) << r.err;
  EXPECT_FALSE(platform::FileExists(dir_ / "c.cfs"));
  r = RunTool({"create", dir_ / "p.exe", src_ + "userdata", "--stub", dir_ / "nostub.bin"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("MakeSFX - Cannot open file"), std::string::npos) << r.err;
  EXPECT_FALSE(platform::FileExists(dir_ / "p.exe"));

  ASSERT_TRUE(WriteAll(dir_ / "junk.bin", storagetest::Pattern(10000, 3)));
  for (const char* cmd : {"info", "list", "check"}) {
    r = RunTool({cmd, dir_ / "junk.bin"});
    EXPECT_EQ(r.code, 1) << cmd;
    EXPECT_FALSE(r.err.empty() && r.out.empty()) << cmd;
  }
  EXPECT_EQ(RunTool({"info", dir_ / "none.cfs"}).code, 1);
}

// Text that code page 936 cannot hold: such an argument is a bad command line (a password would
// read "????", a path would name another file), and files it cannot name are left out one by one
// and named, with no container made.
TEST_F(CfsToolTest, ArgumentsAndNamesOutsideCp936) {
  auto run = [](std::vector<platform::CommandLineArgument> args, bool currentDirExact = true) {
    std::ostringstream out, err;
    const CfsToolIO io{out, err, [](std::string_view s) { return std::string(s); }};
    const int code = RunCfsTool(args, currentDirExact, io);
    return Result{code, out.str(), err.str()};
  };
  const std::string output = dir_ / "c.cfs";
  Result r = run({{"create"}, {output}, {src_}, {"--password"}, {"????", false}});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("the password holds characters that code page 936 cannot hold"), std::string::npos) << r.err;
  r = run({{"list"}, {dir_ / "?t.cfs", false}});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("\"" + (dir_ / "?t.cfs") + "\" holds characters"), std::string::npos) << r.err;
  // Relative paths need the current folder; full ones do not.
  r = run({{"create"}, {"c.cfs"}, {src_}}, false);
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("current folder"), std::string::npos) << r.err;
  EXPECT_FALSE(platform::FileExists(output));
  EXPECT_EQ(run({{"create"}, {output}, {src_ + "userdata"}}, false).code, 0);

  const std::filesystem::path native(platform::Cp936ToUtf16(platform::ReplaceSeparators(src_, '\\', '/')));
  std::ofstream(native / "userdata" / "acc" / std::filesystem::path(u"I\u00F1aki.txt"), std::ios::binary) << "x";
  auto holder = platform::File::Open(src_ + "userdata\\acc\\config.wtf", platform::FileAccess::ReadWrite,
                                     platform::FileShare::Exclusive, platform::FileDisposition::OpenExisting);
  ASSERT_TRUE(holder);
  r = run({{"create"}, {dir_ / "d.cfs"}, {src_ + "userdata"}});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("left out " + src_ + "userdata\\acc\\I?aki.txt: the name holds characters"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("left out " + src_ + "userdata\\acc\\config.wtf: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("2 files could not be stored"), std::string::npos) << r.err;
  EXPECT_FALSE(platform::FileExists(dir_ / "d.cfs"));
}

TEST(CfsToolArgsTest, Numbers) {
  std::int64_t v = 0;
  EXPECT_TRUE(ParseInt64("0x7FFFFFFFFFFFFFFE", v));
  EXPECT_EQ(v, 0x7FFFFFFFFFFFFFFE);
  EXPECT_TRUE(ParseInt64("9223372036854775807", v));
  EXPECT_EQ(v, INT64_MAX);
  EXPECT_FALSE(ParseInt64("9223372036854775808", v));
  EXPECT_FALSE(ParseInt64("0x8000000000000000", v));
  EXPECT_FALSE(ParseInt64("0x", v));
  EXPECT_FALSE(ParseInt64("", v));
  EXPECT_FALSE(ParseInt64("12a", v));
}

}  // namespace
