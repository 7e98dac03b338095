// cfstool's entry point: arguments to code page 936, text back to the console's encoding.
#include <iostream>
#include <string>
#include <vector>

#include "platform/Console.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "tools/CfsTool.h"

int main(int argc, char** argv) {
  const std::vector<platform::CommandLineArgument> args = platform::CommandLineArguments(argc, argv);
  const CfsToolIO io{std::cout,
                     std::cerr,
                     [](std::string_view s) { return platform::ToConsole(s); },
                     &std::cin,
                     platform::StdinIsTerminal(),
                     platform::StdoutIsTerminal()};
  const int rc = RunCfsTool(args, platform::CurrentDirectoryIsExact(), io);
  std::cout.flush();
  return rc;
}
