#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/Shell.h"
#include "platform/Text.h"
#include "tests/platform/TempDir.h"

namespace {

void SetLogVariable(const std::string& value) {
#ifdef _WIN32
  _putenv_s("ZELK_SHELL_LOG", value.c_str());
#else
  if (value.empty())
    unsetenv("ZELK_SHELL_LOG");
  else
    setenv("ZELK_SHELL_LOG", value.c_str(), 1);
#endif
}

}  // namespace

TEST(Shell, RequestsAreRecordedInTheLogFile) {
  testutil::TempDir dir;
  const std::string log = dir.Path() + "shell.log";
  // The variable holds a path of the system's own form.
#ifdef _WIN32
  SetLogVariable(log);
#else
  SetLogVariable(platform::Cp936ToUtf8(platform::ReplaceSeparators(log, '\\', '/')));
#endif
  const std::string archive = "\"C:\\" "\xD6\xD0" ".zip\"";
  EXPECT_TRUE(platform::ShellExecute(nullptr, "open", "explorer.exe", "/select," + archive, "", 1));
  EXPECT_TRUE(platform::ShellExecute(nullptr, "open", "notes.txt", "", "C:\\dir", 5));
  SetLogVariable("");
  EXPECT_EQ(testutil::ReadFile(log),
            "open\texplorer.exe\t/select," + archive + "\t\t1\t\n"
            "open\tnotes.txt\t\tC:\\dir\t5\t\n");
}
