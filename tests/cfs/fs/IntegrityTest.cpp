// Damage that page checksums cannot see: page header bytes, directories whose items do not form
// a tree or share pages, folders nested beyond any export, and keys from wrong passwords that
// pass the password record's 16-bit check. None of them may pass as good data.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "cfs/codecs/cipher/CFSChecksum.h"
#include "cfs/codecs/cipher/CFSCipher.h"
#include "cfs/engine/CFSHeader.h"
#include "cfs/fs/CFSFileStream.h"
#include "cfs/fs/ConsistencyCheck.h"
#include "cfs/fs/ContainerWalk.h"
#include "platform/FileSystem.h"
#include "tests/cfs/fs/ForgedPasswordRecord.h"
#include "tests/cfs/fs/FSTestUtil.h"

using namespace storagetest;
using namespace fstest;

namespace {

// The container's bytes start behind the storage file's wrapper header.
constexpr std::int64_t kWrapper = 280;

std::int32_t FirstDataPage(TContainerFS& fs, const std::string& name) {
  const TCFSDirItem item = fs.Directory().ReadItem(fs.Directory().FindItem(name));
  TIntegerArray* maps = nullptr;
  TIntegerArray* data = nullptr;
  fs.PageMaps().GetMaps(item, maps, data);
  return (*data)[0];
}

Bytes ReadStream(TContainerFS& fs, const std::string& name) {
  TCFSFileStream s(&fs, name, 0, "", "", "", 0);
  Bytes out(static_cast<std::size_t>(s.GetSize()));
  s.ReadBuffer(out.data(), static_cast<std::int32_t>(out.size()));
  return out;
}

// All problems found, one per line, for messages.
std::string ProblemText(TContainerFS& fs) {
  std::string text;
  for (const TCFSConsistencyProblem& p : CheckConsistency(fs)) text += p.Path + ": " + p.Text + "\n";
  return text;
}

// In an enciphered file a page marked plain may only hold the zeros of a page appended and never
// written; marked plain over ciphertext, it is refused instead of being handed out.
TEST(Integrity, PlainMarkedPageInAnEncipheredFileIsDamage) {
  ScratchDir dir;
  const std::string c = dir / "c.cfs";
  const Bytes packed = Compressible(9000, 3), raw = Pattern(9000, 4);
  std::int32_t packedPage = 0, rawPage = 0;
  {
    TContainerFS fs(c, kModeCreate, "secret", "", "", 1);
    {
      TCFSFileStream s(&fs, "\\packed.bin", kModeCreate, "", "", "", 1);
      s.WriteBuffer(packed.data(), std::int32_t(packed.size()));
    }
    WriteWhole(fs, "\\raw.bin", raw);
    // Grown past its end: the pages in between stay plain zeros until written.
    const std::int32_t h = fs.FileOpen("\\grown.bin", kModeCreate, "", "", "");
    ASSERT_GE(h, 0);
    fs.FileSeek(h, 0, 3 * 4064 + 10);
    ASSERT_EQ(fs.FileWrite(h, "end", 3), 3);
    fs.FileClose(h);
    packedPage = FirstDataPage(fs, "\\packed.bin");
    rawPage = FirstDataPage(fs, "\\raw.bin");
  }
  for (std::int32_t page : {packedPage, rawPage}) ASSERT_TRUE(Patch(c, kWrapper + std::int64_t(page) * 4096 + 9, {0}));

  TContainerFS fs(c, 0, "secret", "", "", 0);
  Bytes grown(3 * 4064 + 10, 0);
  grown.insert(grown.end(), {'e', 'n', 'd'});
  EXPECT_TRUE(ReadWhole(fs, "\\grown.bin") == grown);
  for (const char* name : {"\\packed.bin", "\\raw.bin"}) {
    const std::int32_t h = fs.FileOpen(name, 0, "", "", "");
    Bytes buffer(9000);
    EXPECT_EQ(fs.FileRead(h, buffer.data(), 9000), 0) << name;
    EXPECT_EQ(fs.LastError(), kPageErrDecrypt) << name;
    fs.FileClose(h);
    EXPECT_NE(ErrorOf([&] { ReadStream(fs, name); }), "<no error>") << name;
  }
  // The export names both and writes the good one.
  fs.ExportFiles("*.*", dir / "out", platform::kAttrAnyFile, true, TExistingFiles::Overwrite);
  std::vector<std::string> failed;
  for (const TCFSExportFailure& f : fs.LastExportFailures()) failed.push_back(f.FileName);
  std::sort(failed.begin(), failed.end());
  EXPECT_EQ(failed, (std::vector<std::string>{"packed.bin", "raw.bin"}));
  EXPECT_TRUE(platform::FileExists(dir / "out\\grown.bin"));
  EXPECT_FALSE(platform::FileExists(dir / "out\\raw.bin"));
}

// Directories that no engine writes, each changed in place with valid page checksums: every one
// is found by the consistency check, named, and refused by the export before it writes a byte.
// The same container untouched (with a deleted item in it) passes.
TEST(Integrity, MalformedDirectoriesAreNamedAndRefusedByExport) {
  ScratchDir dir;
  const std::string base = dir / "base.cfs";
  {
    TContainerFS fs(base, kModeCreate, "", "", "", 1);
    ASSERT_TRUE(fs.ForceDirectories("a"));
    ASSERT_TRUE(fs.ForceDirectories("b"));
    WriteWhole(fs, "a\\x.txt", Text("xxxx"));
    WriteWhole(fs, "a\\y.txt", Text("yyyy"));
    WriteWhole(fs, "b\\z.txt", Text("zzzz"));
    WriteWhole(fs, "gone.txt", Text("gone"));
    ASSERT_TRUE(fs.DeleteFile("gone.txt"));
    // Two-byte names whose trail bytes differ only as ASCII letters would are different names.
    WriteWhole(fs, "b\\\x81\x61.txt", Text("1"));
    WriteWhole(fs, "b\\\x81\x41.txt", Text("2"));
  }
  {
    TContainerFS fs(base, 0, "", "", "", 0);
    EXPECT_EQ(ProblemText(fs), "");
    EXPECT_EQ(fs.ExportFiles("*.*", dir / "good", platform::kAttrAnyFile, true, TExistingFiles::Overwrite), 5);
  }
  auto set = [](TDIRManager& d, std::int32_t n, const std::function<void(TCFSDirItem&)>& f) {
    TCFSDirItem item = d.ReadItem(n);
    f(item);
    d.WriteItem(n, item);
  };
  const struct {
    const char* what;
    std::vector<std::string> named;
    std::function<void(TDIRManager&)> change;
  } cases[] = {
      {"two folders that are each other's parent", {"\"a\"", "\"b\"", "\"x.txt\""},
       [&](TDIRManager& d) {
         const std::int32_t a = d.FindItem("\\a"), b = d.FindItem("\\b");
         set(d, a, [&](TCFSDirItem& i) { i.Parent = b; });
         set(d, b, [&](TCFSDirItem& i) { i.Parent = a; });
       }},
      {"a parent that is a file", {"x.txt", "parent is a file"},
       [&](TDIRManager& d) {
         const std::int32_t y = d.FindItem("\\a\\y.txt");
         set(d, d.FindItem("\\a\\x.txt"), [&](TCFSDirItem& i) { i.Parent = y; });
       }},
      {"a folder flag on a file with pages", {"a\\x.txt", "folder that owns data"},
       [&](TDIRManager& d) {
         set(d, d.FindItem("\\a\\x.txt"), [](TCFSDirItem& i) {
           i.IsFolder = true;
           i.Attributes |= TCFSDirItem::kFolderAttribute;
         });
       }},
      {"a file and a folder of one name", {"same name"},
       [&](TDIRManager& d) { set(d, d.FindItem("\\b\\z.txt"), [](TCFSDirItem& i) { i.Parent = -1, i.Name = "a"; }); }},
      {"two files whose names differ in case", {"a\\X.TXT", "same name"},
       [&](TDIRManager& d) { set(d, d.FindItem("\\a\\y.txt"), [](TCFSDirItem& i) { i.Name = "X.TXT"; }); }},
      {"two files sharing pages", {"also owned by"},
       [&](TDIRManager& d) {
         const TCFSDirItem x = d.ReadItem(d.FindItem("\\a\\x.txt"));
         set(d, d.FindItem("\\a\\y.txt"), [&](TCFSDirItem& i) { i.FirstMapPageNo = x.FirstMapPageNo; });
       }},
  };
  for (const auto& k : cases) {
    const std::string c = dir / "c.cfs";
    ASSERT_TRUE(WriteAll(c, ReadAll(base)));
    {
      TContainerFS fs(c, 2, "", "", "", 0);
      k.change(fs.Directory());
    }
    TContainerFS fs(c, 0, "", "", "", 0);
    const std::string problems = ProblemText(fs);
    const std::string error =
        ErrorOf([&] { fs.ExportFiles("*.*", dir / "out", platform::kAttrAnyFile, true, TExistingFiles::Overwrite); });
    for (const std::string& name : k.named) {
      EXPECT_NE(problems.find(name), std::string::npos) << k.what << ":\n" << problems;
      EXPECT_NE(error.find(name), std::string::npos) << k.what << ": " << error;
    }
    EXPECT_FALSE(platform::DirectoryExists(dir / "out")) << k.what;
  }
}

// A directory of `depth` folders each inside the one before, written as whole directory pages
// (adding the items one by one would take the test's time), then opened again.
std::unique_ptr<TContainerFS> NestedFolders(const std::string& file, std::int32_t depth) {
  {
    TContainerFS fs(file, kModeCreate, "", "", "", 1);
    TDIRManager& d = fs.Directory();
    TPageFileManager& pf = fs.PageFile();
    const std::int32_t perPage = d.ItemsPerPage();
    TCFSDirItem item;
    item.Name = "d";
    item.IsFolder = true;
    item.Attributes = TCFSDirItem::kFolderAttribute;
    EXPECT_TRUE(d.AddItem(item));
    const std::int32_t pageCount = (depth + perPage - 1) / perPage;
    TIntegerArray pages;
    pages.Add(d.PageList()[0]);
    TIntegerArray more;
    EXPECT_TRUE(fs.FreeSpace().GetPages(pageCount - 1, pages[0] + 1, more, false));
    for (std::int32_t i = 0; i < more.Count(); ++i) pages.Add(more[i]);
    TCFSPageRec rec;
    pf.InitPageRecord(rec);
    for (std::int32_t k = 0; k < pageCount; ++k) {
      rec.Header = TCFSPageHeader{};
      rec.Header.PageType = kPageTypeDirectory;
      rec.Header.NextPage = k + 1 < pageCount ? pages[k + 1] : -1;
      std::fill(rec.Buffer.begin(), rec.Buffer.end(), 0);
      rec.Data = rec.Buffer;
      for (std::int32_t s = 0; s < perPage && k * perPage + s < depth; ++s) {
        item.Parent = k * perPage + s - 1;
        item.Serialize(rec.Buffer.data() + s * TCFSDirItem::kSize);
      }
      EXPECT_TRUE(pf.WritePage(rec, pages[k], {}, perPage * std::int32_t(TCFSDirItem::kSize)));
    }
    pf.Header().SetDIRPageCount(pageCount);
    pf.Header().SetDIRItemCount(depth);
    pf.SaveHeader();
  }
  return std::make_unique<TContainerFS>(file, 0, "", "", "", 0);
}

}  // namespace

// A chain of folders far deeper than any export follows: the walk stays flat on the stack and
// stops at the export's depth, the check names the first folder too deep, the export refuses.
TEST(Integrity, DeepNestingIsWalkedWithoutRecursionUpToTheExportDepth) {
  ScratchDir dir;
  const auto container = NestedFolders(dir / "c.cfs", 20000);
  TContainerFS& fs = *container;
  ASSERT_EQ(fs.Directory().ItemCount(), 20000);
  std::int32_t folders = 0;
  std::vector<std::string> tooDeep;
  WalkContainer(
      fs, [&](const TCFSWalkEntry&) { ++folders; }, [&](const std::string& path) { tooDeep.push_back(path); });
  EXPECT_EQ(folders, 201);
  ASSERT_EQ(tooDeep.size(), 1u);
  EXPECT_EQ(tooDeep[0].size(), 201u * 2);
  EXPECT_NE(ErrorOf([&] { WalkContainer(fs, [](const TCFSWalkEntry&) {}); }).find("nested too deep"), std::string::npos);

  const auto problems = CheckConsistency(fs);
  ASSERT_EQ(problems.size(), 1u) << ProblemText(fs);
  EXPECT_EQ(problems[0].Item, 200);
  EXPECT_NE(problems[0].Text.find("nested deeper"), std::string::npos);
  EXPECT_NE(ErrorOf([&] {
              fs.ExportFiles("*.*", dir / "out", platform::kAttrAnyFile, true, TExistingFiles::Overwrite);
            }).find("nested deeper"),
            std::string::npos);
}

// About one wrong password in 65,536 passes the password record's check. Made to pass here by
// rewriting the record's check value for it: its key deciphers the directory into garbage,
// which counts as a wrong password, never as a damaged container.
TEST(Integrity, WrongPasswordPassingTheRecordCheckIsStillWrong) {
  ScratchDir dir;
  const std::string c = dir / "c.cfs";
  {
    TContainerFS fs(c, kModeCreate, "right", "", "", 1);
    WriteWhole(fs, "\\f.txt", Text("content"));
  }
  const std::optional<TCFSPasswordRec> rec = fstest::ForgeRecordFor(c, "wrong", kWrapper);
  ASSERT_TRUE(rec);

  std::string derived;
  ASSERT_TRUE(CheckPasswordRec(*rec, "wrong", derived));  // the record alone is fooled
  EXPECT_FALSE(CheckContainerPassword(c, "wrong"));
  EXPECT_NE(ErrorOf([&] { TContainerFS(c, 0, "wrong", "", "", 0); }).find("invalid password"), std::string::npos);
  EXPECT_THROW(TContainerFS(c, 0, "wrong", "", "", 0), ECFSWrongPassword);
}
