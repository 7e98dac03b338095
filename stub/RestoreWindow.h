#pragma once
// The restore program's one window: it waits for the game directory, then writes the settings
// and add-ons stored in the container appended to its own executable into that directory.
#include <string>

#include "gamedir/GameLocator.h"
#include "app/ProgressThrottle.h"
#include "backup/BackupEvents.h"
#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/Form.h"
#include "ui/Timer.h"

class TForm1 : public ui::Form {
 public:
  // `probe` must outlive the window; its ProgramPath is the executable carrying the container.
  TForm1(ui::Application& app, const SystemProbe& probe);

  // Declaration order is creation order (and so the controls' identifiers).
  ui::HeaderPanel nxhdrpnl1{*this, "nxhdrpnl1"};
  ui::Label lbl1{nxhdrpnl1, "lbl1"};
  ui::Button btn1{nxhdrpnl1, "btn1"};
  ui::Button btn2{nxhdrpnl1, "btn2"};
  ui::ProgressBar pb2{nxhdrpnl1, "pb2"};
  ui::ProgressBar pb1{nxhdrpnl1, "pb1"};
  ui::Label lbl2{nxhdrpnl1, "lbl2"};
  ui::Timer tmr1{*this};

  // The game client directory once found, ending in "\".
  std::string GamePath;
  // Set by the answer All: every later existing file is replaced without asking.
  bool OverwriteAll = false;

  void FormShow();
  void tmr1Timer();
  // "立即解压": asks for the password when needed and exports everything into GamePath.
  void btn1Click();
  void btn2Click() { Close(); }
  void nxhdrpnl1MouseDown() { StartMoveByCaption(); }

  // Asked by the export for every target file that exists already (until All is answered).
  TOverwriteAnswer CFSConfirmOverwrite(const std::string& fileName);
  // The progress handlers keep the latest values and show them at most ten times a second;
  // FlushProgress shows what is still held back.
  void ProgressHandler(double percent);
  void FileProgressHandler(const std::string& fileName, double percent);
  void FlushProgress();
  // Tests drive the progress throttle with a clock of their own.
  void SetProgressClock(TProgressThrottle::Clock clock) { progressThrottle_.SetClock(std::move(clock)); }

 private:
  void ShowProgress();
  // Back from the exporting look to the two buttons ("立即解压" retries, "关闭程序" leaves).
  void ShowButtonsAgain();

  bool clientFolderReported_ = false;
  std::string progressFile_;
  int filePercent_ = 0;
  int overallPercent_ = 0;
  TProgressThrottle progressThrottle_;
  const SystemProbe& probe_;
};
