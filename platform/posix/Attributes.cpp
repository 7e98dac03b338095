#include "platform/posix/Attributes.h"

#include <sys/xattr.h>

#include <cerrno>
#include <cstdlib>

#include "platform/FileSystem.h"
#include "platform/posix/NativePath.h"

namespace platform::posix {

namespace {

constexpr const char* kAttrName = "user.zelk.attr";
constexpr std::uint32_t kStoredBits = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;

bool StoredBits(AttributeNode node, std::uint32_t& bits) {
  char buf[16];
  const ssize_t n = node.path ? getxattr(node.path, kAttrName, buf, sizeof buf - 1)
                              : fgetxattr(node.fd, kAttrName, buf, sizeof buf - 1);
  if (n <= 0) return false;
  buf[n] = '\0';
  char* end = nullptr;
  const unsigned long v = std::strtoul(buf, &end, 10);
  if (end == buf) return false;
  bits = static_cast<std::uint32_t>(v) & kStoredBits;
  return true;
}

bool Fail() {
  RememberError(errno);
  return false;
}

}  // namespace

std::uint32_t AttributesOf(AttributeNode node, const struct stat& st) {
  std::uint32_t stored = 0;
  const bool have = StoredBits(node, stored);
  if (S_ISDIR(st.st_mode)) return kAttrDirectory | (have ? stored : 0);
  std::uint32_t a = have ? (stored & ~kAttrReadOnly) : kAttrArchive;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) a |= kAttrReadOnly;
  return a == 0 ? kAttrNormal : a;
}

bool SetAttributes(AttributeNode node, std::uint32_t attributes) {
  struct stat st;
  if ((node.path ? stat(node.path, &st) : fstat(node.fd, &st)) != 0) return Fail();
  const std::uint32_t bits = attributes & kStoredBits;
  const std::string text = std::to_string(bits);
  const int set = node.path ? setxattr(node.path, kAttrName, text.data(), text.size(), 0)
                            : fsetxattr(node.fd, kAttrName, text.data(), text.size(), 0);
  if (set != 0 && errno != ENOTSUP && errno != EPERM) return Fail();
  if (!S_ISDIR(st.st_mode)) {
    mode_t mode = st.st_mode & 07777;
    if (bits & kAttrReadOnly)
      mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
      mode |= S_IWUSR;
    if (mode != (st.st_mode & 07777) && (node.path ? chmod(node.path, mode) : fchmod(node.fd, mode)) != 0)
      return Fail();
  }
  return true;
}

}  // namespace platform::posix
