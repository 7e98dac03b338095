// cfstool pack: the backup tool's packing run without its windows, for a scheduled backup or a
// game running under wine.
#include <cstdio>
#include <exception>
#include <vector>

#include "gamedir/GameLocator.h"
#include "backup/CarriedFiles.h"
#include "backup/GameEntries.h"
#include "backup/PackGame.h"
#include "cfs/fs/ContainerFS.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Random.h"
#include "platform/Text.h"
#include "tools/CfsToolCommands.h"
#include "tools/CfsToolProgress.h"

namespace {

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  // "," is never the trail byte of a two-byte character.
  for (std::size_t at; (at = text.find(',', start)) != std::string::npos; start = at + 1)
    out.push_back(platform::Trim(text.substr(start, at - start)));
  out.push_back(platform::Trim(text.substr(start)));
  std::erase(out, std::string());
  return out;
}

// Everything the game offers to pack, as the selection window first shows it (every row ticked),
// less the names in `skip` (compared as Windows compares names).
void Choose(const std::string& game, const std::vector<std::string>& skip, TPackOptions& options,
            std::vector<std::string>& unused) {
  std::vector<bool> used(skip.size(), false);
  auto skipped = [&](const std::string& name) {
    for (std::size_t i = 0; i < skip.size(); ++i) {
      if (!platform::SameTextCp936(name, skip[i])) continue;
      used[i] = true;
      return true;
    }
    return false;
  };
  for (const TGameEntry& entry : ListAccountEntries(game))
    if (!skipped(entry.name)) options.accounts.push_back(entry.name);
  for (const std::string& name : ListAddonFolders(game))
    if (!skipped(name)) options.addons.push_back(name);
  for (std::size_t i = 0; i < skip.size(); ++i)
    if (!used[i]) unused.push_back(skip[i]);
}

// Whether the file carries a container (the backup tool does; loader.bin does not).
bool CarriesContainer(const std::string& file) {
  try {
    IsContainerEncrypted(file);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void RemoveTree(const std::string& dir) {
  std::vector<platform::DirEntry> entries;
  if (platform::ListDirectory(dir + "*.*", platform::kAttrAnyFile, entries)) {
    for (const platform::DirEntry& e : entries) {
      if (e.name == "." || e.name == "..") continue;
      if (e.attributes & platform::kAttrDirectory) {
        RemoveTree(dir + e.name + "\\");
      } else {
        platform::SetFileAttributes(dir + e.name, 0);
        platform::DeleteFile(dir + e.name);
      }
    }
  }
  platform::RemoveDirectory(dir);
}

// A folder of this run's own in the output folder for the container, the stub and the package,
// so that no file of the user's is replaced. Removed again unless kept.
struct TWorkFolder {
  std::string dir;
  bool keep = false;
  explicit TWorkFolder(const std::string& parent) {
    unsigned char random[4] = {};
    platform::RandomBytes(random, sizeof random);
    char name[32];
    std::snprintf(name, sizeof name, "zelkpack-%02x%02x%02x%02x\\", random[0], random[1], random[2], random[3]);
    dir = parent + name;
    if (!platform::ForceDirectories(dir)) throw Exception("cannot create the working folder " + dir);
  }
  ~TWorkFolder() {
    if (!keep) RemoveTree(dir);
  }
};

}  // namespace

int CfsToolPack(const CfsToolArgs& args, const CfsToolIO& io) {
  if (args.positional.size() != 1) return CfsToolUsageError(io, "pack takes one game folder");
  const auto stubArg = args.Option("stub");
  if (!stubArg) return CfsToolUsageError(io, "pack needs --stub (loader.bin or the backup tool)");
  TPackOptions options;
  options.password = args.Password();
  if (options.password.size() > kMaxPackPasswordBytes)
    return CfsToolUsageError(io, "--password takes at most 32 bytes (16 Chinese characters)");

  const std::string game = platform::IncludeTrailingPathDelimiter(platform::ExpandFileName(args.positional[0]));
  if (!CheckGameDir(game))
    throw Exception("not a Zelk game folder (the client files are missing): " + args.positional[0]);
  const std::string stub = platform::ExpandFileName(*stubArg);
  if (!platform::FileExists(stub)) throw Exception("no such stub file: " + *stubArg);
  const std::string out = platform::IncludeTrailingPathDelimiter(
      args.Option("out") ? platform::ExpandFileName(*args.Option("out")) : platform::GetCurrentDirectory());
  if (!platform::DirectoryExists(out) && !platform::ForceDirectories(out))
    throw Exception("cannot create the output folder " + out);

  std::vector<std::string> unused;
  Choose(game, SplitList(args.Option("skip").value_or("")), options, unused);
  for (const std::string& name : unused) io.Err("cfstool: note: no account or add-on named " + name + " to skip\n");

  TWorkFolder work(out);
  options.gamePath = game;
  options.workDir = work.dir;
  options.zipDir = out;
  options.threadCount = args.Threads();
  if (CarriesContainer(stub)) {
    // The backup tool itself: its restore program travels in the container appended to it.
    ExtractCarriedFiles(stub, work.dir, options.threadCount);
    options.stubFile = work.dir + "loader.bin";
    if (!platform::FileExists(options.stubFile)) throw Exception(*stubArg + " carries no loader.bin");
  } else {
    options.stubFile = stub;
    options.keepStub = true;  // the user's file is only read
  }

  TCfsToolEvents events(io);
  TPackResult result;
  try {
    result = PackGame(options, events);
  } catch (...) {
    events.ClearLine();
    throw;
  }
  events.ClearLine();
  const std::string shownOut = args.Option("out").value_or(".");
  if (!result.zipped) {
    work.keep = true;
    io.Err("cfstool: the package does not read back: " + result.readBackProblem + "\ncfstool: working files kept in " +
           platform::ExtractFileName(platform::ExcludeTrailingPathDelimiter(work.dir)) + " in " + shownOut + "\n");
    return kCfsToolFailed;
  }
  std::size_t leftOut = 0;
  for (const TImportFailure& f : result.failures) leftOut += f.files.size();
  io.Out("packed " + std::to_string(options.accounts.size()) + " accounts and " + std::to_string(options.addons.size()) +
         " add-ons into " + platform::ExtractFileName(result.zipPath) + " in " + shownOut +
         (leftOut ? " (" + std::to_string(leftOut) + " files left out, see above)" : std::string()) + "\n");
  return leftOut ? kCfsToolFailed : kCfsToolOk;
}
