#pragma once
// The command line of cfstool: a command, positional arguments and "--name value" options.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

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

// Decimal or 0x-prefixed hexadecimal, no sign, no overflow of int64; false otherwise.
bool ParseInt64(const std::string& text, std::int64_t& value);
