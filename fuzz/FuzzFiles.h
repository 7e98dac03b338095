#pragma once
// Scratch files of the fuzz targets. The readers take their bytes through the platform's files,
// so each input is written to a file in a folder of this process on a memory file system
// (/dev/shm when the machine has one), which keeps a run free of disk traffic.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace fuzzfiles {

// The process's scratch folder, created on first use; ends in "/".
const std::string& Folder();
// Writes data to Folder() + name (replacing it) and returns that path; aborts when it cannot.
std::string Write(const std::string& name, const std::uint8_t* data, std::size_t size);
// Removes Folder() + name and everything below it.
void Remove(const std::string& name);
// Whether Folder() holds nothing but the given names (entries directly inside it).
bool HoldsOnly(std::initializer_list<std::string> names);

}  // namespace fuzzfiles
