#pragma once
// Reading a finished container back before the files it was made from are deleted.
#include <string>

// Opens the container file read-only and reads every stored file through its block stream (page
// checksums, block checks, sizes). "" when all of it reads back, else what failed. threadCount
// is handed to the container (0: its default).
std::string ReadBackContainer(const std::string& fileName, const std::string& password, int threadCount = 0);
