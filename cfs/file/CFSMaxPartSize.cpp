#include "cfs/file/CFSMaxPartSize.h"

#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace {

enum class OsKind { NT3, Win95, NT4, Win98, WinMe, Win2000, WinXP, Win2003 };

OsKind ClassifyOs(const platform::OsVersion& os) {
  if (os.nt && os.major == 3) return OsKind::NT3;
  if (os.major == 4 && os.minor == 0) return os.nt ? OsKind::NT4 : OsKind::Win95;
  if (!os.nt && os.major == 4 && os.minor == 10) return OsKind::Win98;
  if (!os.nt && os.major == 4 && os.minor == 90) return OsKind::WinMe;
  if (os.major == 5 && os.minor == 0) return OsKind::Win2000;
  if (os.major == 5 && os.minor == 1) return OsKind::WinXP;
  if (os.major == 5 && os.minor == 2) return OsKind::Win2003;
  if (os.major > 4) return OsKind::WinXP;  // anything newer behaves like XP here
  throw Exception("Can't Identify OS version");
}

}  // namespace

std::string VolumeRootOf(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2) + "\\";
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    // \\server\share\...: the root is the share.
    std::size_t slash = path.find('\\', 2);
    if (slash != std::string::npos) slash = path.find('\\', slash + 1);
    return slash == std::string::npos ? platform::IncludeTrailingPathDelimiter(path) : path.substr(0, slash + 1);
  }
  const std::string folder = platform::ExtractFilePath(path);
  return folder.empty() ? std::string(".\\") : folder;
}

std::int64_t MaxPartSizeFor(const std::string& fileSystemName, const std::string& volumeRoot,
                            const platform::OsVersion& os, std::int64_t freeBytes) {
  const OsKind kind = ClassifyOs(os);
  if (fileSystemName == "FAT32") {
    const bool nt5 = kind == OsKind::Win2000 || kind == OsKind::WinXP || kind == OsKind::Win2003;
    return nt5 && os.nt ? 4294967295LL : 2147483647LL;
  }
  if (fileSystemName == "NTFS") return 9223372036854775806LL;
  if (fileSystemName == "FAT16") return 2147483647LL;
  if (fileSystemName == "CDFS") return 0;
  if (fileSystemName == "FS_UDF") return freeBytes > 0 ? freeBytes : 0;
  if (fileSystemName == "FAT") {
    const std::string root = platform::UpperCaseAscii(volumeRoot);
    return root == "A:\\" || root == "B:\\" ? 1457664 : 2147483647LL;
  }
  return 0;
}

std::int64_t GetMaxPartSize(const std::string& path) {
  const platform::OsVersion os = platform::GetOsVersion();
  ClassifyOs(os);  // an unknown system fails before the volume is asked
  const std::string root = VolumeRootOf(platform::ExpandFileName(path));
  const std::string name = platform::VolumeFileSystemName(root);
  if (name.empty()) return 0;
  const std::int64_t freeBytes = name == "FS_UDF" ? platform::DiskFreeBytes(root) : 0;
  return MaxPartSizeFor(name, root, os, freeBytes);
}
