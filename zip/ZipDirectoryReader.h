#pragma once
// Reads the directory of an existing archive: the end record (searched backwards in the last
// 65,557 bytes), ZIP64 end records, the central headers, and as a fall-back a scan of the file
// for local headers. Every size, count and offset is checked against the file before use.
#include <functional>
#include <string>
#include <vector>

#include "zip/ZipRecords.h"
#include "zip/ZipStreams.h"
#include "zip/ZipTypes.h"

struct TZipListing {
  std::vector<TZipHeaderInfo> entries;
  TEndCentral end;
  bool rebuilt = false;  // listing came from a scan for local headers
};

struct TZipReadOptions {
  TIncompleteZipMode mode = izAssumeMulti;
  std::uint64_t scanStart = 0;  // where a scan for local headers begins
  std::function<void(TIncompleteZipMode&)> onIncomplete;
  std::function<void()> beforeEntry;  // called before each central header is read
};

// Throws EIncompleteZip, ENotAZipFile or EBadZipFile as the mode and the damage decide.
void ReadZipDirectory(TZipInStream& in, const TZipReadOptions& options, TZipListing& out);

// Local header of an entry being carried over: where its data starts and its local extra bytes.
struct TLocalEntryInfo {
  std::uint64_t dataStart = 0;
  std::string localExtra;
};
// Throws EBadZipFile when the local header or the entry's data is not inside the file.
TLocalEntryInfo ReadLocalEntry(TZipInStream& in, const TZipHeaderInfo& entry);
