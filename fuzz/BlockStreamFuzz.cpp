// One stored file read as a block stream: the 128-byte stream header, the chain of block headers
// and each block unpacked by its method's codec, in order and after a seek.
//
// Input: one byte choosing the method (0..10), then the stored file's bytes. The method is
// written into the stream header (when there is one) so that every codec sees every layout.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "cfs/fs/CFSAdvancedFileStream.h"
#include "cfs/fs/ContainerFS.h"
#include "fuzz/FuzzFiles.h"
#include "platform/Exception.h"

namespace {

constexpr std::size_t kMethodOffset = 20;
constexpr std::int64_t kReadBudget = 64 << 20;

void ReadStream(TContainerFS& fs) {
  TCFSAdvancedFileStream stream(&fs, "\\s.bin", 0, "", "", "", 0);
  std::vector<std::uint8_t> buffer(1 << 16);
  const std::int64_t size = stream.GetSize();
  if (size > 1) {
    stream.Seek(size - 1, 0);
    stream.Read(buffer.data(), 1);
    stream.Seek(size / 3, 0);
    stream.Read(buffer.data(), 100);
  }
  stream.Seek(0, 0);
  std::int64_t budget = kReadBudget;
  for (;;) {
    const std::int32_t n = stream.Read(buffer.data(), static_cast<std::int32_t>(buffer.size()));
    if (n <= 0 || (budget -= n) <= 0) break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::vector<std::uint8_t> file(data + 1, data + size);
  if (file.size() >= TCFSStreamHeader::kSize && file[0] == 'A' && file[1] == 'A' && file[2] == 'C' && file[3] == 'S')
    file[kMethodOffset] = static_cast<std::uint8_t>(data[0] % 11);
  fuzzfiles::Remove("s.cfs");
  const std::string path = fuzzfiles::Folder() + "s.cfs";
  try {
    TContainerFS fs(path, kModeCreate, "", "", "", 0);
    fs.SetThreadCount(1);
    {
      // Method 0 stores the bytes as they are, so the file holds exactly the input.
      const std::int32_t h = fs.FileOpen("\\s.bin", kModeCreate, "", "", "");
      if (h < 0) std::abort();
      if (!file.empty() && fs.FileWrite(h, file.data(), static_cast<std::int32_t>(file.size())) !=
                               static_cast<std::int32_t>(file.size()))
        std::abort();
      fs.FileClose(h);
    }
    try {
      ReadStream(fs);
    } catch (const Exception&) {
      // A clear refusal of a damaged stream.
    }
  } catch (const Exception& e) {
    std::fprintf(stderr, "could not build the container: %s\n", e.what());
    std::abort();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "not a clear error: %s\n", e.what());
    std::abort();
  }
  return 0;
}
