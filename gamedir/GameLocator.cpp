#include "gamedir/GameLocator.h"

#include "gamedir/Cp936Text.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

std::string SystemProbe::ProgramPath() const { return platform::ProgramPath(); }

bool SystemProbe::ProgramPathExact() const { return platform::ProgramPathIsExact(); }

std::string ProgramFolderUnusableText() {
  return Cp936("本程序所在文件夹的路径中含有无法使用的字符，请将该文件夹移到路径中没有这些字符的位置后再运行.");
}

bool SystemProbe::SnapshotProcesses(std::vector<platform::ProcessEntry>& out) const {
  return platform::SnapshotProcesses(out);
}

bool SystemProbe::ProcessMainModulePath(std::uint32_t processId, std::string& path) const {
  return platform::ProcessMainModulePath(processId, path);
}

std::string ClientFolderUnusableText() {
  return Cp936("正在运行的Zelk所在文件夹的路径中含有无法使用的字符，请将游戏移到路径中没有这些字符的位置后再运行.");
}

bool RunningClientPathUnusable(const SystemProbe& probe) {
  std::vector<platform::ProcessEntry> processes;
  if (!probe.SnapshotProcesses(processes)) return false;
  for (const platform::ProcessEntry& process : processes) {
    std::string modulePath;
    if (platform::UpperCaseAscii(process.exeName) == "ZELKCLIENT.EXE" &&
        probe.ProcessMainModulePath(process.id, modulePath) && modulePath.find('?') != std::string::npos)
      return true;
  }
  return false;
}

bool CheckGameDir(const std::string& dir) {
  return platform::FileExists(dir + "zelkclient.exe") && platform::FileExists(dir + "ZELKUI.dll") &&
         platform::FileExists(dir + "RMUI.dll") && platform::FileExists(dir + "Lua5.dll") &&
         platform::DirectoryExists(dir + "Interface") && platform::DirectoryExists(dir + "userdata");
}

std::string LocateGameDir(const SystemProbe& probe) {
  // The process scan always runs, although a running client counts least: the last client in
  // the process list gives the candidate.
  std::string running;
  std::vector<platform::ProcessEntry> processes;
  if (probe.SnapshotProcesses(processes)) {
    for (const platform::ProcessEntry& process : processes) {
      if (platform::UpperCaseAscii(process.exeName) != "ZELKCLIENT.EXE") continue;
      std::string modulePath;
      if (probe.ProcessMainModulePath(process.id, modulePath))
        running = platform::ExtractFilePath(modulePath);
    }
  }

  std::string own = platform::ExtractFilePath(probe.ProgramPath());
  if (!own.empty()) {
    if (CheckGameDir(own)) return own;
    std::string below = own + "bin\\zhcn\\";
    if (CheckGameDir(below)) return below;
  }
  if (!running.empty() && CheckGameDir(running)) return running;
  return {};
}

std::string TGameSearch::Step(bool& tellClientUnusable) {
  tellClientUnusable = false;
  std::string dir = platform::Trim(LocateGameDir(probe_));
  if (dir.empty() && !clientReported_ && RunningClientPathUnusable(probe_)) {
    clientReported_ = true;
    tellClientUnusable = true;
  }
  return dir;
}
