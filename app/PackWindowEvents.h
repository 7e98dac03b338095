#pragma once
// The packing run as the main window and the progress window show it: the pack button's steps,
// the progress window during the imports, and the run's reports as boxes owned by the main window.
#include "backup/BackupEvents.h"

class TForm1;
class TForm3;

class TPackWindowEvents : public TBackupEvents {
 public:
  // wholeRun: started by the pack button, whose look follows the steps.
  TPackWindowEvents(TForm1& main, TForm3& progress, bool wholeRun)
      : main_(main), progress_(progress), wholeRun_(wholeRun) {}

  void Step(TBackupStep step) override;
  void FileProgress(const std::string& fileName, double percent) override;
  void OverallProgress(double percent, bool& cancel) override;
  void Message(const TBackupNotice& notice) override;

 private:
  TForm1& main_;
  TForm3& progress_;
  bool wholeRun_;
};
