#include "backup/GameImport.h"

#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace {

// At most this many left-out files are named in the report.
constexpr std::size_t kListedLeftOut = 10;

std::string Cp936(std::string_view utf8) { return platform::Utf8ToCp936(utf8); }

// Why a file was left out, as the windows say it.
std::string Reason(const TCFSImportError& e) {
  return e.NameNotCp936 ? Cp936("名称中含有无法使用的字符，无法存入") : e.Message;
}

// The lists carry an entry whose name has no code page 936 form with "?" in its place, and a
// Windows name never holds "?": such an entry is named as left out instead of vanishing.
void ReportUnusableName(const std::string& path, std::vector<TImportFailure>& failures) {
  const std::string name = platform::ExtractFileName(path);
  if (name.find('?') == std::string::npos) return;
  TCFSImportError e{true, path, name, {}, true};
  failures.push_back({path, {e}});
}

}  // namespace

std::int32_t ImportSource(TContainerFS& container, const std::string& path, const std::string& destDir, bool file,
                          TExistingFiles existingFiles, std::vector<TImportFailure>& failures) {
  const std::int32_t count =
      file ? container.ImportFiles(path, destDir, platform::kAttrAnyFile, false, existingFiles, false)
           : container.ImportDirectory(path, destDir, true, existingFiles, false);
  if (!container.ImportFailures().empty()) failures.push_back({path, container.ImportFailures()});
  return count;
}

std::vector<TImportFailure> ImportGameEntries(TContainerFS& container, const std::string& gamePath,
                                              const std::vector<std::string>& accounts,
                                              const std::vector<std::string>& addons) {
  // The calls in their order. An account entry is a file, a folder or both; an entry that is
  // neither is named as left out where it comes.
  enum class Kind { File, Folder, Unusable };
  struct Step {
    std::string path;
    const char* destDir;
    Kind kind;
  };
  std::vector<Step> steps;
  for (const std::string& name : accounts) {
    const std::string path = gamePath + "userdata\\" + name;
    const bool file = platform::FileExists(path);
    if (file) steps.push_back({path, "userdata", Kind::File});
    if (platform::DirectoryExists(path))
      steps.push_back({path, "userdata", Kind::Folder});
    else if (!file)
      steps.push_back({path, "userdata", Kind::Unusable});
  }
  for (const std::string& name : addons) {
    const std::string path = gamePath + "interface\\" + name;
    steps.push_back({path, "interface", platform::DirectoryExists(path) ? Kind::Folder : Kind::Unusable});
  }

  // One set of workers reads ahead across every call, in the order they are made below.
  std::vector<TContainerFS::TPlannedImport> plan;
  for (const Step& step : steps)
    if (step.kind != Kind::Unusable)
      plan.push_back({step.path, step.kind == Kind::Folder, platform::kAttrAnyFile, step.kind == Kind::Folder});
  container.PlanImports(plan);

  std::vector<TImportFailure> failures;
  for (const Step& step : steps) {
    if (step.kind == Kind::Unusable)
      ReportUnusableName(step.path, failures);
    else
      ImportSource(container, step.path, step.destDir, step.kind == Kind::File, TExistingFiles::Ask, failures);
  }
  container.EndPlannedImports();
  return failures;
}

std::string FormatImportFailure(const TImportFailure& f) {
  std::string text = Cp936("备份不完整！下面的文件未能存入恢复包（来自 ") + f.source + Cp936("）：");
  for (std::size_t i = 0; i < f.files.size() && i < kListedLeftOut; ++i)
    text += "\r\n" + f.files[i].DiskPath + "\r\n" + Cp936("    原因：") + Reason(f.files[i]);
  if (f.files.size() > kListedLeftOut)
    text += "\r\n" + Cp936("……共 ") + std::to_string(f.files.size()) + Cp936(" 个文件");
  text += "\r\n" + Cp936("恢复包仍会生成，只包含其余已存入的文件。");
  return text;
}
