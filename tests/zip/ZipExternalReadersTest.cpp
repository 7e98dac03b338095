// Archives written by the component, checked by independent zip readers: Info-ZIP unzip,
// Python's zipfile (test plus a byte compare of every entry), bsdtar and 7-Zip.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>

#include "tests/zip/ZipTestUtil.h"
#include "zip/ChunkedDeflate.h"
#include "zip/ZipWriter.h"

using namespace ziptest;

#ifndef _WIN32

namespace {

std::u16string Wide(const std::string& cp936) { return platform::Cp936ToUtf16(cp936); }

// The posix form of one of our paths ("\" -> "/", names in UTF-8).
std::string PosixPath(const std::string& cp936) {
  std::string p = platform::Cp936ToUtf8(cp936);
  for (auto& c : p) c = c == '\\' ? '/' : c;
  return p;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// Runs a shell command; returns its exit status and fills `output`.
int RunCommand(const std::string& command, std::string& output) {
  output.clear();
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) output.append(buf, n);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveTool(const std::string& name) {
  std::string out;
  return RunCommand("command -v " + name, out) == 0;
}

struct Archive {
  std::string path;                  // our form
  std::vector<std::string> sources;  // per entry in order: source path, or "" for a directory
};

class ZipExternalReaders : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<ScratchDir>();
    const ScratchDir& d = *dir_;
    auto make = [&](const std::string& name, const std::string& data) {
      EXPECT_TRUE(WriteFile(d / name, data));
      return d / name;
    };
    platform::ForceDirectories(d / "tree\\sub\\");
    const std::string exe = make("Zelk\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE\xBB\xD6\xB8\xB4\xB0\xFC.exe", TextBytes(300000) + NoiseBytes(100000, 5));
    const std::string text = make("text.txt", TextBytes(500000));
    const std::string noise = make("noise.bin", NoiseBytes(200000, 11));
    const std::string zero = make("zero.dat", "");
    const std::string small = make("tree\\a.ini", "[a]\r\nname=x\r\n");
    const std::string deep = make("tree\\sub\\b.lua", TextBytes(70000));
    const std::string ini = make("upd.ini", "[a]\r\nname=x\r\n");

    auto build = [&](const std::string& name, auto configure, std::vector<std::string> sources) {
      TZipWriter zip;
      configure(zip);
      zip.SetZipName(Wide(d / name));
      zip.Zip();
      archives_->push_back({d / name, std::move(sources)});
    };
    archives_ = std::make_unique<std::vector<Archive>>();
    build("pack.zip", [&](TZipWriter& z) { z.FilesList.Add(Wide(exe)); }, {exe});
    build("stored.zip", [&](TZipWriter& z) {
      z.PackLevel = 0;
      for (const auto& f : {text, noise, zero}) z.FilesList.Add(Wide(f));
    }, {text, noise, zero});
    for (int level : {1, 9}) {
      build("level" + std::to_string(level) + ".zip", [&](TZipWriter& z) {
        z.PackLevel = level;
        z.NoCompressList.Add(u"*.bin");
        for (const auto& f : {text, noise, zero, exe}) z.FilesList.Add(Wide(f));
      }, {text, noise, zero, exe});
    }
    // Entries deflated in chunks on two threads: one chunk exactly (a single stream), one byte
    // over, two full chunks, and many chunks with a short last one.
    {
      const std::size_t chunk = zipdeflate::kChunkSize;
      std::vector<std::string> chunked;
      for (const std::size_t size : {chunk, chunk + 1, 2 * chunk, 5 * chunk + 777}) {
        std::string data = TextBytes(size);
        for (std::size_t at = chunk / 3; at + 100000 < size; at += chunk) data.replace(at, 100000, NoiseBytes(100000, 9));
        chunked.push_back(make("chunked" + std::to_string(size) + ".bin", data));
      }
      build("chunked.zip", [&](TZipWriter& z) {
        z.SetThreadCount(2);
        for (const auto& f : chunked) z.FilesList.Add(Wide(f));
      }, chunked);
    }
    build("tree.zip", [&](TZipWriter& z) {
      z.StorePaths = z.RelativePaths = z.AddDirEntriesOnRecurse = true;
      z.SetRootDir(Wide(d / "tree"));
      z.FilesList.Add(u">*.*");
    }, {});  // order depends on the listing: filled below
    // tree.zip: entries are compared by name.
    archives_->back().sources = {"tree"};

    // Updated twice: carried-over entries, a replacement in place, and additions.
    const std::string upd = d / "updated.zip";
    {
      TZipWriter zip;
      zip.SetZipName(Wide(upd));
      zip.FilesList.Add(Wide(text));
      zip.FilesList.Add(Wide(ini));
      zip.Zip();
      zip.FilesList.Add(Wide(noise));
      zip.Zip();
      std::int64_t t = 0;
      platform::GetFileTime(ini, t);
      EXPECT_TRUE(WriteFile(ini, "[a]\r\nname=changed\r\n"));
      platform::SetFileTime(ini, t + 20000000 * 30);
      zip.FilesList.Add(Wide(ini));
      zip.FilesList.Add(Wide(deep));
      EXPECT_EQ(zip.Zip(), 2);
    }
    archives_->push_back({upd, {text, ini, noise, deep}});
    // Nothing to add: the bare end record.
    build("empty.zip", [&](TZipWriter& z) { z.FilesList.Add(Wide(d / "missing.txt")); }, {});
  }
  static void TearDownTestSuite() {
    archives_.reset();
    dir_.reset();
  }

  static std::unique_ptr<ScratchDir> dir_;
  static std::unique_ptr<std::vector<Archive>> archives_;
};

std::unique_ptr<ScratchDir> ZipExternalReaders::dir_;
std::unique_ptr<std::vector<Archive>> ZipExternalReaders::archives_;

TEST_F(ZipExternalReaders, InfoZipUnzipTestsEveryArchive) {
  if (!HaveTool("unzip")) GTEST_SKIP() << "unzip is not installed";
  for (const auto& a : *archives_) {
    if (a.sources.empty()) continue;  // unzip reports an archive without entries as a warning
    std::string out;
    EXPECT_EQ(RunCommand("unzip -t " + Quote(PosixPath(a.path)), out), 0) << a.path << "\n" << out;
    EXPECT_NE(out.find("No errors detected"), std::string::npos) << out;
  }
}

TEST_F(ZipExternalReaders, BsdtarListsAndExtractsEveryEntry) {
  if (!HaveTool("bsdtar")) GTEST_SKIP() << "bsdtar is not installed";
  for (const auto& a : *archives_) {
    std::string out;
    EXPECT_EQ(RunCommand("bsdtar -tvf " + Quote(PosixPath(a.path)), out), 0) << a.path << "\n" << out;
    if (a.sources.size() == 1 && a.sources[0] == "tree") continue;
    std::size_t lines = 0;
    for (char c : out) lines += c == '\n';
    EXPECT_EQ(lines, a.sources.size()) << out;
    // Extracted to standard output (CRC-checked by the reader): the sources one after another.
    std::string expected;
    for (const auto& s : a.sources) expected += s.empty() ? std::string() : ReadFile(s);
    EXPECT_EQ(RunCommand("bsdtar -xOf " + Quote(PosixPath(a.path)), out), 0) << a.path;
    EXPECT_TRUE(out == expected) << a.path << ": " << out.size() << " bytes extracted, " << expected.size() << " expected";
  }
}

TEST_F(ZipExternalReaders, SevenZipTestsEveryArchive) {
  std::string tool;
  for (const char* name : {"7z", "7zz", "7za"}) {
    if (HaveTool(name)) {
      tool = name;
      break;
    }
  }
  if (tool.empty()) GTEST_SKIP() << "7-Zip (7z, 7zz or 7za) is not installed";
  for (const auto& a : *archives_) {
    std::string out;
    EXPECT_EQ(RunCommand(tool + " t " + Quote(PosixPath(a.path)), out), 0) << a.path << "\n" << out;
    EXPECT_NE(out.find("Everything is Ok"), std::string::npos) << out;
  }
}

TEST_F(ZipExternalReaders, PythonZipfileReadsEveryEntryBackExactly) {
  if (!HaveTool("python3")) GTEST_SKIP() << "python3 is not installed";
  // Manifest: archive, then one source per entry ("" for directory entries), or a tree root
  // whose files are compared by entry name.
  const std::string script = PosixPath(*dir_ / "check.py");
  std::ofstream py(script);
  py << "import sys, zipfile, os\n"
        "bad = 0\n"
        "for line in open(sys.argv[1], encoding='utf-8'):\n"
        "    parts = line.rstrip('\\n').split('\\t')\n"
        "    z = zipfile.ZipFile(parts[0])\n"
        "    if z.testzip() is not None: print('testzip failed', parts[0]); bad += 1\n"
        "    infos = z.infolist()\n"
        "    if len(parts) > 1 and parts[1].startswith('tree='):\n"
        "        root = parts[1][5:]\n"
        "        names = sorted(i.filename for i in infos)\n"
        "        want = sorted([os.path.relpath(os.path.join(r, f), root) for r, ds, fs in os.walk(root) for f in fs] +\n"
        "                      [os.path.relpath(os.path.join(r, d), root) + '/' for r, ds, fs in os.walk(root) for d in ds])\n"
        "        if names != want: print('names differ', names, want); bad += 1\n"
        "        for i in infos:\n"
        "            if not i.is_dir() and z.read(i) != open(os.path.join(root, i.filename), 'rb').read():\n"
        "                print('content differs', parts[0], i.filename); bad += 1\n"
        "        continue\n"
        "    if len(infos) != len(parts) - 1: print('entry count', parts[0], len(infos)); bad += 1; continue\n"
        "    for info, src in zip(infos, parts[1:]):\n"
        "        if z.read(info) != open(src, 'rb').read(): print('content differs', parts[0], info.filename); bad += 1\n"
        "sys.exit(1 if bad else 0)\n";
  py.close();
  const std::string manifest = PosixPath(*dir_ / "manifest.txt");
  std::ofstream m(manifest);
  for (const auto& a : *archives_) {
    m << PosixPath(a.path);
    if (a.sources.size() == 1 && a.sources[0] == "tree") {
      m << "\ttree=" << PosixPath(*dir_ / "tree");
    } else {
      for (const auto& s : a.sources) m << "\t" << PosixPath(s);
    }
    m << "\n";
  }
  m.close();
  std::string out;
  EXPECT_EQ(RunCommand("python3 " + Quote(script) + " " + Quote(manifest), out), 0) << out;
}

}  // namespace

#else
TEST(ZipExternalReaders, NativeOnly) { GTEST_SKIP() << "the external zip readers run in the native build"; }
#endif
