// cfstool info: wrapper, geometry and counters of a container without touching its files.
#include <memory>
#include <sstream>

#include "cfs/engine/PageFileManager.h"
#include "cfs/fs/ContainerFS.h"
#include "cfs/fs/ContainerWalk.h"
#include "platform/Exception.h"
#include "tools/CfsToolCommands.h"
#include "tools/CfsToolFormat.h"

int CfsToolInfo(const CfsToolArgs& args, const CfsToolIO& io) {
  if (args.positional.size() != 1) return CfsToolUsageError(io, "info takes one container file");
  const std::string file = args.positional[0];
  std::ostringstream s;
  bool encrypted = false;
  {
    TPageFileManager pf(file, 0, "", "", "", TCFSStorageFactory::Disk(), 4096, 8, -1);
    TCFSHugeFile& hf = pf.File();
    const TCFSHeader& h = pf.Header();
    encrypted = h.EncryptionType() != 0;
    s << "File:                " << args.positional[0] << "\n"
      << "Base offset:         " << hf.GetBaseOffset() << (hf.GetBaseOffset() ? " (behind a program)" : "") << "\n"
      << "Part size:           " << hf.GetPartSize() << "\n"
      << "Parts:               " << hf.PartCount() << "\n";
    for (std::size_t i = 0; i < hf.PartCount(); ++i)
      s << "  " << hf.Part(i).GetFileName() << " (" << hf.Part(i).GetSize() << " bytes)\n";
    s << "Container size:      " << hf.GetSize() << "\n"
      << "Version:             " << h.Version() << "\n"
      << "Page size:           " << h.PageSize() << "\n"
      << "Pages per extent:    " << h.ExtentPageCount() << "\n"
      << "Pages:               " << h.PageCount() << "\n"
      << "First extent page:   " << h.FirstExtentPage() << "\n"
      << "GAM/SGAM pairs:      " << h.GAMPageCount() << "\n"
      << "PFS pages:           " << h.PFSPageCount() << "\n"
      << "Directory pages:     " << h.DIRPageCount() << " (first " << h.FirstDIRPage() << ")\n"
      << "Directory items:     " << h.DIRItemCount() << "\n"
      << "Encryption:          " << (encrypted ? (h.EncryptionType() == 1 ? "AES" : "unknown type") : "none")
      << "\n"
      << "Default compression: " << FormatMethod(h.DefaultCompression()) << "\n";
  }
  io.Out(s.str());
  // Counting files needs the directory, which an encrypted container only shows to its password.
  std::unique_ptr<TContainerFS> opened;
  try {
    opened = std::make_unique<TContainerFS>(file, 0, args.Password(), "", "", 0);
  } catch (const ECFSWrongPassword&) {
    if (!args.Option("password")) {
      io.Out("Files:               (give the container password to count them)\n");
      return kCfsToolOk;
    }
    io.Out("Files:               (the password is wrong, or the container is damaged)\n");
    io.Err("cfstool: wrong password for " + file + " (or the container is damaged)\n");
    return kCfsToolFailed;
  }
  TContainerFS& fs = *opened;
  fs.SetThreadCount(args.Threads());
  std::int64_t files = 0, folders = 0, bytes = 0;
  bool tooDeep = false;
  WalkContainer(
      fs,
      [&](const TCFSWalkEntry& e) {
        if (e.folder) {
          ++folders;
        } else {
          ++files;
          bytes += e.size;
        }
      },
      [&](const std::string&) { tooDeep = true; });
  io.Out("Files:               " + std::to_string(files) + " (" + std::to_string(bytes) + " bytes stored)\n" +
         "Folders:             " + std::to_string(folders) +
         (tooDeep ? " (folders nested too deep were not entered)" : "") + "\n");
  return kCfsToolOk;
}
