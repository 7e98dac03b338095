#pragma once
// Named options of the facade's whole-folder import and export.
#include <cstdint>

#include "platform/FileSystem.h"

// What an import or export does with a target file that already exists. The values are the
// option byte the facade has always taken (0, 1, 2).
enum class TExistingFiles : std::uint8_t {
  Overwrite = 0,  // replace it
  Skip = 1,       // leave it and go on with the next file
  Ask = 2,        // ask OnOverwrite; without a handler the file is skipped
};

// The option byte as a named choice; unknown values replace, as the byte always did.
constexpr TExistingFiles ExistingFilesFromByte(std::uint8_t value) {
  return value == 1 ? TExistingFiles::Skip : value == 2 ? TExistingFiles::Ask : TExistingFiles::Overwrite;
}
