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

TExportTarget::TExportTarget(const std::string& folder, const std::string& relativeFolder, const std::string& name,
                             const std::set<std::string>& reserved)
    : target_(folder + name) {
  for (int i = 0; i < kTempNameTries; ++i) {
    const std::string candidate = "~zelk" + std::to_string(i) + ".tmp";
    if (reserved.count(platform::UpperCaseAscii(relativeFolder + candidate))) continue;
    const std::string path = folder + candidate;
    if (platform::GetFileAttributes(path) != platform::kInvalidAttributes) continue;
    temp_ = path;
    return;
  }
  throw Exception("Error in TContainerFS.ExportFiles - no temporary name free in folder " + SingleQuoted(folder) +
                  ".");
}

TExportTarget::~TExportTarget() {
  if (committed_ || !platform::FileExists(temp_)) return;
  platform::SetFileAttributes(temp_, platform::kAttrNormal);
  platform::DeleteFile(temp_);
}

void TExportTarget::Commit(std::int64_t size, const std::int64_t* utcTime, std::uint32_t attributes,
                           std::uint32_t old) {
  const std::int64_t written = platform::FileSize(temp_);
  if (written != size)
    throw Exception("Error in TContainerFS.ExportFiles - file " + SingleQuoted(target_) + " written short: " +
                    std::to_string(written) + " of " + std::to_string(size) + " bytes.");
  if (utcTime) platform::SetFileTime(temp_, *utcTime);
  if (old != platform::kInvalidAttributes && !(old & platform::kAttrDirectory))
    platform::SetFileAttributes(target_, platform::kAttrNormal);
  if (!platform::MoveReplacing(temp_, target_)) {
    const std::string reason = platform::LastErrorText();
    if (old != platform::kInvalidAttributes && !(old & platform::kAttrDirectory))
      platform::SetFileAttributes(target_, old);
    throw Exception("Error in TContainerFS.ExportFiles - file " + SingleQuoted(target_) + " cannot be overwritten. " +
                    reason);
  }
  committed_ = true;
  platform::SetFileAttributes(target_, attributes);
}
