#pragma once
// The disk file an export writes: first under a temporary name in the target's own folder (the
// same volume, so that putting it in place is a rename), and in the target's place only once it
// is whole. Until then an existing target keeps its content, and whatever ends the write early
// (an error, an unwound exception) removes the temporary file again.
#include <cstdint>
#include <map>
#include <set>
#include <string>

// The temporary names of one export. A name is never a stored name of the export (`reserved`:
// upper-cased names relative to the export's start) and never a name found on disk. Once the
// export has freed a name again (its file renamed into place or removed), the next file of that
// folder takes it without asking the disk: a folder of many files costs one lookup, not one per
// file.
class TExportTempNames {
 public:
  explicit TExportTempNames(std::set<std::string> reserved) : reserved_(std::move(reserved)) {}
  // A free temporary path in `folder` (the disk folder, ending in "\"); `relativeFolder` is the
  // same folder relative to the export's start. Raises when none is free.
  std::string Take(const std::string& folder, const std::string& relativeFolder);
  // `path`, taken from `folder`, no longer exists.
  void Freed(const std::string& folder, const std::string& path) { free_[folder] = path; }

 private:
  std::set<std::string> reserved_;
  std::map<std::string, std::string> free_;  // folder -> a temporary path this export freed
};

class TExportTarget {
 public:
  // `folder` is the target's disk folder (ending in "\"), `relativeFolder` the same folder
  // relative to the export's start.
  TExportTarget(const std::string& folder, const std::string& relativeFolder, const std::string& name,
                TExportTempNames& names);
  ~TExportTarget();
  TExportTarget(const TExportTarget&) = delete;
  TExportTarget& operator=(const TExportTarget&) = delete;

  const std::string& TempPath() const { return temp_; }
  const std::string& TargetPath() const { return target_; }
  // Checks that the temporary file holds `size` bytes (`written`: its size when the writer
  // closed it) and puts it, with the attributes its writer gave it, in the target's place,
  // replacing an existing file (whose read-only bit is cleared first, as overwriting always
  // did). `old` is what platform::GetFileAttributes said of the target before. Raises when the
  // file is short or the target cannot be replaced; the old target then stays as it was.
  void Commit(std::int64_t size, std::int64_t written, std::uint32_t old);

 private:
  TExportTempNames& names_;
  std::string folder_;
  std::string target_;
  std::string temp_;
  bool committed_ = false;
};
