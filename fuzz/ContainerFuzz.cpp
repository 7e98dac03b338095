// Opens a container image and reads all of it: every item of the directory, every stored file
// through its block stream; or exports it into a folder. Damage must end in an Exception (or a
// failed call), never a crash, a hang, a huge allocation or a file outside the export folder.
//
// Input: one flag byte, then the image.
//   bit 0  open with the password "fuzz" (the encrypted seeds use it), else with none
//   bit 1  export everything instead of reading through the streams
//   bit 2  instead, open the image as in-memory storage at the page level and read every page
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "cfs/fs/CFSAdvancedFileStream.h"
#include "cfs/fs/ContainerFS.h"
#include "cfs/fs/ContainerWalk.h"
#include "cfs/engine/PageFileManager.h"
#include "fuzz/FuzzFiles.h"
#include "platform/Exception.h"

namespace {

// Unpacked bytes read per input: a few blocks that unpack to their full size each are legal
// and cheap; reading on past this proves nothing more.
constexpr std::int64_t kReadBudget = 64 << 20;

void ReadEverything(TContainerFS& fs) {
  std::vector<std::string> files;
  WalkContainer(fs, [&](const TCFSWalkEntry& e) {
    if (!e.folder) files.push_back("\\" + e.path);
  });
  std::vector<std::uint8_t> buffer(1 << 16);
  std::int64_t budget = kReadBudget;
  for (const std::string& name : files) {
    try {
      TCFSAdvancedFileStream stream(&fs, name, 0, "", "", "", 0);
      const std::int64_t size = stream.GetSize();
      // A seek into the middle takes the random-access path to a block.
      if (size > 1) stream.Seek(size / 2, 0);
      stream.Read(buffer.data(), 1);
      stream.Seek(0, 0);
      for (;;) {
        const std::int32_t n = stream.Read(buffer.data(), static_cast<std::int32_t>(buffer.size()));
        if (n <= 0) break;
        budget -= n;
        if (budget <= 0) return;
      }
    } catch (const Exception&) {
      // One unreadable file does not stop the others being tried.
    }
  }
}

// The in-memory storage takes a copy of the file; every page in the page count is read and
// checked (deciphered when the container is encrypted), the ones beyond the file failing.
void ReadEveryPage(const std::string& path, const std::string& password) {
  TPageFileManager pages(path, 0, password, "", "", TCFSStorageFactory::Memory(), 4096, 8, -1);
  TCFSPageRec rec;
  pages.InitPageRecord(rec);
  const std::int32_t count = std::min(pages.Header().PageCount(), 1 << 16);
  for (std::int32_t n = 1; n < count; ++n) pages.ReadPage(rec, n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t flags = data[0];
  const std::string password = (flags & 1) ? "fuzz" : "";
  const std::string path = fuzzfiles::Write("c.cfs", data + 1, size - 1);
  try {
    if (flags & 4) {
      ReadEveryPage(path, password);
      return 0;
    }
    TContainerFS fs(path, 0, password, "", "", 0);
    fs.SetThreadCount(1);
    if (flags & 2) {
      fs.ExportFiles("*.*", fuzzfiles::Folder() + "out", platform::kAttrAnyFile, true, TExistingFiles::Overwrite);
    } else {
      ReadEverything(fs);
    }
  } catch (const Exception&) {
    // A clear refusal of a damaged container.
  } catch (const std::exception& e) {
    std::fprintf(stderr, "not a clear error: %s\n", e.what());
    std::abort();
  }
  if (!fuzzfiles::HoldsOnly({"c.cfs", "out"})) std::abort();
  fuzzfiles::Remove("out");
  return 0;
}
