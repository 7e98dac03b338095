#pragma once
// UTF-16 text helpers of the zip component: case folding, comparison and Windows path parts.
#include <string>
#include <string_view>

namespace ziptext {

char16_t LowerChar(char16_t c);
std::u16string Lower(std::u16string_view s);
// Comparison without regard to case (<0, 0, >0 on the folded characters).
int CompareText(std::u16string_view a, std::u16string_view b);
inline bool SameText(std::u16string_view a, std::u16string_view b) { return CompareText(a, b) == 0; }
bool StartsWithText(std::u16string_view s, std::u16string_view prefix);

// Removes characters with codes up to 32 from both ends.
std::u16string Trim(std::u16string_view s);

// Part up to and including the last "\" or ":" ("" when none).
std::u16string ExtractFilePath(std::u16string_view path);
// Part after the last "\" or ":".
std::u16string ExtractFileName(std::u16string_view path);
std::u16string IncludeTrailingBackslash(std::u16string_view path);
bool EndsWithBackslash(std::u16string_view s);
bool ContainsAny(std::u16string_view s, std::u16string_view chars);

// ASCII literal to UTF-16.
std::u16string W(std::string_view ascii);
// UTF-16 to UTF-8, for messages and diagnostics.
std::string ToUtf8(std::u16string_view s);

}  // namespace ziptext
