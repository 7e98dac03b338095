#include "platform/posix/NativePath.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/Text.h"
#include "platform/posix/FolderIndex.h"

namespace platform::posix {

namespace {

thread_local int lastError = 0;

// The answer of the component-wise walk below for the usual paths, with fewer system calls: a
// path that exists as written needs one lstat, and a path whose folder exists as written needs
// one more listing for its last component. Empty when neither applies (the walk decides).
std::string ResolveQuickly(const std::string& utf8) {
  if (utf8.empty() || utf8.find("//") != std::string::npos) return {};
  struct stat st;
  if (lstat(utf8.c_str(), &st) == 0) return utf8;
  if (errno != ENOENT || utf8.back() == '/') return {};
  const std::size_t slash = utf8.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : utf8.substr(0, slash + 1);
  const std::string name = utf8.substr(slash == std::string::npos ? 0 : slash + 1);
  if (name == "." || name == "..") return {};
  std::string found;
  if (!FindNoCase(folder, name, found)) return {};
  return folder + (found.empty() ? name : found);
}

}  // namespace

void RememberError(int error) { lastError = error; }
int LastError() { return lastError; }

std::string ToNative(const std::string& path) {
  std::string p = ReplaceSeparators(path, '\\', '/');
  if (p.size() >= 2 && p[1] == ':' && ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z')))
    p = p.size() == 2 ? std::string("/") : p.substr(2);
  std::string utf8 = Cp936ToUtf8(p);
  if (std::string quick = ResolveQuickly(utf8); !quick.empty()) return quick;

  std::string out;
  std::size_t pos = 0;
  if (!utf8.empty() && utf8[0] == '/') {
    out.push_back('/');
    pos = 1;
  }
  bool resolving = true;
  while (pos <= utf8.size()) {
    std::size_t slash = utf8.find('/', pos);
    if (slash == std::string::npos) slash = utf8.size();
    std::string part = utf8.substr(pos, slash - pos);
    bool last = slash == utf8.size();
    if (!part.empty()) {
      std::string dir = out;
      std::string chosen = part;
      if (resolving && part != "." && part != "..") {
        std::string exact = dir + part;
        struct stat st;
        if (lstat(exact.c_str(), &st) != 0) {
          std::string found;
          FindNoCase(dir, part, found);
          if (found.empty())
            resolving = false;
          else
            chosen = found;
        }
      }
      out += chosen;
      if (!last) out += '/';
    } else if (!last && !out.empty() && out.back() != '/') {
      out += '/';
    }
    pos = slash + 1;
  }
  // A trailing separator of the input is kept ("dir\" stays "dir/").
  if (!utf8.empty() && utf8.back() == '/' && (out.empty() || out.back() != '/')) out += '/';
  return out;
}

std::string FromNative(const std::string& path) {
  return ReplaceSeparators(Utf8ToCp936(path), '/', '\\');
}

}  // namespace platform::posix
