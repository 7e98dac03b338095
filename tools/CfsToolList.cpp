// cfstool list: the container's tree with sizes, methods, attributes and times.
#include <sstream>

#include "cfs/fs/CFSAdvancedFileStream.h"
#include "cfs/fs/ContainerFS.h"
#include "cfs/fs/ContainerWalk.h"
#include "platform/Exception.h"
#include "tools/CfsToolCommands.h"
#include "tools/CfsToolFormat.h"

namespace {

// The size a stored file unpacks to and the method it was written with ("- raw" for a file
// kept without blocks); "?" for both when it cannot be opened (its own password, damage).
void Describe(TContainerFS& fs, const std::string& path, const std::string& password, std::string& size,
              std::string& method) {
  try {
    TCFSAdvancedFileStream s(&fs, "\\" + path, 0, password, "", "", 0);
    size = std::to_string(s.GetSize());
    method = s.PassThrough() ? "- raw" : FormatMethod(s.Method());
  } catch (const Exception&) {
    size = "?";
    method = "? unreadable";
  }
}

}  // namespace

int CfsToolList(const CfsToolArgs& args, const CfsToolIO& io) {
  if (args.positional.size() != 1) return CfsToolUsageError(io, "list takes one container file");
  TContainerFS fs(args.positional[0], 0, args.Password(), "", "", 0);
  fs.SetThreadCount(args.Threads());
  // A file with its own password is listed, its method shown only when the password fits.
  const std::string password = args.Password();
  fs.OnPassword.Handler = [](void*, TContainerFS&, const std::string&, std::string&, bool& cancel) {
    cancel = true;
  };
  io.Out(PadRight("Attr", 6) + PadRight("Modified (UTC)", 20) + PadLeft("Size", 12) + PadLeft("Stored", 12) + "  " + PadRight("Method", 14) +
         "Name\n");
  std::int64_t files = 0, folders = 0, bytes = 0;
  WalkContainer(fs, [&](const TCFSWalkEntry& e) {
    std::ostringstream line;
    line << PadRight(FormatAttributes(e.attributes), 6) << PadRight(FormatFileTime(e.lastWriteTime), 20);
    if (e.folder) {
      ++folders;
      line << PadLeft("<DIR>", 12) << PadLeft("", 12) << "  " << PadRight("", 14);
    } else {
      ++files;
      bytes += e.size;
      std::string size, method;
      Describe(fs, e.path, password, size, method);
      line << PadLeft(size, 12) << PadLeft(std::to_string(e.size), 12) << "  " << PadRight(method, 14);
    }
    line << e.path << "\n";
    io.Out(line.str());
  });
  io.Out(std::to_string(files) + " files, " + std::to_string(folders) + " folders, " + std::to_string(bytes) +
         " bytes stored\n");
  return kCfsToolOk;
}
