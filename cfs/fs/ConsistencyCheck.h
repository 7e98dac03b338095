#pragma once
// Whether the directory and the page ownership of an open container fit together: what a
// container written by this engine always satisfies, and what a damaged or crafted one breaks
// in ways that page checksums cannot see.
//
//   - every live item hangs below the root through live folders, in no cycle, and no folder
//     lies deeper than an export would follow;
//   - an item's folder flag and folder attribute agree, and a folder owns no pages;
//   - names are unique per folder (compared as the directory compares them: case-insensitive,
//     two-byte characters aware);
//   - every page is owned at most once (the header, an allocation map page, a directory page,
//     a map or data page of one file), every owned page is marked used, and every used page
//     has an owner.
// Time and memory are linear in the items and pages; only map pages are read.
#include <cstdint>
#include <string>
#include <vector>

#include "cfs/fs/ContainerFS.h"

struct TCFSConsistencyProblem {
  std::int32_t Item = -1;  // the item concerned; -1 for a page that no item owns
  std::string Path;        // the item's path from the root without a leading "\", or "page N"
  std::string Text;        // what is wrong
};

std::vector<TCFSConsistencyProblem> CheckConsistency(TContainerFS& container);

// Raises "<operation> - damaged directory: ..." naming the items and pages concerned when the
// container has any of the problems above (a page in use without an owner may be the pages of
// a file whose item was lost).
void RequireConsistentContainer(TContainerFS& container, const std::string& operation);
