// Process list through the tool help snapshots.
#include "platform/win32/Wide.h"

#include <tlhelp32.h>

#include "platform/Process.h"

namespace platform {

bool SnapshotProcesses(std::vector<ProcessEntry>& out) {
  // All kinds (processes, threads, heaps, modules); only the process list is used.
  HANDLE snap = CreateToolhelp32Snapshot(15, 0);
  if (snap == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  for (BOOL ok = Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry)) {
    ProcessEntry p;
    p.id = entry.th32ProcessID;
    p.exeName = win32::Narrow(entry.szExeFile);
    out.push_back(std::move(p));
  }
  CloseHandle(snap);
  return true;
}

std::uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

bool ProcessMainModulePath(std::uint32_t processId, std::string& path) {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
  if (snap == INVALID_HANDLE_VALUE) return false;
  MODULEENTRY32W module;
  module.dwSize = sizeof module;
  // The first module of a process is its own executable.
  bool ok = Module32FirstW(snap, &module) != 0;
  if (ok) path = win32::Narrow(module.szExePath);
  CloseHandle(snap);
  return ok;
}

}  // namespace platform
