#include "zip/ZipDirectoryReader.h"

#include <algorithm>
#include <cstring>

#include "zip/ZipExceptions.h"

namespace {

constexpr std::uint64_t kEndSearchSpan = 65557;  // end record plus the longest comment
constexpr std::size_t kScanChunk = 65536;

struct Unreadable {};  // a central header or end record that does not fit the file

void SplitStoredName(TZipHeaderInfo& h, const std::u16string& path) {
  const std::size_t p = path.rfind(u'\\');
  if (p == std::u16string::npos) {
    h.Directory.clear();
    h.FileName = path;
  } else {
    h.Directory = path.substr(0, p + 1);
    h.FileName = path.substr(p + 1);
  }
}

// Fills the 64-bit values of `h` from a ZIP64 block for the fields that hold their maximum.
// False when the block is too short for them.
bool ApplyZip64(TZipHeaderInfo& h, const unsigned char* data, std::size_t len, bool usize, bool csize, bool offset,
                bool disk) {
  std::size_t pos = 0;
  auto take64 = [&](std::uint64_t& v) {
    if (pos + 8 > len) return false;
    v = GetU64(data + pos);
    pos += 8;
    return true;
  };
  if (usize && !take64(h.UncompressedSize)) return false;
  if (csize && !take64(h.CompressedSize)) return false;
  if (offset && !take64(h.RelativeOffsetOfLocalHeader)) return false;
  if (disk) {
    if (pos + 4 > len) return false;
    h.DiskNumberStart = GetU32(data + pos);
  }
  return true;
}

// Walks extra blocks; `visit(id, data, len)` for each well-formed block. A malformed tail ends
// the walk.
template <typename Visit>
void ForEachExtraBlock(const std::string& extra, Visit visit) {
  const auto* p = reinterpret_cast<const unsigned char*>(extra.data());
  std::size_t pos = 0;
  while (pos + 4 <= extra.size()) {
    const std::uint16_t id = GetU16(p + pos);
    const std::uint16_t len = GetU16(p + pos + 2);
    if (pos + 4 + len > extra.size()) break;
    visit(id, p + pos + 4, static_cast<std::size_t>(len));
    pos += 4 + len;
  }
}

// Finds the end record; returns its position or false.
bool FindEndRecord(TZipInStream& in, std::uint64_t& endPos) {
  const std::uint64_t size = in.Size();
  if (size < kEndCentralSize) return false;
  const std::uint64_t span = std::min(size, kEndSearchSpan);
  std::vector<unsigned char> tail(static_cast<std::size_t>(span));
  const std::uint64_t tailStart = size - span;
  if (!in.ReadAt(tailStart, tail.data(), tail.size())) return false;
  for (std::size_t i = tail.size() - kEndCentralSize + 1; i-- > 0;) {
    if (GetU32(tail.data() + i) != zipsig::kEndCentral) continue;
    const std::uint16_t commentLen = GetU16(tail.data() + i + 20);
    if (i + kEndCentralSize + commentLen <= tail.size()) {
      endPos = tailStart + i;
      return true;
    }
  }
  return false;
}

void ReadEndRecord(TZipInStream& in, std::uint64_t endPos, TEndCentral& e, std::uint64_t& directoryLimit) {
  unsigned char r[kEndCentralSize];
  if (!in.ReadAt(endPos, r, sizeof r)) throw Unreadable{};
  e.ThisDiskNo = GetU16(r + 4);
  e.CentralDiskNo = GetU16(r + 6);
  e.CentralEntriesThisDisk = GetU16(r + 8);
  e.TotalEntries = GetU16(r + 10);
  e.CentralSize = GetU32(r + 12);
  e.CentralOffset = GetU32(r + 16);
  const std::uint16_t commentLen = GetU16(r + 20);
  e.ZipComment.resize(commentLen);
  if (commentLen && !in.ReadAt(endPos + kEndCentralSize, e.ZipComment.data(), commentLen)) throw Unreadable{};
  directoryLimit = endPos;

  if (!EndNeedsZip64(e) || endPos < kZip64LocatorSize) return;
  unsigned char loc[kZip64LocatorSize];
  const std::uint64_t locPos = endPos - kZip64LocatorSize;
  if (!in.ReadAt(locPos, loc, sizeof loc) || GetU32(loc) != zipsig::kZip64Locator) return;
  const std::uint64_t recPos = GetU64(loc + 8);
  if (recPos > locPos || locPos - recPos < kZip64EndCentralSize) throw Unreadable{};
  unsigned char rec[kZip64EndCentralSize];
  if (!in.ReadAt(recPos, rec, sizeof rec) || GetU32(rec) != zipsig::kZip64EndCentral) throw Unreadable{};
  e.ThisDiskNo = GetU32(rec + 16);
  e.CentralDiskNo = GetU32(rec + 20);
  e.CentralEntriesThisDisk = GetU64(rec + 24);
  e.TotalEntries = GetU64(rec + 32);
  e.CentralSize = GetU64(rec + 40);
  e.CentralOffset = GetU64(rec + 48);
  directoryLimit = recPos;
}

void ReadCentralDirectory(TZipInStream& in, const TZipReadOptions& options, std::uint64_t limit, TZipListing& out) {
  const TEndCentral& e = out.end;
  if (e.CentralOffset > limit || e.CentralSize > limit - e.CentralOffset) throw Unreadable{};
  const std::uint64_t end = e.CentralOffset + e.CentralSize;
  // Each header takes at least 46 bytes, which bounds the count by the directory's size.
  if (e.TotalEntries > e.CentralSize / kCentralHeaderSize) throw Unreadable{};
  out.entries.reserve(static_cast<std::size_t>(e.TotalEntries));
  std::uint64_t pos = e.CentralOffset;
  for (std::uint64_t i = 0; i < e.TotalEntries; ++i) {
    if (options.beforeEntry) options.beforeEntry();
    unsigned char r[kCentralHeaderSize];
    if (end - pos < kCentralHeaderSize || !in.ReadAt(pos, r, sizeof r) || GetU32(r) != zipsig::kCentralHeader) {
      throw Unreadable{};
    }
    TZipHeaderInfo h;
    h.VersionMadeBy = GetU16(r + 4);
    h.VersionNeeded = GetU16(r + 6);
    h.Flag = GetU16(r + 8);
    h.CompressionMethod = GetU16(r + 10);
    h.ModifDateTime = GetU32(r + 12);
    h.CRC32 = GetU32(r + 16);
    h.CompressedSize = GetU32(r + 20);
    h.UncompressedSize = GetU32(r + 24);
    const std::uint16_t nameLen = GetU16(r + 28);
    const std::uint16_t extraLen = GetU16(r + 30);
    const std::uint16_t commentLen = GetU16(r + 32);
    h.DiskNumberStart = GetU16(r + 34);
    h.InternalFileAttributes = GetU16(r + 36);
    h.ExternalFileAttributes = GetU32(r + 38);
    h.RelativeOffsetOfLocalHeader = GetU32(r + 42);
    const std::uint64_t varLen = std::uint64_t{nameLen} + extraLen + commentLen;
    if (end - pos - kCentralHeaderSize < varLen) throw Unreadable{};
    std::string name(nameLen, '\0'), extra(extraLen, '\0');
    if (!in.ReadAt(pos + kCentralHeaderSize, name.data(), nameLen) ||
        !in.ReadAt(pos + kCentralHeaderSize + nameLen, extra.data(), extraLen)) {
      throw Unreadable{};
    }
    h.FileComment.resize(commentLen);
    if (commentLen && !in.ReadAt(pos + kCentralHeaderSize + nameLen + extraLen, h.FileComment.data(), commentLen)) {
      throw Unreadable{};
    }
    h.FileCommentLength = commentLen;

    const bool usize64 = h.UncompressedSize == kZipMax32, csize64 = h.CompressedSize == kZipMax32;
    const bool offset64 = h.RelativeOffsetOfLocalHeader == kZipMax32, disk64 = h.DiskNumberStart == kZipMax16;
    bool zip64Ok = !(usize64 || csize64 || offset64 || disk64);
    ForEachExtraBlock(extra, [&](std::uint16_t id, const unsigned char* data, std::size_t len) {
      if (id == kExtraZip64 && !zip64Ok) zip64Ok = ApplyZip64(h, data, len, usize64, csize64, offset64, disk64);
    });
    h.CentralExtra = RemoveExtraBlocks(extra, {kExtraZip64, kExtraStrongEncryption});
    if (!zip64Ok) throw Unreadable{};
    h.CentralExtraFieldLength = static_cast<std::uint16_t>(h.CentralExtra.size());

    // The local header and the data must lie before the central directory.
    if (h.RelativeOffsetOfLocalHeader > e.CentralOffset ||
        e.CentralOffset - h.RelativeOffsetOfLocalHeader < kLocalHeaderSize ||
        h.CompressedSize > e.CentralOffset - h.RelativeOffsetOfLocalHeader - kLocalHeaderSize) {
      throw Unreadable{};
    }
    SplitStoredName(h, DecodeEntryName(name, (h.Flag & kFlagUtf8) != 0));
    h.FileNameLength = nameLen;
    out.entries.push_back(std::move(h));
    pos += kCentralHeaderSize + varLen;
  }
}

// Position of the first of `sigs` at or after `from`, or the file size when none follows.
std::uint64_t FindSignature(TZipInStream& in, std::uint64_t from, std::initializer_list<std::uint32_t> sigs) {
  const std::uint64_t size = in.Size();
  std::vector<unsigned char> chunk(kScanChunk);
  while (from + 4 <= size) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kScanChunk, size - from));
    if (!in.ReadAt(from, chunk.data(), n)) return size;
    for (std::size_t i = 0; i + 4 <= n; ++i) {
      if (chunk[i] != 0x50 || chunk[i + 1] != 0x4B) continue;
      const std::uint32_t sig = GetU32(chunk.data() + i);
      for (std::uint32_t s : sigs) {
        if (sig == s) return from + i;
      }
    }
    if (n < 4) break;
    from += n - 3;  // the last three bytes may start a signature
  }
  return size;
}

// Rebuilds a listing from the local headers found in the file; false when there is none.
bool ScanLocalHeaders(TZipInStream& in, std::uint64_t start, TZipListing& out) {
  const std::uint64_t size = in.Size();
  std::uint64_t from = start;
  std::vector<TZipHeaderInfo> found;
  while (from < size) {
    const std::uint64_t p = FindSignature(in, from, {zipsig::kLocalHeader});
    if (p >= size) break;
    from = p + 1;  // a candidate that does not parse is skipped
    unsigned char r[kLocalHeaderSize];
    if (!in.ReadAt(p, r, sizeof r)) break;
    TZipHeaderInfo h;
    h.VersionNeeded = GetU16(r + 4);
    h.Flag = GetU16(r + 6);
    h.CompressionMethod = GetU16(r + 8);
    h.ModifDateTime = GetU32(r + 10);
    h.CRC32 = GetU32(r + 14);
    h.CompressedSize = GetU32(r + 18);
    h.UncompressedSize = GetU32(r + 22);
    h.InternalFileAttributes = 0;
    h.RelativeOffsetOfLocalHeader = p;
    const std::uint16_t nameLen = GetU16(r + 26);
    const std::uint16_t extraLen = GetU16(r + 28);
    const std::uint64_t dataStart = p + kLocalHeaderSize + nameLen + extraLen;
    if (nameLen == 0 || dataStart > size) continue;
    std::string name(nameLen, '\0'), extra(extraLen, '\0');
    if (!in.ReadAt(p + kLocalHeaderSize, name.data(), nameLen) ||
        !in.ReadAt(p + kLocalHeaderSize + nameLen, extra.data(), extraLen)) {
      continue;
    }
    bool ok = true;
    if (h.Flag & kFlagDataDescriptor) {
      // Sizes follow the data: the data ends where the next record begins.
      const std::uint64_t next = FindSignature(in, dataStart, {zipsig::kLocalHeader, zipsig::kCentralHeader, zipsig::kEndCentral});
      std::uint64_t dataEnd = next;
      unsigned char d[16];
      if (next - dataStart >= 16 && in.ReadAt(next - 16, d, 16) && GetU32(d) == zipsig::kDataDescriptor) {
        dataEnd = next - 16;
        h.CRC32 = GetU32(d + 4);
        h.UncompressedSize = GetU32(d + 12);
      }
      h.CompressedSize = dataEnd - dataStart;
      from = next;
    } else {
      const bool sizes64 = h.CompressedSize == kZipMax32 || h.UncompressedSize == kZipMax32;
      bool zip64Ok = !sizes64;
      ForEachExtraBlock(extra, [&](std::uint16_t id, const unsigned char* data, std::size_t len) {
        if (id == kExtraZip64 && !zip64Ok) zip64Ok = ApplyZip64(h, data, len, true, true, false, false);
      });
      ok = zip64Ok && h.CompressedSize <= size - dataStart;
      if (ok) from = dataStart + h.CompressedSize;
    }
    if (!ok) continue;
    SplitStoredName(h, DecodeEntryName(name, (h.Flag & kFlagUtf8) != 0));
    h.FileNameLength = nameLen;
    found.push_back(std::move(h));
  }
  if (found.empty()) return false;
  out.entries = std::move(found);
  out.end = TEndCentral{};
  out.end.TotalEntries = out.end.CentralEntriesThisDisk = out.entries.size();
  out.rebuilt = true;
  return true;
}

void RebuildOrFail(TZipInStream& in, const TZipReadOptions& options, TZipListing& out) {
  out.entries.clear();
  if (!ScanLocalHeaders(in, options.scanStart, out)) throw EBadZipFile(zipmsg::kNotValidZip);
}

}  // namespace

void ReadZipDirectory(TZipInStream& in, const TZipReadOptions& options, TZipListing& out) {
  out = TZipListing{};
  if (in.Size() == 0) return;  // an empty file is an archive without entries
  std::uint64_t endPos = 0;
  if (!FindEndRecord(in, endPos)) {
    TIncompleteZipMode mode = options.mode;
    if (options.onIncomplete) options.onIncomplete(mode);
    switch (mode) {
      case izAssumeMulti: throw EIncompleteZip(zipmsg::kIncompleteZip);
      case izAssumeNotAZip: throw ENotAZipFile(zipmsg::kNotValidZip);
      case izAssumeBad: RebuildOrFail(in, options, out); return;
    }
    throw ENotAZipFile(zipmsg::kNotValidZip);
  }
  try {
    std::uint64_t limit = 0;
    ReadEndRecord(in, endPos, out.end, limit);
    ReadCentralDirectory(in, options, limit, out);
  } catch (const Unreadable&) {
    const std::string comment = out.end.ZipComment;
    RebuildOrFail(in, options, out);
    out.end.ZipComment = comment;
  }
}

TLocalEntryInfo ReadLocalEntry(TZipInStream& in, const TZipHeaderInfo& entry) {
  unsigned char r[kLocalHeaderSize];
  if (!in.ReadAt(entry.RelativeOffsetOfLocalHeader, r, sizeof r) || GetU32(r) != zipsig::kLocalHeader) {
    throw EBadZipFile(zipmsg::kNotValidZip);
  }
  const std::uint16_t nameLen = GetU16(r + 26);
  const std::uint16_t extraLen = GetU16(r + 28);
  TLocalEntryInfo info;
  info.dataStart = entry.RelativeOffsetOfLocalHeader + kLocalHeaderSize + nameLen + extraLen;
  if (info.dataStart > in.Size() || entry.CompressedSize > in.Size() - info.dataStart) {
    throw EBadZipFile(zipmsg::kNotValidZip);
  }
  info.localExtra.resize(extraLen);
  if (extraLen && !in.ReadAt(entry.RelativeOffsetOfLocalHeader + kLocalHeaderSize + nameLen, info.localExtra.data(), extraLen)) {
    throw EBadZipFile(zipmsg::kNotValidZip);
  }
  return info;
}
