#pragma once
// The self-extracting executable: a stub program followed by a wrapper header and a container.
// A reader finds the container by searching the file from its start for the wrapper header that
// is followed by the container signature; nothing at the end of the file points back to it.
#include <cstdint>
#include <string>

namespace platform {
class File;
}

// Writes OutputFile = all bytes of StubFile, a 280-byte wrapper header, all bytes of the
// container ContainerFile. OutputFile is created or replaced; the inputs are only read. Raises
// "MakeSFX - SFXStub file name is blank" for an empty stub name and "MakeSFX - Cannot open
// file " + name for a missing stub, a missing container or a file that is not a container.
// An output that was created stays on disk when a later step fails.
void MakeSFX(const std::string& ContainerFile, const std::string& StubFile, const std::string& OutputFile);

// Overwrites the part size field of the wrapper header at headerOffset of an open file; raises
// when it cannot be written.
void WriteWrapperPartSize(platform::File& file, std::int64_t headerOffset, std::int64_t partSize);
