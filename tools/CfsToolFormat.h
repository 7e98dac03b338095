#pragma once
// How cfstool shows sizes, times, attributes and compression methods.
#include <cstdint>
#include <string>

// "2026-12-07 22:40:02" (UTC) for a file time; "-" for 0 or a value out of range.
std::string FormatFileTime(std::int64_t fileTime);
// Five columns "RHSDA", "-" for a bit that is not set.
std::string FormatAttributes(std::uint32_t attributes);
// "7 bzip2/200k" and the like; "N unknown" for an undefined method byte.
std::string FormatMethod(std::uint8_t method);
// Right-aligned in width columns.
std::string PadLeft(const std::string& s, std::size_t width);
std::string PadRight(const std::string& s, std::size_t width);
