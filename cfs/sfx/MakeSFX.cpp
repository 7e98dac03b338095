#include "cfs/sfx/MakeSFX.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "cfs/file/CFSHugeFile.h"
#include "cfs/file/CFSLittleEndian.h"
#include "cfs/file/CFSWrapperHeader.h"
#include "platform/Exception.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace {

constexpr std::int64_t kPartSizeOffset = 8;
constexpr std::int64_t kCopyChunk = 0x10000;

[[noreturn]] void CannotOpen(const std::string& name) { throw Exception("MakeSFX - Cannot open file " + name); }

bool SamePath(const std::string& a, const std::string& b) {
  return platform::SameTextCp936(platform::ExpandFileName(a), platform::ExpandFileName(b));
}

// Copies the whole stub to the output's current position; returns the bytes copied.
std::int64_t CopyStub(platform::File& stub, platform::File& out) {
  std::vector<std::uint8_t> buffer(kCopyChunk);
  std::int64_t total = 0;
  for (;;) {
    const std::int64_t n = stub.Read(buffer.data(), kCopyChunk);
    if (n < 0) throw Exception("MakeSFX - Stream read error, file " + stub.Path());
    if (n == 0) return total;
    if (out.Write(buffer.data(), n) != n) throw Exception("MakeSFX - Stream write error, file " + out.Path());
    total += n;
  }
}

// The wrapper header carries the container's part size, and the first part holds container bytes
// only up to that size counted from the start of the file. Behind a long stub a container that
// fitted its part size may not fit any more; the header is then raised to the file's size so the
// whole container stays reachable in the one file.
void FitPartSize(platform::File& out, std::int64_t headerOffset, std::int64_t partSize, std::int64_t containerSize) {
  const std::int64_t needed = headerOffset + kWrapperHeaderSize + containerSize;
  if (partSize >= needed) return;
  WriteWrapperPartSize(out, headerOffset, needed);
}

}  // namespace

void WriteWrapperPartSize(platform::File& file, std::int64_t headerOffset, std::int64_t partSize) {
  std::uint8_t field[8];
  PutLE64(field, static_cast<std::uint64_t>(partSize));
  if (file.Seek(headerOffset + kPartSizeOffset, platform::SeekOrigin::Begin) != headerOffset + kPartSizeOffset ||
      file.Write(field, 8) != 8)
    throw Exception("MakeSFX - Stream write error, file " + file.Path());
}

void MakeSFX(const std::string& ContainerFile, const std::string& StubFile, const std::string& OutputFile) {
  if (StubFile.empty()) throw Exception("MakeSFX - SFXStub file name is blank");
  if (!platform::FileExists(StubFile)) CannotOpen(StubFile);
  if (!platform::FileExists(ContainerFile)) CannotOpen(ContainerFile);
  // Creating the output truncates it: it must not be one of the inputs.
  if (SamePath(OutputFile, StubFile) || SamePath(OutputFile, ContainerFile))
    throw Exception("MakeSFX - Output file is one of the input files: " + OutputFile);

  TCFSHugeFile container(ContainerFile, true, false, false, -1);
  if (!container.Open(false, false)) CannotOpen(ContainerFile);

  auto stub = platform::File::Open(StubFile, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                   platform::FileDisposition::OpenExisting);
  if (!stub) CannotOpen(StubFile);
  std::string error;
  auto out = platform::File::Open(OutputFile, platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
                                  platform::FileDisposition::CreateAlways, &error);
  if (!out) throw Exception("Cannot create file \"" + OutputFile + "\". " + error);

  const std::int64_t stubSize = CopyStub(*stub, *out);
  container.SaveToStream(*out);
  FitPartSize(*out, stubSize, container.GetPartSize(), container.GetSize());
  if (!out->Flush()) throw Exception("MakeSFX - Stream write error, file " + OutputFile);
  container.Close();
}
