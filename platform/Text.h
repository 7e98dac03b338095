#pragma once
// Text in code page 936 and Windows paths joined by "\".
//
// Code page 936 is double-byte: a lead byte 0x81..0xFE is followed by a trail byte 0x40..0xFE
// that may equal "\" (0x5C) or an ASCII letter. Every split, search, case fold and separator
// conversion here walks the text character by character so that a trail byte is never taken
// for a separator or a letter.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// True for the first byte of a two-byte character.
constexpr bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Length in bytes of the character starting at s[i] (1 or 2; 1 for a lead byte at the very end).
std::size_t CharLength(std::string_view s, std::size_t i);

// Index of the last character of s that is one of the single-byte delimiters, or npos.
std::size_t LastDelimiter(std::string_view delimiters, std::string_view s);

// "C:\a\b.txt" -> "C:\a\" ; "b.txt" -> "" (the part up to and including the last "\" or ":").
std::string ExtractFilePath(std::string_view path);
// "C:\a\b.txt" -> "b.txt".
std::string ExtractFileName(std::string_view path);
// "b.txt" -> ".txt"; "" when the name part has no dot.
std::string ExtractFileExt(std::string_view path);
std::string IncludeTrailingPathDelimiter(std::string_view path);
std::string ExcludeTrailingPathDelimiter(std::string_view path);
// Whether the last character (not a trail byte) is "\".
bool HasTrailingPathDelimiter(std::string_view path);

// Removes leading and trailing blanks and control characters (bytes <= 0x20).
std::string Trim(std::string_view s);

// ASCII letters folded, two-byte characters left alone.
std::string UpperCaseAscii(std::string_view s);
std::string LowerCaseAscii(std::string_view s);

// Case-insensitive comparison of code-page-936 names: ASCII letters compare without regard to
// case, everything else by byte value, two-byte characters as units. <0, 0, >0. The order is the
// same on every platform and locale.
int CompareTextCp936(std::string_view a, std::string_view b);
inline bool SameTextCp936(std::string_view a, std::string_view b) { return CompareTextCp936(a, b) == 0; }

// Replaces every separator character `from` by `to`, skipping trail bytes.
std::string ReplaceSeparators(std::string_view s, char from, char to);

// Conversions between code page 936 and Unicode. Characters that do not exist in the target are
// replaced by "?"; `lossless` (when given) reports whether that happened.
std::u16string Cp936ToUtf16(std::string_view s);
std::string Utf16ToCp936(std::u16string_view s, bool* lossless = nullptr);
std::string Cp936ToUtf8(std::string_view s);
std::string Utf8ToCp936(std::string_view s, bool* lossless = nullptr);
std::string Utf16ToUtf8(std::u16string_view s);
std::u16string Utf8ToUtf16(std::string_view s);

// The same conversions without any substitute: nothing when a character (or an invalid UTF-8
// byte) has no code page 936 form. Passwords, names and paths go through these: a "?" in their
// place would open another container, store a file under another name or look for another folder.
std::optional<std::string> Utf16ToCp936Exact(std::u16string_view s);
std::optional<std::string> Utf8ToCp936Exact(std::string_view s);

// The system's ANSI and OEM code pages (936 on Linux) and conversion through them, for the zip
// writer's entry names.
unsigned AnsiCodePage();
unsigned OemCodePage();
std::string Utf16ToCodePage(std::u16string_view s, unsigned codePage, bool* lossless = nullptr);
std::u16string CodePageToUtf16(std::string_view s, unsigned codePage);

// Command-line arguments and console output of the tools: arguments arrive in the system's
// encoding (UTF-8 on posix, the ANSI code page on Windows) and are returned in code page 936
// with "\" separators on posix; console text goes out the other way.
std::string FromCommandLine(std::string_view arg);
std::string ToConsole(std::string_view cp936);

// The program's arguments (without the program name) in code page 936 with "\" separators on
// posix. Windows takes them from the wide command line, so that an argument the ANSI code page
// cannot hold is still seen whole; `exact` is false for an argument that code page 936 cannot
// hold ("?" stands in its text for each such character).
struct CommandLineArgument {
  std::string text;
  bool exact = true;
};
std::vector<CommandLineArgument> CommandLineArguments(int argc, char** argv);

}  // namespace platform
