#include "app/PackWindowEvents.h"

#include "app/Cp936Text.h"
#include "app/Unit1.h"
#include "app/Unit3.h"

void TPackWindowEvents::Step(TBackupStep step) {
  switch (step) {
    case TBackupStep::Collecting:
      if (!wholeRun_) return;
      main_.txt2.SetEnabled(false);
      main_.txt3.SetEnabled(false);
      main_.txt4.SetEnabled(false);
      main_.edt1.SetEnabled(false);
      main_.nxnfpnl1.SetEnabled(false);
      main_.btn2.SetEnabled(false);
      main_.btn2.SetWidth(150);
      main_.btn2.SetText(Cp936("请等待收集完成..."));
      return;
    case TBackupStep::Storing:
      main_.ResetProgress(progress_);
      progress_.ShowForm();
      return;
    case TBackupStep::Stored:
      progress_.HideForm();
      return;
    case TBackupStep::Verifying:
      return;
    case TBackupStep::Zipping:
      if (wholeRun_) main_.btn2.SetText(Cp936("正在打包..."));
      return;
    case TBackupStep::Done:
      if (wholeRun_) main_.btn2.SetText(Cp936("打包完成."));
      return;
  }
}

void TPackWindowEvents::FileProgress(const std::string& fileName, double percent) {
  main_.FileProgressHandler(progress_, fileName, percent);
}

void TPackWindowEvents::OverallProgress(double percent, bool&) { main_.ProgressHandler(progress_, percent); }

void TPackWindowEvents::Message(const TBackupNotice& notice) {
  const bool note = notice.kind == TBackupMessage::ZipNote;
  main_.App().ShowMessageBox(&main_, notice.text, notice.caption.empty() ? Cp936("错误") : notice.caption,
                             note ? ui::MessageIcon::Information : ui::MessageIcon::Error);
}
