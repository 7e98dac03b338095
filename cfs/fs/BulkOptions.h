#pragma once
// Named options of the facade's whole-folder import and export.
#include <cstdint>

#include "platform/FileSystem.h"

// What an import or export does with a target file that already exists.
enum class TExistingFiles : std::uint8_t {
  Overwrite = 0,  // replace it
  Skip = 1,       // leave it and go on with the next file
  Ask = 2,        // ask OnOverwrite; without a handler the file is skipped
};
