#pragma once
// The main window: what the tool does, whether the game was found, what will be packed, the
// optional password and the pack button. Its timer looks for the game directory.
#include <string>
#include <vector>

#include "gamedir/GameLocator.h"
#include "app/ProgressThrottle.h"
#include "backup/PackGame.h"
#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/Form.h"
#include "ui/Timer.h"

class TForm2;
class TForm3;

class TForm1 : public ui::Form {
 public:
  // `probe` must outlive the window.
  TForm1(ui::Application& app, const SystemProbe& probe);

  // Declaration order is creation order (and so the controls' identifiers).
  ui::HeaderPanel pnl1{*this, "pnl1"};
  ui::InfoPanel nxnfpnl1{pnl1, "nxnfpnl1"};
  ui::StaticText txt2{pnl1, "txt2"};
  ui::StaticText txt3{pnl1, "txt3"};
  ui::StaticText txt4{pnl1, "txt4"};
  ui::Edit edt1{pnl1, "edt1"};
  ui::Button btn1{pnl1, "btn1"};
  ui::Button btn2{pnl1, "btn2"};
  ui::Timer tmr1{*this};

  // The game client directory once found, ending in "\".
  std::string GamePath;
  // Names left checked in the selection window, in list order.
  std::vector<std::string> AccountList;
  std::vector<std::string> AddonList;

  void FormCreate();
  // First showing: writes the restore program carried by the own executable next to it.
  void FormShow();
  // One attempt to find the game; on success the search stops and the selection window opens.
  void tmr1Timer();
  std::string LocateGameDir() const;
  bool CheckGameDir(const std::string& dir) const;

  // "立即打包": the whole packing run, ending the program.
  void btn2Click();
  // The collect step: container, imports, self-extracting executable.
  void btn1Click();
  void ResetProgress(TForm3& form);
  // The progress handlers keep the latest values and show them at most ten times a second;
  // FlushProgress shows what is still held back.
  void ProgressHandler(TForm3& form, double percent);
  void FileProgressHandler(TForm3& form, const std::string& fileName, double percent);
  void FlushProgress(TForm3& form);
  // Tests drive the progress throttle with a clock of their own.
  void SetProgressClock(TProgressThrottle::Clock clock) { progressThrottle_.SetClock(std::move(clock)); }

  // The program's directory, ending in "\".
  std::string ProgramDir() const;
  // What the packing run takes from the window.
  TPackOptions PackOptions() const;

  void SetSelectionWindow(TForm2* form) { selection_ = form; }
  void SetProgressWindow(TForm3* form) { progress_ = form; }
  TForm3* ProgressWindow() const { return progress_; }

 private:
  void ShowProgress(TForm3& form);

  struct ProgressState {
    std::string fileName;
    int filePercent = 0;
    int overallPercent = 0;
  };
  ProgressState progressState_;
  TProgressThrottle progressThrottle_;
  bool shown_ = false;
  bool clientFolderReported_ = false;
  const SystemProbe& probe_;
  TForm2* selection_ = nullptr;
  TForm3* progress_ = nullptr;
};
