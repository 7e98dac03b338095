#include "tests/app/PackageCheck.h"

#include <zlib.h>

#include <cstring>
#include <fstream>
#include <optional>

#include "cfs/fs/ContainerFS.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Time.h"
#include "tests/support/Files.h"

namespace {

std::uint32_t Le(const std::string& s, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
  return v;
}

}  // namespace

bool ReadOnlyZipEntry(const std::string& zipPath, std::string& name, std::string& data, std::string& why) {
  std::optional<std::string> read = testsupport::TryReadFile(zipPath);
  if (!read) return why = "unreadable", false;
  std::string& zip = *read;
  if (zip.size() < 22) return why = "too short", false;
  const std::size_t end = zip.size() - 22;  // the tool writes no archive comment
  if (Le(zip, end, 4) != 0x06054b50) return why = "no end record", false;
  if (Le(zip, end + 10, 2) != 1) return why = "entry count " + std::to_string(Le(zip, end + 10, 2)), false;
  if (zip.size() < 30 || Le(zip, 0, 4) != 0x04034b50) return why = "no local header", false;
  const std::uint32_t flags = Le(zip, 6, 2), method = Le(zip, 8, 2);
  std::uint32_t packed = Le(zip, 18, 4), size = Le(zip, 22, 4);
  const std::uint32_t nameLen = Le(zip, 26, 2), extraLen = Le(zip, 28, 2);
  if (flags & 8) {  // sizes in the central record
    const std::size_t central = Le(zip, end + 16, 4);
    if (central + 46 > zip.size()) return why = "central directory", false;
    packed = Le(zip, central + 20, 4);
    size = Le(zip, central + 24, 4);
  }
  const std::size_t start = 30 + nameLen + extraLen;
  if (start + packed > zip.size()) return why = "entry past the end", false;
  name = zip.substr(30, nameLen);
  if (method == 0) {
    data = zip.substr(start, packed);
  } else if (method == 8) {
    data.assign(size, '\0');
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return why = "zlib", false;
    z.next_in = reinterpret_cast<Bytef*>(zip.data() + start);
    z.avail_in = packed;
    z.next_out = reinterpret_cast<Bytef*>(data.data());
    z.avail_out = size;
    int r = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    if (r != Z_STREAM_END || z.total_out != size) return why = "inflate " + std::to_string(r), false;
  } else {
    return why = "method " + std::to_string(method), false;
  }
  if (crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())) != Le(zip, 14, 4) &&
      !(flags & 8))
    return why = "crc", false;
  return true;
}

void MakeToolExecutable(const std::string& path, const std::string& stub, const std::string& scratch) {
  static int serial = 0;
  const std::string scratchDir = scratch.empty() ? platform::GetTempDirectory() + "zelk-stub-" +
                                                       std::to_string(platform::NowFileTimeUtc()) + "-" +
                                                       std::to_string(++serial) + "\\"
                                                 : scratch;
  platform::ForceDirectories(scratchDir);
  const std::string loader = scratchDir + "loader.bin";
  {
    auto file = platform::File::Open(loader, platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
                                     platform::FileDisposition::CreateAlways);
    if (!file || file->Write(stub.data(), static_cast<std::int64_t>(stub.size())) !=
                     static_cast<std::int64_t>(stub.size()))
      throw Exception("cannot write " + loader);
  }
  TContainerFS container(path, kModeCreate, "", "", "", 7);
  container.ImportFiles(loader, "", platform::kAttrAnyFile, false, TExistingFiles::Overwrite, false);
  if (container.LastImportError().Failed) throw Exception(container.LastImportError().Message);
  platform::DeleteFile(loader);
  if (scratch.empty()) platform::RemoveDirectory(scratchDir);
}
