#pragma once
// The record a shell request leaves in the file named by ZELK_SHELL_LOG (see Shell.h). Internal
// to the platform layer.
#include <string>

namespace platform {

// One tab-separated line: verb, file, parameters, directory, show command, "owner" or nothing.
std::string ShellLogLine(const std::string& verb, const std::string& file, const std::string& parameters,
                         const std::string& directory, int showCommand, bool owned);

}  // namespace platform
