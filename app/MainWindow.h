#pragma once
// The main window (form "Form1", class TForm1 in the designer; unit Unit1): what the tool does,
// whether the game was found, what will be packed, the optional password and the pack button.
// Its timer looks for the game directory. The packing run is in PackingRun.cpp, the start-up
// extraction of the restore program in EmbeddedStub.cpp.
//
// Control names (the name string each control carries, which the Windows driver finds) and
// their members:
//   pnl1 -> headerPanel      nxnfpnl1 -> infoPanel    txt2 -> accountsText   txt3 -> addonsText
//   txt4 -> passwordLabel    edt1 -> passwordEdit     btn1 -> collectButton  btn2 -> packButton
//   tmr1 -> searchTimer
#include <string>
#include <vector>

#include "app/ProgressThrottle.h"
#include "backup/PackGame.h"
#include "gamedir/GameLocator.h"
#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/Form.h"
#include "ui/Timer.h"

namespace tool {

class SelectionWindow;
class ProgressWindow;

class MainWindow : public ui::Form {
 public:
  // `probe` must outlive the window.
  MainWindow(ui::Application& app, const SystemProbe& probe);

  // Declaration order is creation order (and so the controls' identifiers).
  ui::HeaderPanel headerPanel{*this, "pnl1"};
  ui::InfoPanel infoPanel{headerPanel, "nxnfpnl1"};
  ui::StaticText accountsText{headerPanel, "txt2"};
  ui::StaticText addonsText{headerPanel, "txt3"};
  ui::StaticText passwordLabel{headerPanel, "txt4"};
  ui::Edit passwordEdit{headerPanel, "edt1"};
  ui::Button collectButton{headerPanel, "btn1"};
  ui::Button packButton{headerPanel, "btn2"};
  ui::Timer searchTimer{*this};

  // The game client directory once found, ending in "\".
  std::string gamePath;
  // Names left checked in the selection window, in list order.
  std::vector<std::string> accounts;
  std::vector<std::string> addons;

  // On creation: nothing chosen yet.
  void ClearChoices();
  // First showing: writes the restore program carried by the own executable next to it.
  void StartUp();
  // One attempt to find the game (the timer's tick); on success the search stops and the
  // selection window opens.
  void SearchForGame();

  // The pack button ("立即打包"): the whole packing run, ending the program.
  void PackAll();
  // The hidden collect button: the collect step alone (container, imports, self-extracting
  // executable).
  void CollectOnly();
  void ResetProgress(ProgressWindow& form);
  // The progress handlers keep the latest values and show them at most ten times a second;
  // FlushProgress shows what is still held back.
  void ProgressHandler(ProgressWindow& form, double percent);
  void FileProgressHandler(ProgressWindow& form, const std::string& fileName, double percent);
  void FlushProgress(ProgressWindow& form);
  // Tests drive the progress throttle with a clock of their own.
  void SetProgressClock(TProgressThrottle::Clock clock) { progressThrottle_.SetClock(std::move(clock)); }

  // The program's directory, ending in "\".
  std::string ProgramDir() const;
  // What the packing run takes from the window.
  TPackOptions PackOptions() const;

  void SetSelectionWindow(SelectionWindow* form) { selection_ = form; }
  void SetProgressWindow(ProgressWindow* form) { progress_ = form; }

 private:
  void ShowProgress(ProgressWindow& form);

  struct ProgressState {
    std::string fileName;
    int filePercent = 0;
    int overallPercent = 0;
  };
  ProgressState progressState_;
  TProgressThrottle progressThrottle_;
  bool shown_ = false;
  const SystemProbe& probe_;
  TGameSearch gameSearch_;
  SelectionWindow* selection_ = nullptr;
  ProgressWindow* progress_ = nullptr;
};

}  // namespace tool
