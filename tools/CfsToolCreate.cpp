// cfstool create: a container from disk folders and files, or with --stub a restore package
// (the stub program followed by that container).
#include <memory>

#include "backup/GameImport.h"
#include "cfs/file/CFSHugeFile.h"
#include "cfs/file/CFSWrapperHeader.h"
#include "cfs/fs/ContainerFS.h"
#include "cfs/sfx/MakeSFX.h"
#include "platform/Exception.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "tools/CfsToolCommands.h"

namespace {

constexpr std::int64_t kMinPartSize = 380;

// The wrapper header of a package carries the largest size its part may reach; a package built
// on one machine for another gets the value of the target volume here.
void SetPartSize(const std::string& file, std::int64_t partSize) {
  auto f = platform::File::Open(file, platform::FileAccess::ReadWrite, platform::FileShare::Exclusive,
                                platform::FileDisposition::OpenExisting);
  TCFSWrapperHeader header{};
  if (!f || f->Read(header.data(), kWrapperHeaderSize) != kWrapperHeaderSize || !HasWrapperSignature(header))
    throw Exception("cannot read the wrapper header of " + file);
  if (!WrapperNextName(header).empty())
    throw Exception("the container has more than one part: --part-size cannot be changed");
  if (f->Size() > partSize)
    throw Exception("the container (" + std::to_string(f->Size()) + " bytes) is larger than --part-size");
  WriteWrapperPartSize(*f, 0, partSize);
  if (!f->Flush()) throw Exception("cannot write the wrapper header of " + file);
}

// Deletes a container and the parts it links (closed, with no leading bytes).
void DeleteContainer(const std::string& file) {
  TCFSHugeFile(file, false, false, false, kMinPartSize).DeleteParts();
}

// Imports one disk folder (as a folder of its name) or one file into dest. Files that cannot be
// stored are left out, named on the error stream with the reason, and counted in `leftOut`.
void ImportInput(TContainerFS& fs, const std::string& input, const std::string& dest, const CfsToolIO& io,
                 std::size_t& leftOut) {
  const std::string path = platform::ExcludeTrailingPathDelimiter(platform::ExpandFileName(input));
  const bool folder = platform::DirectoryExists(path);
  if (!folder && !platform::FileExists(path)) throw Exception("no such file or folder: " + input);
  std::vector<TImportFailure> failures;
  const std::int32_t done = ImportSource(fs, path, dest, !folder, TExistingFiles::Overwrite, failures);
  for (const TImportFailure& f : failures) {
    for (const TCFSImportError& e : f.files) {
      io.Err("cfstool: left out " + e.DiskPath + ": " +
             (e.NameNotCp936 ? std::string("the name holds characters that code page 936 cannot hold") : e.Message) +
             "\n");
      ++leftOut;
    }
  }
  if (folder) {
    std::string stored = "\\";
    if (!dest.empty()) stored.append(dest).append("\\");
    stored.append(platform::ExtractFileName(path));
    if (!fs.DirectoryExists(stored)) throw Exception("cannot import folder " + input);
  } else if (done != 1) {
    throw Exception("cannot import file " + input);
  }
}

}  // namespace

int CfsToolCreate(const CfsToolArgs& args, const CfsToolIO& io) {
  if (args.positional.size() < 2) return CfsToolUsageError(io, "create takes an output file and at least one input");
  std::uint8_t method = 9;
  if (!ParseMethodOption(args, 9, method)) return CfsToolUsageError(io, "--method takes a number from 0 to 9");
  std::int64_t partSize = 0;
  if (const auto p = args.Option("part-size")) {
    if (!ParseInt64(*p, partSize) || partSize < kMinPartSize)
      return CfsToolUsageError(io, "--part-size takes a number of bytes, at least 380");
  }
  std::string dest = platform::ReplaceSeparators(args.Option("dest").value_or(""), '/', '\\');
  while (!dest.empty() && (dest.front() == '\\')) dest.erase(0, 1);
  dest = platform::ExcludeTrailingPathDelimiter(dest);

  const std::string output = platform::ExpandFileName(args.positional[0]);
  const auto stub = args.Option("stub");
  // With a stub the container is built next to the output and wrapped afterwards.
  const std::string container = stub ? output + ".cfs-tmp" : output;
  if (platform::FileExists(container)) DeleteContainer(container);
  if (platform::FileExists(container)) throw Exception("cannot replace " + container);
  bool wrapping = false;
  try {
    {
      // Without a stub the container is split into parts of --part-size as it is written, as it
      // would be on a volume that limits the file size; a package is one file and must fit.
      TContainerFS fs(container, kModeCreate, args.Password(), "", "", method, partSize && !stub ? partSize : -1);
      fs.SetThreadCount(args.Threads());
      std::size_t leftOut = 0;
      for (std::size_t i = 1; i < args.positional.size(); ++i) ImportInput(fs, args.positional[i], dest, io, leftOut);
      // Every file is tried and named; a container without some of its inputs is not made.
      if (leftOut) throw Exception(std::to_string(leftOut) + " files could not be stored (see above)");
    }
    if (partSize && stub) SetPartSize(container, partSize);
    if (stub) {
      wrapping = true;
      MakeSFX(container, platform::ExpandFileName(*stub), output);
      platform::DeleteFile(container);
    }
  } catch (...) {
    // No half-built container (with its parts) or package is left behind.
    DeleteContainer(container);
    if (wrapping) platform::DeleteFile(output);
    throw;
  }
  io.Out("created " + args.positional[0] + "\n");
  return kCfsToolOk;
}
