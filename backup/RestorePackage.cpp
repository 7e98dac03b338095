#include "backup/RestorePackage.h"

#include <exception>
#include <memory>

#include "cfs/fs/ContainerFS.h"
#include "platform/Text.h"

namespace {

// At most this many files are named in the report of an incomplete restore.
constexpr std::size_t kListedNotRestored = 10;

TRestoreResult Fail(const TRestoreOptions& options, TBackupEvents& events, const std::string& error) {
  events.Message({TBackupMessage::RestoreFailed,
                  platform::Utf8ToCp936("不能解压！ '") + options.packagePath + "'", {}});
  return {TRestoreStatus::Failed, error, 0, {}};
}

}  // namespace

TRestoreResult RestorePackage(const TRestoreOptions& options, TBackupEvents& events) {
  // One open per password try: the open itself tells a wrong password from a package that
  // cannot be read. No password given: the first try is without one (an encrypted package never
  // opens so), then the player is asked until a password opens it or the question is cancelled.
  std::string password = options.password.value_or("");
  std::unique_ptr<TContainerFS> container;
  while (!container) {
    try {
      container = std::make_unique<TContainerFS>(options.packagePath, 0, password, "", "", 0);
    } catch (const ECFSWrongPassword&) {
      if (options.password) return {TRestoreStatus::WrongPassword, {}, 0, {}};
      if (!events.AskPassword(password)) return {TRestoreStatus::Cancelled, {}, 0, {}};
    } catch (const std::exception& e) {
      return Fail(options, events, e.what());
    }
  }
  if (options.threadCount > 0) container->SetThreadCount(options.threadCount);

  bool overwriteAll = false;
  container->OnOverwrite.Handler = [&](void*, TContainerFS&, const std::string& fileName, const std::string&,
                                       bool& overwrite) {
    if (overwriteAll) {
      overwrite = true;
      return;
    }
    const TOverwriteAnswer answer = events.AskOverwrite(fileName);
    if (answer == TOverwriteAnswer::All) overwriteAll = true;
    overwrite = answer == TOverwriteAnswer::Yes || overwriteAll;
  };
  container->OnProgress.Handler = [&events](void*, TContainerFS&, double percent, bool& cancel) {
    events.OverallProgress(percent, cancel);
  };
  container->OnFileProgress.Handler = [&events](void*, TContainerFS&, const std::string& name, double percent) {
    events.FileProgress(name, percent);
  };
  TRestoreResult result{TRestoreStatus::Restored, {}, 0, {}};
  try {
    result.filesFound =
        container->ExportFiles("*.*", options.targetDir, platform::kAttrAnyFile, true, TExistingFiles::Ask);
  } catch (const std::exception& e) {
    container.reset();
    return Fail(options, events, e.what());
  }
  for (const TCFSExportFailure& f : container->LastExportFailures())
    result.notRestored.push_back({f.FileName, f.Message});
  if (!result.notRestored.empty()) {
    result.status = TRestoreStatus::Incomplete;
    events.Message({TBackupMessage::RestoreIncomplete, FormatNotRestored(result.notRestored), {}});
  }
  return result;
}

std::string FormatNotRestored(const std::vector<TNotRestored>& files) {
  std::string text = platform::Utf8ToCp936("解压不完整！下面的文件无法写入，保持原样：");
  for (std::size_t i = 0; i < files.size() && i < kListedNotRestored; ++i) text += "\r\n" + files[i].fileName;
  if (files.size() > kListedNotRestored)
    text += "\r\n" + platform::Utf8ToCp936("……共 ") + std::to_string(files.size()) + platform::Utf8ToCp936(" 个文件");
  if (!files.empty()) text += "\r\n" + platform::Utf8ToCp936("原因：") + files.front().reason;
  text += "\r\n" + platform::Utf8ToCp936("其余文件已经解压。");
  return text;
}
