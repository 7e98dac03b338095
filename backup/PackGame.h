#pragma once
// The packing run without its windows: the chosen accounts and add-ons of a game directory go
// into a new container, the container behind the restore program ("loader.bin") makes the
// package "Zelk配置文件恢复包.exe", the package is read back and then put into a dated zip.
#include <string>
#include <vector>

#include "backup/BackupEvents.h"
#include "backup/GameImport.h"

// Longest password in code page 936 bytes that the container's cipher takes.
constexpr std::size_t kMaxPackPasswordBytes = 32;

struct TPackOptions {
  std::string gamePath;               // ending in "\"; empty: nothing is imported
  std::vector<std::string> accounts;  // entry names of "userdata", in the order they are stored
  std::vector<std::string> addons;    // folder names of "interface"
  std::string password;               // used as given; empty: the package is not encrypted
  // False when the password as entered had characters that code page 936 cannot hold (`password`
  // carries "?" for them): the run is refused, since any other such characters would open it.
  bool passwordExact = true;
  std::string workDir;                // ending in "\": "zelkbak.Config" and the package are made here
  std::string stubFile;               // the restore program; empty: workDir + "loader.bin"
  bool keepStub = false;              // the stub is only read, never deleted
  std::string zipDir;                 // ending in "\"; empty: workDir
  std::string date;                   // "YYYY-mm-dd" in the zip's name; empty: today (local)
  // Threads of the bulk work (imports, read-back; the zip writer's too once it takes a count);
  // 0: platform::ThreadCount().
  int threadCount = 0;
};

struct TPackResult {
  bool passwordTooLong = false;  // refused before anything was written
  bool passwordUnusable = false; // refused before anything was written (see passwordExact)
  std::vector<TImportFailure> failures;
  std::string containerPath;     // workDir + "zelkbak.Config"
  std::string packagePath;       // workDir + "Zelk配置文件恢复包.exe"
  std::string zipPath;           // zipDir + "Zelk配置文件恢复包" + date + ".zip"
  bool packageBuilt = false;     // the container and the stub were joined into the package
  bool readBack = false;         // the package read back whole (then the working files went)
  std::string readBackProblem;   // what did not read back
  // The collect step ended normally: the package read back, or there was no stub or container to
  // build it from (nothing is built then and nothing deleted).
  bool collected = false;
  bool zipped = false;           // the zip was written and the package deleted
};

// Today's local date as the zip's name carries it, "YYYY-mm-dd".
std::string PackageDateText();
// Why a password is refused (code page 936), for the windows' own check.
std::string PasswordTooLongText();
std::string PasswordUnusableText();

// The collect step: the container (an old "zelkbak.Config" is deleted first), the imports, the
// package, its read-back; the container and the stub (unless keepStub) are deleted once the
// package reads back. Errors of container creation and of joining the package are raised; a file
// that cannot be stored is reported (Message) and left out.
TPackResult CollectPackage(const TPackOptions& options, TBackupEvents& events);

// The whole run: the collect step, then (when it ended normally) the dated zip, written or
// updated, and the package deleted. Errors of the zip writer are raised.
TPackResult PackGame(const TPackOptions& options, TBackupEvents& events);
