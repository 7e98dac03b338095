#pragma once
// The disk file an export writes: first under a temporary name in the target's own folder (the
// same volume, so that putting it in place is a rename), and in the target's place only once it
// is whole. Until then an existing target keeps its content, and whatever ends the write early
// (an error, an unwound exception) removes the temporary file again.
#include <cstdint>
#include <set>
#include <string>

class TExportTarget {
 public:
  // `folder` is the target's disk folder (ending in "\"), `relativeFolder` the same folder
  // relative to the export's start; `reserved` holds the upper-cased relative names of every
  // stored file and folder of the export, which a temporary name must not take.
  TExportTarget(const std::string& folder, const std::string& relativeFolder, const std::string& name,
                const std::set<std::string>& reserved);
  ~TExportTarget();
  TExportTarget(const TExportTarget&) = delete;
  TExportTarget& operator=(const TExportTarget&) = delete;

  const std::string& TempPath() const { return temp_; }
  const std::string& TargetPath() const { return target_; }
  // Checks that the temporary file holds `size` bytes, stamps it with `utcTime` (when given) and
  // puts it in the target's place, replacing an existing file (whose read-only bit is cleared
  // first, as overwriting always did); then gives the target `attributes`. `old` is what
  // platform::GetFileAttributes said of the target before. Raises when the file is short or the
  // target cannot be replaced; the old target then stays as it was.
  void Commit(std::int64_t size, const std::int64_t* utcTime, std::uint32_t attributes, std::uint32_t old);

 private:
  std::string target_;
  std::string temp_;
  bool committed_ = false;
};
