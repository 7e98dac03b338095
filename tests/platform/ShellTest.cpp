#include <gtest/gtest.h>

#include "platform/Shell.h"
#include "platform/Text.h"
#include "tests/support/Environment.h"
#include "tests/support/Files.h"
#include "tests/support/TempFolder.h"

TEST(Shell, RequestsAreRecordedInTheLogFile) {
  testsupport::TempFolder dir;
  const std::string log = dir.Path() + "shell.log";
  // The variable holds a path of the system's own form.
#ifdef _WIN32
  testsupport::SetEnvironment("ZELK_SHELL_LOG", log);
#else
  testsupport::SetEnvironment("ZELK_SHELL_LOG", platform::Cp936ToUtf8(platform::ReplaceSeparators(log, '\\', '/')));
#endif
  const std::string archive = "\"C:\\" "\xD6\xD0" ".zip\"";
  EXPECT_TRUE(platform::ShellExecute(nullptr, "open", "explorer.exe", "/select," + archive, "", 1));
  EXPECT_TRUE(platform::ShellExecute(nullptr, "open", "notes.txt", "", "C:\\dir", 5));
  testsupport::SetEnvironment("ZELK_SHELL_LOG", "");
  EXPECT_EQ(testsupport::ReadFile(log),
            "open\texplorer.exe\t/select," + archive + "\t\t1\t\n"
            "open\tnotes.txt\t\tC:\\dir\t5\t\n");
}
