#pragma once
// The largest part file a container may use on the volume holding a path.
#include <cstdint>
#include <string>

#include "platform/FileSystem.h"

// By the volume's file system: FAT32 2^32-1 (2^31-1 before NT 5.0), NTFS 2^63-2, FAT16
// 2147483647, CDFS 0, FS_UDF the caller's free space, FAT 1457664 on the floppy drives A: and B:
// else 2147483647, anything else 0. 0 as well when the volume cannot be asked. Raises "Can't
// Identify OS version" for an operating system it does not know.
std::int64_t GetMaxPartSize(const std::string& path);

// The same decision from given facts, for tests and other platforms. `volumeRoot` is the drive
// part of the path followed by "\".
std::int64_t MaxPartSizeFor(const std::string& fileSystemName, const std::string& volumeRoot,
                            const platform::OsVersion& os, std::int64_t freeBytes);

// The volume root of a path: "C:\" for "C:\a\b", "\\server\share\" for a UNC path, the folder of
// the path when it has no drive (posix-style absolute paths).
std::string VolumeRootOf(const std::string& path);
