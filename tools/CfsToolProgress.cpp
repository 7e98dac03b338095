#include "tools/CfsToolProgress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/Text.h"

namespace {

constexpr std::size_t kShownNameBytes = 56;
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

// The end of a long code page 936 name, cut at a character boundary.
std::string Tail(const std::string& name, std::size_t bytes) {
  if (name.size() <= bytes) return name;
  std::size_t at = 0;
  while (at < name.size() && name.size() - at > bytes - 3) at += platform::CharLength(name, at);
  return "..." + name.substr(at);
}

}  // namespace

void TCfsToolEvents::Step(TBackupStep step) {
  switch (step) {
    case TBackupStep::Collecting:
    case TBackupStep::Storing: step_ = "storing"; break;
    case TBackupStep::Stored: step_ = "completing the container"; break;
    case TBackupStep::Verifying: step_ = "building and reading back the package"; break;
    case TBackupStep::Zipping: step_ = "zipping"; break;
    case TBackupStep::Done: step_ = "done"; break;
  }
  file_.clear();
  Draw(true);
}

void TCfsToolEvents::FileProgress(const std::string& fileName, double) {
  file_ = fileName;
  Draw(false);
}

void TCfsToolEvents::OverallProgress(double percent, bool&) {
  overall_ = percent;
  Draw(false);
}

void TCfsToolEvents::Message(const TBackupNotice& notice) {
  // The command says why, in its words.
  if (notice.kind == TBackupMessage::RestoreFailed || notice.kind == TBackupMessage::RestoreIncomplete) return;
  ClearLine();
  std::string text;
  for (char c : notice.text)
    if (c != '\r') text += c;
  if (!notice.caption.empty()) text = notice.caption + ": " + text;
  io_.Err(text + "\n");
}

void TCfsToolEvents::ClearLine() {
  if (!io_.outIsTerminal || drawnWidth_ == 0) return;
  io_.out << "\r" << std::string(drawnWidth_, ' ') << "\r" << std::flush;
  drawnWidth_ = 0;
}

void TCfsToolEvents::Draw(bool now) {
  if (!io_.outIsTerminal) return;
  const auto time = std::chrono::steady_clock::now();
  if (!now && time - lastDraw_ < kRedrawEvery) return;
  lastDraw_ = time;
  char percent[8];
  std::snprintf(percent, sizeof percent, "%3d%% ", static_cast<int>(std::lround(overall_)));
  std::string line = (file_.empty() ? step_ : std::string(percent) + Tail(file_, kShownNameBytes));
  const std::size_t width = line.size();  // code page 936: bytes are columns
  if (width < drawnWidth_) line += std::string(drawnWidth_ - width, ' ');
  io_.out << "\r" << io_.toConsole(line) << std::flush;
  drawnWidth_ = std::max(width, drawnWidth_);
}
