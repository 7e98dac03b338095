#pragma once
// A fresh folder under the system temporary folder, removed with everything in it at the end.
#include <string>

namespace testsupport {

// Removes the folder dir (ending in "\") with everything below it; read-only, hidden and system
// files and folders too, which Windows refuses to delete until their attributes are cleared.
void RemoveTree(const std::string& dir);

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  // Ends in "\".
  const std::string& Path() const { return path_; }
  // The path of `name` in the folder.
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

}  // namespace testsupport
