// The multi-part container file: header search, part chains, position mapping, memory parts
// and damaged input.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <random>

#include "cfs/file/CFSDiskFile.h"
#include "cfs/file/CFSHugeFile.h"
#include "cfs/file/CFSLittleEndian.h"
#include "cfs/file/CFSWrapperHeader.h"
#include "platform/Exception.h"
#include "tests/cfs/file/StorageTestUtil.h"

using namespace storagetest;

namespace {

// Container bytes as the page layer would start them: the container signature first.
Bytes ContainerData(std::size_t n, std::uint32_t seed) {
  Bytes data = Pattern(n, seed);
  const Bytes sig = Text("AASFSSGN");
  std::copy(sig.begin(), sig.begin() + std::min<std::size_t>(n, 8), data.begin());
  return data;
}

void MakeContainer(const std::string& path, const Bytes& data, std::int64_t partSize) {
  TCFSHugeFile f(path, false, false, false, partSize);
  ASSERT_TRUE(f.Open(true, false));
  f.WriteBuffer(data.data(), static_cast<std::int32_t>(data.size()));
}

// stub + wrapper header + the container's bytes.
void MakeSelfExtracting(const std::string& container, const Bytes& stub, const std::string& out) {
  TCFSHugeFile c(container, true, false, false, -1);
  ASSERT_TRUE(c.Open(false, false));
  TCFSDiskFile file(out, false, false);
  ASSERT_TRUE(file.Open(true));
  if (!stub.empty()) file.WriteBuffer(stub.data(), static_cast<std::int32_t>(stub.size()));
  c.SaveToStream(file);
}

Bytes ReadContainer(TCFSHugeFile& f) {
  Bytes data(static_cast<std::size_t>(f.GetSize()));
  f.SetPosition(0);
  f.ReadBuffer(data.data(), static_cast<std::int32_t>(data.size()));
  return data;
}

TCFSWrapperHeader HeaderAt(const std::string& path, std::size_t offset) {
  const Bytes all = ReadAll(path);
  TCFSWrapperHeader h{};
  if (all.size() >= offset + h.size()) std::copy_n(all.begin() + offset, h.size(), h.begin());
  return h;
}

// Random writes, reads, seeks and size changes checked against a plain byte vector.
void CheckAgainstModel(TCFSHugeFile& f, Bytes& model, std::uint32_t seed, int steps) {
  std::mt19937 rng(seed);
  const auto span = static_cast<std::uint32_t>(f.GetPartDataSize() * 3);
  for (int step = 0; step < steps; ++step) {
    const int op = rng() % 4;
    if (op == 0 || op == 1) {
      const std::int64_t pos = rng() % (model.size() + 50);
      const Bytes data = Pattern(rng() % span + 1, rng());
      f.SetPosition(pos);
      f.WriteBuffer(data.data(), static_cast<std::int32_t>(data.size()));
      if (model.size() < pos + data.size()) model.resize(pos + data.size(), 0);
      std::copy(data.begin(), data.end(), model.begin() + pos);
    } else if (op == 2) {
      const std::int64_t pos = rng() % (model.size() + 1);
      const std::int32_t n = rng() % span;
      Bytes got(n);
      f.SetPosition(pos);
      const std::int32_t read = f.Read(got.data(), n);
      ASSERT_EQ(read, std::min<std::int64_t>(n, model.size() - pos)) << "step " << step;
      ASSERT_TRUE(std::equal(got.begin(), got.begin() + read, model.begin() + pos)) << "step " << step;
    } else {
      const std::int64_t size = rng() % (model.size() + span);
      f.SetSize(size);
      ASSERT_EQ(f.GetPosition(), size);
      model.resize(size, 0);
    }
    ASSERT_EQ(f.GetSize(), static_cast<std::int64_t>(model.size())) << "step " << step;
  }
}


}  // namespace

TEST(HugeFile, PlainContainerHasItsHeaderAtOffsetZero) {
  ScratchDir dir;
  const std::string name = dir / "plain.cfs";
  const Bytes data = ContainerData(5000, 1);
  MakeContainer(name, data, 100000);
  const Bytes raw = ReadAll(name);
  ASSERT_EQ(raw.size(), 280u + data.size());
  EXPECT_EQ(std::string(raw.begin(), raw.begin() + 8), "AAMVHFSS");
  EXPECT_EQ(GetLE64s(raw.data() + 8), 100000);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), raw.begin() + 280));

  TCFSHugeFile f(name, true, false, false, -1);
  ASSERT_TRUE(f.Open(false, false));
  EXPECT_EQ(f.GetBaseOffset(), 0);
  EXPECT_EQ(f.GetPartSize(), 100000);  // taken from the header, not from the volume
  EXPECT_EQ(ReadContainer(f), data);
}

TEST(HugeFile, HeaderIsFoundBehindStubsOfAnyLength) {
  ScratchDir dir;
  const std::string name = dir / "c.cfs";
  const Bytes data = ContainerData(3000, 2);
  MakeContainer(name, data, -1);
  // 65533: the header starts 2 bytes before the end of the first 65535-byte search chunk.
  for (std::size_t stubSize : {0u, 1u, 65532u, 65533u, 65534u, 65535u, 65536u, 131071u}) {
    const std::string sfx = dir / "sfx.exe";
    MakeSelfExtracting(name, Pattern(stubSize, 7), sfx);
    EXPECT_EQ(ReadAll(sfx).size(), stubSize + 280 + data.size());
    TCFSHugeFile f(sfx, true, false, false, -1);
    ASSERT_TRUE(f.Open(false, false)) << stubSize;
    EXPECT_EQ(f.GetBaseOffset(), static_cast<std::int64_t>(stubSize));
    EXPECT_EQ(f.GetSize(), static_cast<std::int64_t>(data.size()));
    EXPECT_EQ(ReadContainer(f), data) << stubSize;
  }
}

TEST(HugeFile, StraySignaturesAndHeadersTooCloseToTheEndAreSkipped) {
  ScratchDir dir;
  const std::string name = dir / "c.cfs";
  const Bytes data = ContainerData(600, 3);
  MakeContainer(name, data, -1);
  // A stub holding the wrapper signature twice without the container signature 280 bytes on
  // (once straddling the first chunk boundary).
  Bytes stub = Pattern(70000, 9);
  const Bytes stray = Text("AAMVHFSS");
  std::copy(stray.begin(), stray.end(), stub.begin() + 100);
  std::copy(stray.begin(), stray.end(), stub.begin() + 65531);
  const std::string sfx = dir / "sfx.exe";
  MakeSelfExtracting(name, stub, sfx);
  TCFSHugeFile f(sfx, true, false, false, -1);
  ASSERT_TRUE(f.Open(false, false));
  EXPECT_EQ(f.GetBaseOffset(), 70000);
  EXPECT_EQ(ReadContainer(f), data);

  // A wrapper signature less than 288 bytes before the end of the file is no header.
  Bytes tooShort = Pattern(1000, 4);
  const Bytes tail = Text("AAMVHFSS");
  tooShort.insert(tooShort.end(), tail.begin(), tail.end());
  tooShort.resize(tooShort.size() + 279, 0);
  ASSERT_TRUE(WriteAll(dir / "short.exe", tooShort));
  TCFSHugeFile g(dir / "short.exe", true, false, false, -1);
  EXPECT_FALSE(g.Open(false, true));
  EXPECT_FALSE(g.GetIsOpen());
}

TEST(HugeFile, GrowingAndShrinkingManagesPartFiles) {
  ScratchDir dir;
  const std::string name = dir / "multi.cfs";
  ASSERT_TRUE(WriteAll(dir / "multi.cfs1", Text("somebody else's file")));
  TCFSHugeFile f(name, false, false, false, 1000);
  ASSERT_TRUE(f.Open(true, false));
  const Bytes data = ContainerData(2000, 11);
  f.WriteBuffer(data.data(), 2000);
  // 720 container bytes per part: the occupied "multi.cfs1" makes the second part "multi.cfs2".
  ASSERT_EQ(f.PartCount(), 3u);
  EXPECT_EQ(ReadAll(name).size(), 1000u);
  EXPECT_EQ(ReadAll(dir / "multi.cfs2").size(), 1000u);
  EXPECT_EQ(ReadAll(dir / "multi.cfs3").size(), 280u + 560u);
  EXPECT_EQ(WrapperNextName(HeaderAt(name, 0)), "multi.cfs2");
  EXPECT_EQ(WrapperNextName(HeaderAt(dir / "multi.cfs2", 0)), "multi.cfs3");
  EXPECT_EQ(WrapperNextName(HeaderAt(dir / "multi.cfs3", 0)), "");
  f.Close();
  f.SetPosition(0);
  EXPECT_EQ(f.Write(data.data(), 10), 0);  // closed: the part files stay as they are
  EXPECT_EQ(ReadAll(name).size(), 1000u);

  TCFSHugeFile g(name, false, false, false, -1);
  ASSERT_TRUE(g.Open(false, false));
  EXPECT_EQ(g.GetPartSize(), 1000);
  EXPECT_EQ(ReadContainer(g), data);
  g.SetSize(500);
  EXPECT_EQ(g.GetPosition(), 500);
  EXPECT_EQ(g.PartCount(), 1u);
  EXPECT_FALSE(platform::FileExists(dir / "multi.cfs2"));
  EXPECT_FALSE(platform::FileExists(dir / "multi.cfs3"));
  EXPECT_EQ(ReadAll(dir / "multi.cfs1"), Text("somebody else's file"));
  EXPECT_EQ(WrapperNextName(HeaderAt(name, 0)), "");
  EXPECT_EQ(ReadAll(name).size(), 780u);
}

TEST(HugeFile, PositionsMapAcrossPartsWithAndWithoutLeadingBytes) {
  ScratchDir dir;
  {
    TCFSHugeFile f(dir / "a.cfs", false, false, false, 380);  // 100 bytes per part
    ASSERT_TRUE(f.Open(true, false));
    Bytes model;
    CheckAgainstModel(f, model, 21, 300);
    f.Close();
    TCFSHugeFile g(dir / "a.cfs", false, false, false, -1);
    ASSERT_TRUE(g.Open(false, false));
    EXPECT_EQ(ReadContainer(g), model);
  }
  {
    // A container behind a 300-byte stub whose header allows 1000-byte parts: the first part
    // holds only 420 container bytes, later parts 720.
    MakeContainer(dir / "b.cfs", ContainerData(400, 5), 1000);
    MakeSelfExtracting(dir / "b.cfs", Pattern(300, 6), dir / "b.exe");
    TCFSHugeFile f(dir / "b.exe", false, false, false, -1);
    ASSERT_TRUE(f.Open(false, false));
    ASSERT_EQ(f.GetBaseOffset(), 300);
    Bytes model = ReadContainer(f);
    CheckAgainstModel(f, model, 22, 300);
    f.Close();
    TCFSHugeFile g(dir / "b.exe", true, false, false, -1);
    ASSERT_TRUE(g.Open(false, false));
    EXPECT_EQ(ReadContainer(g), model);
    if (model.size() > 420) {
      EXPECT_TRUE(platform::FileExists(dir / "b.exe1"));
    }
  }
}

TEST(HugeFile, SeeksAtAndPastTheEnd) {
  ScratchDir dir;
  TCFSHugeFile f(dir / "e.cfs", false, false, false, 1000);
  ASSERT_TRUE(f.Open(true, false));
  const Bytes data = ContainerData(1440, 1);  // exactly fills two parts
  f.WriteBuffer(data.data(), 1440);
  EXPECT_EQ(ReadAll(dir / "e.cfs").size(), 1000u);
  EXPECT_EQ(WrapperNextName(HeaderAt(dir / "e.cfs", 0)), "e.cfs1");
  EXPECT_EQ(ReadAll(dir / "e.cfs1").size(), 1000u);
  std::uint8_t buffer[16];
  for (std::int64_t size : {1440, 1000}) {
    f.SetSize(size);
    EXPECT_EQ(f.Seek(0, 2), size);
    EXPECT_EQ(f.Read(buffer, 16), 0);
    f.Seek(1, 2);
    EXPECT_EQ(ErrorOf([&] { f.Read(buffer, 16); }), "TCFSHugeFile.Read - Stream read error.");
  }
  EXPECT_EQ(ErrorOf([&] { f.Seek(-1, 0); }), "TCFSHugeFile.Seek - Offset < 0 from file beginning.");
  f.SetPosition(990);
  EXPECT_EQ(ErrorOf([&] { f.ReadBuffer(buffer, 16); }), "TCFSHugeFile.ReadBuffer - Stream read error");
  // Writing past the end zero-fills the gap.
  f.SetPosition(1100);
  f.WriteBuffer(buffer, 4);
  EXPECT_EQ(f.GetSize(), 1104);
  f.SetPosition(1000);
  std::uint8_t gap[100];
  f.ReadBuffer(gap, 100);
  EXPECT_TRUE(std::all_of(gap, gap + 100, [](std::uint8_t b) { return b == 0; }));
}

TEST(HugeFile, MemoryPartsKeepTheirDataAcrossReopen) {
  ScratchDir dir;
  const std::string name = dir / "mem.cfs";
  TCFSHugeFile f(name, false, false, true, 1000);
  ASSERT_TRUE(f.Open(true, false));
  const Bytes data = ContainerData(2000, 8);
  f.WriteBuffer(data.data(), 2000);
  EXPECT_EQ(f.PartCount(), 3u);
  EXPECT_FALSE(platform::FileExists(name));
  f.Close();
  ASSERT_TRUE(f.Open(false, false));
  EXPECT_EQ(ReadContainer(f), data);
  f.SetSize(100);
  EXPECT_EQ(f.PartCount(), 1u);

  // A disk container opened in memory: read from disk, changes stay in memory.
  MakeContainer(dir / "disk.cfs", data, 1000);
  TCFSHugeFile g(dir / "disk.cfs", false, false, true, -1);
  ASSERT_TRUE(g.Open(false, false));
  EXPECT_EQ(g.PartCount(), 3u);
  EXPECT_EQ(ReadContainer(g), data);
  g.SetPosition(0);
  g.WriteBuffer("XXXX", 4);
  g.Close();
  EXPECT_EQ(ReadAll(dir / "disk.cfs")[280], 'A');
}

TEST(HugeFile, CreatingReplacesOnlyTheFileAndItsRealParts) {
  ScratchDir dir;
  const std::string name = dir / "x.cfs";
  ASSERT_TRUE(WriteAll(name, Text("not a container")));
  ASSERT_TRUE(WriteAll(dir / "x.cfs1", Text("unrelated")));
  {
    TCFSHugeFile f(name, false, false, false, -1);
    ASSERT_TRUE(f.Open(true, false));
    EXPECT_EQ(f.GetSize(), 0);
  }
  EXPECT_EQ(ReadAll(name).size(), 280u);
  EXPECT_EQ(ReadAll(dir / "x.cfs1"), Text("unrelated"));

  // An old chain is removed, but a link to a file that is no part file is not followed.
  MakeContainer(name, ContainerData(2000, 1), 1000);  // x.cfs, x.cfs2, x.cfs3
  TCFSWrapperHeader header = HeaderAt(dir / "x.cfs2", 0);
  SetWrapperNextName(header, "victim.txt");
  ASSERT_TRUE(Patch(dir / "x.cfs2", 0, Bytes(header.begin(), header.end())));
  ASSERT_TRUE(WriteAll(dir / "victim.txt", Text("keep me")));
  {
    TCFSHugeFile f(name, false, false, false, 1000);
    ASSERT_TRUE(f.Open(true, false));
  }
  EXPECT_FALSE(platform::FileExists(dir / "x.cfs2"));
  EXPECT_TRUE(platform::FileExists(dir / "x.cfs3"));  // no longer linked, so left alone
  EXPECT_EQ(ReadAll(dir / "victim.txt"), Text("keep me"));
}

TEST(HugeFile, DamagedChainsOpenOnlyTolerantly) {
  ScratchDir dir;
  const std::string name = dir / "d.cfs";
  const Bytes data = ContainerData(2000, 2);
  auto reset = [&] {
    for (const char* n : {"d.cfs", "d.cfs1", "d.cfs2"}) platform::DeleteFile(dir / n);
    MakeContainer(name, data, 1000);  // d.cfs, d.cfs1, d.cfs2
  };
  auto setNext = [&](const std::string& part, std::size_t at, const std::string& next) {
    TCFSWrapperHeader h = HeaderAt(part, at);
    SetWrapperNextName(h, next);
    ASSERT_TRUE(Patch(part, static_cast<std::int64_t>(at), Bytes(h.begin(), h.end())));
  };
  struct Case {
    const char* what;
    std::function<void()> damage;
    std::size_t tolerantParts;
  };
  const std::vector<Case> cases = {
      {"missing second part", [&] { platform::DeleteFile(dir / "d.cfs1"); }, 1},
      {"path in next name", [&] { setNext(name, 0, "..\\d.cfs1"); }, 1},
      {"parent as next name", [&] { setNext(name, 0, ".."); }, 1},
      {"cycle", [&] { setNext(dir / "d.cfs1", 0, "d.cfs"); }, 2},
      {"short middle part",
       [&] {
         Bytes part = ReadAll(dir / "d.cfs1");
         part.resize(500);
         ASSERT_TRUE(WriteAll(dir / "d.cfs1", part));
       },
       2},
      {"bad signature in last part", [&] { ASSERT_TRUE(Patch(dir / "d.cfs2", 0, Text("XXXX"))); }, 2},
  };
  for (const auto& c : cases) {
    reset();
    c.damage();
    TCFSHugeFile strict(name, true, false, false, -1);
    EXPECT_FALSE(strict.Open(false, false)) << c.what;
    TCFSHugeFile tolerant(name, true, false, false, -1);
    ASSERT_TRUE(tolerant.Open(false, true)) << c.what;
    EXPECT_EQ(tolerant.PartCount(), c.tolerantParts) << c.what;
    const Bytes got = ReadContainer(tolerant);
    ASSERT_LE(got.size(), data.size()) << c.what;
    EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin())) << c.what;
  }
}

TEST(HugeFile, PartSizeLimits) {
  ScratchDir dir;
  EXPECT_EQ(ErrorOf([&] { TCFSHugeFile f(dir / "p", false, false, false, 379); }),
            "File part size is too small. Minimal part size is 380");
  EXPECT_EQ(ErrorOf([&] { TCFSHugeFile f(dir / "p", false, false, false, -5); }),
            "File part size is too small. Minimal part size is 380");
  TCFSHugeFile ok(dir / "p", false, false, false, 380);
  EXPECT_EQ(ok.GetPartDataSize(), 100);

  // Part sizes read from a header that cannot hold the container behind its leading bytes.
  MakeContainer(dir / "c.cfs", ContainerData(100, 1), -1);
  for (std::int64_t bad : {std::int64_t(0), std::int64_t(-1), std::int64_t(379), std::int64_t(580),
                           std::numeric_limits<std::int64_t>::min()}) {
    MakeSelfExtracting(dir / "c.cfs", Pattern(300, 2), dir / "s.exe");
    Bytes size(8);
    PutLE64(size.data(), static_cast<std::uint64_t>(bad));
    ASSERT_TRUE(Patch(dir / "s.exe", 308, size));
    TCFSHugeFile f(dir / "s.exe", true, false, false, -1);
    EXPECT_FALSE(f.Open(false, true)) << bad;
  }
}

TEST(HugeFile, RandomlyCorruptedHeadersNeverCrash) {
  ScratchDir dir;
  const std::string name = dir / "z.cfs";
  const Bytes data = ContainerData(1500, 3);
  MakeContainer(name, data, 600);  // four parts
  const std::vector<std::string> parts = {name, dir / "z.cfs1", dir / "z.cfs2", dir / "z.cfs3"};
  std::vector<Bytes> originals;
  for (const auto& p : parts) originals.push_back(ReadAll(p));
  std::mt19937 rng(77);
  for (int round = 0; round < 200; ++round) {
    for (std::size_t i = 0; i < parts.size(); ++i) {
      Bytes b = originals[i];
      for (int flips = rng() % 6; flips > 0; --flips) b[rng() % 300] = static_cast<std::uint8_t>(rng());
      if (rng() % 8 == 0) b.resize(rng() % b.size());
      ASSERT_TRUE(WriteAll(parts[i], b));
    }
    TCFSHugeFile f(name, false, false, round % 2 == 1, -1);
    if (!f.Open(false, true)) continue;
    Bytes all(static_cast<std::size_t>(std::min<std::int64_t>(f.GetSize(), 1 << 20)));
    f.SetPosition(0);
    EXPECT_EQ(f.Read(all.data(), static_cast<std::int32_t>(all.size())), static_cast<std::int32_t>(all.size()));
    f.SetPosition(f.GetSize());
    f.WriteBuffer("tail", 4);
    f.SetSize(f.GetSize() / 2);
  }
}
