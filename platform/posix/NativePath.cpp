#include "platform/posix/NativePath.h"

#include <sys/stat.h>

#include <cerrno>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Text.h"
#include "platform/posix/FolderIndex.h"

namespace platform::posix {

namespace {

thread_local int lastError = 0;

// The folders this thread resolved last: a folder as written -> its spelling on disk. Paths
// under a folder spelled in another case than on disk ("game/interface/..." for
// "game/Interface") would otherwise walk every component from the root again, with a listing
// of the mis-spelled one, for every file. An entry is taken only while its folder still exists.
class FolderMemo {
 public:
  const std::string* Find(const std::string& written) const {
    for (const auto& [from, to] : entries_)
      if (from == written) return &to;
    return nullptr;
  }
  void Remember(const std::string& written, const std::string& onDisk) {
    for (auto& [from, to] : entries_)
      if (from == written) {
        to = onDisk;
        return;
      }
    if (entries_.size() < kEntries) {
      entries_.emplace_back(written, onDisk);
    } else {
      entries_[next_] = {written, onDisk};
      next_ = (next_ + 1) % kEntries;
    }
  }

 private:
  static constexpr std::size_t kEntries = 32;
  std::vector<std::pair<std::string, std::string>> entries_;
  std::size_t next_ = 0;
};

thread_local FolderMemo folderMemo;

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The last component of `folder + name` as the walk below chooses it: the exact name when it
// exists, else the one found without regard to case; empty when neither exists.
std::string ChooseName(const std::string& folder, const std::string& name) {
  if (Exists(folder + name)) return name;
  std::string found;
  FindNoCase(folder, name, found);
  return found;
}

// An absolute folder ending in "/" (no "//", "." or ".." in it) spelled as on disk, each level
// resolved like the walk below does; `exists` is false once a level was not found, and the
// levels from there on are kept as written.
std::string ResolveFolder(const std::string& folder, bool& exists) {
  exists = true;
  if (folder == "/" || Exists(folder)) return folder;
  if (const std::string* known = folderMemo.Find(folder); known && Exists(*known)) return *known;
  const std::size_t slash = folder.rfind('/', folder.size() - 2);
  const std::string name = folder.substr(slash + 1, folder.size() - slash - 2);
  std::string parent = ResolveFolder(folder.substr(0, slash + 1), exists);
  if (!exists) return parent + name + "/";
  const std::string chosen = ChooseName(parent, name);
  exists = !chosen.empty();
  std::string out = parent + (exists ? chosen : name) + "/";
  if (exists) folderMemo.Remember(folder, out);
  return out;
}

// `name` in a folder this thread resolved before to another spelling than `written`: that
// spelling did not exist then, so neither did anything under it, and the folder keeps the
// spelling found while it exists (a second folder spelled as written, made meanwhile by another
// program, is not looked for). Empty when the folder is not known or no longer there.
std::string InKnownFolder(const std::string& written, const std::string& name) {
  const std::string* known = folderMemo.Find(written);
  if (known == nullptr) return {};
  const std::string exact = *known + name;
  if (Exists(exact)) return exact;
  std::string found;
  if (errno != ENOENT || !FindNoCase(*known, name, found)) return {};
  return *known + (found.empty() ? name : found);
}

bool HasDotOrEmptyComponent(const std::string& path) {
  for (std::size_t pos = 0; pos <= path.size();) {
    std::size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    const std::string_view part(path.data() + pos, slash - pos);
    if (part == "." || part == ".." || (part.empty() && pos != 0 && slash != path.size())) return true;
    pos = slash + 1;
  }
  return false;
}

// The answer of the component-wise walk below for the usual paths, with fewer system calls: a
// path that exists as written needs one lstat; a path whose folder exists as written, or an
// absolute one in a folder resolved before, needs a listing (or an index lookup) for its last
// component. Empty when neither applies (the walk decides).
std::string ResolveQuickly(const std::string& utf8) {
  if (utf8.empty() || HasDotOrEmptyComponent(utf8)) return {};
  const std::size_t slash = utf8.rfind('/');
  const std::string written = slash == std::string::npos ? std::string() : utf8.substr(0, slash + 1);
  const std::string name = utf8.substr(slash == std::string::npos ? 0 : slash + 1);
  if (!name.empty()) {
    if (std::string inKnown = InKnownFolder(written, name); !inKnown.empty()) return inKnown;
  }
  if (Exists(utf8)) return utf8;
  if (errno != ENOENT) return {};
  bool exists = true;
  std::string folder = written;
  if (utf8[0] == '/') {
    folder = ResolveFolder(written, exists);
    if (!exists || name.empty()) return folder + name;
  } else if (name.empty()) {
    return {};
  }
  std::string found;
  if (folder == written) {  // the name as written is known to be missing
    if (!FindNoCase(folder, name, found)) return utf8[0] == '/' ? folder + name : std::string();
  } else {
    found = ChooseName(folder, name);
  }
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
