#pragma once
// cfstool: looks into, checks, extracts and builds containers and restore packages from the
// command line. The commands run on code page 936 arguments and write code page 936 text through
// the console conversion the caller supplies.
#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Text.h"

enum : int {
  kCfsToolOk = 0,
  kCfsToolFailed = 1,  // damage found or the operation failed
  kCfsToolUsage = 2,   // bad command line
};

struct CfsToolIO {
  std::ostream& out;
  std::ostream& err;
  // Code page 936 text to the console's encoding.
  std::function<std::string(std::string_view)> toConsole;
  // Answers to questions (restore --overwrite ask), read only when inIsTerminal.
  std::istream* in = nullptr;
  bool inIsTerminal = false;
  // A progress line is drawn (and redrawn with "\r") only on a terminal.
  bool outIsTerminal = false;

  void Out(std::string_view text) const { out << toConsole(text); }
  void Err(std::string_view text) const { err << toConsole(text); }
};

// args without the program name, code page 936, paths with "\". Returns the exit code.
int RunCfsTool(const std::vector<std::string>& args, const CfsToolIO& io);
// The same from the command line as the platform reads it: an argument that code page 936
// cannot hold is a bad command line (see RefuseInexactArguments).
int RunCfsTool(const std::vector<platform::CommandLineArgument>& args, bool currentDirExact, const CfsToolIO& io);

extern const char* const kCfsToolUsageText;
