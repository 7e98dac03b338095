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
