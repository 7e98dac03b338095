#pragma once
// Reading back what a packing run left: the single entry of the dated zip and the tool's own
// executable with "loader.bin" inside, as the build makes it.
#include <string>

// Name and contents of the only entry of a zip written by the tool (deflated or stored); false
// with `why` set when the archive is not what the tool writes.
bool ReadOnlyZipEntry(const std::string& zipPath, std::string& name, std::string& data, std::string& why);

// Writes `path` as a container whose root holds "loader.bin" with `stub` as its contents.
// `scratchDir` (default: a fresh folder in the temporary directory, removed again) holds the
// source file while it is stored.
void MakeToolExecutable(const std::string& path, const std::string& stub, const std::string& scratchDir = {});
