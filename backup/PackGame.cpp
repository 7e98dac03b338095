#include "backup/PackGame.h"

#include <cstdio>
#include <memory>

#include "backup/ReadBack.h"
#include "cfs/fs/ContainerFS.h"
#include "cfs/sfx/MakeSFX.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/Time.h"
#include "zip/ZipHost.h"
#include "zip/ZipWriter.h"

namespace {

// Recovery answer stored with the password record; only its key role matters.
const char kRecoveryAnswer[] = "z";

std::string Cp936(std::string_view utf8) { return platform::Utf8ToCp936(utf8); }

// The zip writer may run on another thread: it pumps nothing and its notes wait until it is done.
class TCollectingZipHost : public TZipMessageHost {
 public:
  int ShowMessage(const std::string& text, const std::string& caption, unsigned) override {
    notes.push_back({TBackupMessage::ZipNote, text, caption});
    return 1;
  }
  std::vector<TBackupNotice> notes;
};

void ZipPackage(const std::string& packagePath, const std::string& zipPath, int threadCount,
                TCollectingZipHost& host) {
  TZipWriter zip;
  if (threadCount > 0) zip.SetThreadCount(threadCount);
  zip.SetMessageHost(&host);
  zip.OverwriteMode = Always;
  zip.DoAll = true;
  zip.FilesList.Add(platform::Cp936ToUtf16(packagePath));
  zip.SetZipName(platform::Cp936ToUtf16(zipPath));
  zip.Zip();
}

void FillNames(const TPackOptions& options, TPackResult& result) {
  const std::string zipDir = options.zipDir.empty() ? options.workDir : options.zipDir;
  const std::string date = options.date.empty() ? PackageDateText() : options.date;
  result.containerPath = options.workDir + "zelkbak.Config";
  result.packagePath = options.workDir + Cp936("Zelk配置文件恢复包.exe");
  result.zipPath = zipDir + Cp936("Zelk配置文件恢复包") + date + ".zip";
}

void Collect(const TPackOptions& options, TBackupEvents& events, TPackResult& result) {
  if (!options.passwordExact) {
    result.passwordUnusable = true;
    events.Message({TBackupMessage::PasswordUnusable, PasswordUnusableText(), {}});
    return;
  }
  if (options.password.size() > kMaxPackPasswordBytes) {
    result.passwordTooLong = true;
    events.Message({TBackupMessage::PasswordTooLong, PasswordTooLongText(), {}});
    return;
  }
  events.Step(TBackupStep::Collecting);
  const std::string& config = result.containerPath;
  const std::string stub = options.stubFile.empty() ? options.workDir + "loader.bin" : options.stubFile;
  if (platform::FileExists(config)) platform::DeleteFile(config);

  {
    TContainerFS container(config, kModeCreate, options.password, "?", kRecoveryAnswer, 9);
    if (options.threadCount > 0) container.SetThreadCount(options.threadCount);
    container.OnProgress.Handler = [&events](void*, TContainerFS&, double percent, bool& cancel) {
      events.OverallProgress(percent, cancel);
    };
    container.OnFileProgress.Handler = [&events](void*, TContainerFS&, const std::string& name, double percent) {
      events.FileProgress(name, percent);
    };
    events.Step(TBackupStep::Storing);
    result.failures = ImportGameEntries(container, options.gamePath, options.accounts, options.addons);
    events.Step(TBackupStep::Stored);
  }  // releasing the container completes the file
  for (const TImportFailure& f : result.failures)
    events.Message({TBackupMessage::ImportFailure, FormatImportFailure(f), {}});

  if (!platform::FileExists(config) || !platform::FileExists(stub)) {
    result.collected = true;  // nothing to build: the run goes on without a package
    return;
  }
  events.Step(TBackupStep::Verifying);
  events.RunLongStep(TBackupStep::Verifying, [&] {
    MakeSFX(config, stub, result.packagePath);
    result.packageBuilt = true;
    result.readBackProblem = ReadBackContainer(result.packagePath, options.password, options.threadCount);
  });
  // The working files go only once the package reads back whole.
  if (!result.readBackProblem.empty()) {
    events.Message({TBackupMessage::ReadBackFailed,
                    Cp936("恢复包校验失败，保留临时文件 zelkbak.Config 和 loader.bin：") + result.readBackProblem, {}});
    return;
  }
  result.readBack = true;
  platform::DeleteFile(config);
  if (!options.keepStub) platform::DeleteFile(stub);
  result.collected = true;
}

}  // namespace

std::string PackageDateText() {
  const platform::LocalDateTime now = platform::NowLocal();
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", now.year, now.month, now.day);
  return text;
}

std::string PasswordUnusableText() {
  return Cp936("密码中含有本程序无法使用的字符，请更换密码后再打包。");
}

std::string PasswordTooLongText() { return Cp936("密码太长：最多 32 个字节（16 个汉字）。请缩短密码后再打包。"); }

TPackResult CollectPackage(const TPackOptions& options, TBackupEvents& events) {
  TPackResult result;
  FillNames(options, result);
  Collect(options, events, result);
  return result;
}

TPackResult PackGame(const TPackOptions& options, TBackupEvents& events) {
  TPackResult result;
  FillNames(options, result);  // the date is taken once, for the zip and for whoever shows it
  Collect(options, events, result);
  // A package that did not read back is not archived; the working files stay for a look.
  if (!result.collected) return result;

  events.Step(TBackupStep::Zipping);
  TCollectingZipHost host;
  events.RunLongStep(TBackupStep::Zipping,
                     [&] { ZipPackage(result.packagePath, result.zipPath, options.threadCount, host); });
  for (const TBackupNotice& note : host.notes) events.Message(note);
  events.Step(TBackupStep::Done);
  platform::DeleteFile(result.packagePath);
  result.zipped = true;
  return result;
}
