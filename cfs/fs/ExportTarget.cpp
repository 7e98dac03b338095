#include "cfs/fs/ExportTarget.h"

#include "cfs/fs/Quote.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace {

// Temporary names tried per file before giving up: a folder would have to hold this many
// leftovers of earlier runs (or stored names of the same form) to exhaust them.
constexpr int kTempNameTries = 1000;

}  // namespace

std::string TExportTempNames::Take(const std::string& folder, const std::string& relativeFolder) {
  if (auto known = free_.find(folder); known != free_.end()) {
    std::string path = std::move(known->second);
    free_.erase(known);
    return path;
  }
  for (int i = 0; i < kTempNameTries; ++i) {
    const std::string candidate = "~zelk" + std::to_string(i) + ".tmp";
    if (reserved_.count(platform::UpperCaseAscii(relativeFolder + candidate))) continue;
    const std::string path = folder + candidate;
    if (platform::GetFileAttributes(path) == platform::kInvalidAttributes) return path;
  }
  throw Exception("Error in TContainerFS.ExportFiles - no temporary name free in folder " + SingleQuoted(folder) +
                  ".");
}

TExportTarget::TExportTarget(const std::string& folder, const std::string& relativeFolder, const std::string& name,
                             TExportTempNames& names)
    : names_(names), folder_(folder), target_(folder + name), temp_(names.Take(folder, relativeFolder)) {}

TExportTarget::~TExportTarget() {
  if (committed_) return;
  if (platform::FileExists(temp_)) {
    platform::SetFileAttributes(temp_, platform::kAttrNormal);
    platform::DeleteFile(temp_);
  }
  if (platform::GetFileAttributes(temp_) == platform::kInvalidAttributes) names_.Freed(folder_, temp_);
}

void TExportTarget::Commit(std::int64_t size, std::int64_t written, std::uint32_t old) {
  if (written != size)
    throw Exception("Error in TContainerFS.ExportFiles - file " + SingleQuoted(target_) + " written short: " +
                    std::to_string(written) + " of " + std::to_string(size) + " bytes.");
  // Of an existing file's attributes only the read-only bit stops the replace; the others go
  // with the file. Clearing it costs a call by name (under Windows an open of the file), so a
  // file without it is left alone.
  const bool readOnly = old != platform::kInvalidAttributes && !(old & platform::kAttrDirectory) &&
                        (old & platform::kAttrReadOnly);
  if (readOnly) platform::SetFileAttributes(target_, platform::kAttrNormal);
  if (!platform::MoveReplacing(temp_, target_)) {
    const std::string reason = platform::LastErrorText();
    if (readOnly) platform::SetFileAttributes(target_, old);
    throw Exception("Error in TContainerFS.ExportFiles - file " + SingleQuoted(target_) + " cannot be overwritten. " +
                    reason);
  }
  committed_ = true;
  names_.Freed(folder_, temp_);
}
