#include "zip/ZipRecords.h"

#include <cstring>

#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/Time.h"
#include "zip/WideText.h"
#include "zip/ZipExceptions.h"

void PutU16(std::string& out, std::uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}
void PutU32(std::string& out, std::uint32_t v) {
  PutU16(out, static_cast<std::uint16_t>(v & 0xFFFF));
  PutU16(out, static_cast<std::uint16_t>(v >> 16));
}
void PutU64(std::string& out, std::uint64_t v) {
  PutU32(out, static_cast<std::uint32_t>(v & 0xFFFFFFFFu));
  PutU32(out, static_cast<std::uint32_t>(v >> 32));
}
std::uint16_t GetU16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t GetU32(const unsigned char* p) {
  return static_cast<std::uint32_t>(GetU16(p)) | (static_cast<std::uint32_t>(GetU16(p + 2)) << 16);
}
std::uint64_t GetU64(const unsigned char* p) {
  return static_cast<std::uint64_t>(GetU32(p)) | (static_cast<std::uint64_t>(GetU32(p + 4)) << 32);
}

std::string RemoveExtraBlocks(const std::string& extra, std::initializer_list<std::uint16_t> ids) {
  std::string out;
  std::size_t pos = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(extra.data());
  while (pos + 4 <= extra.size()) {
    const std::uint16_t id = GetU16(p + pos);
    const std::size_t len = GetU16(p + pos + 2);
    if (pos + 4 + len > extra.size()) break;
    bool drop = false;
    for (std::uint16_t d : ids) drop = drop || id == d;
    if (!drop) out.append(extra, pos, 4 + len);
    pos += 4 + len;
  }
  if (pos < extra.size()) out.append(extra, pos, std::string::npos);
  return out;
}

static std::u16string ToZipSeparators(std::u16string_view path) {
  std::u16string out(path);
  for (auto& c : out) {
    if (c == u'\\') c = u'/';
  }
  return out;
}

TEncodedName EncodeEntryName(std::u16string_view storedPath, TOEMConvert mode) {
  const std::u16string name = ToZipSeparators(storedPath);
  if (mode == oemFlexible) {
    const unsigned ansiCp = platform::AnsiCodePage();
    const unsigned oemCp = platform::OemCodePage();
    const std::string ansi = platform::Utf16ToCodePage(name, ansiCp);
    if (ziptext::SameText(platform::CodePageToUtf16(ansi, ansiCp), name)) {
      const std::string oem = platform::Utf16ToCodePage(platform::CodePageToUtf16(ansi, ansiCp), oemCp);
      const std::string ansiAgain = platform::Utf16ToCodePage(platform::CodePageToUtf16(oem, oemCp), ansiCp);
      if (platform::SameTextCp936(ansiAgain, ansi)) return {oem, false};
    }
  }
  return {platform::Utf16ToUtf8(name), true};
}

std::u16string DecodeEntryName(std::string_view bytes, bool utf8) {
  std::u16string name = utf8 ? platform::Utf8ToUtf16(bytes) : platform::CodePageToUtf16(bytes, platform::OemCodePage());
  for (auto& c : name) {
    if (c == u'/') c = u'\\';
  }
  return name;
}

static std::uint16_t ExtraLength(std::size_t n) {
  if (n > 0xFFFF) throw EZipException("Extra field too long for a zip header");
  return static_cast<std::uint16_t>(n);
}

static std::uint16_t WrittenFlags(std::uint16_t flag, bool utf8) {
  flag = static_cast<std::uint16_t>(flag & ~(kFlagDataDescriptor | kFlagUtf8));
  return utf8 ? static_cast<std::uint16_t>(flag | kFlagUtf8) : flag;
}

static std::uint16_t NameLength(const TEncodedName& name) {
  if (name.bytes.size() > 0xFFFF) throw EZipException("File name too long for a zip header");
  return static_cast<std::uint16_t>(name.bytes.size());
}

std::string BuildLocalHeader(const TZipHeaderInfo& h, const TEncodedName& name, std::string_view extraTail) {
  const bool sizes64 = h.LocalSizes64 || h.UncompressedSize >= kZipMax32 || h.CompressedSize >= kZipMax32;
  const bool offset64 = h.RelativeOffsetOfLocalHeader >= kZipMax32;
  const bool disk64 = h.DiskNumberStart >= kZipMax16;
  const std::size_t blockData = (sizes64 ? 16 : 0) + (offset64 ? 8 : 0) + (disk64 ? 4 : 0);
  const bool zip64 = blockData > 0;

  std::string out;
  out.reserve(kLocalHeaderSize + name.bytes.size() + blockData + 4 + extraTail.size());
  PutU32(out, zipsig::kLocalHeader);
  PutU16(out, zip64 ? 45 : 20);
  PutU16(out, WrittenFlags(h.Flag, name.utf8));
  PutU16(out, h.CompressionMethod);
  PutU32(out, h.ModifDateTime);
  PutU32(out, h.CRC32);
  PutU32(out, sizes64 ? kZipMax32 : static_cast<std::uint32_t>(h.CompressedSize));
  PutU32(out, sizes64 ? kZipMax32 : static_cast<std::uint32_t>(h.UncompressedSize));
  PutU16(out, NameLength(name));
  PutU16(out, ExtraLength((zip64 ? 4 + blockData : 0) + extraTail.size()));
  out += name.bytes;
  if (zip64) {
    PutU16(out, 0x0001);
    PutU16(out, static_cast<std::uint16_t>(blockData));
    if (sizes64) {
      PutU64(out, h.UncompressedSize);
      PutU64(out, h.CompressedSize);
    }
    if (offset64) PutU64(out, h.RelativeOffsetOfLocalHeader);
    if (disk64) PutU32(out, h.DiskNumberStart);
  }
  out.append(extraTail);
  return out;
}

std::string BuildCentralHeader(const TZipHeaderInfo& h, const TEncodedName& name) {
  const bool usize64 = h.UncompressedSize >= kZipMax32;
  const bool csize64 = h.CompressedSize >= kZipMax32;
  const bool offset64 = h.RelativeOffsetOfLocalHeader >= kZipMax32;
  const bool disk64 = h.DiskNumberStart >= kZipMax16;
  const std::size_t blockData = (usize64 ? 8 : 0) + (csize64 ? 8 : 0) + (offset64 ? 8 : 0) + (disk64 ? 4 : 0);
  const bool zip64 = blockData > 0;
  if (h.FileComment.size() > 0xFFFF) throw EZipException("File comment too long for a zip header");

  std::uint16_t madeBy = h.VersionMadeBy;
  if (name.utf8) madeBy = static_cast<std::uint16_t>((madeBy & 0x00FF) | 0x0B00);

  std::string out;
  out.reserve(kCentralHeaderSize + name.bytes.size() + h.CentralExtra.size() + 4 + blockData + h.FileComment.size());
  PutU32(out, zipsig::kCentralHeader);
  PutU16(out, madeBy);
  PutU16(out, zip64 ? 45 : 20);
  PutU16(out, WrittenFlags(h.Flag, name.utf8));
  PutU16(out, h.CompressionMethod);
  PutU32(out, h.ModifDateTime);
  PutU32(out, h.CRC32);
  PutU32(out, csize64 ? kZipMax32 : static_cast<std::uint32_t>(h.CompressedSize));
  PutU32(out, usize64 ? kZipMax32 : static_cast<std::uint32_t>(h.UncompressedSize));
  PutU16(out, NameLength(name));
  PutU16(out, ExtraLength(h.CentralExtra.size() + (zip64 ? 4 + blockData : 0)));
  PutU16(out, static_cast<std::uint16_t>(h.FileComment.size()));
  PutU16(out, disk64 ? kZipMax16 : static_cast<std::uint16_t>(h.DiskNumberStart));
  PutU16(out, h.InternalFileAttributes);
  PutU32(out, h.ExternalFileAttributes);
  PutU32(out, offset64 ? kZipMax32 : static_cast<std::uint32_t>(h.RelativeOffsetOfLocalHeader));
  out += name.bytes;
  out += h.CentralExtra;
  if (zip64) {
    PutU16(out, 0x0001);
    PutU16(out, static_cast<std::uint16_t>(blockData));
    if (usize64) PutU64(out, h.UncompressedSize);
    if (csize64) PutU64(out, h.CompressedSize);
    if (offset64) PutU64(out, h.RelativeOffsetOfLocalHeader);
    if (disk64) PutU32(out, h.DiskNumberStart);
  }
  out += h.FileComment;
  return out;
}

bool EndNeedsZip64(const TEndCentral& e) {
  return e.ThisDiskNo >= kZipMax16 || e.CentralDiskNo >= kZipMax16 || e.CentralEntriesThisDisk >= kZipMax16 ||
         e.TotalEntries >= kZipMax16 || e.CentralSize >= kZipMax32 || e.CentralOffset >= kZipMax32;
}

static std::uint16_t Clamp16(std::uint64_t v) { return v >= kZipMax16 ? kZipMax16 : static_cast<std::uint16_t>(v); }
static std::uint32_t Clamp32(std::uint64_t v) { return v >= kZipMax32 ? kZipMax32 : static_cast<std::uint32_t>(v); }

std::string BuildEndRecords(const TEndCentral& e, std::uint64_t position) {
  if (e.ZipComment.size() > 0xFFFF) throw EZipException("Zip comment too long");
  std::string out;
  if (EndNeedsZip64(e)) {
    PutU32(out, zipsig::kZip64EndCentral);
    PutU64(out, kZip64EndCentralSize - 12);
    PutU16(out, 45);
    PutU16(out, 45);
    PutU32(out, e.ThisDiskNo);
    PutU32(out, e.CentralDiskNo);
    PutU64(out, e.CentralEntriesThisDisk);
    PutU64(out, e.TotalEntries);
    PutU64(out, e.CentralSize);
    PutU64(out, e.CentralOffset);
    PutU32(out, zipsig::kZip64Locator);
    PutU32(out, e.ThisDiskNo);
    PutU64(out, position);
    PutU32(out, e.ThisDiskNo + 1);
  }
  PutU32(out, zipsig::kEndCentral);
  PutU16(out, Clamp16(e.ThisDiskNo));
  PutU16(out, Clamp16(e.CentralDiskNo));
  PutU16(out, Clamp16(e.CentralEntriesThisDisk));
  PutU16(out, Clamp16(e.TotalEntries));
  PutU32(out, Clamp32(e.CentralSize));
  PutU32(out, Clamp32(e.CentralOffset));
  PutU16(out, static_cast<std::uint16_t>(e.ZipComment.size()));
  out += e.ZipComment;
  return out;
}

static std::uint32_t PackDos(std::int64_t localFileTime) {
  std::uint16_t date = 0, time = 0;
  if (!platform::FileTimeToDosDateTime(localFileTime, date, time)) return 0xFFFFFFFFu;
  return (static_cast<std::uint32_t>(date) << 16) | time;
}

std::uint32_t DosDateTimeOfPath(const std::string& cp936Path) {
  std::int64_t utc = 0;
  if (!platform::GetFileTime(cp936Path, utc)) return 0xFFFFFFFFu;
  return PackDos(platform::FileTimeUtcToLocal(utc));
}

std::uint32_t DosDateTimeNow() { return PackDos(platform::FileTimeUtcToLocal(platform::NowFileTimeUtc())); }
