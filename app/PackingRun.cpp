// The packing run from the main window: the engine does the work (backup/PackGame), the windows
// show its steps and progress, and Explorer is opened on the dated zip at the end.
#include <cmath>

#include "app/PackWindowEvents.h"
#include "app/MainWindow.h"
#include "app/ProgressWindow.h"
#include "platform/Shell.h"
#include "platform/Text.h"

namespace {

int RoundPercent(double percent) { return static_cast<int>(std::nearbyint(percent)); }

}  // namespace

TPackOptions TForm1::PackOptions() const {
  TPackOptions options;
  options.gamePath = GamePath;
  options.accounts = AccountList;
  options.addons = AddonList;
  options.password = platform::Trim(edt1.Text());
  options.passwordExact = edt1.TextExact();
  options.workDir = ProgramDir();
  return options;
}

void TForm1::btn2Click() {
  TPackWindowEvents events(*this, *progress_, true);
  const TPackResult result = PackGame(PackOptions(), events);
  // A refused password, or a package that did not read back: the window stays as it is.
  if (!result.zipped) return;
  platform::ShellExecute(NativeHandle(), "open", "explorer.exe", "/select,\"" + result.zipPath + "\"", ProgramDir(),
                         5);
  App().Terminate();
}

void TForm1::btn1Click() {
  TPackWindowEvents events(*this, *progress_, false);
  CollectPackage(PackOptions(), events);
}

void TForm1::ResetProgress(TForm3& form) {
  form.pb1.SetMax(100);
  form.pb2.SetMax(100);
  progressState_ = {};
  progressThrottle_.TakePending();
  form.lbl2.SetText("");
  form.pb1.SetPosition(0);
  form.pb2.SetPosition(0);
  App().ProcessMessages();
}

void TForm1::ProgressHandler(TForm3& form, double percent) {
  progressState_.overallPercent = RoundPercent(percent);
  if (progressThrottle_.Due()) ShowProgress(form);
}

void TForm1::FileProgressHandler(TForm3& form, const std::string& fileName, double percent) {
  progressState_.fileName = fileName;
  progressState_.filePercent = RoundPercent(percent);
  if (progressThrottle_.Due()) ShowProgress(form);
}

void TForm1::FlushProgress(TForm3& form) {
  if (progressThrottle_.TakePending()) ShowProgress(form);
}

void TForm1::ShowProgress(TForm3& form) {
  form.Repaint();
  form.lbl2.SetText(progressState_.fileName);
  form.pb1.SetPosition(progressState_.filePercent);
  form.pb2.SetPosition(progressState_.overallPercent);
  App().ProcessMessages();
}
