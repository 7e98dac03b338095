#pragma once
// The packing run as the main window and the progress window show it: the pack button's steps,
// the progress window from the imports until the zip is written (with a line saying what runs),
// the run's reports as boxes owned by the main window, and the long steps on a worker thread
// while the windows keep answering.
#include "backup/BackupEvents.h"

namespace tool {

class MainWindow;
class ProgressWindow;

class PackWindowEvents : public TBackupEvents {
 public:
  // wholeRun: started by the pack button, whose look follows the steps.
  PackWindowEvents(MainWindow& main, ProgressWindow& progress, bool wholeRun)
      : main_(main), progress_(progress), wholeRun_(wholeRun) {}
  // A run that stops after the imports (a package that does not read back, an error of the
  // zip writer) takes the progress window down.
  ~PackWindowEvents() override;

  void Step(TBackupStep step) override;
  void FileProgress(const std::string& fileName, double percent) override;
  void OverallProgress(double percent, bool& cancel) override;
  void Message(const TBackupNotice& notice) override;
  // Runs `work` on its own thread and lets window messages through until it ends; with a thread
  // count of 1 it runs in place.
  void RunLongStep(TBackupStep step, const std::function<void()>& work) override;

 private:
  MainWindow& main_;
  ProgressWindow& progress_;
  bool wholeRun_;
  bool progressUp_ = false;
};

}  // namespace tool
