#include "backup/GameImport.h"

#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace {

// At most this many left-out files are named in the report.
constexpr std::size_t kListedLeftOut = 10;

std::string Cp936(std::string_view utf8) { return platform::Utf8ToCp936(utf8); }

// Disk files below `dir` (ending in "\"), as paths relative to it prefixed by `rel`.
void ListFiles(const std::string& dir, const std::string& rel, std::vector<std::string>& out) {
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDirectory(dir + "*.*", platform::kAttrAnyFile, entries)) return;
  for (const platform::DirEntry& e : entries) {
    if (e.name == "." || e.name == "..") continue;
    if (e.attributes & platform::kAttrDirectory)
      ListFiles(dir + e.name + "\\", rel + e.name + "\\", out);
    else
      out.push_back(rel + e.name);
  }
}

}  // namespace

std::int32_t ImportSource(TContainerFS& container, const std::string& path, const std::string& destDir, bool file,
                          std::uint8_t existingFiles, std::vector<TImportFailure>& failures) {
  const std::int32_t count = file ? container.ImportFiles(path, destDir, 63, false, existingFiles, false)
                                  : container.ImportDirectory(path, destDir, true, existingFiles, false);
  const TCFSImportError& error = container.LastImportError();
  if (!error.Failed) return count;

  // Everything stored from this source lies below its import folder; the failing file may be
  // half written and would restore damaged, so it is taken out again.
  std::string base = "\\";
  if (!destDir.empty()) base += destDir + "\\";
  if (!file) base += platform::ExtractFileName(path) + "\\";
  if (!error.ContainerPath.empty()) container.DeleteFile(base + error.ContainerPath);

  TImportFailure failure{path, error, {}};
  if (file) {
    failure.leftOut.push_back(platform::ExtractFileName(path));
  } else {
    std::vector<std::string> files;
    ListFiles(platform::IncludeTrailingPathDelimiter(path), "", files);
    for (const std::string& rel : files)
      if (!container.FileExists(base + rel)) failure.leftOut.push_back(rel);
  }
  failures.push_back(std::move(failure));
  return count;
}

std::vector<TImportFailure> ImportGameEntries(TContainerFS& container, const std::string& gamePath,
                                              const std::vector<std::string>& accounts,
                                              const std::vector<std::string>& addons) {
  std::vector<TImportFailure> failures;
  for (const std::string& name : accounts) {
    const std::string path = gamePath + "userdata\\" + name;
    if (platform::FileExists(path)) ImportSource(container, path, "userdata", true, 2, failures);
    if (platform::DirectoryExists(path)) ImportSource(container, path, "userdata", false, 2, failures);
  }
  for (const std::string& name : addons) {
    const std::string path = gamePath + "interface\\" + name;
    if (platform::DirectoryExists(path)) ImportSource(container, path, "interface", false, 2, failures);
  }
  return failures;
}

std::string FormatImportFailure(const TImportFailure& f) {
  std::string text = Cp936("备份不完整！下面的文件无法读取：") + "\r\n" + f.error.DiskPath + "\r\n" + Cp936("原因：") +
                     f.error.Message + "\r\n" + Cp936("未存入恢复包的文件（来自 ") + f.source + Cp936("）：");
  for (std::size_t i = 0; i < f.leftOut.size() && i < kListedLeftOut; ++i) text += "\r\n" + f.leftOut[i];
  if (f.leftOut.size() > kListedLeftOut)
    text += "\r\n" + Cp936("……共 ") + std::to_string(f.leftOut.size()) + Cp936(" 个文件");
  text += "\r\n" + Cp936("恢复包仍会生成，只包含其余已存入的文件。");
  return text;
}
