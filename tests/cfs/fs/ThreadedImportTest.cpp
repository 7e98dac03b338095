// Imports and exports with worker threads: the container's bytes and everything reported to the
// caller are those of the one-thread path, whatever the thread count.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

#include "cfs/codecs/compress/CFSCompress.h"
#include "cfs/fs/ContainerReadBack.h"
#include "cfs/fs/ImportAhead.h"
#include "platform/Exception.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/Time.h"
#include "tests/cfs/fs/FSTestUtil.h"

using namespace storagetest;
using namespace fstest;

namespace {

constexpr std::uint8_t kMethod = 7;  // bzip2 with 0x80000-byte blocks: several blocks stay cheap
const std::string kChinese = "\xB1\xED\x81\x5C";  // a name whose last byte is the trail byte "\"

// Item times come from the clock: fixed, two containers of the same tree are byte-identical.
std::int64_t FixedClock() { return 132000000000000000ll; }

// Empty files, files of exactly one and of several blocks, files starting with the block
// stream's signature, code page 936 names and enough small files to keep every worker busy.
void MakeTree(const std::string& tree) {
  const std::size_t block = static_cast<std::size_t>(BlockSizeForMethod(kMethod));
  std::map<std::string, Bytes> files = {
      {"empty.bin", {}},
      {"exact.bin", Compressible(block, 1)},
      {"three.bin", Compressible(2 * block + 99, 2)},
      {"sub\\" + kChinese + ".txt", Compressible(5000, 3)},
      {"sub\\empty2.bin", {}},
      {"sub\\AACS.bin", Text("AACS and then some bytes that are no stream header")},
      {"sub\\deep\\" + kChinese + "\\random.bin", Pattern(block + 1, 4)},
  };
  Bytes signature = Compressible(block + 10, 5);
  signature[0] = 'A', signature[1] = 'A', signature[2] = 'C', signature[3] = 'S';
  files["sub\\AACS-long.bin"] = signature;
  for (int i = 0; i < 40; ++i)
    files["many\\f" + std::to_string(i) + ".txt"] = Compressible(100 + 300 * i, 10 + static_cast<std::uint32_t>(i));
  for (const auto& [rel, content] : files) {
    ASSERT_TRUE(platform::ForceDirectories(platform::ExtractFilePath(tree + rel)));
    ASSERT_TRUE(WriteAll(tree + rel, content)) << rel;
    ASSERT_TRUE(platform::SetFileTime(tree + rel, 132000000000000000ll));
  }
}

// Workers across both import calls: planned as they come, or with the second call planned
// wrong (it runs on its own once it finds other files than planned).
enum class Plan { None, Both, SecondWrong };

void Import(const std::string& container, const std::string& tree, int threads, const std::string& password = "",
            Plan plan = Plan::None) {
  TContainerFS fs(container, kModeCreate, password, "", "", kMethod);
  fs.SetClock(FixedClock);
  fs.SetThreadCount(threads);
  if (plan != Plan::None) {
    const std::string second = tree + (plan == Plan::Both ? "\\sub\\*.*" : "\\many\\*.*");
    fs.PlanImports({{tree, true, 0, true}, {second, false, platform::kAttrAnyFile, false}});
  }
  fs.ImportDirectory(tree, "in", true, TExistingFiles::Overwrite, false);
  ASSERT_FALSE(fs.LastImportError().Failed) << fs.LastImportError().Message;
  fs.ImportFiles(tree + "\\sub\\*.*", "flat", platform::kAttrAnyFile, false, TExistingFiles::Overwrite, false);
  ASSERT_FALSE(fs.LastImportError().Failed) << fs.LastImportError().Message;
  ASSERT_TRUE(fs.FileExists("\\flat\\AACS.bin"));
}

// Every page after the header, deciphered and as stored.
struct Pages {
  std::vector<Bytes> plain, stored;
};
Pages ReadPages(const std::string& container, const std::string& password) {
  TContainerFS fs(container, 0, password, "", "", 0);
  TPageFileManager& pf = fs.PageFile();
  Pages pages;
  TCFSPageRec rec;
  pf.InitPageRecord(rec);
  for (std::int32_t p = 1; p < pf.Header().PageCount(); ++p) {
    EXPECT_TRUE(pf.ReadPage(rec, p)) << p;
    pages.plain.emplace_back(rec.Data.begin(), rec.Data.end());
    EXPECT_TRUE(pf.ReadPage(rec, p, true)) << p;
    pages.stored.emplace_back(rec.Data.begin(), rec.Data.end());
  }
  return pages;
}

// Two containers under different master keys hold the same data when every byte deciphers to
// the same value, or, where a page was written shorter than its data area and the rest was
// stored as it stood, is stored the same.
void ExpectSameDeciphered(const Pages& a, const Pages& b) {
  ASSERT_EQ(a.plain.size(), b.plain.size());
  for (std::size_t p = 0; p < a.plain.size(); ++p)
    for (std::size_t i = 0; i < a.plain[p].size(); ++i)
      if (a.plain[p][i] != b.plain[p][i] && a.stored[p][i] != b.stored[p][i]) {
        ADD_FAILURE() << "page " << p + 1 << " differs at " << i;
        break;
      }
}

// FNV-1a, 64 bits.
std::uint64_t Digest(const Bytes& bytes) {
  std::uint64_t h = 0xCBF29CE484222325ull;
  for (std::uint8_t b : bytes) h = (h ^ b) * 0x100000001B3ull;
  return h;
}

// The stored format is frozen: this tree's container, as built before the writes of a small
// file's first page were joined into one, must come out the same to the byte. Its items hold
// the files' local times, so the digest is that of a run in UTC.
constexpr std::uint64_t kFrozenDigest = 0xAB5575F617233A06ull;

TEST(ThreadedImport, ContainerBytesDoNotDependOnTheThreadCount) {
#ifndef _WIN32
  setenv("TZ", "UTC", 1);
  tzset();
#endif
  ScratchDir dir;
  MakeTree(dir / "tree\\");
  Import(dir / "t1.cfs", dir / "tree", 1);
  const Bytes one = ReadAll(dir / "t1.cfs");
  ASSERT_FALSE(one.empty());
  if (platform::FileTimeUtcToLocal(132000000000000000ll) == 132000000000000000ll) {
    EXPECT_EQ(Digest(one), kFrozenDigest) << std::hex << Digest(one);
  }
  for (int threads : {2, 8}) {
    const std::string name = dir / ("t" + std::to_string(threads) + ".cfs");
    Import(name, dir / "tree", threads);
    EXPECT_TRUE(ReadAll(name) == one) << threads << " threads";
  }
  for (Plan plan : {Plan::Both, Plan::SecondWrong}) {
    Import(dir / "p.cfs", dir / "tree", 2, "", plan);
    EXPECT_TRUE(ReadAll(dir / "p.cfs") == one) << "plan " << static_cast<int>(plan);
  }
  // Encrypted: the salt differs from container to container, the deciphered pages do not.
  Import(dir / "e1.cfs", dir / "tree", 1, "secret");
  Import(dir / "e2.cfs", dir / "tree", 2, "secret");
  ExpectSameDeciphered(ReadPages(dir / "e1.cfs", "secret"), ReadPages(dir / "e2.cfs", "secret"));
}

// A file that cannot be read and a file whose name code page 936 cannot hold are left out alone:
// every other file is stored, nothing of the two is (no "?" name), both are reported in order
// with their reasons, and all of it is the same for one thread and for two.
TEST(ThreadedImport, FilesThatCannotBeStoredAreLeftOutAloneWhateverTheThreadCount) {
  ScratchDir dir;
  MakeTree(dir / "tree\\");
  const std::string locked = dir / "tree\\many\\f2.txt";
  auto holder = platform::File::Open(locked, platform::FileAccess::ReadWrite, platform::FileShare::Exclusive,
                                     platform::FileDisposition::OpenExisting);
  ASSERT_TRUE(holder);
  // "I\u00F1aki.txt": "\u00F1" has no code page 936 form, so the file is made through the native name.
  const std::filesystem::path native(platform::Cp936ToUtf16(platform::ReplaceSeparators(dir / "tree\\many\\", '\\', '/')));
  std::ofstream(native / std::filesystem::path(u"I\u00F1aki.txt"), std::ios::binary) << "hola";
  std::map<int, std::vector<TCFSImportError>> failures;
  std::map<int, Bytes> bytes;
  for (int threads : {1, 2}) {
    const std::string name = dir / ("t" + std::to_string(threads) + ".cfs");
    {
      TContainerFS fs(name, kModeCreate, "", "", "", kMethod);
      fs.SetClock(FixedClock);
      fs.SetThreadCount(threads);
      fs.ImportDirectory(dir / "tree", "", true, TExistingFiles::Overwrite, false);
      failures[threads] = fs.ImportFailures();
      for (int i = 0; i < 40; ++i)
        EXPECT_EQ(fs.FileExists("\\tree\\many\\f" + std::to_string(i) + ".txt"), i != 2) << i;
      EXPECT_TRUE(fs.FileExists("\\tree\\sub\\deep\\" + kChinese + "\\random.bin"));
      EXPECT_FALSE(fs.FileExists("\\tree\\many\\I?aki.txt"));
      TSearchRec rec;
      int stored = 0;
      for (std::int32_t r = fs.FindFirst("\\tree\\many\\*.*", platform::kAttrAnyFile, rec); r == 0;
           r = fs.FindNext(rec))
        ++stored;
      fs.FindClose(rec);
      EXPECT_EQ(stored, 39);
    }
    bytes[threads] = ReadAll(name);
  }
  ASSERT_EQ(failures[1].size(), 2u);
  // In listing order, which the platform fixes.
  const std::size_t named = failures[1][0].NameNotCp936 ? 0 : 1;
  EXPECT_EQ(failures[1][named].DiskPath, dir / "tree\\many\\I?aki.txt");
  EXPECT_TRUE(failures[1][named].NameNotCp936);
  EXPECT_EQ(failures[1][1 - named].DiskPath, locked);
  EXPECT_FALSE(failures[1][1 - named].NameNotCp936);
  EXPECT_FALSE(failures[1][1 - named].Message.empty());
  ASSERT_EQ(failures[2].size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(failures[2][i].DiskPath, failures[1][i].DiskPath);
    EXPECT_EQ(failures[2][i].ContainerPath, failures[1][i].ContainerPath);
    EXPECT_EQ(failures[2][i].Message, failures[1][i].Message);
  }
  EXPECT_TRUE(bytes[2] == bytes[1]);
  // Not even a deleted directory item carries either name.
  for (const std::string name : {"f2.txt", "I?aki.txt"})
    EXPECT_TRUE(std::search(bytes[1].begin(), bytes[1].end(), name.begin(), name.end()) == bytes[1].end()) << name;
}

// Cancelling from the progress handler stops the run with the workers still ahead, and an
// exception raised by a handler in the middle of a file leaves that file out while the workers
// have read past it; what was stored is what the one-thread path stores.
TEST(ThreadedImport, CancelAndHandlerExceptionsActLikeTheSequentialPath) {
  ScratchDir dir;
  MakeTree(dir / "tree\\");
  std::map<int, Bytes> cancelled, thrown;
  std::map<int, std::string> messages;
  for (int threads : {1, 2}) {
    const std::string a = dir / ("c" + std::to_string(threads) + ".cfs");
    {
      TContainerFS fs(a, kModeCreate, "", "", "", kMethod);
      fs.SetClock(FixedClock);
      fs.SetThreadCount(threads);
      fs.OnProgress.Handler = [](void*, TContainerFS&, double p, bool& cancel) { cancel = p >= 30; };
      fs.ImportDirectory(dir / "tree", "", true, TExistingFiles::Overwrite, false);
      EXPECT_TRUE(fs.Cancel());
    }
    cancelled[threads] = ReadAll(a);
    const std::string b = dir / ("x" + std::to_string(threads) + ".cfs");
    {
      TContainerFS fs(b, kModeCreate, "", "", "", kMethod);
      fs.SetClock(FixedClock);
      fs.SetThreadCount(threads);
      fs.OnFileProgress.Handler = [](void*, TContainerFS&, const std::string& name, double percent) {
        if (name == "three.bin" && percent > 0 && percent < 100) throw Exception("stopped in the middle");
      };
      fs.ImportDirectory(dir / "tree", "", true, TExistingFiles::Overwrite, false);
      messages[threads] = fs.LastImportError().Message;
    }
    thrown[threads] = ReadAll(b);
  }
  EXPECT_TRUE(cancelled[2] == cancelled[1]);
  EXPECT_TRUE(thrown[2] == thrown[1]);
  EXPECT_EQ(messages[1], "stopped in the middle");
  EXPECT_EQ(messages[2], messages[1]);
}

// Workers never hold more than the fixed cap of block bytes, however many files are waiting,
// and a codec failure in a worker reaches the taker as the block stream's own error.
TEST(ThreadedImport, BlocksInFlightStayUnderTheCapAndWorkerFailuresArrive) {
  ScratchDir dir;
  std::vector<std::string> files;
  for (int i = 0; i < 30; ++i) {
    files.push_back(dir / (std::to_string(i) + ".bin"));
    ASSERT_TRUE(WriteAll(files.back(), Compressible(3 * 4096 + 7, static_cast<std::uint32_t>(i))));
  }
  {
    TImportAhead ahead(files, kMethod, 4096, 2);
    // The first block of the first file arrives once the workers have run ahead as far as allowed.
    TImportAhead::Step step = ahead.Take(0);
    ASSERT_EQ(step.kind, TImportAhead::Step::Kind::Block);
    // They stop once one more full block would pass the cap.
    for (int spin = 0; spin < 200 && ahead.InFlight() + 4096 <= ahead.MaxInFlight(); ++spin)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GT(ahead.InFlight() + 4096, ahead.MaxInFlight());
    EXPECT_LE(ahead.PeakInFlight(), ahead.MaxInFlight());
    EXPECT_EQ(ahead.MaxInFlight(), 2 * TImportAhead::kBlocksPerWorker * 4096);
    // Skipping ahead drops what was read of the files in between; the steps come in order.
    std::int64_t position = 0;
    for (step = ahead.Take(20); step.kind == TImportAhead::Step::Kind::Block; step = ahead.Take(20)) {
      EXPECT_GT(step.sourcePosition, position);
      position = step.sourcePosition;
    }
    EXPECT_EQ(step.kind, TImportAhead::Step::Kind::End);
    EXPECT_EQ(position, 3 * 4096 + 7);
    EXPECT_LE(ahead.PeakInFlight(), ahead.MaxInFlight());
  }
  // Method 10 has no codec: the failure of the block stream, from the worker that compressed it.
  TImportAhead failing(files, 10, 4096, 2);
  const TImportAhead::Step step = failing.Take(0);
  ASSERT_EQ(step.kind, TImportAhead::Step::Kind::Failure);
  EXPECT_FALSE(step.atOpen);
  try {
    std::rethrow_exception(step.failure);
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "TCFSAdvancedFileStream.PrepareBufferForWriting - compression error in PrepareBuffer.");
  }
}


// Everything an export leaves on disk, by relative path.
std::map<std::string, Bytes> DiskTree(const std::string& dir, const std::string& rel = "") {
  std::map<std::string, Bytes> out;
  std::vector<platform::DirEntry> entries;
  platform::ListDirectory(dir + rel + "*.*", platform::kAttrAnyFile, entries);
  for (const platform::DirEntry& e : entries) {
    if (e.name == "." || e.name == "..") continue;
    if (e.attributes & platform::kAttrDirectory) {
      out[rel + e.name + "\\"] = {};
      out.merge(DiskTree(dir, rel + e.name + "\\"));
    } else {
      out[rel + e.name] = ReadAll(dir + rel + e.name);
    }
  }
  return out;
}

// The failures of an export, one "name: message" each.
std::vector<std::string> FailuresOf(const TContainerFS& fs) {
  std::vector<std::string> out;
  for (const TCFSExportFailure& f : fs.LastExportFailures()) out.push_back(f.FileName + ": " + f.Message);
  return out;
}

// Exports with workers write the same files, answer the same questions in the same order, and
// name the same damaged files with the same errors as the one-thread path.
TEST(ThreadedExport, SameFilesQuestionsAndFailuresAsTheSequentialPath) {
  ScratchDir dir;
  MakeTree(dir / "tree\\");
  Import(dir / "c.cfs", dir / "tree", 1);
  // A file with its own password is asked for at its turn only.
  {
    TContainerFS fs(dir / "c.cfs", 2, "", "", "", 0);
    WriteWhole(fs, "in\\tree\\many\\own.txt", Compressible(9000, 77), "own");
  }
  std::map<int, std::map<std::string, Bytes>> trees;
  std::map<int, std::vector<std::string>> questions;
  for (int threads : {1, 2}) {
    const std::string out = dir / ("out" + std::to_string(threads) + "\\");
    ASSERT_TRUE(platform::ForceDirectories(out + "in\\tree\\many"));
    ASSERT_TRUE(WriteAll(out + "in\\tree\\many\\f3.txt", Text("old")));
    ASSERT_TRUE(WriteAll(out + "in\\tree\\many\\f9.txt", Text("old")));
    TContainerFS fs(dir / "c.cfs", 0, "", "", "", 0);
    fs.SetThreadCount(threads);
    std::vector<std::string>& asked = questions[threads];
    fs.OnOverwrite.UserData = &asked;
    fs.OnOverwrite.Handler = [](void* user, TContainerFS&, const std::string& name, const std::string&, bool& yes) {
      static_cast<std::vector<std::string>*>(user)->push_back(name);
      yes = name.find("f3") != std::string::npos;
    };
    fs.OnPassword.UserData = &asked;
    fs.OnPassword.Handler = [](void* user, TContainerFS&, const std::string& name, std::string& password, bool& cancel) {
      static_cast<std::vector<std::string>*>(user)->push_back("password " + name);
      password = "own";
      cancel = false;
    };
    fs.ExportFiles("*.*", out, platform::kAttrAnyFile, true, TExistingFiles::Ask);
    trees[threads] = DiskTree(out);
  }
  EXPECT_EQ(questions[1].size(), 3u);
  EXPECT_EQ(questions[2], questions[1]);
  EXPECT_TRUE(trees[2] == trees[1]);
  EXPECT_TRUE(trees[1]["in\\tree\\three.bin"] == ReadAll(dir / "tree\\three.bin"));

  // Damage in the middle of the stored data: the same errors for the same files.
  Bytes damaged = ReadAll(dir / "c.cfs");
  damaged[damaged.size() * 3 / 5] ^= 0x40;
  ASSERT_TRUE(WriteAll(dir / "d.cfs", damaged));
  std::map<int, std::vector<std::string>> errors;
  for (int threads : {1, 2}) {
    const std::string out = dir / ("damaged" + std::to_string(threads) + "\\");
    TContainerFS fs(dir / "d.cfs", 0, "", "", "", 0);
    fs.SetThreadCount(threads);
    fs.OnPassword.Handler = [](void*, TContainerFS&, const std::string&, std::string& password, bool& cancel) {
      password = "own";
      cancel = false;
    };
    fs.ExportFiles("*.*", out, platform::kAttrAnyFile, true, TExistingFiles::Overwrite);
    errors[threads] = FailuresOf(fs);
    trees[threads] = DiskTree(out);
  }
  ASSERT_FALSE(errors[1].empty());
  EXPECT_EQ(errors[2], errors[1]);
  EXPECT_TRUE(trees[2] == trees[1]);
  // The read-back check fails the same way, and passes the undamaged container.
  for (int threads : {1, 2}) {
    TContainerFS whole(dir / "c.cfs", 0, "", "", "", 0), broken(dir / "d.cfs", 0, "", "", "", 0);
    whole.SetThreadCount(threads);
    broken.SetThreadCount(threads);
    whole.OnPassword.Handler = broken.OnPassword.Handler = [](void*, TContainerFS&, const std::string&,
                                                              std::string& password, bool& cancel) {
      password = "own";
      cancel = false;
    };
    EXPECT_EQ(ReadEveryFile(whole, ""), "") << threads;
    const std::string error = ErrorOf([&] { ReadEveryFile(broken, ""); });
    EXPECT_NE(errors[1][0].find(": " + error), std::string::npos) << threads << ": " << error;
  }
}

// A damaged stored file and a target that cannot be replaced are named, each keeps what was on
// disk under its name, the files after them are written and no temporary file stays behind, the
// same whatever the thread count.
TEST(ThreadedExport, FilesThatFailAreNamedKeptAndTheRestIsWritten) {
  ScratchDir dir;
  const auto block = static_cast<std::size_t>(BlockSizeForMethod(kMethod));
  const std::map<std::string, Bytes> files = {
      {"a.txt", Compressible(5000, 1)},   {"b.bin", Pattern(3 * block, 2)},  // incompressible: many pages
      {"c.txt", Compressible(7000, 3)},   {"sub\\d.txt", Compressible(100, 4)},
      {"sub\\e.txt", Compressible(200, 5)},
  };
  for (const auto& [rel, content] : files) {
    ASSERT_TRUE(platform::ForceDirectories(platform::ExtractFilePath(dir / ("src\\" + rel))));
    ASSERT_TRUE(WriteAll(dir / ("src\\" + rel), content));
  }
  std::int64_t damageAt = 0;
  {
    TContainerFS fs(dir / "c.cfs", kModeCreate, "", "", "", kMethod);
    fs.ImportFiles(dir / "src\\*.*", "", platform::kAttrAnyFile, true, TExistingFiles::Overwrite, false);
    ASSERT_FALSE(fs.LastImportError().Failed) << fs.LastImportError().Message;
    TIntegerArray* maps = nullptr;
    TIntegerArray* data = nullptr;
    fs.PageMaps().GetMaps(fs.Directory().ReadItem(fs.Directory().FindItem("b.bin")), maps, data);
    ASSERT_GT(data->Count(), 4);
    damageAt = fs.PageFile().PageOffset((*data)[data->Count() / 2]) + 1000;
  }
  Bytes damaged = ReadAll(dir / "c.cfs");
  damaged[static_cast<std::size_t>(damageAt)] ^= 0x40;
  ASSERT_TRUE(WriteAll(dir / "d.cfs", damaged));

  std::map<int, std::map<std::string, Bytes>> trees;
  std::map<int, std::vector<std::string>> failures;
  for (int threads : {1, 2}) {
    const std::string out = dir / ("out" + std::to_string(threads) + "\\");
    ASSERT_TRUE(platform::ForceDirectories(out + "sub\\e.txt\\inside"));
    ASSERT_TRUE(WriteAll(out + "b.bin", Text("old b")));
    TContainerFS fs(dir / "d.cfs", 0, "", "", "", 0);
    fs.SetThreadCount(threads);
    EXPECT_EQ(fs.ExportFiles("*.*", out, platform::kAttrAnyFile, true, TExistingFiles::Overwrite), 5);
    // Messages name the full disk path: compare them without the output folder.
    for (std::string f : FailuresOf(fs)) {
      if (const std::size_t at = f.find(out); at != std::string::npos) f.replace(at, out.size(), "<out>");
      failures[threads].push_back(f);
    }
    trees[threads] = DiskTree(out);
  }
  ASSERT_EQ(failures[1].size(), 2u);
  EXPECT_EQ(failures[1][0].rfind("b.bin: ", 0), 0u) << failures[1][0];
  EXPECT_EQ(failures[1][1].rfind("sub\\e.txt: ", 0), 0u) << failures[1][1];
  EXPECT_EQ(failures[2], failures[1]);
  EXPECT_TRUE(trees[2] == trees[1]);
  EXPECT_TRUE(trees[1]["b.bin"] == Text("old b"));
  for (const char* written : {"a.txt", "c.txt", "sub\\d.txt"})
    EXPECT_TRUE(trees[1][written] == files.at(written)) << written;
  for (const auto& [name, content] : trees[1]) EXPECT_EQ(name.find("~zelk"), std::string::npos) << name;
}

}  // namespace
