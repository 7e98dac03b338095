#pragma once
// Mapping between the program's paths (code page 936, "\" separators) and native posix paths
// (UTF-8, "/" separators). Internal to platform/posix.
#include <string>

namespace platform::posix {

// Converts a Windows path to a native one and resolves each existing component without regard
// to ASCII case (the exact name is tried first). Components after the first one that does not
// exist are kept as given. A leading drive ("C:") stands for the root.
std::string ToNative(const std::string& path);
// Converts a native path to the program's form ("/" -> "\", UTF-8 -> code page 936).
std::string FromNative(const std::string& path);
// Sets errno-derived text for LastErrorText.
void RememberError(int error);
int LastError();

}  // namespace platform::posix
