#pragma once
// Windows attributes on posix, reached by path or through an open file. Internal to
// platform/posix.
//
// Read-only is the absence of write permission (for files; a folder's read-only bit is only
// recorded, as Windows ignores it for folders). Hidden, system and archive live in the extended
// attribute "user.zelk.attr" (one decimal number). Without that attribute a file reports
// archive, as a file freshly written on Windows does, and nothing is hidden: dot-names are not
// treated as hidden. Where the file system refuses extended attributes, setting those bits is
// accepted and forgotten.
#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace platform::posix {

// A file or folder: by its native path (which must outlive the node), or (path null) by an
// open descriptor.
struct AttributeNode {
  const char* path = nullptr;
  int fd = -1;
};

inline AttributeNode ByPath(const std::string& native) { return {native.c_str(), -1}; }
inline AttributeNode ByFd(int fd) { return {nullptr, fd}; }

// The attributes of `node`, whose status `st` the caller has.
std::uint32_t AttributesOf(AttributeNode node, const struct stat& st);
// Gives `node` `attributes` (the directory bit is ignored); false, with the error remembered,
// when refused.
bool SetAttributes(AttributeNode node, std::uint32_t attributes);

}  // namespace platform::posix
