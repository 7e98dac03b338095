#pragma once
// Snapshot of the running processes (Windows tool help; /proc on Linux).
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct ProcessEntry {
  std::uint32_t id = 0;
  std::string exeName;  // executable name as the process list reports it (code page 936)
};

// All processes in the platform's list order; false when no snapshot can be taken.
bool SnapshotProcesses(std::vector<ProcessEntry>& out);
// Identifier of the calling process.
std::uint32_t CurrentProcessId();
// Full path (Windows form, "\" separators) of the main executable module of a process.
bool ProcessMainModulePath(std::uint32_t processId, std::string& path);

}  // namespace platform
