// The tests' scratch folders go away whole, read-only and hidden entries included (Windows
// refuses to delete those until their attributes are cleared).
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/FileSystem.h"
#include "tests/app/TestTree.h"
#include "tests/support/Files.h"
#include "tests/support/TempFolder.h"

namespace {

// A read-only file in a read-only folder, and a hidden read-only file beside it.
void FillWithReadOnlyEntries(const std::string& dir) {
  ASSERT_TRUE(platform::ForceDirectories(dir + "sub"));
  ASSERT_TRUE(testsupport::WriteFile(dir + "sub\\kept.txt", "x"));
  ASSERT_TRUE(testsupport::WriteFile(dir + "hidden.ini", "y"));
  ASSERT_TRUE(platform::SetFileAttributes(dir + "sub\\kept.txt", platform::kAttrReadOnly));
  ASSERT_TRUE(platform::SetFileAttributes(dir + "sub", platform::kAttrReadOnly));
  ASSERT_TRUE(platform::SetFileAttributes(dir + "hidden.ini", platform::kAttrReadOnly | platform::kAttrHidden));
}

TEST(ScratchFolders, ReadOnlyEntriesAreRemovedToo) {
  std::string tempDir;
  {
    testsupport::TempFolder dir;
    tempDir = dir.Path();
    FillWithReadOnlyEntries(tempDir);
  }
  EXPECT_FALSE(platform::DirectoryExists(tempDir));

  std::filesystem::path treeRoot;
  {
    TestTree tree;
    treeRoot = tree.Native("");
    FillWithReadOnlyEntries(tree.Dir(""));
  }
  EXPECT_FALSE(std::filesystem::exists(treeRoot));
}

}  // namespace
