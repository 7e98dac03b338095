#include "platform/posix/FolderIndex.h"

#include <dirent.h>

#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>

namespace platform::posix {

namespace {

// Indexes kept at once; the least recently used goes first.
constexpr std::size_t kMaxIndexes = 8;

std::string FoldAscii(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
  return out;
}

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

struct Index {
  dev_t dev = 0;
  ino_t ino = 0;
  timespec mtime{};
  std::size_t entries = 0;
  // Folded name -> the names that fold to it (UTF-8 bytes >= 0x80 are never folded, which is
  // what the program's code page 936 comparison does for non-ASCII characters too).
  std::unordered_map<std::string, std::set<std::string>> names;
};

class Indexes {
 public:
  // The index of the folder `st` describes when it is still valid; null otherwise.
  Index* Find(const struct stat& st) {
    for (auto it = list_.begin(); it != list_.end(); ++it) {
      if (it->dev != st.st_dev || it->ino != st.st_ino) continue;
      if (!SameTime(it->mtime, st.st_mtim)) {
        list_.erase(it);
        return nullptr;
      }
      list_.splice(list_.begin(), list_, it);
      return &list_.front();
    }
    return nullptr;
  }
  void Drop(const struct stat& st) {
    list_.remove_if([&](const Index& i) { return i.dev == st.st_dev && i.ino == st.st_ino; });
  }
  void Add(Index index) {
    Drop(StatOf(index));
    list_.push_front(std::move(index));
    if (list_.size() > kMaxIndexes) list_.pop_back();
  }
  std::mutex mutex;

 private:
  static struct stat StatOf(const Index& i) {
    struct stat st {};
    st.st_dev = i.dev;
    st.st_ino = i.ino;
    return st;
  }
  std::list<Index> list_;
};

Indexes& TheIndexes() {
  static Indexes indexes;
  return indexes;
}

void AddName(Index& index, const std::string& name) {
  if (index.names[FoldAscii(name)].insert(name).second) ++index.entries;
}

void RemoveName(Index& index, const std::string& name) {
  auto it = index.names.find(FoldAscii(name));
  if (it == index.names.end() || it->second.erase(name) == 0) return;
  --index.entries;
  if (it->second.empty()) index.names.erase(it);
}

void Lookup(const Index& index, const std::string& name, std::string& found) {
  auto it = index.names.find(FoldAscii(name));
  if (it != index.names.end() && !it->second.empty()) found = *it->second.begin();
}

}  // namespace

bool FindNoCase(const std::string& dir, const std::string& name, std::string& found) {
  found.clear();
  const std::string path = dir.empty() ? "." : dir;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  Indexes& indexes = TheIndexes();
  {
    std::lock_guard lock(indexes.mutex);
    if (const Index* index = indexes.Find(st)) {
      Lookup(*index, name, found);
      return true;
    }
  }
  // The modification time is the one from before the listing: a change during it makes the
  // index stale at once rather than wrong.
  std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(path.c_str()), closedir);
  if (!d) return false;
  Index index{st.st_dev, st.st_ino, st.st_mtim, 0, {}};
  while (dirent* e = readdir(d.get())) AddName(index, e->d_name);
  Lookup(index, name, found);
  std::lock_guard lock(indexes.mutex);
  indexes.Add(std::move(index));
  return true;
}

namespace {

void SplitEntry(const std::string& nativePath, std::string& folder, std::string& name) {
  std::string p = nativePath;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  const std::size_t slash = p.rfind('/');
  folder = slash == std::string::npos ? "." : p.substr(0, slash + 1);
  name = slash == std::string::npos ? p : p.substr(slash + 1);
}

}  // namespace

FolderChange::FolderChange(const std::string& nativePath) {
  SplitEntry(nativePath, folder_, name_);
  known_ = !name_.empty() && stat(folder_.c_str(), &before_) == 0;
}

FolderChange::FolderChange(const std::string& nativePath, const FolderChange& sibling) {
  SplitEntry(nativePath, folder_, name_);
  if (folder_ == sibling.folder_) {
    before_ = sibling.before_;
    known_ = !name_.empty() && sibling.known_;
  } else {
    known_ = !name_.empty() && stat(folder_.c_str(), &before_) == 0;
  }
}

void FolderChange::Added() { Apply(nullptr, &name_); }
void FolderChange::Removed() { Apply(&name_, nullptr); }
void FolderChange::RenamedFrom(const FolderChange& from) { Apply(&from.name_, &name_); }

void FolderChange::Apply(const std::string* removed, const std::string* added) {
  if (!known_) return;
  Indexes& indexes = TheIndexes();
  std::lock_guard lock(indexes.mutex);
  // Only an index that was current just before this change can take it.
  Index* index = indexes.Find(before_);
  if (!index) return;
  struct stat after;
  if (stat(folder_.c_str(), &after) != 0 || after.st_dev != before_.st_dev || after.st_ino != before_.st_ino) {
    indexes.Drop(before_);
    return;
  }
  if (removed) RemoveName(*index, *removed);
  if (added) AddName(*index, *added);
  index->mtime = after.st_mtim;
}

}  // namespace platform::posix
