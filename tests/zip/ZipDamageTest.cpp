// Updating archives damaged at random (the dated zip of an earlier run, cut short or changed on
// disk): the run either raises a zip error and leaves the file exactly as it was, or writes an
// archive whose directory holds the new entry. Never a crash, a hang or a huge allocation.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "tests/zip/ZipTestUtil.h"
#include "zip/ZipWriter.h"

using namespace ziptest;

namespace {

// Entry names of the central directory, every field checked against the archive's bounds;
// empty when the directory cannot be walked.
std::set<std::string> DirectoryNames(const std::string& zip) {
  if (zip.size() < 22) return {};
  std::size_t end = zip.size() - 22;
  while (end > 0 && U32(zip, end) != 0x06054B50u) --end;
  if (U32(zip, end) != 0x06054B50u) return {};
  std::size_t pos = U32(zip, end + 16);
  std::set<std::string> names;
  for (unsigned i = 0, count = U16(zip, end + 10); i < count; ++i) {
    if (pos + 46 > end || U32(zip, pos) != 0x02014B50u) return {};
    const std::size_t n = U16(zip, pos + 28), x = U16(zip, pos + 30), c = U16(zip, pos + 32);
    if (pos + 46 + n > end) return {};
    names.insert(zip.substr(pos + 46, n));
    pos += 46 + n + x + c;
  }
  return names;
}

std::string Damage(std::string z, std::mt19937& rng) {
  const auto at = [&](std::size_t limit) { return static_cast<std::size_t>(rng() % limit); };
  switch (rng() % 4) {
    case 0:
      for (int n = 1 + static_cast<int>(rng() % 3); n > 0; --n) z[at(z.size())] ^= static_cast<char>(1u << (rng() % 8));
      break;
    case 1:  // the records at the end: directory and end record
      z[z.size() - 1 - at(std::min<std::size_t>(z.size(), 160))] ^= static_cast<char>(1 + rng() % 255);
      break;
    case 2: {
      static const std::uint32_t kValues[] = {0, 1, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF, 0x06054B50, 0x02014B50, 0x04034B50};
      const std::uint32_t v = kValues[rng() % std::size(kValues)];
      const std::size_t p = at(z.size() - 3);
      for (int i = 0; i < 4; ++i) z[p + i] = static_cast<char>(v >> (8 * i));
      break;
    }
    default:
      z.resize(at(z.size()));
      break;
  }
  return z;
}

}  // namespace

TEST(ZipDamage, UpdatingARandomlyDamagedArchiveFailsCleanlyOrAddsTheFile) {
  ScratchDir dir;
  const std::string a = dir / "a.txt", b = dir / "b.bin", c = dir / "c.txt";
  ASSERT_TRUE(WriteFile(a, TextBytes(5000)));
  ASSERT_TRUE(WriteFile(b, NoiseBytes(3000, 9)));
  ASSERT_TRUE(WriteFile(c, "the new entry"));
  const std::string good = dir / "good.zip";
  {
    TZipWriter zip;
    zip.FilesList.Add(platform::Cp936ToUtf16(a));
    zip.FilesList.Add(platform::Cp936ToUtf16(b));
    zip.SetZipName(platform::Cp936ToUtf16(good));
    ASSERT_EQ(zip.Zip(), 2);
  }
  const std::string original = ReadFile(good);
  const std::string temps = dir / "tmp\\";
  ASSERT_TRUE(platform::ForceDirectories(temps));
  std::mt19937 rng(77);
  int refused = 0;
  for (int round = 0; round < 300; ++round) {
    const std::string damaged = Damage(original, rng);
    const std::string path = dir / "d.zip";
    ASSERT_TRUE(WriteFile(path, damaged));
    TZipWriter zip;
    zip.TempPath = platform::Cp936ToUtf16(temps);
    zip.FilesList.Add(platform::Cp936ToUtf16(c));
    zip.SetZipName(platform::Cp936ToUtf16(path));
    try {
      zip.Zip();
      EXPECT_EQ(DirectoryNames(ReadFile(path)).count("c.txt"), 1u) << "round " << round;
    } catch (const Exception&) {
      ++refused;
      EXPECT_EQ(ReadFile(path), damaged) << "round " << round << ": a refused archive was changed";
    } catch (const std::exception& e) {
      ADD_FAILURE() << "round " << round << ": not a zip error: " << e.what();
    }
  }
  EXPECT_GT(refused, 0);
}
