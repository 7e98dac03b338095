#pragma once
// Storing accounts and add-ons in a container, and what is reported when one of them does not go
// in whole (a file held open by the running game, say).
#include <cstdint>
#include <string>
#include <vector>

#include "cfs/fs/ContainerFS.h"

struct TImportFailure {
  std::string source;                  // the account or add-on on disk (file or folder)
  std::vector<TCFSImportError> files;  // each file (or folder) left out, in order, and why
};

// Imports the disk file `path` into the container folder destDir (empty: the root), or the disk
// folder `path` with everything below it as a folder of its name inside destDir. existingFiles as
// the facade takes it. A file that cannot be stored is left out (nothing of it stays in the
// container) and the others still go in; when any is left out, a failure naming each is appended.
// Returns the facade's entry count.
std::int32_t ImportSource(TContainerFS& container, const std::string& path, const std::string& destDir, bool file,
                          TExistingFiles existingFiles, std::vector<TImportFailure>& failures);

// The packing run's imports: each account entry of gamePath + "userdata\" (a file, then
// independently a folder of that name) into "userdata", each add-on folder of gamePath +
// "interface\" into "interface", in list order; missing names are skipped. Stored files are
// never replaced.
std::vector<TImportFailure> ImportGameEntries(TContainerFS& container, const std::string& gamePath,
                                              const std::vector<std::string>& accounts,
                                              const std::vector<std::string>& addons);

// The report of one failure (code page 936, CR LF lines): the source, then the first ten left-out
// files each with its reason, and their number beyond that.
std::string FormatImportFailure(const TImportFailure& failure);
