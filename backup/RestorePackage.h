#pragma once
// The restore without its window: every stored file and folder of a package (a program with a
// container appended, or a bare container) is written into a game directory, asking before an
// existing file is replaced.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
  Incomplete,     // every file was tried, some could not be written (Message RestoreIncomplete)
};

// A stored file the restore could not write; the disk file of that name was left as it was.
struct TNotRestored {
  std::string fileName;  // relative to the game directory
  std::string reason;    // the error's own text
};

struct TRestoreResult {
  TRestoreStatus status = TRestoreStatus::Failed;
  std::string error;          // the error's own text when Failed
  std::int32_t filesFound = 0;  // stored files the export went through
  std::vector<TNotRestored> notRestored;  // when Incomplete, in export order
};

// The one report of an incomplete restore: the files left as they were and why.
std::string FormatNotRestored(const std::vector<TNotRestored>& files);

TRestoreResult RestorePackage(const TRestoreOptions& options, TBackupEvents& events);
