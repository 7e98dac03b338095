#include "zip/WideText.h"

#include "platform/Text.h"

namespace ziptext {

char16_t LowerChar(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  if (c < 0xC0) return c;
  // Latin-1 capitals (except the multiplication sign).
  if (c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  // Latin Extended-A: capitals and small letters alternate in pairs.
  if (c >= 0x100 && c <= 0x137) return static_cast<char16_t>(c | 1);
  if (c >= 0x139 && c <= 0x148) return (c & 1) ? static_cast<char16_t>(c + 1) : c;
  if (c >= 0x14A && c <= 0x177) return static_cast<char16_t>(c | 1);
  // Greek and Cyrillic capitals.
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return static_cast<char16_t>(c + 32);
  if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32);
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
  // Full-width Latin capitals.
  if (c >= 0xFF21 && c <= 0xFF3A) return static_cast<char16_t>(c + 32);
  return c;
}

std::u16string Lower(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out) c = LowerChar(c);
  return out;
}

int CompareText(std::u16string_view a, std::u16string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t x = LowerChar(a[i]);
    const char16_t y = LowerChar(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool StartsWithText(std::u16string_view s, std::u16string_view prefix) {
  return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}

std::u16string Trim(std::u16string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && s[b] <= 32) ++b;
  while (e > b && s[e - 1] <= 32) --e;
  return std::u16string(s.substr(b, e - b));
}

static std::size_t LastSeparator(std::u16string_view path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (path[i - 1] == u'\\' || path[i - 1] == u':') return i - 1;
  }
  return std::u16string_view::npos;
}

std::u16string ExtractFilePath(std::u16string_view path) {
  const std::size_t p = LastSeparator(path);
  return p == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, p + 1));
}

std::u16string ExtractFileName(std::u16string_view path) {
  const std::size_t p = LastSeparator(path);
  return p == std::u16string_view::npos ? std::u16string(path) : std::u16string(path.substr(p + 1));
}

bool EndsWithBackslash(std::u16string_view s) { return !s.empty() && s.back() == u'\\'; }

std::u16string IncludeTrailingBackslash(std::u16string_view path) {
  std::u16string out(path);
  if (!EndsWithBackslash(out)) out += u'\\';
  return out;
}

bool ContainsAny(std::u16string_view s, std::u16string_view chars) {
  return s.find_first_of(chars) != std::u16string_view::npos;
}

std::u16string W(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string ToUtf8(std::u16string_view s) { return platform::Utf16ToUtf8(s); }

}  // namespace ziptext
