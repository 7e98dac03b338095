// The packing run: the chosen accounts and add-ons go into a container, the container behind
// the restore program, the restore program into a dated zip next to the tool.
#include <cmath>
#include <cstdio>
#include <exception>
#include <memory>

#include "app/Cp936Text.h"
#include "app/ReadBack.h"
#include "app/Unit1.h"
#include "app/Unit3.h"
#include "app/ZipHost.h"
#include "cfs/sfx/MakeSFX.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Shell.h"
#include "platform/Text.h"
#include "platform/Time.h"
#include "zip/ZipWriter.h"

namespace {

// Recovery answer stored with the password record; only its key role matters.
const char kRecoveryAnswer[] = "z";
// At most this many left-out files are named in the report.
constexpr std::size_t kListedLeftOut = 10;

int RoundPercent(double percent) { return static_cast<int>(std::nearbyint(percent)); }

std::string Today() {
  platform::LocalDateTime now = platform::NowLocal();
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", now.year, now.month, now.day);
  return text;
}

std::u16string Wide(const std::string& cp936) { return platform::Utf8ToUtf16(platform::Cp936ToUtf8(cp936)); }

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

bool TForm1::PasswordTooLong(const std::string& password) {
  if (password.size() <= static_cast<std::size_t>(kMaxPasswordBytes)) return false;
  App().ShowMessageBox(this,
                       Cp936("密码太长：最多 32 个字节（16 个汉字）。请缩短密码后再打包。"),
                       Cp936("错误"), ui::MessageIcon::Error);
  return true;
}

void TForm1::btn2Click() {
  // A password the cipher cannot take is refused before anything is written or disabled.
  if (PasswordTooLong(platform::Trim(edt1.Text()))) return;

  txt2.SetEnabled(false);
  txt3.SetEnabled(false);
  txt4.SetEnabled(false);
  edt1.SetEnabled(false);
  nxnfpnl1.SetEnabled(false);
  btn2.SetEnabled(false);
  btn2.SetWidth(150);
  btn2.SetText(Cp936("请等待收集完成..."));

  btn1Click();
  // A package that did not read back is not archived; the working files stay for a look.
  if (!collectComplete_) return;

  btn2.SetText(Cp936("正在打包..."));
  const std::string dir = ProgramDir();
  const std::string zipName = dir + Cp936("Zelk配置文件恢复包") + Today() + ".zip";
  const std::string exeName = dir + Cp936("Zelk配置文件恢复包.exe");
  {
    TAppZipHost host(App(), this);
    TZipWriter zip;
    zip.SetMessageHost(&host);
    zip.OverwriteMode = Always;
    zip.DoAll = true;
    zip.FilesList.Add(Wide(exeName));
    zip.SetZipName(Wide(zipName));
    zip.Zip();
  }
  btn2.SetText(Cp936("打包完成."));
  platform::DeleteFile(exeName);
  platform::ShellExecute(NativeHandle(), "open", "explorer.exe", "/select,\"" + zipName + "\"", dir, 5);
  App().Terminate();
}

void TForm1::btn1Click() {
  const std::string dir = ProgramDir();
  const std::string config = dir + "zelkbak.Config";
  const std::string stub = dir + "loader.bin";
  const std::string exeName = dir + Cp936("Zelk配置文件恢复包.exe");
  const std::string password = platform::Trim(edt1.Text());
  collectComplete_ = false;
  if (PasswordTooLong(password)) return;
  if (platform::FileExists(config)) platform::DeleteFile(config);

  failures_.clear();
  {
    TContainerFS container(config, kModeCreate, password, "?", kRecoveryAnswer, 9);
    TForm3& form = *progress_;
    ResetProgress(form);
    form.ShowForm();
    container.OnProgress.UserData = &form;
    container.OnProgress.Handler = [this](void* user, TContainerFS&, double percent, bool&) {
      ProgressHandler(*static_cast<TForm3*>(user), percent);
    };
    container.OnFileProgress.UserData = &form;
    container.OnFileProgress.Handler = [this](void* user, TContainerFS&, const std::string& name, double percent) {
      FileProgressHandler(*static_cast<TForm3*>(user), name, percent);
    };

    for (const std::string& name : AccountList) {
      const std::string path = GamePath + "userdata\\" + name;
      if (platform::FileExists(path)) ImportChecked(container, path, "userdata", true);
      if (platform::DirectoryExists(path)) ImportChecked(container, path, "userdata", false);
    }
    for (const std::string& name : AddonList) {
      const std::string path = GamePath + "interface\\" + name;
      if (platform::DirectoryExists(path)) ImportChecked(container, path, "interface", false);
    }
    form.HideForm();
  }  // releasing the container completes the file
  ReportImportFailures();

  if (!platform::FileExists(config) || !platform::FileExists(stub)) {
    collectComplete_ = true;  // nothing to build: the run goes on without a package
    return;
  }
  MakeSFX(config, stub, exeName);
  // The working files go only once the package reads back whole.
  std::string problem = ReadBackContainer(exeName, password);
  if (!problem.empty()) {
    App().ShowMessageBox(this, Cp936("恢复包校验失败，保留临时文件 zelkbak.Config 和 loader.bin：") + problem,
                         Cp936("错误"), ui::MessageIcon::Error);
    return;
  }
  platform::DeleteFile(config);
  platform::DeleteFile(stub);
  collectComplete_ = true;
}

void TForm1::ImportChecked(TContainerFS& container, const std::string& path, const std::string& destDir, bool file) {
  if (file)
    container.ImportFiles(path, destDir, 63, false, 2, false);
  else
    container.ImportDirectory(path, destDir, true, 2, false);
  const TCFSImportError& error = container.LastImportError();
  if (!error.Failed) return;

  // Everything stored from this source lies below its import folder; the failing file may be
  // half written and would restore damaged, so it is taken out again.
  const std::string base = "\\" + destDir + "\\" + (file ? std::string() : platform::ExtractFileName(path) + "\\");
  if (!error.ContainerPath.empty()) container.DeleteFile(base + error.ContainerPath);

  ImportFailure failure{path, error, {}};
  if (file) {
    failure.leftOut.push_back(platform::ExtractFileName(path));
  } else {
    std::vector<std::string> files;
    ListFiles(platform::IncludeTrailingPathDelimiter(path), "", files);
    for (const std::string& rel : files)
      if (!container.FileExists(base + rel)) failure.leftOut.push_back(rel);
  }
  failures_.push_back(std::move(failure));
}

void TForm1::ReportImportFailures() {
  for (const ImportFailure& f : failures_) {
    std::string text = Cp936("备份不完整！下面的文件无法读取：") + "\r\n" + f.error.DiskPath + "\r\n" +
                       Cp936("原因：") + f.error.Message + "\r\n" + Cp936("未存入恢复包的文件（来自 ") + f.source +
                       Cp936("）：");
    for (std::size_t i = 0; i < f.leftOut.size() && i < kListedLeftOut; ++i) text += "\r\n" + f.leftOut[i];
    if (f.leftOut.size() > kListedLeftOut)
      text += "\r\n" + Cp936("……共 ") + std::to_string(f.leftOut.size()) + Cp936(" 个文件");
    text += "\r\n" + Cp936("恢复包仍会生成，只包含其余已存入的文件。");
    App().ShowMessageBox(this, text, Cp936("错误"), ui::MessageIcon::Error);
  }
}

void TForm1::ResetProgress(TForm3& form) {
  form.pb1.SetMax(100);
  form.pb2.SetMax(100);
  form.lbl2.SetText("");
  form.pb1.SetPosition(0);
  form.pb2.SetPosition(0);
  App().ProcessMessages();
}

void TForm1::ProgressHandler(TForm3& form, double percent) {
  form.Repaint();
  form.pb2.SetPosition(RoundPercent(percent));
  App().ProcessMessages();
}

void TForm1::FileProgressHandler(TForm3& form, const std::string& fileName, double percent) {
  form.Repaint();
  form.lbl2.SetText(fileName);
  form.pb1.SetPosition(RoundPercent(percent));
  App().ProcessMessages();
}
