#include "backup/CarriedFiles.h"

#include "cfs/fs/ContainerFS.h"
#include "platform/Exception.h"

namespace {
// The carried container opens with this password (an unencrypted one opens with any).
const char kCarriedPassword[] = "q7m";
}  // namespace

void ExtractCarriedFiles(const std::string& programPath, const std::string& dir, int threadCount) {
  TContainerFS container(programPath, 0, kCarriedPassword, "", "", 0);
  if (threadCount > 0) container.SetThreadCount(threadCount);
  container.ExportFiles("*.*", dir, platform::kAttrAnyFile, true, TExistingFiles::Overwrite);
  // A carried file that cannot be written is an error of this step, as it always was.
  if (!container.LastExportFailures().empty()) {
    const TCFSExportFailure& first = container.LastExportFailures().front();
    throw Exception(first.Message);
  }
}
