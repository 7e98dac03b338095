// Code page conversions through Windows' own tables.
#include "platform/win32/Wide.h"

#include <shellapi.h>

#include "platform/Text.h"

namespace platform {

namespace {

std::u16string Decode(std::string_view s, unsigned codePage) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), reinterpret_cast<wchar_t*>(out.data()), n);
  return out;
}

std::string Encode(std::u16string_view s, unsigned codePage, bool* lossless) {
  if (lossless) *lossless = true;
  if (s.empty()) return {};
  const auto* w = reinterpret_cast<const wchar_t*>(s.data());
  const int len = static_cast<int>(s.size());
  if (codePage == CP_UTF8 || codePage == CP_UTF7) {
    int n = WideCharToMultiByte(codePage, 0, w, len, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, w, len, out.data(), n, nullptr, nullptr);
    return out;
  }
  // No best-fit substitutes: a character without a form in the code page becomes "?".
  BOOL usedDefault = FALSE;
  int n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, w, len, nullptr, 0, "?", &usedDefault);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, w, len, out.data(), n, "?", &usedDefault);
  if (lossless) *lossless = !usedDefault;
  return out;
}

}  // namespace

std::u16string Cp936ToUtf16(std::string_view s) { return Decode(s, 936); }
std::string Utf16ToCp936(std::u16string_view s, bool* lossless) { return Encode(s, 936, lossless); }
std::string Cp936ToUtf8(std::string_view s) { return Utf16ToUtf8(Decode(s, 936)); }
std::string Utf8ToCp936(std::string_view s, bool* lossless) { return Encode(Utf8ToUtf16(s), 936, lossless); }

unsigned AnsiCodePage() { return GetACP(); }
unsigned OemCodePage() { return GetOEMCP(); }

std::string Utf16ToCodePage(std::u16string_view s, unsigned codePage, bool* lossless) {
  return Encode(s, codePage, lossless);
}

std::u16string CodePageToUtf16(std::string_view s, unsigned codePage) { return Decode(s, codePage); }

std::string FromCommandLine(std::string_view arg) {
  std::u16string w = Decode(arg, CP_ACP);
  return Encode(w, 936, nullptr);
}

std::string ToConsole(std::string_view cp936) {
  unsigned cp = GetConsoleOutputCP();
  if (cp == 0 || cp == 936) return std::string(cp936);
  return Encode(Decode(cp936, 936), cp, nullptr);
}

std::vector<CommandLineArgument> CommandLineArguments(int, char**) {
  std::vector<CommandLineArgument> out;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return out;
  for (int i = 1; i < count; ++i) {
    bool lossless = true;
    std::string text = Encode(std::u16string_view(reinterpret_cast<const char16_t*>(wide[i])), 936, &lossless);
    out.push_back({std::move(text), lossless});
  }
  LocalFree(wide);
  return out;
}

}  // namespace platform
