#include <gtest/gtest.h>

#include <cstring>

#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/Random.h"
#include "platform/Text.h"

using namespace platform;

TEST(Process, SnapshotFindsThisProcess) {
  std::vector<ProcessEntry> processes;
  ASSERT_TRUE(SnapshotProcesses(processes));
  const std::uint32_t self = CurrentProcessId();
  const std::string program = ProgramPath();
  bool found = false;
  for (const auto& p : processes) {
    if (p.id != self) continue;
    found = true;
    EXPECT_TRUE(SameTextCp936(p.exeName, ExtractFileName(program))) << p.exeName;
  }
  EXPECT_TRUE(found);
  std::string path;
  ASSERT_TRUE(ProcessMainModulePath(self, path));
  EXPECT_TRUE(SameTextCp936(path, program)) << path << " vs " << program;
  EXPECT_FALSE(ProcessMainModulePath(0xFFFFFFF0u, path));
}

TEST(Random, FillsAndVaries) {
  unsigned char a[64] = {}, b[64] = {};
  ASSERT_TRUE(RandomBytes(a, sizeof a));
  ASSERT_TRUE(RandomBytes(b, sizeof b));
  EXPECT_NE(std::memcmp(a, b, sizeof a), 0);  // 2^-512 chance of a false failure
  EXPECT_TRUE(RandomBytes(a, 0));
}
