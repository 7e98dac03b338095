#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "cfs/index/DIRArray.h"
#include "platform/Exception.h"
#include "platform/Text.h"
#include "tests/cfs/index/DirItemMaker.h"
#include "tests/support/Exceptions.h"

namespace {

using testsupport::ErrorOf;

// Both indexes hold exactly the live items, in key order.
void ExpectIndexesConsistent(const TDIRArray& d) {
  std::multiset<int> live;
  for (int i = 0; i < d.ItemCount(); ++i) {
    if (!d.Item(i).IsDeleted) live.insert(i);
  }
  for (const TIntegerArray* index : {&d.NameIndex(), &d.ParentIndex()}) {
    std::multiset<int> held;
    for (int i = 0; i < index->Count(); ++i) held.insert((*index)[i]);
    EXPECT_EQ(held, live);
  }
  EXPECT_EQ(d.IndexedCount(), static_cast<int>(live.size()));
  // Names ascend case-insensitively; equal names ascend by parent.
  for (int i = 1; i < d.NameIndex().Count(); ++i) {
    const TCFSDirItem& a = d.Item(d.NameIndex()[i - 1]);
    const TCFSDirItem& b = d.Item(d.NameIndex()[i]);
    const int c = platform::CompareTextCp936(a.Name, b.Name);
    EXPECT_TRUE(c < 0 || (c == 0 && a.Parent <= b.Parent)) << a.Name << "/" << a.Parent << " before " << b.Name << "/" << b.Parent;
  }
  for (int i = 1; i < d.ParentIndex().Count(); ++i) {
    EXPECT_LE(d.Item(d.ParentIndex()[i - 1]).Parent, d.Item(d.ParentIndex()[i]).Parent);
  }
}

// \docs            0
// \docs\a.txt      1
// \docs\sub        2
// \docs\sub\b.txt  3
// \a.txt           4
// \docs\sub\A.TXT  5
// \B.txt           6
class DIRArrayTree : public ::testing::Test {
 protected:
  void SetUp() override {
    d.AddItem(FolderItem("docs", -1));
    d.AddItem(FileItem("a.txt", 0));
    d.AddItem(FolderItem("sub", 0));
    d.AddItem(FileItem("b.txt", 2));
    d.AddItem(FileItem("a.txt", -1));
    d.AddItem(FileItem("A.TXT", 2));
    d.AddItem(FileItem("B.txt", -1));
  }
  TDIRArray d{7, 70};
};

TEST_F(DIRArrayTree, IndexesAreSortedCaseInsensitively) {
  ExpectIndexesConsistent(d);
  EXPECT_EQ(d.ItemCount(), 7);
  EXPECT_EQ(d.IndexedCount(), 7);
  // a.txt x3, b.txt x2, docs, sub.
  EXPECT_EQ(d.Item(d.NameIndex()[5]).Name, "docs");
  EXPECT_EQ(d.Item(d.NameIndex()[6]).Name, "sub");
}

TEST_F(DIRArrayTree, ResolvePathWalksNamesDotsAndSeparators) {
  EXPECT_EQ(d.ResolvePath("\\docs\\a.txt", -1), 1);
  EXPECT_EQ(d.ResolvePath("/DOCS/A.TXT", 3), 1);  // absolute ignores the start item
  EXPECT_EQ(d.ResolvePath("a.txt", 0), 1);
  EXPECT_EQ(d.ResolvePath("a.txt", -1), 4);
  EXPECT_EQ(d.ResolvePath("docs\\sub\\a.txt", -1), 5);  // third of a run of equal names
  EXPECT_EQ(d.ResolvePath("sub\\..\\a.txt", 0), 1);
  EXPECT_EQ(d.ResolvePath("docs\\..", -1), -1);
  EXPECT_EQ(d.ResolvePath("docs\\sub\\..", -1), 0);
  EXPECT_EQ(d.ResolvePath("docs\\a.txt\\..", -1), 0);  // intermediate items need not be folders
  EXPECT_EQ(d.ResolvePath("docs\\sub\\", -1), 2);  // a trailing separator ends the walk
  EXPECT_EQ(d.ResolvePath("\\", 2), -1);
  EXPECT_EQ(d.ResolvePath("/", 2), -1);
  EXPECT_EQ(d.ResolvePath("..\\docs", -1), 0);  // the root is its own parent
}

TEST_F(DIRArrayTree, ResolvePathFailures) {
  EXPECT_EQ(d.ResolvePath("", -1), -2);
  EXPECT_EQ(d.ResolvePath("docs", -2), -2);
  EXPECT_EQ(d.ResolvePath("docs", 7), -2);
  EXPECT_EQ(d.ResolvePath("docs\\\\a.txt", -1), -2);
  EXPECT_EQ(d.ResolvePath("\\\\docs", -1), -2);
  EXPECT_EQ(d.ResolvePath("missing", -1), -2);
  EXPECT_EQ(d.ResolvePath("docs\\b.txt", -1), -3);  // exists, but in another folder
  EXPECT_EQ(d.ResolvePath("b.txt", 0), -3);
}

TEST_F(DIRArrayTree, GetItemPath) {
  EXPECT_EQ(d.GetItemPath(3), "\\docs\\sub\\b.txt");
  EXPECT_EQ(d.GetItemPath(0), "\\docs");
  EXPECT_EQ(d.GetItemPath(-1), "\\");
  EXPECT_EQ(d.GetItemPath(7), "\\");
}

TEST_F(DIRArrayTree, ReadUpdateAndSizeMessages) {
  TCFSDirItem item;
  EXPECT_EQ(ErrorOf([&] { d.ReadItem(7, item); }), "TDIRArray.ReadItem - invalid itemNo = 7");
  EXPECT_EQ(ErrorOf([&] { d.ReadItem(-1, item); }), "TDIRArray.ReadItem - invalid itemNo = -1");
  EXPECT_EQ(ErrorOf([&] { d.UpdateItem(item, 9); }), "TDIRArray.UpdateItem - invalid itemNo = 9");
  EXPECT_EQ(ErrorOf([&] { d.SetSize(3); }),
            "TDIRArray.SetSize - newSize < itemCount error.  newSize = 3 itemCount = 7");
  d.ReadItem(3, item);
  EXPECT_EQ(item.Name, "b.txt");
  d.SetSize(100);
  EXPECT_GE(d.Capacity(), 100);
  EXPECT_EQ(d.ItemCount(), 7);
  d.SetSize(0);
  EXPECT_EQ(d.ItemCount(), 0);
  EXPECT_EQ(d.IndexedCount(), 0);
  EXPECT_EQ(d.ResolvePath("docs", -1), -2);
}

TEST_F(DIRArrayTree, UpdateItemMovesRenamesDeletesAndRestores) {
  // Move b.txt from sub to the root under a new name.
  TCFSDirItem item = d.Item(3);
  item.Name = "zz.txt";
  item.Parent = -1;
  d.UpdateItem(item, 3);
  ExpectIndexesConsistent(d);
  EXPECT_EQ(d.ResolvePath("\\zz.txt", -1), 3);
  EXPECT_EQ(d.ResolvePath("\\docs\\sub\\b.txt", -1), -3);  // B.txt at the root still has the name

  // Deleting keeps the number; the name no longer resolves.
  d.UpdateItem(Deleted(d.Item(0)), 0);
  ExpectIndexesConsistent(d);
  EXPECT_EQ(d.ItemCount(), 7);
  EXPECT_EQ(d.IndexedCount(), 6);
  EXPECT_EQ(d.ResolvePath("docs", -1), -2);
  EXPECT_EQ(d.Item(0).Name, "docs");

  // A deleted slot reused for a new item.
  d.UpdateItem(FileItem("new", 2), 0);
  ExpectIndexesConsistent(d);
  EXPECT_EQ(d.ResolvePath("new", 2), 0);

  // Deleted -> deleted changes nothing in the indexes.
  d.UpdateItem(Deleted(d.Item(6)), 6);
  d.UpdateItem(Deleted(FileItem("other", -1)), 6);
  ExpectIndexesConsistent(d);
  EXPECT_EQ(d.IndexedCount(), 6);
}

TEST(DIRArray, AddingDeletedItemsLeavesThemOutOfTheIndexes) {
  TDIRArray d(7, 70);
  EXPECT_EQ(d.AddItem(Deleted(FileItem("gone", -1))), 0);
  EXPECT_EQ(d.AddItem(FileItem("here", -1)), 1);
  EXPECT_EQ(d.ItemCount(), 2);
  EXPECT_EQ(d.IndexedCount(), 1);
  EXPECT_EQ(d.ResolvePath("gone", -1), -2);
  EXPECT_EQ(d.ResolvePath("here", -1), 1);
}

TEST(DIRArray, ItemsAddedFromTheArrayItselfAndOverlongNames) {
  TDIRArray d(1, 4);
  d.AddItem(FileItem(std::string(300, 'n'), -1));
  EXPECT_EQ(d.Item(0).Name, std::string(259, 'n'));
  EXPECT_EQ(d.ResolvePath(std::string(280, 'n'), -1), 0);  // segments are cut the same way
  for (int i = 1; i < 40; ++i) {
    ASSERT_EQ(d.AddItem(d.Item(i - 1)), i);  // the storage grows under the reference
  }
  EXPECT_EQ(d.Item(39).Name, std::string(259, 'n'));
  d.UpdateItem(d.Item(5), 5);
  EXPECT_EQ(d.IndexedCount(), 40);
}

// Random adds and updates against the consistency rules: the indexes must never lose or
// duplicate an item whatever the sequence of renames, moves, deletions and restorations.
TEST(DIRArray, RandomUpdatesKeepIndexesConsistent) {
  std::mt19937 rng(12345);
  const std::vector<std::string> names = {"a", "A", "b", "Bb", "bB", "\xD6\xD0", "\xD6\x5C", "z",
                                          "readme.txt", "README.TXT"};
  TDIRArray d(7, 70);
  for (int step = 0; step < 2000; ++step) {
    TCFSDirItem item = FileItem(names[rng() % names.size()],
                                d.ItemCount() == 0 ? -1 : static_cast<int>(rng() % d.ItemCount()) - 1);
    item.IsDeleted = rng() % 5 == 0;
    if (d.ItemCount() < 20 || rng() % 4 == 0) {
      d.AddItem(item);
    } else {
      d.UpdateItem(item, static_cast<int>(rng() % d.ItemCount()));
    }
    if (step % 50 == 0) ExpectIndexesConsistent(d);
  }
  ExpectIndexesConsistent(d);
  // Every name looked up in every folder, against a scan of all items: a live item of that name
  // in the folder is found, a name living only in other folders gives -3, an unknown name -2.
  for (int folder = -1; folder < d.ItemCount(); ++folder) {
    for (const std::string& name : names) {
      bool here = false, elsewhere = false;
      for (int i = 0; i < d.ItemCount(); ++i) {
        if (d.Item(i).IsDeleted || !platform::SameTextCp936(d.Item(i).Name, name)) continue;
        (d.Item(i).Parent == folder ? here : elsewhere) = true;
      }
      const std::int32_t found = d.ResolvePath(name, folder);
      if (here) {
        ASSERT_GE(found, 0) << name << " in " << folder;
        EXPECT_TRUE(platform::SameTextCp936(d.Item(found).Name, name));
        EXPECT_EQ(d.Item(found).Parent, folder);
        EXPECT_FALSE(d.Item(found).IsDeleted);
      } else {
        EXPECT_EQ(found, elsewhere ? -3 : -2) << name << " in " << folder;
      }
    }
  }
}

TEST(DIRArray, DamagedParentChainsEndInsteadOfLooping) {
  TDIRArray d(7, 70);
  d.AddItem(FileItem("x", 1));       // 0 -> 1
  d.AddItem(FileItem("y", 0));       // 1 -> 0: a cycle
  d.AddItem(FileItem("self", 2));    // names itself as parent
  d.AddItem(FileItem("far", 1000));  // parent beyond the directory
  d.AddItem(FileItem("low", -7));    // parent below the root
  d.AddItem(FileItem("under", 3));
  EXPECT_EQ(d.GetItemPath(0), "\\y\\x");
  EXPECT_EQ(d.GetItemPath(1), "\\x\\y");
  EXPECT_EQ(d.GetItemPath(2), "\\self");
  EXPECT_EQ(d.GetItemPath(5), "\\far\\under");
  EXPECT_EQ(d.GetItemPath(4), "\\low");
  EXPECT_EQ(d.ResolvePath("..", 3), -3);
  EXPECT_EQ(d.ResolvePath("..", 4), -3);
  EXPECT_EQ(d.ResolvePath("under\\..\\..", 3), -3);
  EXPECT_EQ(d.ResolvePath("..\\..\\..\\..", 0), 0);  // walks the cycle a bounded number of steps
}

TEST(DIRArray, TwoByteNamesAndTrailBytesThatLookLikeSeparators) {
  TDIRArray d(7, 70);
  // \xD6\x5C is one character whose second byte is "\"; "x" plus it is a second name.
  d.AddItem(FolderItem("\xD6\x5C", -1));
  d.AddItem(FileItem("\xD6\xD0\xCE\xC4.txt", 0));  // two characters and an extension
  d.AddItem(FileItem("x\xD6\x5C", 0));
  EXPECT_EQ(d.ResolvePath("\\\xD6\x5C", -1), 0);
  EXPECT_EQ(d.ResolvePath("\\\xD6\x5C\\", -1), 0);
  EXPECT_EQ(d.ResolvePath("\xD6\x5C\\\xD6\xD0\xCE\xC4.txt", -1), 1);
  EXPECT_EQ(d.ResolvePath("\xD6\x5C/x\xD6\x5C", -1), 2);
  EXPECT_EQ(d.ResolvePath("\xD6\x5C\\..", -1), -1);
  EXPECT_EQ(d.GetItemPath(1), "\\\xD6\x5C\\\xD6\xD0\xCE\xC4.txt");

  std::string parent, name;
  EXPECT_TRUE(SplitItemPath("\xD6\x5C\\x\xD6\x5C", parent, name));
  EXPECT_EQ(parent, "\xD6\x5C");
  EXPECT_EQ(name, "x\xD6\x5C");
  EXPECT_FALSE(SplitItemPath("x\xD6\x5C", parent, name));
  EXPECT_EQ(name, "x\xD6\x5C");
  EXPECT_TRUE(SplitItemPath("\\\xD6\x5C\\", parent, name));
  EXPECT_EQ(parent, "\\");
  EXPECT_EQ(name, "\xD6\x5C");
}

}  // namespace
