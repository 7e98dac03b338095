// Code page 936 text helpers shared by every platform: they only walk bytes, so they need no OS.
#include "platform/Text.h"

#include <algorithm>

namespace platform {

namespace {

constexpr unsigned char kPathDelim = '\\';

unsigned char FoldUpper(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 0x20 : c; }
unsigned char FoldLower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 0x20 : c; }

template <typename Fold>
std::string FoldAscii(std::string_view s, Fold fold) {
  std::string out(s);
  for (std::size_t i = 0; i < out.size();) {
    std::size_t n = CharLength(s, i);
    if (n == 1) out[i] = static_cast<char>(fold(static_cast<unsigned char>(out[i])));
    i += n;
  }
  return out;
}

}  // namespace

std::size_t CharLength(std::string_view s, std::size_t i) {
  if (i + 1 < s.size() && IsLeadByte(static_cast<unsigned char>(s[i]))) return 2;
  return 1;
}

std::size_t LastDelimiter(std::string_view delimiters, std::string_view s) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = CharLength(s, i);
    if (n == 1 && delimiters.find(s[i]) != std::string_view::npos) found = i;
    i += n;
  }
  return found;
}

std::string ExtractFilePath(std::string_view path) {
  std::size_t i = LastDelimiter("\\:", path);
  if (i == std::string_view::npos) return {};
  return std::string(path.substr(0, i + 1));
}

std::string ExtractFileName(std::string_view path) {
  std::size_t i = LastDelimiter("\\:", path);
  if (i == std::string_view::npos) return std::string(path);
  return std::string(path.substr(i + 1));
}

std::string ExtractFileExt(std::string_view path) {
  std::size_t i = LastDelimiter(".\\:", path);
  if (i == std::string_view::npos || path[i] != '.') return {};
  return std::string(path.substr(i));
}

bool HasTrailingPathDelimiter(std::string_view path) {
  std::size_t last = std::string_view::npos;
  for (std::size_t i = 0; i < path.size();) {
    last = i;
    i += CharLength(path, i);
  }
  return last != std::string_view::npos && last + 1 == path.size() &&
         static_cast<unsigned char>(path[last]) == kPathDelim;
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
  std::string out(path);
  if (!HasTrailingPathDelimiter(path)) out.push_back(static_cast<char>(kPathDelim));
  return out;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path) {
  if (HasTrailingPathDelimiter(path)) path.remove_suffix(1);
  return std::string(path);
}

std::string Trim(std::string_view s) {
  // Trail bytes are never <= 0x20, so trimming byte-wise cannot split a character.
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 0x20) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20) --e;
  return std::string(s.substr(b, e - b));
}

std::string UpperCaseAscii(std::string_view s) { return FoldAscii(s, FoldUpper); }
std::string LowerCaseAscii(std::string_view s) { return FoldAscii(s, FoldLower); }

int CompareTextCp936(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    std::size_t na = CharLength(a, i), nb = CharLength(b, j);
    unsigned ca = static_cast<unsigned char>(a[i]);
    unsigned cb = static_cast<unsigned char>(b[j]);
    if (na == 1) ca = FoldUpper(static_cast<unsigned char>(ca));
    if (nb == 1) cb = FoldUpper(static_cast<unsigned char>(cb));
    // A character compares as one unit: lead byte first, then its trail byte.
    ca = (ca << 8) | (na == 2 ? static_cast<unsigned char>(a[i + 1]) : 0u);
    cb = (cb << 8) | (nb == 2 ? static_cast<unsigned char>(b[j + 1]) : 0u);
    if (ca != cb) return ca < cb ? -1 : 1;
    i += na;
    j += nb;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

std::string ReplaceSeparators(std::string_view s, char from, char to) {
  std::string out(s);
  for (std::size_t i = 0; i < out.size();) {
    std::size_t n = CharLength(s, i);
    if (n == 1 && out[i] == from) out[i] = to;
    i += n;
  }
  return out;
}

}  // namespace platform
