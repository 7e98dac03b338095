#pragma once
// Finding the game client's directory: the program's own directory, that directory +
// "bin\zhcn\", or the directory of a running client, in that order of preference.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Process.h"

// What the locator asks the system; tests replace it to place the program and the running
// clients wherever they like.
class SystemProbe {
 public:
  virtual ~SystemProbe() = default;
  // Full path of the running program.
  virtual std::string ProgramPath() const;
  // False when that path has characters code page 936 cannot hold: ProgramPath then names no
  // file, and neither the program's own container nor a game beside it can be found through it.
  virtual bool ProgramPathExact() const;
  virtual bool SnapshotProcesses(std::vector<platform::ProcessEntry>& out) const;
  // Full path of the process's main executable.
  virtual bool ProcessMainModulePath(std::uint32_t processId, std::string& path) const;
};

// What the windows say, once, when the program's path cannot be used (code page 936).
std::string ProgramFolderUnusableText();
// Whether a running client sits in a folder whose path code page 936 cannot hold: its module
// path then carries "?", which no Windows path does, and the client cannot be used. The text
// the windows show, once, when the search finds nothing else.
bool RunningClientPathUnusable(const SystemProbe& probe);
std::string ClientFolderUnusableText();

// Whether `dir` (ending in "\") holds the client's files and folders.
bool CheckGameDir(const std::string& dir);
// The client directory, ending in "\", or "" when none is found.
std::string LocateGameDir(const SystemProbe& probe);

// A window's search for the game, one step per timer tick until it finds the client.
class TGameSearch {
 public:
  explicit TGameSearch(const SystemProbe& probe) : probe_(probe) {}
  // The client directory, trimmed and ending in "\", or "" for none yet. `tellClientUnusable`
  // is set (once per search) when nothing was found while a client runs from a folder that
  // cannot be used, so that the window says so once.
  std::string Step(bool& tellClientUnusable);

 private:
  const SystemProbe& probe_;
  bool clientReported_ = false;
};
