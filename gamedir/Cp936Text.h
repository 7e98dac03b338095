#pragma once
// The program's own texts are written in UTF-8 here and used in code page 936, like every text
// the windows and the container carry.
#include <string>
#include <string_view>

#include "platform/Text.h"

inline std::string Cp936(std::string_view utf8) { return platform::Utf8ToCp936(utf8); }

// Whether `text` contains the single-byte `part` starting at a character boundary, so that the
// trail byte of a two-byte character never starts a match.
bool ContainsText(std::string_view text, std::string_view part);
