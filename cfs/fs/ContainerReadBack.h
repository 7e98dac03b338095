#pragma once
// Reading every stored file of a container whole, as a check that it reads back.
#include <string>

#include "cfs/fs/ContainerFS.h"

// Reads every stored file through its block stream (page checksums, block sizes and CRCs),
// with the container's threads unpacking blocks ahead; the first failure is raised as the
// stream raises it. Returns the path (from the root, without a leading "\") of the first file
// that read shorter than its size, or "" when every file read whole.
std::string ReadEveryFile(TContainerFS& container, const std::string& password);
