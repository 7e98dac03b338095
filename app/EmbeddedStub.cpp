// Start-up of the main window: the restore program travels in a container appended to the
// tool's own executable and is written next to it before anything can be packed.
#include <exception>

#include "app/MainWindow.h"
#include "backup/CarriedFiles.h"
#include "gamedir/Cp936Text.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace tool {

std::string MainWindow::ProgramDir() const { return platform::ExtractFilePath(probe_.ProgramPath()); }

void MainWindow::StartUp() {
  if (shown_) return;
  shown_ = true;
  // Nothing can be opened through such a path; saying so beats "incomplete program" and a
  // search for the game that never ends.
  if (!probe_.ProgramPathExact()) {
    App().ShowMessageBox(this, ProgramFolderUnusableText(), Cp936("错误"), ui::MessageIcon::Error);
    App().Terminate();
    return;
  }
  const std::string dir = ProgramDir();
  try {
    ExtractCarriedFiles(probe_.ProgramPath(), dir);
  } catch (const std::exception&) {
    App().ShowMessageBox(this, Cp936("程序不完整，请重新下载."), Cp936("错误"), ui::MessageIcon::Error);
    App().Terminate();
  }
  if (!platform::FileExists(dir + "loader.bin"))
    App().ShowMessageBox(this, Cp936("释放文件失败，被杀毒软件阻止了吗？"), Cp936("错误"), ui::MessageIcon::Error);
}

}  // namespace tool
