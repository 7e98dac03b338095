// The whole packing run and the whole restore on a large generated game (in-memory window
// backend), against `tar -cjf` / `tar -xjf` (bzip2, 900k blocks = -9) of the same folders in the
// same run. Every phase runs as its own process under /usr/bin/time, so each gets its own peak
// resident size; wall time is measured around the process, CPU time is user + system.
//   app_bench [seed] [repeats]              the comparison (prints seconds, ratios, peak KB)
//   app_bench --pack <gameDir> <password>   one packing run (used by the comparison)
//   app_bench --restore <package> <dir> <password>   one restore (used by the comparison)
//   app_bench --floor <gameDir> <package>   the codec work no packing run can avoid, in memory:
//       each packed file compressed on its own (method 9, as the stored-file format demands),
//       every block unpacked once (the read-back check) and the package deflated at level 6
// The restore opens the package as the restore program does and exports everything with every
// overwrite answered yes; both restores are compared with what the generator wrote.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <zlib.h>

#include "gamedir/Cp936Text.h"
#include "backup/RestorePackage.h"
#include "cfs/codecs/compress/CFSCompress.h"
#include "cfs/codecs/compress/CodecScratch.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "tests/app/PackageCheck.h"
#include "tests/app/TestTree.h"
#include "tests/app/ToolHarness.h"
#include "tests/app/TreeCheck.h"
#include "tests/fixtures/FakeGame.h"

namespace {

// One packing run of the game at `gamePath` ("\"-terminated), restore program included.
int PackPhase(const std::string& gamePath, const std::string& password) {
  ToolHarness tool;
  tool.Install(gamePath + Cp936("Zelk配置备份工具.exe"));
  tool.main.ShowForm();
  tool.backend->RunFor(500);
  ui::headless::Type(tool.main.passwordEdit, password);
  ui::headless::Click(tool.main.packButton);
  if (!tool.app.Terminated() || !tool.backend->Messages().empty()) {
    std::fprintf(stderr, "the packing run did not finish\n");
    return 1;
  }
  return 0;
}

// The restore program's work without its window, every overwrite answered yes.
int RestorePhase(const std::string& package, const std::string& targetDir, const std::string& password) {
  struct YesToAll : TBackupEvents {
    TOverwriteAnswer AskOverwrite(const std::string&) override { return TOverwriteAnswer::All; }
  } events;
  TRestoreOptions options;
  options.packagePath = package;
  options.targetDir = targetDir;
  options.password = password;
  const TRestoreResult result = RestorePackage(options, events);
  if (result.status != TRestoreStatus::Restored || result.filesFound <= 0) {
    std::fprintf(stderr, "restore failed (%d): %s\n", static_cast<int>(result.status), result.error.c_str());
    return 1;
  }
  return 0;
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string data(static_cast<std::size_t>(std::filesystem::file_size(path)), '\0');
  in.read(data.data(), static_cast<std::streamsize>(data.size()));
  data.resize(static_cast<std::size_t>(in.gcount()));
  return data;
}

// Raw deflate at level 6 into a small window that is overwritten: only the work counts.
bool DeflateAll(const std::string& data) {
  z_stream zs{};
  if (deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  std::vector<unsigned char> out(1 << 16);
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  int r = Z_OK;
  while (r == Z_OK) {
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    r = deflate(&zs, Z_FINISH);
  }
  deflateEnd(&zs);
  return r == Z_STREAM_END;
}

int FloorPhase(const std::filesystem::path& gameDir, const std::filesystem::path& package) {
  constexpr std::uint8_t kMethod = 9;
  TCodecScratch scratch;
  const std::size_t blockSize = static_cast<std::size_t>(BlockSizeForMethod(kMethod));
  std::vector<std::uint8_t> packed, unpacked;
  for (const char* top : {"userdata", "Interface"}) {
    for (const auto& e : std::filesystem::recursive_directory_iterator(gameDir / top)) {
      if (!e.is_regular_file()) continue;
      const std::string data = ReadAll(e.path());
      for (std::size_t at = 0; at < data.size(); at += blockSize) {
        const auto* block = reinterpret_cast<const std::uint8_t*>(data.data() + at);
        const auto n = static_cast<std::int32_t>(std::min(blockSize, data.size() - at));
        TCFSBlockHeader header{};
        std::int32_t size = n;
        if (!CompressBuffer(block, n, packed, kMethod, header, &scratch) ||
            !DecompressBuffer(packed.data(), header.PackedSize, unpacked, kMethod, size, &scratch) || size != n) {
          std::fprintf(stderr, "codec failure on %s\n", e.path().string().c_str());
          return 1;
        }
      }
    }
  }
  return DeflateAll(ReadAll(package)) ? 0 : 1;
}

std::string Quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

struct Measure {
  double wall = 0, cpu = 0;
  long peakKb = 0;
  bool ok = false;
};

// Runs `command` under /usr/bin/time; wall time around it, CPU time and peak RSS from time(1).
Measure Run(const std::string& command, const std::filesystem::path& scratch) {
  const std::filesystem::path report = scratch / "time.txt";
  const std::string line = "/usr/bin/time -f '%U %S %M' -o " + Quoted(report.string()) + " " + command;
  Measure m;
  const auto start = std::chrono::steady_clock::now();
  const int rc = std::system(line.c_str());
  m.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::ifstream in(report);
  double user = 0, sys = 0;
  // time(1) writes "Command exited with non-zero status N" first when the command fails.
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t lastLine = text.find_last_of('\n', text.size() >= 2 ? text.size() - 2 : 0);
  std::istringstream fields(lastLine == std::string::npos ? text : text.substr(lastLine + 1));
  m.ok = rc == 0 && static_cast<bool>(fields >> user >> sys >> m.peakKb);
  m.cpu = user + sys;
  return m;
}

// Keeps the faster of two measurements of the same phase (by wall time).
void KeepBest(Measure& best, const Measure& m, bool first) {
  if (first || m.wall < best.wall) best = m;
}

std::string FindZip(const std::filesystem::path& dir) {
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().extension() == ".zip") return e.path().string();
  return {};
}

void Print(const char* what, const Measure& m) {
  std::printf("  %-36s wall %7.3f s  cpu %7.3f s  peak %7ld KB\n", what, m.wall, m.cpu, m.peakKb);
}

int Compare(const std::string& self, std::uint64_t seed, int repeats) {
  fixtures::FakeGameOptions options;
  options.seed = seed;
  options.large = true;
  TestTree tree;
  const fixtures::FakeGame game = fixtures::MakeFakeGame(tree.Dir("game"), options);
  const std::filesystem::path gameDir = tree.Native("game"), scratch = tree.Native("");
  const std::vector<fixtures::ManifestEntry> packed = PackedEntries(game);
  std::int64_t files = 0, bytes = 0;
  for (const auto& e : packed)
    if (!e.directory) ++files, bytes += e.size;

  const std::string password = "bench";
  const std::string tarFile = (scratch / "ref.tar.bz2").string();
  Measure tarPack, tarRestore, pack, restore, floor;
  for (int i = 0; i < repeats; ++i) {
    std::filesystem::remove(tarFile);
    KeepBest(tarPack,
             Run("tar -C " + Quoted(gameDir.string()) + " -cjf " + Quoted(tarFile) + " userdata Interface", scratch),
             i == 0);
    const std::string tarOut = "tarout" + std::to_string(i);
    tree.MakeDir(tarOut);
    KeepBest(tarRestore, Run("tar -C " + Quoted(tree.Native(tarOut).string()) + " -xjf " + Quoted(tarFile), scratch),
             i == 0);

    // Each run leaves a dated zip with the package inside; take it out for the restore.
    for (const auto& e : std::filesystem::directory_iterator(gameDir))
      if (e.path().extension() == ".zip") std::filesystem::remove(e.path());
    KeepBest(pack, Run(Quoted(self) + " --pack " + Quoted(game.gamePath) + " " + password, scratch), i == 0);
    const std::string zip = FindZip(gameDir);
    std::string entry, data, why;
    if (zip.empty() || !ReadOnlyZipEntry(platform::ReplaceSeparators(platform::Utf8ToCp936(zip), '/', '\\'), entry,
                                         data, why)) {
      std::fprintf(stderr, "no package from the packing run %s\n", why.c_str());
      return 1;
    }
    std::ofstream(tree.Native("pkg.exe"), std::ios::binary) << data;
    KeepBest(floor, Run(Quoted(self) + " --floor " + Quoted(gameDir.string()) + " " + Quoted(tree.Native("pkg.exe").string()), scratch),
             i == 0);
    const std::string out = "out" + std::to_string(i);
    KeepBest(restore,
             Run(Quoted(self) + " --restore " + Quoted(tree.Dir("") + "pkg.exe") + " " + Quoted(tree.Dir(out)) + " " +
                     password,
                 scratch),
             i == 0);

    // Both restores must give back what was generated, or the timings mean nothing.
    for (const std::string& dir : {out, tarOut}) {
      const std::string diff = CompareWithManifest(tree.Dir(dir), packed);
      if (!diff.empty()) {
        std::fprintf(stderr, "%s differs from the game:\n%.2000s\n", dir.c_str(), diff.c_str());
        return 1;
      }
    }
  }
  if (!tarPack.ok || !tarRestore.ok || !pack.ok || !restore.ok || !floor.ok) {
    std::fprintf(stderr, "a phase failed (tar pack %d, tar restore %d, pack %d, restore %d, floor %d)\n", tarPack.ok,
                 tarRestore.ok, pack.ok, restore.ok, floor.ok);
    return 1;
  }

  std::printf("large game, seed %llu: %lld files, %lld bytes packed; best of %d\n",
              static_cast<unsigned long long>(seed), static_cast<long long>(files), static_cast<long long>(bytes),
              repeats);
  std::printf("  tar.bz2 %lld bytes, package %lld bytes\n",
              static_cast<long long>(std::filesystem::file_size(tarFile)),
              static_cast<long long>(std::filesystem::file_size(tree.Native("pkg.exe"))));
  Print("tar -cjf", tarPack);
  Print("packing run (encrypted, zipped)", pack);
  Print("codec floor of a packing run", floor);
  Print("tar -xjf", tarRestore);
  Print("restore (export all, overwrite yes)", restore);
  std::printf("ratio tar/ours, packing:   wall %.2f  cpu %.2f  (goal >= 0.8)\n", tarPack.wall / pack.wall,
              tarPack.cpu / std::max(pack.cpu, 0.001));
  std::printf("ratio tar/floor, packing:  wall %.2f  cpu %.2f  (the best any packing run can do)\n",
              tarPack.wall / floor.wall, tarPack.cpu / std::max(floor.cpu, 0.001));
  std::printf("ratio tar/ours, restoring: wall %.2f  cpu %.2f  (goal >= 0.8)\n", tarRestore.wall / restore.wall,
              tarRestore.cpu / std::max(restore.cpu, 0.001));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "--pack" && argc == 4) return PackPhase(argv[2], argv[3]);
  if (mode == "--restore" && argc == 5) return RestorePhase(argv[2], argv[3], argv[4]);
  if (mode == "--floor" && argc == 4) return FloorPhase(argv[2], argv[3]);
  if (!mode.empty() && mode[0] == '-') {
    std::fprintf(stderr, "usage: app_bench [seed] [repeats]\n");
    return 2;
  }
  const std::string self = std::filesystem::canonical("/proc/self/exe").string();
  const std::uint64_t seed = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1;
  const int repeats = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 20) : 1;
  return Compare(self, seed, repeats);
}
