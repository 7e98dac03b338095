#include "platform/posix/NativePath.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>

#include "platform/Text.h"

namespace platform::posix {

namespace {

thread_local int lastError = 0;

bool SameAsciiNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x += 0x20;
    if (y >= 'A' && y <= 'Z') y += 0x20;
    if (x != y) return false;
  }
  return true;
}

// Looks in `dir` for the entry whose name equals `name` without regard to ASCII case. False
// when the folder cannot be read; `found` is empty when no entry matches.
// UTF-8 bytes of non-ASCII characters are >= 0x80, so folding ASCII alone is what the program's
// case-insensitive code page 936 comparison does too.
bool FindNoCase(const std::string& dir, const std::string& name, std::string& found) {
  found.clear();
  std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dir.empty() ? "." : dir.c_str()), closedir);
  if (!d) return false;
  while (dirent* e = readdir(d.get())) {
    std::string candidate = e->d_name;
    // Several names may differ only in case; take the smallest for a stable answer.
    if (SameAsciiNoCase(candidate, name) && (found.empty() || candidate < found)) found = candidate;
  }
  return true;
}

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
