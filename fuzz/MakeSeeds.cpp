// Writes the seed corpora of the fuzz targets: small, valid inputs of every kind each target
// reads, so that fuzzing starts from the formats' real layouts rather than from nothing.
//   make_fuzz_seeds OUTDIR   ->  OUTDIR/<target>/<name>
// The contents imitate a game's add-on folder: a table of contents, Lua and XML text, a
// settings file with a code page 936 section name.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "cfs/codecs/compress/CFSCompress.h"
#include "cfs/codecs/ppmd/Ppmd.h"
#include "cfs/fs/CFSAdvancedFileStream.h"
#include "cfs/fs/ContainerFS.h"
#include "platform/Text.h"
#include "zip/ZipWriter.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

const std::string kToc = "## Interface: 30300\r\n## Title: Bag Sorter\r\nBagSorter.lua\r\nBagSorter.xml\r\n";
const std::string kLua =
    "local addon = CreateFrame(\"Frame\")\r\nfunction addon:Sort(bag)\r\n  for slot = 1, 16 do\r\n"
    "    local item = GetContainerItemLink(bag, slot)\r\n    if item then self.items[#self.items + 1] = item end\r\n"
    "  end\r\nend\r\n";
const std::string kXml = "<Ui xmlns=\"http://www.blizzard.com/wow/ui/\">\r\n  <Script file=\"BagSorter.lua\"/>\r\n</Ui>\r\n";
const std::string kIni = "[\xD6\xD0\xCE\xC4]\r\nname=\xB1\xB3\xB0\xFC\xD5\xFB\xC0\xED\r\n[Settings]\r\nname = \"Bag Sorter\"\r\n";

// Text of at least n bytes made of the add-on lines.
std::string Text(std::size_t n) {
  std::string s;
  while (s.size() < n) s += kLua + kXml;
  s.resize(n);
  return s;
}

Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& p, const Bytes& prefix, const Bytes& body) {
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(prefix.data()), static_cast<std::streamsize>(prefix.size()));
  out.write(reinterpret_cast<const char*>(body.data()), static_cast<std::streamsize>(body.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", p.c_str());
    std::exit(1);
  }
}

void WriteStream(TContainerFS& c, const std::string& name, std::uint8_t method, const std::string& data) {
  TCFSAdvancedFileStream s(&c, name, kModeCreate, "", "", "", method);
  s.Write(data.data(), static_cast<std::int32_t>(data.size()));
}

// The stored bytes of a file as the handle API returns them (block layout and all).
Bytes RawFile(TContainerFS& c, const std::string& name) {
  const std::int32_t h = c.FileOpen(name, 0, "", "", "");
  Bytes out(static_cast<std::size_t>(c.FileSeek(h, 2, 0)));
  c.FileSeek(h, 0, 0);
  c.FileRead(h, out.data(), static_cast<std::int32_t>(out.size()));
  c.FileClose(h);
  return out;
}

void Containers(const fs::path& work, const fs::path& out) {
  struct Seed {
    const char* name;
    std::uint8_t flags;
    std::uint8_t method;
    const char* password;
  };
  const Seed seeds[] = {{"plain-stored", 0, 0, ""},   {"zlib", 0, 1, ""},          {"bzip2-export", 2, 7, ""},
                        {"ppmd", 0, 6, ""},           {"aes-zlib", 3, 1, "fuzz"},
                        {"pages", 4, 2, ""}};
  for (const Seed& s : seeds) {
    const fs::path file = work / (std::string(s.name) + ".cfs");
    {
      TContainerFS c(file.string(), kModeCreate, s.password, "", "", s.method);
      c.SetClock([] { return std::int64_t{132000000000000000}; });
      c.ForceDirectories("\\Interface\\AddOns\\BagSorter");
      c.ForceDirectories("\\WTF");
      WriteStream(c, "\\Interface\\AddOns\\BagSorter\\BagSorter.toc", s.method, kToc);
      WriteStream(c, "\\Interface\\AddOns\\BagSorter\\BagSorter.lua", s.method, Text(3000));
      WriteStream(c, "\\WTF\\config.ini", s.method, kIni);
    }
    WriteFile(out / "container" / s.name, {s.flags}, ReadFile(file));
  }
}

void BlockStreams(const fs::path& work, const fs::path& out) {
  TContainerFS c((work / "streams.cfs").string(), kModeCreate, "", "", "", 1);
  for (std::uint8_t method = 1; method <= 9; ++method) {
    // One short block; for the quick codecs also two blocks (a full one of text and a short
    // one), which still pack to a few KB. Full PPMd blocks take seconds in a sanitizer build.
    const std::string name = "\\m" + std::to_string(method);
    const bool twoBlocks = method == 1 || method == 7;
    WriteStream(c, name, method, Text(twoBlocks ? static_cast<std::size_t>(BlockSizeForMethod(method)) + 777 : 3000));
    WriteFile(out / "blockstream" / ("method" + std::to_string(method)), {method}, RawFile(c, name));
  }
  WriteFile(out / "blockstream" / "raw", {0}, ToBytes(kLua));
}

void PpmdStreams(const fs::path& out) {
  for (int order : {2, 5, 13, 16}) {
    const std::string text = Text(6000);
    Bytes packed(text.size() + 1024);
    const std::size_t n = PpmdCompress(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), packed.data(),
                                       packed.size(), order, 1 + order % 4);
    packed.resize(n);
    WriteFile(out / "ppmd" / ("order" + std::to_string(order)), {2}, packed);
  }
}

void Zips(const fs::path& work, const fs::path& out) {
  const fs::path src = work / "zipsrc";
  fs::create_directories(src);
  WriteFile(src / "BagSorter.toc", {}, ToBytes(kToc));
  WriteFile(src / "BagSorter.lua", {}, ToBytes(Text(4000)));
  WriteFile(src / "config.ini", {}, ToBytes(kIni));
  for (int level : {0, 6}) {
    const fs::path zipPath = work / ("a" + std::to_string(level) + ".zip");
    TZipWriter zip;
    zip.SetThreadCount(1);
    zip.DoProcessMessages = false;
    zip.PackLevel = level;
    for (const char* f : {"BagSorter.toc", "BagSorter.lua", "config.ini"})
      zip.FilesList.Add(platform::Cp936ToUtf16((src / f).string()));
    zip.SetZipName(platform::Cp936ToUtf16(zipPath.string()));
    zip.Zip();
    const Bytes bytes = ReadFile(zipPath);
    WriteFile(out / "zip" / ("read-level" + std::to_string(level)), {0}, bytes);
    WriteFile(out / "zip" / ("update-level" + std::to_string(level)), {1}, bytes);
  }
}

void Inis(const fs::path& out) {
  const Bytes query = {4, 'N', 'a', 'm', 'e', 4, 'n', 'a', 'm', 'e'};
  WriteFile(out / "ini" / "cp936", {4, 0xD6, 0xD0, 0xCE, 0xC4, 4, 'n', 'a', 'm', 'e'}, ToBytes(kIni));
  WriteFile(out / "ini" / "utf8-bom", {8, 'S', 'e', 't', 't', 'i', 'n', 'g', 's', 4, 'N', 'A', 'M', 'E'},
            ToBytes("\xEF\xBB\xBF[Settings]\nname='\xE4\xB8\xAD'\n"));
  Bytes utf16 = {0xFF, 0xFE};
  for (char ch : std::string("[Name]\r\nname=x\r\n")) {
    utf16.push_back(static_cast<std::uint8_t>(ch));
    utf16.push_back(0);
  }
  WriteFile(out / "ini" / "utf16", query, utf16);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds OUTDIR\n");
    return 2;
  }
  const fs::path out = argv[1];
  const fs::path work = fs::temp_directory_path() / ("zelk-seeds-" + std::to_string(::getpid()));
  fs::create_directories(work);
  try {
    Containers(work, out);
    BlockStreams(work, out);
    PpmdStreams(out);
    Zips(work, out);
    Inis(out);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_fuzz_seeds: %s\n", e.what());
    fs::remove_all(work);
    return 1;
  }
  fs::remove_all(work);
  return 0;
}
