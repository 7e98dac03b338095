#pragma once
// File-name patterns: "*" any run, "?" any one character, "<...>" one character of a set
// (ranges "a-z", negated by a leading "!" or "^"). Matching ignores case.
#include <string_view>

bool ZipPatternMatch(std::u16string_view pattern, std::u16string_view text);
