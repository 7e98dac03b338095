#pragma once
// What pack and restore show while they run: one progress line, redrawn in place with "\r" and
// only on a terminal, and the engine's messages on the error stream.
#include <chrono>
#include <string>

#include "backup/BackupEvents.h"
#include "tools/CfsTool.h"

class TCfsToolEvents : public TBackupEvents {
 public:
  explicit TCfsToolEvents(const CfsToolIO& io) : io_(io) {}

  void Step(TBackupStep step) override;
  void FileProgress(const std::string& fileName, double percent) override;
  void OverallProgress(double percent, bool& cancel) override;
  void Message(const TBackupNotice& notice) override;
  // Erases the progress line so that other output starts on a clean line.
  void ClearLine();

 protected:
  const CfsToolIO& io_;

 private:
  // Redraws the line, at most ten times a second unless `now` is set.
  void Draw(bool now);

  std::string step_;
  std::string file_;
  double overall_ = 0;
  std::size_t drawnWidth_ = 0;
  std::chrono::steady_clock::time_point lastDraw_{};
};
