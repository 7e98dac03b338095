#pragma once
// What a directory search reports for each hit.
#include <cstdint>
#include <string>

// The platform's find-data block: times are file times exactly as stored in the item.
struct TCFSFindData {
  std::uint32_t Attributes = 0;
  std::int64_t CreationTime = 0;
  std::int64_t LastAccessTime = 0;
  std::int64_t LastWriteTime = 0;
  std::uint32_t SizeHigh = 0;
  std::uint32_t SizeLow = 0;
  std::string FileName;  // at most 260 bytes
};

struct TSearchRec {
  std::int32_t Time = 0;  // DOS date (high word) and time (low word) of the local last-write time
  std::int32_t Size = 0;  // low 32 bits of the size
  std::uint32_t Attr = 0;
  std::string Name;
  std::uint32_t ExcludeAttr = 0;
  std::int32_t FindHandle = -1;
  TCFSFindData FindData;
};
