// cfstool extract: every stored file and folder into a disk folder.
#include "cfs/fs/ContainerFS.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "tools/CfsToolCommands.h"

int CfsToolExtract(const CfsToolArgs& args, const CfsToolIO& io) {
  if (args.positional.size() != 2) return CfsToolUsageError(io, "extract takes a container file and a folder");
  const std::string file = platform::ExpandFileName(args.positional[0]);
  const std::string target = platform::IncludeTrailingPathDelimiter(platform::ExpandFileName(args.positional[1]));
  TContainerFS fs(file, 0, args.Password(), "", "", 0);
  fs.SetThreadCount(args.Threads());
  // Files with their own password get the one given, once.
  const std::string password = args.Password();
  fs.OnPassword.Handler = [&](void*, TContainerFS&, const std::string&, std::string& p, bool& cancel) {
    cancel = p == password;
    p = password;
  };
  fs.ExportFiles("*.*", target, platform::kAttrAnyFile, true, TExistingFiles::Overwrite);
  if (!fs.LastExportFailures().empty()) {
    // Every other file was written; these were left as they were on disk.
    io.Err("cfstool: these files could not be extracted (" + std::to_string(fs.LastExportFailures().size()) + "):\n");
    for (const TCFSExportFailure& f : fs.LastExportFailures()) io.Err("  " + f.FileName + ": " + f.Message + "\n");
    return kCfsToolFailed;
  }
  if (fs.Cancel()) {
    io.Err("extract stopped before the end\n");
    return kCfsToolFailed;
  }
  io.Out("extracted into " + args.positional[1] + "\n");
  return kCfsToolOk;
}
