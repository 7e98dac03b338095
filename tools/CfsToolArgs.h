#pragma once
// The command line of cfstool: a command, positional arguments and "--name value" options.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Text.h"

struct CfsToolArgs {
  std::string command;
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;  // name without "--" -> value
  int threads = 0;  // --threads once checked; 0 when not given

  // --threads, else platform::ThreadCount().
  int Threads() const;

  std::optional<std::string> Option(const std::string& name) const;
  std::string Password() const { return Option("password").value_or(""); }
};

// Parses args; false with `error` set for an option without a value, an unknown option or a
// repeated one. `known` lists the options the command accepts.
bool ParseCfsToolArgs(const std::vector<std::string>& args, const std::vector<std::string>& known,
                      CfsToolArgs& out, std::string& error);

// Arguments that code page 936 cannot hold whole (text with "?" in their place) are refused
// before anything runs: a password would open the container under any other such characters, a
// path would name another file. So are relative paths when the current folder's own path cannot
// be written (`currentDirExact` false). Returns the message, or "" when every argument is usable.
std::string RefuseInexactArguments(const std::vector<platform::CommandLineArgument>& args, bool currentDirExact);

// Decimal or 0x-prefixed hexadecimal, no sign, no overflow of int64; false otherwise.
bool ParseInt64(const std::string& text, std::int64_t& value);
