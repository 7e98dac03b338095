// Code page conversions on posix. Code page 936 goes through two 64 Ki tables built once from
// iconv, so a conversion is a table walk; the tables follow Windows' code page 936 (euro at 0x80,
// the user-defined areas mapped into the private use area).
#include <iconv.h>

#include <array>
#include <cstdint>
#include <string>

#include "platform/Text.h"

namespace platform {

namespace {

constexpr char16_t kUnmapped = 0xFFFF;

struct Cp936Tables {
  // Single bytes at their value, two-byte characters at lead * 256 + trail.
  std::array<char16_t, 65536> decode;
  // UTF-16 unit -> single byte or lead * 256 + trail; 0 means unmapped (except for U+0000).
  std::array<std::uint16_t, 65536> encode;
};

char16_t DecodeWith(iconv_t cd, const unsigned char* in, std::size_t len) {
  if (cd == reinterpret_cast<iconv_t>(-1)) return kUnmapped;
  char src[2] = {static_cast<char>(in[0]), len > 1 ? static_cast<char>(in[1]) : '\0'};
  char16_t dst[4];
  char* pin = src;
  char* pout = reinterpret_cast<char*>(dst);
  std::size_t inLeft = len, outLeft = sizeof dst;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &pin, &inLeft, &pout, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0 ||
      sizeof dst - outLeft != 2)
    return kUnmapped;
  return dst[0];
}

const Cp936Tables& Tables() {
  static Cp936Tables* tables = [] {
    static Cp936Tables t;
    t.decode.fill(kUnmapped);
    t.encode.fill(0);
    iconv_t cp = iconv_open("UTF-16LE", "CP936");
    if (cp == reinterpret_cast<iconv_t>(-1)) cp = iconv_open("UTF-16LE", "GBK");
    iconv_t gb = iconv_open("UTF-16LE", "GB18030");
    for (unsigned b = 0; b < 0x80; ++b) t.decode[b] = static_cast<char16_t>(b);
    t.decode[0x80] = 0x20AC;
    t.decode[0xFF] = 0xF8F5;
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
      for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail == 0x7F) continue;
        unsigned char in[2] = {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
        char16_t u = DecodeWith(cp, in, 2);
        if (u == kUnmapped) {
          // Windows maps the cells left free by GBK into the private use area the way GB18030 does.
          char16_t g = DecodeWith(gb, in, 2);
          if (g >= 0xE000 && g <= 0xF8FF) u = g;
        }
        t.decode[lead * 256 + trail] = u;
      }
    }
    // Cells that Windows maps into the private use area although GB18030 gives them real
    // characters (vertical forms, pinyin letters, radicals): runs of {code, first unit, count}.
    struct Run {
      unsigned code;
      char16_t first;
      unsigned count;
    };
    static constexpr Run kWindowsPua[] = {{0xA2E3, 0xE76C, 1},  {0xA6D9, 0xE78D, 7}, {0xA6EC, 0xE794, 2},
                                          {0xA6F3, 0xE796, 1},  {0xA8BC, 0xE7C7, 1}, {0xA8BF, 0xE7C8, 1},
                                          {0xA989, 0xE7E7, 13}, {0xFE50, 0xE815, 47}, {0xFE80, 0xE844, 33}};
    for (const Run& r : kWindowsPua)
      for (unsigned k = 0; k < r.count; ++k) t.decode[r.code + k] = static_cast<char16_t>(r.first + k);
    if (cp != reinterpret_cast<iconv_t>(-1)) iconv_close(cp);
    if (gb != reinterpret_cast<iconv_t>(-1)) iconv_close(gb);
    // Reverse direction: the first (lowest) code wins, so U+20AC encodes as 0x80.
    std::array<bool, 65536> taken{};
    for (unsigned code = 0; code < 65536; ++code) {
      char16_t u = t.decode[code];
      if (u == kUnmapped || taken[u]) continue;
      taken[u] = true;
      t.encode[u] = static_cast<std::uint16_t>(code);
    }
    return &t;
  }();
  return *tables;
}

std::string EncodeCp936(std::u16string_view s, bool* lossless) {
  const Cp936Tables& t = Tables();
  std::string out;
  out.reserve(s.size() * 2);
  bool ok = true;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char16_t u = s[i];
    std::uint16_t code = t.encode[u];
    if (code == 0 && u != 0) {
      ok = false;
      out.push_back('?');
      // A surrogate pair is one character and becomes one "?".
      if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) ++i;
    } else if (code > 0xFF) {
      out.push_back(static_cast<char>(code >> 8));
      out.push_back(static_cast<char>(code & 0xFF));
    } else {
      out.push_back(static_cast<char>(code));
    }
  }
  if (lossless) *lossless = ok;
  return out;
}

std::u16string DecodeCp936(std::string_view s) {
  const Cp936Tables& t = Tables();
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    if (IsLeadByte(b) && i + 1 < s.size()) {
      unsigned char trail = static_cast<unsigned char>(s[i + 1]);
      char16_t u = t.decode[b * 256 + trail];
      if (u != kUnmapped) {
        out.push_back(u);
        i += 2;
        continue;
      }
      out.push_back(u'?');
      // A byte that cannot be a trail byte starts the next character.
      i += trail < 0x40 ? 1 : 2;
      continue;
    }
    char16_t u = t.decode[b];
    out.push_back(u == kUnmapped ? u'?' : u);
    ++i;
  }
  return out;
}

// Other code pages (rarely used on posix) through iconv, character by character.
std::string EncodeIconv(std::u16string_view s, unsigned codePage, bool* lossless) {
  std::string name = "CP" + std::to_string(codePage);
  iconv_t cd = iconv_open(name.c_str(), "UTF-16LE");
  bool ok = true;
  std::string out;
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    if (lossless) *lossless = false;
    return std::string(s.size(), '?');
  }
  for (std::size_t i = 0; i < s.size(); ++i) {
    std::size_t units = (s[i] >= 0xD800 && s[i] <= 0xDBFF && i + 1 < s.size()) ? 2 : 1;
    char16_t src[2] = {s[i], units == 2 ? s[i + 1] : u'\0'};
    char dst[16];
    char* pin = reinterpret_cast<char*>(src);
    char* pout = dst;
    std::size_t inLeft = units * 2, outLeft = sizeof dst;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &pin, &inLeft, &pout, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) {
      out.push_back('?');
      ok = false;
    } else {
      out.append(dst, sizeof dst - outLeft);
    }
    i += units - 1;
  }
  iconv_close(cd);
  if (lossless) *lossless = ok;
  return out;
}

std::u16string DecodeIconv(std::string_view s, unsigned codePage) {
  std::string name = "CP" + std::to_string(codePage);
  iconv_t cd = iconv_open("UTF-16LE", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::u16string(s.size(), u'?');
  std::u16string out;
  for (char c : s) {  // single-byte code pages only
    char src[1] = {c};
    char16_t dst[4];
    char* pin = src;
    char* pout = reinterpret_cast<char*>(dst);
    std::size_t inLeft = 1, outLeft = sizeof dst;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &pin, &inLeft, &pout, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0)
      out.push_back(u'?');
    else
      out.append(dst, (sizeof dst - outLeft) / 2);
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::u16string Cp936ToUtf16(std::string_view s) { return DecodeCp936(s); }
std::string Utf16ToCp936(std::u16string_view s, bool* lossless) { return EncodeCp936(s, lossless); }
std::string Cp936ToUtf8(std::string_view s) { return Utf16ToUtf8(DecodeCp936(s)); }
std::string Utf8ToCp936(std::string_view s, bool* lossless) {
  std::u16string w = Utf8ToUtf16(s);
  std::string out = EncodeCp936(w, lossless);
  // U+FFFD in the middle stands for invalid UTF-8 and has no code page 936 form anyway.
  return out;
}

unsigned AnsiCodePage() { return 936; }
unsigned OemCodePage() { return 936; }

std::string Utf16ToCodePage(std::u16string_view s, unsigned codePage, bool* lossless) {
  if (codePage == 936) return EncodeCp936(s, lossless);
  if (codePage == 65001) {
    if (lossless) *lossless = true;
    return Utf16ToUtf8(s);
  }
  return EncodeIconv(s, codePage, lossless);
}

std::u16string CodePageToUtf16(std::string_view s, unsigned codePage) {
  if (codePage == 936) return DecodeCp936(s);
  if (codePage == 65001) return Utf8ToUtf16(s);
  return DecodeIconv(s, codePage);
}

std::string FromCommandLine(std::string_view arg) { return ReplaceSeparators(Utf8ToCp936(arg), '/', '\\'); }
std::string ToConsole(std::string_view cp936) { return Cp936ToUtf8(cp936); }

std::vector<CommandLineArgument> CommandLineArguments(int argc, char** argv) {
  std::vector<CommandLineArgument> out;
  for (int i = 1; i < argc; ++i) {
    bool lossless = true;
    std::string text = Utf8ToCp936(argv[i], &lossless);
    out.push_back({ReplaceSeparators(text, '/', '\\'), lossless});
  }
  return out;
}

}  // namespace platform
