// cfstool pack and restore on generated game folders: the whole round trip with the stub taken
// from the backup tool, --skip and a password; the user's stub left alone; the overwrite modes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "tests/app/PackageCheck.h"
#include "tests/app/TestTree.h"
#include "tests/app/TreeCheck.h"
#include "tests/fixtures/FakeGame.h"
#include "tests/support/Files.h"
#include "tools/CfsTool.h"

namespace {

struct Result {
  int code;
  std::string out, err;
};

Result RunTool(const std::vector<std::string>& args, const std::string& answers = {}, bool terminal = false) {
  std::ostringstream out, err;
  std::istringstream in(answers);
  const CfsToolIO io{out, err, [](std::string_view s) { return std::string(s); }, &in, terminal, false};
  const int code = RunCfsTool(args, io);
  return {code, out.str(), err.str()};
}

std::vector<std::string> Names(const std::filesystem::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().filename().string());
  return out;
}

std::size_t FilesBelow(const std::filesystem::path& dir) {
  std::size_t n = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) n += e.is_regular_file();
  return n;
}

// Writes `content` over the game-relative `path` below the tree's folder `top`.
std::filesystem::path Plant(const TestTree& tree, const std::string& top, const std::string& path,
                            const std::string& content) {
  const std::filesystem::path native =
      tree.Native(top + "/" + platform::Cp936ToUtf8(platform::ReplaceSeparators(path, '\\', '/')));
  std::filesystem::create_directories(native.parent_path());
  std::ofstream(native, std::ios::binary) << content;
  return native;
}

const std::string kStub = "MZ restore program " + std::string(5000, 'r');

struct Packed {
  TestTree tree;
  fixtures::FakeGame game;
  std::string stubArg;  // what --stub was given
  std::string package;  // the package taken out of the zip
  Result pack;

  // `toolForm`: --stub is the backup tool (an image with loader.bin in a container behind it).
  Packed(bool toolForm, const std::vector<std::string>& extra) {
    fixtures::FakeGameOptions options;
    options.seed = 21;
    game = fixtures::MakeFakeGame(tree.Dir("home"), options);
    tree.MakeFile("stub/loader.bin", kStub);
    stubArg = tree.Dir("stub") + "loader.bin";
    if (toolForm) {
      tree.MakeFile("stub/image.exe", "MZ the backup tool's image");
      const Result made = RunTool({"create", tree.Dir("stub") + "tool.exe", stubArg, "--stub",
                                   tree.Dir("stub") + "image.exe", "--method", "7"});
      EXPECT_EQ(made.code, 0) << made.err;
      stubArg = tree.Dir("stub") + "tool.exe";
    }
    std::vector<std::string> args{"pack", game.gamePath, "--stub", stubArg, "--out", tree.Dir("out")};
    args.insert(args.end(), extra.begin(), extra.end());
    pack = RunTool(args);
    const std::vector<std::string> out = Names(tree.Native("out"));
    if (out.size() != 1) return;
    std::string entry, data, why;
    EXPECT_TRUE(ReadOnlyZipEntry(tree.Dir("out") + platform::Utf8ToCp936(out[0]), entry, data, why)) << why;
    EXPECT_EQ(data.compare(0, kStub.size(), kStub), 0) << "the restore program comes first";
    std::ofstream(tree.Native("package.exe"), std::ios::binary) << data;
    package = tree.Dir("") + "package.exe";
  }
};

TEST(CfsToolPack, StubFromTheToolSkipAndPasswordRoundTrip) {
  const std::string skippedAccount = "ZelkPlayer01";
  Packed p(true, {"--password", "pw 1", "--skip", skippedAccount + ",NoSuchAddon", "--threads", "2"});
  ASSERT_EQ(p.pack.code, 0) << p.pack.err;
  EXPECT_NE(p.pack.err.find("NoSuchAddon"), std::string::npos) << p.pack.err;
  EXPECT_EQ(p.pack.err.find(skippedAccount), std::string::npos) << p.pack.err;
  // Only the zip is left in the output folder; the tool given as --stub is untouched.
  const std::vector<std::string> out = Names(p.tree.Native("out"));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(platform::Utf8ToCp936(out[0]).rfind(platform::Utf8ToCp936("Zelk配置文件恢复包"), 0), 0u) << out[0];
  ASSERT_FALSE(p.package.empty());

  p.tree.MakeGameDir("cafe");
  const std::string cafe = p.tree.Dir("cafe");
  std::vector<fixtures::ManifestEntry> expected;
  const fixtures::ManifestEntry* planted = nullptr;
  for (const fixtures::ManifestEntry& e : PackedEntries(p.game)) {
    if (platform::UpperCaseAscii(e.path).rfind(platform::UpperCaseAscii("userdata\\" + skippedAccount), 0) == 0)
      continue;
    expected.push_back(e);
  }
  ASSERT_LT(expected.size(), PackedEntries(p.game).size());
  for (const fixtures::ManifestEntry& e : expected)
    if (!e.directory && !(e.attributes & platform::kAttrReadOnly) && !planted) planted = &e;
  ASSERT_NE(planted, nullptr);
  const std::filesystem::path plantedPath = Plant(p.tree, "cafe", planted->path, "old");
  const std::size_t before = FilesBelow(p.tree.Native("cafe"));

  // Asking needs a terminal; a wrong password is refused; neither writes anything.
  EXPECT_EQ(RunTool({"restore", p.package, cafe, "--password", "pw 1"}).code, 2);
  const Result wrong = RunTool({"restore", p.package, cafe, "--password", "pw", "--overwrite", "all"});
  EXPECT_EQ(wrong.code, 1);
  EXPECT_NE(wrong.err.find("wrong password"), std::string::npos) << wrong.err;
  EXPECT_EQ(FilesBelow(p.tree.Native("cafe")), before);

  const Result restored = RunTool({"restore", p.package, cafe, "--password", "pw 1", "--overwrite", "none"});
  ASSERT_EQ(restored.code, 0) << restored.err;
  EXPECT_EQ(testsupport::ReadNativeFile(plantedPath), "old");
  EXPECT_EQ(CompareWithManifest(cafe, expected, {planted->path}), "");
  EXPECT_FALSE(platform::DirectoryExists(cafe + "userdata\\" + skippedAccount));
}

TEST(CfsToolPack, ALoaderGivenAsStubIsOnlyReadAndAskTakesTerminalAnswers) {
  Packed p(false, {});
  ASSERT_EQ(p.pack.code, 0) << p.pack.err;
  EXPECT_EQ(testsupport::ReadNativeFile(p.tree.Native("stub/loader.bin")), kStub);
  ASSERT_FALSE(p.package.empty());

  // Three packed files already in the target: "x" is asked again, "n" keeps the first file
  // asked about, "a" replaces the second and the third without a question.
  p.tree.MakeGameDir("cafe");
  std::vector<const fixtures::ManifestEntry*> planted;
  const std::vector<fixtures::ManifestEntry> packed = PackedEntries(p.game);
  for (const fixtures::ManifestEntry& e : packed)
    if (!e.directory && !(e.attributes & platform::kAttrReadOnly) && planted.size() < 3) planted.push_back(&e);
  ASSERT_EQ(planted.size(), 3u);
  for (const fixtures::ManifestEntry* e : planted) Plant(p.tree, "cafe", e->path, "old");

  const Result r = RunTool({"restore", p.package, p.tree.Dir("cafe")}, "x\nn\na\n", true);
  ASSERT_EQ(r.code, 0) << r.err;
  std::size_t questions = 0;
  for (std::size_t at = 0; (at = r.out.find("Replace it?", at)) != std::string::npos; ++at) ++questions;
  EXPECT_EQ(questions, 3u) << r.out;
  const std::string firstAsked = r.out.substr(0, r.out.find(" exists."));
  const fixtures::ManifestEntry* kept = nullptr;
  for (const fixtures::ManifestEntry* e : planted) {
    const std::string native = platform::Cp936ToUtf8(platform::ReplaceSeparators(e->path, '\\', '/'));
    if (testsupport::ReadNativeFile(p.tree.Native("cafe/" + native)) != "old") continue;
    EXPECT_EQ(kept, nullptr) << "a second file kept: " << native;
    kept = e;
  }
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(platform::UpperCaseAscii(kept->path), platform::UpperCaseAscii(firstAsked));
  EXPECT_EQ(CompareWithManifest(p.tree.Dir("cafe"), packed, {kept->path}), "");
}

}  // namespace
