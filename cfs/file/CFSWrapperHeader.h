#pragma once
// The 280-byte wrapper header at the start of every part file (for the first part: after any
// leading executable bytes):
//   0   8   "AAMVHFSS"
//   8   8   part size, signed 64-bit little-endian
//   16  261 name (no directory) of the next part file, NUL-terminated, zero-filled; empty in the
//           last part
//   277 3   unused
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

constexpr std::int64_t kWrapperHeaderSize = 280;
constexpr std::size_t kNextNameOffset = 16;
constexpr std::size_t kNextNameSize = 261;
constexpr std::string_view kWrapperSignature = "AAMVHFSS";
// The container header that must follow the first wrapper header.
constexpr std::string_view kContainerSignature = "AASFSSGN";

using TCFSWrapperHeader = std::array<std::uint8_t, kWrapperHeaderSize>;

// Zeros, the signature and the part size; no next name.
void InitHeader(TCFSWrapperHeader& header, std::int64_t partSize);
bool HasWrapperSignature(const TCFSWrapperHeader& header);
std::int64_t WrapperPartSize(const TCFSWrapperHeader& header);
// The next-part name: the bytes at offset 16 up to the first NUL or 261 bytes.
std::string WrapperNextName(const TCFSWrapperHeader& header);
// Stores name (truncated to 260 bytes so a NUL always ends it), zero-filling the rest.
void SetWrapperNextName(TCFSWrapperHeader& header, std::string_view name);
// Whether a next-part name read from disk is a plain file name in the same directory: not empty,
// no "\", "/" or ":" (trail bytes of two-byte characters excepted), not "." or "..".
bool IsSafePartName(std::string_view name);
