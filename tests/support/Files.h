#pragma once
// Whole-file reads and writes. The std::string paths are the engine's own (backslashes, code
// page 936) and go through the platform layer; ReadNativeFile takes a std::filesystem path.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "tests/support/Bytes.h"

namespace testsupport {

// The file's contents; nullopt when it cannot be opened or read, or is over 1 GiB.
std::optional<std::string> TryReadFile(const std::string& path);
// The file's contents as text, "<missing>" when it cannot be read (so that it never equals an
// expected empty file).
std::string ReadFile(const std::string& path);
// The file's contents as bytes, empty when it cannot be read.
Bytes ReadAll(const std::string& path);
// The same for a std::filesystem path; ReadNativeFile gives "" when the file cannot be read.
std::optional<std::string> TryReadNativeFile(const std::filesystem::path& path);
std::string ReadNativeFile(const std::filesystem::path& path);

// Write a new file (replacing an old one); false on failure.
bool WriteFile(const std::string& path, std::string_view data);
bool WriteAll(const std::string& path, const Bytes& data);
// Overwrites bytes of an existing file at offset.
bool Patch(const std::string& path, std::int64_t offset, const Bytes& data);

}  // namespace testsupport
