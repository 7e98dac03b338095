#pragma once
// The restore program's one window (form "Form1", class TForm1 in the designer; unit Unit1 of the
// restore program): it waits for the game directory, then writes the settings and add-ons
// stored in the container appended to its own executable into that directory.
//
// Control names (the name string each control carries) and their members:
//   nxhdrpnl1 -> headerPanel   lbl1 -> statusLabel   btn1 -> restoreButton   btn2 -> closeButton
//   pb2 -> overallBar          pb1 -> fileBar        lbl2 -> noteLabel       tmr1 -> searchTimer
#include <string>

#include "app/ProgressThrottle.h"
#include "backup/BackupEvents.h"
#include "gamedir/GameLocator.h"
#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/Form.h"
#include "ui/Timer.h"

namespace restore {

class RestoreWindow : public ui::Form {
 public:
  // `probe` must outlive the window; its ProgramPath is the executable carrying the container.
  RestoreWindow(ui::Application& app, const SystemProbe& probe);

  // Declaration order is creation order (and so the controls' identifiers).
  ui::HeaderPanel headerPanel{*this, "nxhdrpnl1"};
  ui::Label statusLabel{headerPanel, "lbl1"};
  ui::Button restoreButton{headerPanel, "btn1"};
  ui::Button closeButton{headerPanel, "btn2"};
  ui::ProgressBar overallBar{headerPanel, "pb2"};
  ui::ProgressBar fileBar{headerPanel, "pb1"};
  ui::Label noteLabel{headerPanel, "lbl2"};
  ui::Timer searchTimer{*this};

  // The game client directory once found, ending in "\".
  std::string gamePath;
  // Set by the answer All: every later existing file is replaced without asking.
  bool overwriteAll = false;

  // Every showing: a program path the package cannot be opened through ends the program.
  void CheckProgramPath();
  // One attempt to find the game (the timer's tick); on success the restore button is enabled.
  void SearchForGame();
  // The restore button ("立即解压"): asks for the password when needed and exports everything
  // into gamePath.
  void RestoreAll();

  // Asked by the export for every target file that exists already (until All is answered).
  TOverwriteAnswer ConfirmOverwrite(const std::string& fileName);
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

  std::string progressFile_;
  int filePercent_ = 0;
  int overallPercent_ = 0;
  TProgressThrottle progressThrottle_;
  const SystemProbe& probe_;
  TGameSearch gameSearch_;
};

}  // namespace restore
