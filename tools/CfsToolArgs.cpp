#include "tools/CfsToolArgs.h"

#include <algorithm>
#include <limits>

#include "platform/Threads.h"

std::optional<std::string> CfsToolArgs::Option(const std::string& name) const {
  const auto it = options.find(name);
  if (it == options.end()) return std::nullopt;
  return it->second;
}

int CfsToolArgs::Threads() const { return threads > 0 ? threads : platform::ThreadCount(); }

bool ParseCfsToolArgs(const std::vector<std::string>& args, const std::vector<std::string>& known,
                      CfsToolArgs& out, std::string& error) {
  out = {};
  if (args.empty()) {
    error = "no command given";
    return false;
  }
  out.command = args[0];
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      const std::string name = a.substr(2);
      if (std::find(known.begin(), known.end(), name) == known.end()) {
        error = "unknown option " + a;
        return false;
      }
      if (i + 1 >= args.size()) {
        error = "option " + a + " needs a value";
        return false;
      }
      if (out.options.count(name) != 0) {
        error = "option " + a + " given twice";
        return false;
      }
      out.options[name] = args[++i];
    } else {
      out.positional.push_back(a);
    }
  }
  return true;
}

namespace {

// A disk path that ExpandFileName resolves against the current folder.
bool IsRelativePath(const std::string& p) {
  return !(p.size() >= 2 && p[1] == ':') && !(!p.empty() && p[0] == '\\');
}

}  // namespace

std::string RefuseInexactArguments(const std::vector<platform::CommandLineArgument>& args, bool currentDirExact) {
  // Option values that are not disk paths; every other value and positional argument is one.
  static const char* const kNotPaths[] = {"--password", "--method", "--part-size", "--dest", "--skip",
                                          "--overwrite", "--threads"};
  bool usesCurrentDir = !args.empty() && args[0].text == "pack";  // pack writes there without --out
  for (std::size_t i = 1; i < args.size(); ++i) {
    // An option takes the next argument as its value, as the parser does.
    std::string option;
    if (args[i].text.size() > 2 && args[i].text.compare(0, 2, "--") == 0 && i + 1 < args.size()) {
      option = args[i].text;
      if (option == "--out") usesCurrentDir = false;
      ++i;
    }
    const std::string& a = args[i].text;
    if (!args[i].exact) {
      if (option == "--password")
        return "the password holds characters that code page 936 cannot hold; containers keep passwords in "
               "code page 936, where they would all read \"?\". Choose a password without them";
      return "\"" + a + "\" holds characters that code page 936 cannot hold (shown as \"?\"); such a path "
             "cannot be used: move the file or folder to a path without them";
    }
    if (std::find(std::begin(kNotPaths), std::end(kNotPaths), option) != std::end(kNotPaths)) continue;
    if (IsRelativePath(a)) usesCurrentDir = true;
  }
  if (usesCurrentDir && !currentDirExact)
    return "the current folder's path holds characters that code page 936 cannot hold; run cfstool from "
           "another folder or give full paths";
  return {};
}

bool ParseInt64(const std::string& text, std::int64_t& value) {
  std::size_t i = 0;
  unsigned base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    i = 2;
  }
  if (i >= text.size()) return false;
  std::uint64_t v = 0;
  constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  for (; i < text.size(); ++i) {
    const char c = text[i];
    unsigned d;
    if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
    else return false;
    if (v > (kMax - d) / base) return false;
    v = v * base + d;
  }
  value = static_cast<std::int64_t>(v);
  return true;
}
