#pragma once
// What the packing run and the restore tell the program around them, and what they ask it. Every
// method has a default that suits a program without windows: nothing is shown, questions get the
// cautious answer (keep the file, no password) and long steps run in place.
#include <functional>
#include <string>

enum class TBackupStep {
  Collecting,  // the packing run starts; nothing is written yet
  Storing,     // the container is created; the imports and their progress follow
  Stored,      // the imports are done; the container is completed next
  Verifying,   // the package is built and read back whole
  Zipping,     // the package goes into the dated zip
  Done,        // the zip is written; the package is deleted next
};

enum class TOverwriteAnswer { Yes, No, All };

enum class TBackupMessage {
  PasswordTooLong,  // the password does not fit the cipher; nothing was written
  PasswordUnusable, // the password has characters code page 936 cannot hold; nothing was written
  ImportFailure,    // an account or add-on is not in the package whole
  ReadBackFailed,   // the built package does not read back; the working files stay
  ZipNote,          // a note of the zip writer (its caption comes along)
  RestoreFailed,    // the package cannot be opened or exported
  RestoreIncomplete,  // the export went through, but some files could not be written
};

struct TBackupNotice {
  TBackupMessage kind;
  std::string text;     // code page 936, lines joined by CR LF
  std::string caption;  // empty: the program's error caption
};

class TBackupEvents {
 public:
  virtual ~TBackupEvents() = default;

  virtual void Step(TBackupStep /*step*/) {}
  // The file being copied, relative to the folder being imported or exported.
  virtual void FileProgress(const std::string& /*fileName*/, double /*percent*/) {}
  // Entries done in the current import or export call; `cancel` stops it after this entry.
  virtual void OverallProgress(double /*percent*/, bool& /*cancel*/) {}
  // Asked before an existing file is replaced. All answers yes for every later file too.
  virtual TOverwriteAnswer AskOverwrite(const std::string& /*fileName*/) { return TOverwriteAnswer::No; }
  // The package password: `password` holds the last entry and receives the next; false cancels.
  virtual bool AskPassword(std::string& /*password*/) { return false; }
  virtual void Message(const TBackupNotice& /*notice*/) {}
  // Runs a step that reports nothing on the way (building and reading back the package, the zip).
  // It may run `work` on another thread; it returns once `work` has ended and passes on what it
  // raised. `work` calls none of these events.
  virtual void RunLongStep(TBackupStep /*step*/, const std::function<void()>& work) { work(); }
};
