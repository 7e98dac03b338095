// An existing archive, damaged: its directory read (end records, ZIP64 records, central headers,
// the local-header scan) with every entry's local header, or the update path that carries its
// entries into a new archive next to a freshly added file. Damage must end in a zip exception
// with the archive left as it was, never a crash, a hang or a huge allocation.
//
// Input: one flag byte, then the archive.
//   bit 0      update the archive by adding a small file, else read its directory
//   bits 1..2  the incomplete-archive mode (assume multi-part, bad, not a zip)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "fuzz/FuzzFiles.h"
#include "platform/Exception.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "zip/ZipDirectoryReader.h"
#include "zip/ZipWriter.h"

namespace {

void ReadDirectory(const std::string& path, TIncompleteZipMode mode) {
  auto file = platform::File::Open(path, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                   platform::FileDisposition::OpenExisting);
  if (!file) std::abort();
  TZipInStream in(std::move(file));
  TZipReadOptions options;
  options.mode = mode;
  TZipListing listing;
  ReadZipDirectory(in, options, listing);
  for (const TZipHeaderInfo& entry : listing.entries) {
    try {
      ReadLocalEntry(in, entry);
    } catch (const EZipException&) {
      // One bad local header does not hide the others.
    }
  }
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Update(const std::string& path, TIncompleteZipMode mode, const std::uint8_t* data, std::size_t size) {
  static const char kNew[] = "the new entry\r\n";
  const std::string added = fuzzfiles::Write("new.txt", reinterpret_cast<const std::uint8_t*>(kNew), sizeof kNew - 1);
  fuzzfiles::Remove("tmp");
  std::filesystem::create_directory(fuzzfiles::Folder() + "tmp");
  TZipWriter zip;
  zip.SetThreadCount(1);
  zip.DoProcessMessages = false;
  zip.IncompleteZipMode = mode;
  zip.TempPath = platform::Cp936ToUtf16(fuzzfiles::Folder() + "tmp/");
  zip.FilesList.Add(platform::Cp936ToUtf16(added));
  zip.SetZipName(platform::Cp936ToUtf16(path));
  try {
    zip.Zip();
  } catch (const Exception&) {
    // Refused: the archive must be untouched.
    const std::string now = Contents(path);
    if (now.size() != size || std::memcmp(now.data(), data, size) != 0) {
      std::fprintf(stderr, "a refused archive was changed\n");
      std::abort();
    }
    throw;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t flags = data[0];
  const auto mode = static_cast<TIncompleteZipMode>(((flags >> 1) & 3) % 3);
  const std::string path = fuzzfiles::Write("a.zip", data + 1, size - 1);
  try {
    if (flags & 1) {
      Update(path, mode, data + 1, size - 1);
    } else {
      ReadDirectory(path, mode);
    }
  } catch (const Exception&) {
    // A clear refusal of a damaged archive.
  } catch (const std::exception& e) {
    std::fprintf(stderr, "not a zip error: %s\n", e.what());
    std::abort();
  }
  return 0;
}
