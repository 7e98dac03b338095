#pragma once
// Case-insensitive name lookup in a folder without listing it for every name. A folder is
// listed once into an index (the last few folders are kept) keyed by the folder's identity and validated against its
// modification time; changes this process makes through the platform layer are applied to the
// index as they happen (FolderChange), so that filling a folder with many new files stays linear.
// A change made by another process shows as a new modification time and the folder is listed
// again; one made within the same clock tick as this process's last change may go unseen, which
// costs no more than a name matched in its exact spelling only. Internal to platform/posix.
#include <sys/stat.h>

#include <string>

namespace platform::posix {

// Looks in `dir` ("" for the current folder, else ending in "/") for the entry whose name equals
// `name` without regard to ASCII case; several such entries give the smallest name. False when
// the folder cannot be read; `found` is empty when no entry matches.
bool FindNoCase(const std::string& dir, const std::string& name, std::string& found);

// An entry of a folder about to be created or removed: made before the change, told after it.
class FolderChange {
 public:
  explicit FolderChange(const std::string& nativePath);
  // The same for a second entry changed in the same step (a rename): a folder shared with
  // `sibling` is not looked at again.
  FolderChange(const std::string& nativePath, const FolderChange& sibling);
  void Added();
  void Removed();
  // The entry was renamed from `from` in the same folder, in one step.
  void RenamedFrom(const FolderChange& from);
  bool SameFolder(const FolderChange& other) const { return folder_ == other.folder_; }

 private:
  void Apply(const std::string* removed, const std::string* added);
  std::string folder_;
  std::string name_;
  struct stat before_ {};
  bool known_ = false;
};

}  // namespace platform::posix
