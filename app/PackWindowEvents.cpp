#include "app/PackWindowEvents.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "app/MainWindow.h"
#include "app/ProgressWindow.h"
#include "gamedir/Cp936Text.h"
#include "platform/Threads.h"

namespace tool {

namespace {

// The longest the window goes without handling its messages while a long step runs.
constexpr auto kPumpEvery = std::chrono::milliseconds(15);

}  // namespace

PackWindowEvents::~PackWindowEvents() {
  if (progressUp_) progress_.HideForm();
}

void PackWindowEvents::Step(TBackupStep step) {
  switch (step) {
    case TBackupStep::Collecting:
      if (!wholeRun_) return;
      main_.accountsText.SetEnabled(false);
      main_.addonsText.SetEnabled(false);
      main_.passwordLabel.SetEnabled(false);
      main_.passwordEdit.SetEnabled(false);
      main_.infoPanel.SetEnabled(false);
      main_.packButton.SetEnabled(false);
      main_.packButton.SetWidth(150);
      main_.packButton.SetText(Cp936("请等待收集完成..."));
      return;
    case TBackupStep::Storing:
      main_.ResetProgress(progress_);
      progress_.ShowForm();
      return;
    case TBackupStep::Stored:
      // Only the whole run goes on after the imports with the progress window up.
      main_.FlushProgress(progress_);
      if (wholeRun_) {
        progressUp_ = true;
      } else {
        progress_.HideForm();
      }
      return;
    case TBackupStep::Verifying:
      if (progressUp_) progress_.fileLabel.SetText(Cp936("正在校验恢复包..."));
      return;
    case TBackupStep::Zipping:
      if (progressUp_) progress_.fileLabel.SetText(Cp936("正在压缩..."));
      if (wholeRun_) main_.packButton.SetText(Cp936("正在打包..."));
      return;
    case TBackupStep::Done:
      if (progressUp_) progress_.HideForm();
      progressUp_ = false;
      if (wholeRun_) main_.packButton.SetText(Cp936("打包完成."));
      return;
  }
}

void PackWindowEvents::FileProgress(const std::string& fileName, double percent) {
  main_.FileProgressHandler(progress_, fileName, percent);
}

void PackWindowEvents::OverallProgress(double percent, bool&) { main_.ProgressHandler(progress_, percent); }

void PackWindowEvents::Message(const TBackupNotice& notice) {
  const bool note = notice.kind == TBackupMessage::ZipNote;
  main_.App().ShowMessageBox(&main_, notice.text, notice.caption.empty() ? Cp936("错误") : notice.caption,
                             note ? ui::MessageIcon::Information : ui::MessageIcon::Error);
}

void PackWindowEvents::RunLongStep(TBackupStep, const std::function<void()>& work) {
  if (platform::ThreadCount() == 1) {
    work();
    return;
  }
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  std::exception_ptr error;
  {
    // Only `work` runs on the worker; the windows stay with this thread.
    std::jthread worker([&] {
      try {
        work();
      } catch (...) {
        error = std::current_exception();
      }
      std::lock_guard lock(mutex);
      done = true;
      ended.notify_one();
    });
    for (;;) {
      main_.App().ProcessMessages();
      std::unique_lock lock(mutex);
      if (ended.wait_for(lock, kPumpEvery, [&] { return done; })) break;
    }
  }  // joined
  if (error) std::rethrow_exception(error);
}

}  // namespace tool
