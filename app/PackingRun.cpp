// The packing run from the main window: the engine does the work (backup/PackGame), the windows
// show its steps and progress, and Explorer is opened on the dated zip at the end.
#include <cmath>

#include "app/MainWindow.h"
#include "app/PackWindowEvents.h"
#include "app/ProgressWindow.h"
#include "platform/Shell.h"
#include "platform/Text.h"

namespace tool {

namespace {

int RoundPercent(double percent) { return static_cast<int>(std::nearbyint(percent)); }

}  // namespace

TPackOptions MainWindow::PackOptions() const {
  TPackOptions options;
  options.gamePath = gamePath;
  options.accounts = accounts;
  options.addons = addons;
  options.password = platform::Trim(passwordEdit.Text());
  options.passwordExact = passwordEdit.TextExact();
  options.workDir = ProgramDir();
  return options;
}

void MainWindow::PackAll() {
  PackWindowEvents events(*this, *progress_, true);
  const TPackResult result = PackGame(PackOptions(), events);
  // A refused password, or a package that did not read back: the window stays as it is.
  if (!result.zipped) return;
  platform::ShellExecute(NativeHandle(), "open", "explorer.exe", "/select,\"" + result.zipPath + "\"", ProgramDir(),
                         platform::kShowWindow);
  App().Terminate();
}

void MainWindow::CollectOnly() {
  PackWindowEvents events(*this, *progress_, false);
  CollectPackage(PackOptions(), events);
}

void MainWindow::ResetProgress(ProgressWindow& form) {
  form.fileBar.SetMax(100);
  form.overallBar.SetMax(100);
  progressState_ = {};
  progressThrottle_.TakePending();
  form.fileLabel.SetText("");
  form.fileBar.SetPosition(0);
  form.overallBar.SetPosition(0);
  App().ProcessMessages();
}

void MainWindow::ProgressHandler(ProgressWindow& form, double percent) {
  progressState_.overallPercent = RoundPercent(percent);
  if (progressThrottle_.Due()) ShowProgress(form);
}

void MainWindow::FileProgressHandler(ProgressWindow& form, const std::string& fileName, double percent) {
  progressState_.fileName = fileName;
  progressState_.filePercent = RoundPercent(percent);
  if (progressThrottle_.Due()) ShowProgress(form);
}

void MainWindow::FlushProgress(ProgressWindow& form) {
  if (progressThrottle_.TakePending()) ShowProgress(form);
}

void MainWindow::ShowProgress(ProgressWindow& form) {
  form.Repaint();
  form.fileLabel.SetText(progressState_.fileName);
  form.fileBar.SetPosition(progressState_.filePercent);
  form.overallBar.SetPosition(progressState_.overallPercent);
  App().ProcessMessages();
}

}  // namespace tool
