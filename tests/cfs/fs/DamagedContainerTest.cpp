// Containers damaged at random, as a download cut short or a bad disk leaves them: opening and
// exporting one either raises an Exception, names the files it cannot give back, or gives back
// exactly what was stored. No damage may write outside the export folder, and none may crash,
// hang or ask for a huge allocation (the sanitizer builds run this too).
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "tests/cfs/fs/FSTestUtil.h"

using namespace storagetest;

namespace {

const std::map<std::string, Bytes> kFiles = {
    {"a.txt", Text(std::string(3000, 'a') + "tail")},
    {"empty.bin", {}},
    {"sub\\b.bin", Pattern(70000, 5)},
    {"sub\\deep\\c.txt", Text("deep inside")},
    {"sub\\deep\\\xD6\xD0\xCE\xC4.ini", Text("[chinese]\r\nname=1\r\n")},
};

// The container made from kFiles with the given default method and password.
Bytes MakeContainer(std::uint8_t method, const std::string& password) {
  ScratchDir dir;
  const std::string src = dir / "src\\";
  for (const auto& [name, data] : kFiles) {
    EXPECT_TRUE(platform::ForceDirectories(platform::ExtractFilePath(src + name)));
    EXPECT_TRUE(WriteAll(src + name, data));
  }
  {
    TContainerFS fs(dir / "c.cfs", kModeCreate, password, "", "", method);
    fs.ImportFiles(src + "*.*", "", platform::kAttrAnyFile, true, TExistingFiles::Overwrite, false);
    EXPECT_FALSE(fs.LastImportError().Failed) << fs.LastImportError().Message;
  }
  return ReadAll(dir / "c.cfs");
}

// One random kind of damage: flipped bits anywhere or in the header, a 32-bit field set to a
// value that sizes and page numbers often trip over, or a cut.
Bytes Damage(Bytes data, std::mt19937& rng) {
  const auto at = [&](std::size_t limit) { return static_cast<std::size_t>(rng() % limit); };
  switch (rng() % 4) {
    case 0:
      for (int n = 1 + static_cast<int>(rng() % 4); n > 0; --n) data[at(data.size())] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
      break;
    case 1:
      data[at(256)] ^= static_cast<std::uint8_t>(1 + rng() % 255);
      break;
    case 2: {
      static const std::uint32_t kValues[] = {0, 1, 2, 0x7F, 0x80, 0xFFF, 0x1000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFFE};
      const std::uint32_t v = kValues[rng() % std::size(kValues)];
      const std::size_t p = at(data.size() - 3) & ~std::size_t{3};
      for (int i = 0; i < 4; ++i) data[p + i] = static_cast<std::uint8_t>(v >> (8 * i));
      break;
    }
    default:
      data.resize(at(data.size()));
      break;
  }
  return data;
}

std::set<std::string> Names(const std::string& folder) {
  std::vector<platform::DirEntry> entries;
  platform::ListDirectory(folder + "*.*", platform::kAttrAnyFile, entries);
  std::set<std::string> names;
  for (const auto& e : entries)
    if (e.name != "." && e.name != "..") names.insert(e.name);
  return names;
}

void ExpectDamageHandled(std::uint8_t method, const std::string& password, int rounds, unsigned seed) {
  const Bytes original = MakeContainer(method, password);
  ASSERT_GT(original.size(), 4096u * 4);
  std::mt19937 rng(seed);
  int failed = 0;
  for (int round = 0; round < rounds; ++round) {
    ScratchDir dir;
    ASSERT_TRUE(WriteAll(dir / "damaged.cfs", Damage(original, rng)));
    const std::string out = dir / "out\\";
    std::int32_t exported = -1;
    try {
      TContainerFS fs(dir / "damaged.cfs", 0, password, "", "", 0);
      exported = fs.ExportFiles("*.*", out, platform::kAttrAnyFile, true, TExistingFiles::Overwrite);
      if (!fs.LastExportFailures().empty()) ++failed;  // named, and the rest written
    } catch (const Exception&) {
      ++failed;
    } catch (const std::exception& e) {
      ADD_FAILURE() << "round " << round << ": not a clear error: " << e.what();
    }
    for (const std::string& name : Names(dir.Path()))
      EXPECT_TRUE(name == "damaged.cfs" || name == "out") << "round " << round << ": " << name << " written outside";
    // Whatever came out without an error is what went in.
    for (const auto& [name, data] : kFiles) {
      if (platform::FileExists(out + name) && exported >= 0) {
        EXPECT_EQ(ReadAll(out + name), data) << "round " << round << ": " << name << " exported wrong";
      }
    }
    if (exported >= 0) {
      for (const std::string& top : Names(out))
        EXPECT_TRUE(top == "a.txt" || top == "empty.bin" || top == "sub") << "round " << round << ": " << top;
    }
  }
  // The damage is not all harmless: most rounds must have been refused.
  EXPECT_GT(failed, rounds / 4);
}

}  // namespace

TEST(DamagedContainer, RandomDamageFailsCleanlyOrExportsExactly) {
  ExpectDamageHandled(9, "", 200, 1);
}

TEST(DamagedContainer, RandomDamageToAnEncryptedContainer) {
  ExpectDamageHandled(1, "secret", 200, 2);
}
