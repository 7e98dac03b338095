#pragma once
// The restore without its window: every stored file and folder of a package (a program with a
// container appended, or a bare container) is written into a game directory, asking before an
// existing file is replaced.
#include <cstdint>
#include <optional>
#include <string>

#include "backup/BackupEvents.h"

struct TRestoreOptions {
  std::string packagePath;
  std::string targetDir;                // the game directory, ending in "\"
  // Given: the only password tried. Otherwise an encrypted package asks AskPassword until the
  // entry opens it or the question is cancelled.
  std::optional<std::string> password;
  int threadCount = 0;                  // 0: platform::ThreadCount()
};

enum class TRestoreStatus {
  Restored,
  Cancelled,      // the password question was cancelled; nothing was written
  WrongPassword,  // the given password does not open the package; nothing was written
  Failed,         // the package cannot be opened or an export failed (Message RestoreFailed)
};

struct TRestoreResult {
  TRestoreStatus status = TRestoreStatus::Failed;
  std::string error;          // the error's own text when Failed
  std::int32_t filesFound = 0;  // stored files the export went through
};

TRestoreResult RestorePackage(const TRestoreOptions& options, TBackupEvents& events);
