#pragma once
// Every numeric result code of the container engine, each with one meaning. The page file,
// the directory, the page maps and the facade keep the last failure in LastError (0: none);
// operations that return an item number, a handle or a size return the code in its place.
// The numbers are part of the engine's interface (callers and tools compare them), so a code
// keeps its number; a new meaning gets a new, unused number. Where two names share a number,
// the number has always carried both meanings for callers and stays so; the names say which
// one a line of code means.
#include <cstdint>

// -- LastError and negative results of the facade and the managers -------------------------

// The name is absent, or names a folder where a file is wanted.
constexpr std::int32_t kCFSErrNotFound = -1;
// A file password was wrong and asking again was cancelled (FileOpen has always given -1).
constexpr std::int32_t kCFSErrWrongPassword = -1;
// An operation whose result is 0 or -1, a DOS date or -1, or an item number or -1 failed
// (FileSetAttr, FileSetDate, FileAge, CreateFile); LastError, where set, says why.
constexpr std::int32_t kCFSFailed = -1;
// The handle is not open.
constexpr std::int32_t kCFSErrBadHandle = -6;

// Page input and output (ReadPage, WritePage; the facade passes them on).
constexpr std::int32_t kPageErrHeaderRead = -7;    // fewer than 32 bytes of page header read
constexpr std::int32_t kPageErrHeaderWrite = -8;   // fewer than 32 bytes of page header written
constexpr std::int32_t kPageErrDataRead = -9;      // fewer data bytes read than asked
constexpr std::int32_t kPageErrDataWrite = -10;    // fewer data bytes written than asked
constexpr std::int32_t kPageErrChecksum = -11;     // data checksum mismatch
constexpr std::int32_t kPageErrDecrypt = -12;      // a page did not decipher (or is plain where it must not be)
constexpr std::int32_t kPageErrEncrypt = -13;      // enciphering a page failed

// The file is open, so it cannot be replaced or deleted.
constexpr std::int32_t kCFSErrFileInUse = -16;
// No free page could be had: the container cannot grow (fires OnDiskFull in the facade).
constexpr std::int32_t kCFSErrNoFreePage = -17;
// A change was refused because the container is open read-only; nothing was touched. Callers
// have always seen this as a failed page write.
constexpr std::int32_t kCFSErrReadOnly = -8;
// A negative file size was asked for (FileSetSize has always given -1 for it).
constexpr std::int32_t kCFSErrBadSize = -1;
// A file's page map names a page that is not a data page of the container (a damaged map).
constexpr std::int32_t kCFSErrBadPageNo = -20;

// -- Path resolution (ResolvePath, FindItem): an item number, or one of these --------------

constexpr std::int32_t kCFSRootItem = -1;          // the root folder (not an error)
constexpr std::int32_t kCFSPathInvalid = -2;       // bad arguments, or a name that exists nowhere
constexpr std::int32_t kCFSPathNotResolved = -3;   // a segment is not in the folder reached

// -- Folder search (FindFirst, FindNext): 0 for an entry, or one of these ------------------

constexpr std::int32_t kCFSFindFolderMissing = -2;  // the folder to search does not resolve
constexpr std::int32_t kCFSFindClosed = -4;         // the search was closed
constexpr std::int32_t kCFSFindNoMore = -5;         // no (further) entry matches
