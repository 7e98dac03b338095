// cfstool restore: the restore program's work without its window.
#include <istream>

#include "gamedir/GameLocator.h"
#include "backup/RestorePackage.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "tools/CfsToolCommands.h"
#include "tools/CfsToolProgress.h"

namespace {

enum class TOverwriteMode { Ask, All, None };

class TRestoreEvents : public TCfsToolEvents {
 public:
  TRestoreEvents(const CfsToolIO& io, TOverwriteMode mode) : TCfsToolEvents(io), mode_(mode) {}

  TOverwriteAnswer AskOverwrite(const std::string& fileName) override {
    TOverwriteAnswer answer = mode_ == TOverwriteMode::All ? TOverwriteAnswer::All : TOverwriteAnswer::No;
    if (mode_ == TOverwriteMode::Ask) answer = Ask(fileName);
    if (answer == TOverwriteAnswer::No) ++kept;
    return answer;
  }

  int kept = 0;

 private:
  TOverwriteAnswer Ask(const std::string& fileName) {
    ClearLine();
    for (;;) {
      io_.Out(fileName + " exists. Replace it? [y]es, [n]o, [a]ll: ");
      io_.out.flush();
      std::string line;
      if (!io_.in || !std::getline(*io_.in, line)) {
        // The terminal is gone: nothing more is replaced.
        io_.Out("\n");
        mode_ = TOverwriteMode::None;
        return TOverwriteAnswer::No;
      }
      const char c = line.empty() ? ' ' : static_cast<char>(line[0] | 0x20);
      if (c == 'y') return TOverwriteAnswer::Yes;
      if (c == 'n') return TOverwriteAnswer::No;
      if (c == 'a') return TOverwriteAnswer::All;
    }
  }

  TOverwriteMode mode_;
};

}  // namespace

int CfsToolRestore(const CfsToolArgs& args, const CfsToolIO& io) {
  if (args.positional.size() != 2) return CfsToolUsageError(io, "restore takes a package and a game folder");
  const std::string modeText = args.Option("overwrite").value_or("ask");
  TOverwriteMode mode;
  if (modeText == "ask") mode = TOverwriteMode::Ask;
  else if (modeText == "all") mode = TOverwriteMode::All;
  else if (modeText == "none") mode = TOverwriteMode::None;
  else return CfsToolUsageError(io, "--overwrite takes ask, all or none");
  if (mode == TOverwriteMode::Ask && !io.inIsTerminal)
    return CfsToolUsageError(io, "--overwrite ask needs a terminal to answer on; give --overwrite all or none");

  TRestoreOptions options;
  options.packagePath = platform::ExpandFileName(args.positional[0]);
  options.targetDir = platform::IncludeTrailingPathDelimiter(platform::ExpandFileName(args.positional[1]));
  if (!CheckGameDir(options.targetDir))
    throw Exception("not a Zelk game folder (the client files are missing): " + args.positional[1]);
  if (args.Option("password")) options.password = args.Password();
  options.threadCount = args.Threads();

  TRestoreEvents events(io, mode);
  const TRestoreResult result = RestorePackage(options, events);
  events.ClearLine();
  switch (result.status) {
    case TRestoreStatus::Restored:
      io.Out("restored " + std::to_string(result.filesFound - events.kept) + " of " +
             std::to_string(result.filesFound) + " files into " + args.positional[1] + "\n");
      return kCfsToolOk;
    case TRestoreStatus::Cancelled:
      io.Err("cfstool: the package is encrypted: give --password\n");
      return kCfsToolFailed;
    case TRestoreStatus::WrongPassword:
      io.Err("cfstool: wrong password for " + args.positional[0] + "\n");
      return kCfsToolFailed;
    case TRestoreStatus::Incomplete:
      io.Err("cfstool: these files could not be restored (" + std::to_string(result.notRestored.size()) + "):\n");
      for (const TNotRestored& f : result.notRestored) io.Err("  " + f.fileName + ": " + f.reason + "\n");
      return kCfsToolFailed;
    case TRestoreStatus::Failed:
      break;
  }
  io.Err("cfstool: cannot restore " + args.positional[0] + ": " + result.error + "\n");
  return kCfsToolFailed;
}
