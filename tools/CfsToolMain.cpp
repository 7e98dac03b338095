// cfstool's entry point: arguments to code page 936, text back to the console's encoding.
#include <iostream>
#include <string>
#include <vector>

#include "platform/Console.h"
#include "platform/Text.h"
#include "tools/CfsTool.h"

int main(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(platform::FromCommandLine(argv[i]));
  const CfsToolIO io{std::cout,
                     std::cerr,
                     [](std::string_view s) { return platform::ToConsole(s); },
                     &std::cin,
                     platform::StdinIsTerminal(),
                     platform::StdoutIsTerminal()};
  const int rc = RunCfsTool(args, io);
  std::cout.flush();
  return rc;
}
