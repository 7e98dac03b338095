#pragma once
// Names quoted in messages: the quote character inside is doubled.
#include <string>

inline std::string QuotedWith(const std::string& s, char quote) {
  std::string out(1, quote);
  for (char c : s) {
    out += c;
    if (c == quote) out += quote;
  }
  return out + quote;
}
inline std::string DoubleQuoted(const std::string& s) { return QuotedWith(s, '"'); }
inline std::string SingleQuoted(const std::string& s) { return QuotedWith(s, '\''); }
