// The packing run on a large generated game, on the in-memory window backend, against copying
// the same files with plain file copies in the same run; and the read-back of the finished
// container against the run that made it.
//   app_bench [seed]
// Prints seconds and ratios.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/Cp936Text.h"
#include "app/ReadBack.h"
#include "platform/FileSystem.h"
#include "tests/app/PackageCheck.h"
#include "tests/app/TestTree.h"
#include "tests/app/ToolHarness.h"
#include "tests/fixtures/FakeGame.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Copies every file below `from` to `to` (both ending in "\"); the bytes copied.
std::int64_t CopyTree(const std::string& from, const std::string& to) {
  std::vector<platform::DirEntry> entries;
  std::int64_t bytes = 0;
  platform::ForceDirectories(to);
  if (!platform::ListDirectory(from + "*.*", platform::kAttrAnyFile, entries)) return 0;
  for (const platform::DirEntry& e : entries) {
    if (e.name == "." || e.name == "..") continue;
    if (e.attributes & platform::kAttrDirectory) {
      bytes += CopyTree(from + e.name + "\\", to + e.name + "\\");
    } else if (platform::CopyFile(from + e.name, to + e.name, false)) {
      bytes += e.size;
    }
  }
  return bytes;
}

// One packing run of the game at `game`; false when it did not finish.
bool PackOnce(const fixtures::FakeGame& game, bool withStub, const std::string& password) {
  ToolHarness tool;
  tool.Install(game.gamePath + Cp936("Zelk配置备份工具.exe"));
  tool.main.ShowForm();
  if (!withStub) platform::DeleteFile(game.gamePath + "loader.bin");
  tool.backend->RunFor(500);
  ui::headless::Type(tool.main.edt1, password);
  ui::headless::Click(tool.main.btn2);
  return tool.app.Terminated() && tool.backend->Messages().empty();
}

}  // namespace

int main(int argc, char** argv) {
  fixtures::FakeGameOptions options;
  options.seed = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1;
  options.large = true;
  TestTree tree;
  const fixtures::FakeGame game = fixtures::MakeFakeGame(tree.Dir("game"), options);

  auto start = std::chrono::steady_clock::now();
  std::int64_t bytes = CopyTree(game.gamePath + "userdata\\", tree.Dir("copy/userdata")) +
                       CopyTree(game.gamePath + "Interface\\", tree.Dir("copy/interface"));
  const double copy = Seconds(start);

  start = std::chrono::steady_clock::now();
  if (!PackOnce(game, true, "bench")) {
    std::fprintf(stderr, "the packing run did not finish\n");
    return 1;
  }
  const double run = Seconds(start);

  // Without the restore program the container stays behind: read it back as the run does.
  if (!PackOnce(game, false, "bench")) {
    std::fprintf(stderr, "the second packing run did not finish\n");
    return 1;
  }
  start = std::chrono::steady_clock::now();
  const std::string problem = ReadBackContainer(game.gamePath + "zelkbak.Config", "bench");
  const double readBack = Seconds(start);
  if (!problem.empty()) {
    std::fprintf(stderr, "read-back failed: %s\n", problem.c_str());
    return 1;
  }

  std::printf("files %lld, bytes %lld\n", static_cast<long long>(game.fileCount), static_cast<long long>(bytes));
  std::printf("plain copy            %.3f s\n", copy);
  std::printf("packing run (bzip2 9, encrypted, zip)  %.3f s  = %.1f x plain copy\n", run, run / copy);
  std::printf("read-back of the container            %.3f s  = %.2f of the packing run\n", readBack,
              readBack / run);
  return 0;
}
