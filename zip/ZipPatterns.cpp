#include "zip/ZipPatterns.h"

#include <string>
#include <vector>

#include "zip/WideText.h"

namespace {

struct Token {
  enum Kind { Literal, AnyOne, AnyRun, Set };
  explicit Token(Kind k) : kind(k) {}
  Kind kind;
  char16_t ch = 0;
  bool negated = false;
  std::vector<std::pair<char16_t, char16_t>> ranges;

  bool Matches(char16_t c) const {
    switch (kind) {
      case Literal: return c == ch;
      case AnyOne: return true;
      case Set: {
        bool in = false;
        for (const auto& r : ranges) {
          if (c >= r.first && c <= r.second) {
            in = true;
            break;
          }
        }
        return in != negated;
      }
      case AnyRun: break;
    }
    return false;
  }
};

std::vector<Token> Tokenize(const std::u16string& p) {
  std::vector<Token> tokens;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const char16_t c = p[i];
    if (c == u'*') {
      if (tokens.empty() || tokens.back().kind != Token::AnyRun) tokens.emplace_back(Token::AnyRun);
    } else if (c == u'?') {
      tokens.emplace_back(Token::AnyOne);
    } else if (c == u'<' && p.find(u'>', i + 1) != std::u16string::npos) {
      Token t(Token::Set);
      std::size_t j = i + 1;
      if (j < p.size() && (p[j] == u'!' || p[j] == u'^')) {
        t.negated = true;
        ++j;
      }
      while (j < p.size() && p[j] != u'>') {
        char16_t lo = p[j], hi = p[j];
        if (j + 2 < p.size() && p[j + 1] == u'-' && p[j + 2] != u'>') {
          hi = p[j + 2];
          j += 2;
        }
        if (hi < lo) std::swap(lo, hi);
        t.ranges.emplace_back(lo, hi);
        ++j;
      }
      tokens.push_back(std::move(t));
      i = j;  // the closing ">"
    } else {
      Token t(Token::Literal);
      t.ch = c;
      tokens.push_back(std::move(t));
    }
  }
  return tokens;
}

}  // namespace

bool ZipPatternMatch(std::u16string_view pattern, std::u16string_view text) {
  const std::vector<Token> tokens = Tokenize(ziptext::Lower(pattern));
  const std::u16string s = ziptext::Lower(text);
  // Every token but "*" consumes exactly one character, so one backtrack point suffices.
  std::size_t ti = 0, si = 0;
  std::size_t starToken = std::u16string::npos, starText = 0;
  while (si < s.size()) {
    if (ti < tokens.size() && tokens[ti].kind == Token::AnyRun) {
      starToken = ti++;
      starText = si;
    } else if (ti < tokens.size() && tokens[ti].Matches(s[si])) {
      ++ti;
      ++si;
    } else if (starToken != std::u16string::npos) {
      ti = starToken + 1;
      si = ++starText;
    } else {
      return false;
    }
  }
  while (ti < tokens.size() && tokens[ti].kind == Token::AnyRun) ++ti;
  return ti == tokens.size();
}
