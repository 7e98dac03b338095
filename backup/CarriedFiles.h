#pragma once
// The tool carries its restore program ("loader.bin") in a container appended to its own
// executable; the packing run puts that program in front of every package.
#include <string>

// Writes every file the program at programPath carries into dir (ending in "\"), replacing files
// of the same names. Raises when the program carries no container, the container does not open
// with the tool's fixed password, or a file cannot be written.
void ExtractCarriedFiles(const std::string& programPath, const std::string& dir, int threadCount = 0);
