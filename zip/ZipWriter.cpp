#include "zip/ZipWriter.h"

#include <zlib.h>

#include <algorithm>
#include <set>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Random.h"
#include "platform/Text.h"
#include "platform/Threads.h"
#include "zip/ChunkedDeflate.h"
#include "zip/WideText.h"
#include "zip/ZipDirSearch.h"
#include "zip/ZipDirectoryReader.h"
#include "zip/ZipPatterns.h"
#include "zip/ZipStreams.h"

namespace {

constexpr std::size_t kDeflateBlock = 65535;
constexpr std::size_t kStoreBlock = 32768;
constexpr std::size_t kCopyBlock = 16384;
constexpr int kMsgShortRead = 208;
const std::u16string kWildcards = u"*?<>|";

// UTF-16 path to the code page 936 path the platform opens; false when a character has no
// code page 936 form (such a file cannot be opened on this system).
bool Native(const std::u16string& path, std::string& out) {
  bool lossless = true;
  out = platform::Utf16ToCp936(path, &lossless);
  return lossless;
}

std::string Cp936(const std::u16string& s) { return platform::Utf16ToCp936(s); }

// The short (8.3) form of an existing path; the path itself when it has none.
std::u16string ShortForm(const std::u16string& path) {
  std::string native;
  if (!Native(path, native)) return path;
  const std::string shortName = platform::ShortPathName(native);
  return shortName == native ? path : platform::Cp936ToUtf16(shortName);
}

// The drive of a path: the text up to and including the colon of the first ":\".
std::u16string DriveOf(const std::u16string& path) {
  const std::size_t p = path.find(u":\\");
  return p == std::u16string::npos ? std::u16string() : path.substr(0, p + 1);
}

// Upper bound of raw deflate output for `n` input bytes (zlib's deflateBound for stored blocks).
std::uint64_t DeflateBound(std::uint64_t n) { return n + (n >> 12) + (n >> 14) + (n >> 25) + 13; }

// A new file "ZTF<hex>.tmp" in `dir`, created exclusively so that no other run can share it.
std::unique_ptr<platform::File> CreateTemporaryArchive(const std::string& dir, std::string& path, std::string& error) {
  unsigned char seed[2] = {0, 0};
  platform::RandomBytes(seed, sizeof seed);
  unsigned number = static_cast<unsigned>(seed[0] | (seed[1] << 8));
  static const char* hex = "0123456789ABCDEF";
  for (int attempt = 0; attempt < 0x10000; ++attempt, ++number) {
    const unsigned n = (number % 0xFFFF) + 1;
    std::string candidate = dir + "ZTF";
    bool digits = false;
    for (int shift = 12; shift >= 0; shift -= 4) {
      const unsigned d = (n >> shift) & 0xF;
      if (d || digits || shift == 0) {
        candidate += hex[d];
        digits = true;
      }
    }
    candidate += ".tmp";
    auto file = platform::File::Open(candidate, platform::FileAccess::ReadWrite, platform::FileShare::Exclusive,
                                     platform::FileDisposition::CreateNew, &error);
    if (file) {
      path = candidate;
      return file;
    }
    if (!platform::FileExists(candidate)) break;  // the directory itself refuses new files
  }
  return nullptr;
}

}  // namespace

struct TZipWriter::Run {
  std::unique_ptr<TZipOutStream> out;
  std::string outPath;  // the file being written (deleted on failure)
  bool temporary = false;
  bool keepOutputOnFailure = false;
  std::u16string zipName;  // trimmed
  std::string zipNative;
  std::unique_ptr<TZipInStream> existing;
  TZipListing existingListing;
  std::vector<TZipHeaderInfo> written;  // writing order
  std::set<std::u16string> names;       // lower-cased stored paths
  TEndCentral end;
  std::vector<std::u16string> wildcardSearches;
  std::vector<std::u16string> disposeList;
  std::int64_t totalBytes = 0;
  std::int64_t doneBytes = 0;
  std::uint32_t crc = 0;
  std::int64_t fileDone = 0;  // bytes read of the file being added
  int count = 0;
  std::vector<unsigned char> inBuffer, outBuffer;
};

TZipWriter::TZipWriter() : threadCount_(platform::ThreadCount()) {}
TZipWriter::~TZipWriter() = default;

void TZipWriter::SetThreadCount(int count) { threadCount_ = std::clamp(count, 1, platform::kMaxThreads); }

std::uint32_t TZipWriter::SearchAttribute() const {
  std::uint32_t attr = platform::kAttrAnyFile;
  auto apply = [&](bool on, std::uint32_t bit) { attr = on ? (attr | bit) : (attr & ~bit); };
  apply(IncludeHiddenFiles, platform::kAttrHidden);
  apply(IncludeSysFiles, platform::kAttrSystem);
  apply(IncludeReadOnlyFiles, platform::kAttrReadOnly);
  apply(IncludeArchiveFiles, platform::kAttrArchive);
  return attr;
}

std::uint16_t TZipWriter::LevelFlags() const {
  if (PackLevel <= 2) return kFlagFast;
  return PackLevel >= 8 ? kFlagMaximum : 0;
}

int TZipWriter::Percent(std::int64_t done, std::int64_t total) const {
  if (total <= 0) return 0;
  const std::int64_t p = (done * 100 + total / 2) / total;
  return p > 100 ? 100 : static_cast<int>(p);
}

void TZipWriter::Skip(TSkipReason reason, const std::u16string& name) {
  bool retry = false;
  if (OnSkippingFile) OnSkippingFile(this, reason, name, -1, retry);
}

void TZipWriter::NoSuchFile(const std::u16string& name) {
  if (OnNoSuchFile) OnNoSuchFile(this, name);
}

bool TZipWriter::Excluded(const std::u16string& path) const {
  const std::u16string fileName = ziptext::ExtractFileName(path);
  for (const auto& pattern : ExcludeList.Items()) {
    const bool full = pattern.find(u'\\') != std::u16string::npos;
    if (ZipPatternMatch(pattern, full ? path : fileName)) return true;
  }
  return false;
}

bool TZipWriter::NoCompress(const std::u16string& fileName) const {
  for (const auto& pattern : NoCompressList.Items()) {
    if (ZipPatternMatch(pattern, fileName)) return true;
  }
  return false;
}

void TZipWriter::StoredNameFor(const std::u16string& longPath, std::u16string& directory, std::u16string& fileName) const {
  directory.clear();
  fileName.clear();
  const std::u16string path = Store83Names ? ShortForm(longPath) : longPath;
  const std::size_t slash = path.rfind(u'\\');
  if (!StorePaths) {
    if (ziptext::EndsWithBackslash(path)) return;  // a directory entry keeps no name without paths
    fileName = (path.size() < 4 || slash == std::u16string::npos) ? path : path.substr(slash + 1);
    return;
  }
  std::u16string dir = slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
  fileName = slash == std::u16string::npos ? path : path.substr(slash + 1);
  while (dir.size() >= 2 && dir[dir.size() - 1] == u'\\' && dir[dir.size() - 2] == u'\\') dir.pop_back();
  if (RelativePaths) {
    for (const auto& prefix : RelativePathList.Items()) {
      // With short names the root directory is compared in its short form too.
      const std::u16string root = Store83Names && !prefix.empty() ? ShortForm(prefix) : prefix;
      if (!root.empty() && ziptext::StartsWithText(dir, root)) {
        dir.erase(0, root.size());
        break;
      }
    }
  }
  if (!StoreVolumes) {
    if (dir.size() >= 2 && dir[1] == u':') {
      dir.erase(0, 2);
    } else if (dir.size() >= 2 && dir[0] == u'\\' && dir[1] == u'\\') {
      // \\server\share
      std::size_t p = dir.find(u'\\', 2);
      p = p == std::u16string::npos ? dir.size() : dir.find(u'\\', p + 1);
      dir.erase(0, p == std::u16string::npos ? dir.size() : p);
    }
    if (!dir.empty() && dir[0] == u'\\') dir.erase(0, 1);
  }
  directory = dir;
}

// Rules shared by listed files and files found by a search: archive bit and freshening.
bool TZipWriter::ResolveCommonRules(Run& run, const std::u16string& path, std::uint32_t attributes) {
  if (SkipIfArchiveBitNotSet && !(attributes & platform::kAttrArchive)) {
    Skip(srArchiveBitNotSet, path);
    return false;
  }
  if (ZipAction == zaFreshen) {
    std::u16string dir, name;
    StoredNameFor(path, dir, name);
    bool present = false;
    for (const auto& e : run.existingListing.entries) {
      if (ziptext::SameText(e.StoredPath(), dir + name)) {
        present = true;
        break;
      }
    }
    if (!present) {
      Skip(srNoFileToFreshen, path);
      return false;
    }
  }
  return true;
}

void TZipWriter::ResolveFileList(Run& run) {
  const std::uint32_t searchAttr = SearchAttribute();
  int i = 0;
  while (i < FilesList.Count()) {
    std::u16string entry = FilesList[i];
    if (ziptext::EndsWithBackslash(entry)) {
      ++i;
      continue;
    }
    if (ziptext::ContainsAny(entry, kWildcards)) {
      run.wildcardSearches.push_back(entry);
      FilesList.Delete(i);
      continue;
    }
    if (entry.find_first_of(u"\\:") == std::u16string::npos) {
      entry = rootDir_ + entry;
      FilesList[i] = entry;
    }
    if (Excluded(entry)) {
      Skip(srExcludeList, entry);
      FilesList.Delete(i);
      continue;
    }
    std::string native;
    const std::uint32_t attributes = Native(entry, native) ? platform::GetFileAttributes(native) : platform::kInvalidAttributes;
    if (attributes == platform::kInvalidAttributes || !SearchAttributePasses(attributes, searchAttr)) {
      NoSuchFile(entry);
      FilesList.Delete(i);
      continue;
    }
    if (!ResolveCommonRules(run, entry, attributes)) {
      FilesList.Delete(i);
      continue;
    }
    if (!(attributes & platform::kAttrDirectory)) {
      const std::int64_t size = platform::FileSize(native);
      if (size > 0) run.totalBytes += size;
    }
    ++i;
  }

  std::string zipFull;
  Native(run.zipName, zipFull);
  zipFull = platform::ExpandFileName(zipFull);
  for (std::u16string search : run.wildcardSearches) {
    bool recurse = Recurse;
    if (!search.empty() && search[0] == u'|') {
      recurse = false;
      search.erase(0, 1);
    } else if (!search.empty() && search[0] == u'>') {
      recurse = true;
      search.erase(0, 1);
    }
    std::u16string dir = ziptext::ExtractFilePath(search);
    if (dir.empty()) dir = rootDir_;
    // "*.*" means every name, with or without an extension.
    const std::u16string name = ziptext::ExtractFileName(search);
    std::u16string mask;
    for (std::size_t k = 0; k < name.size(); ++k) {
      if (name.compare(k, 3, u"*.*") == 0) {
        mask += u'*';
        k += 2;
      } else {
        mask += name[k];
      }
    }

    std::string nativeDir;
    const bool exists = ziptext::ContainsAny(dir, kWildcards) || dir.empty() ||
                        (Native(dir, nativeDir) && platform::DirectoryExists(nativeDir));
    if (!exists) {
      NoSuchFile(search);
      continue;
    }
    DirSearch(dir, mask, recurse, searchAttr, [&](const TDirSearchItem& item) {
      if (OnRecursingFile) OnRecursingFile(this, item.path);
      if (item.isDirectory) {
        if (AddDirEntriesOnRecurse) FilesList.Add(item.path);
        return;
      }
      if (Excluded(item.path)) {
        Skip(srExcludeList, item.path);
        return;
      }
      if (DoProcessMessages) PumpMessages();
      std::string nativePath;
      Native(item.path, nativePath);
      if (platform::SameTextCp936(platform::ExpandFileName(nativePath), zipFull)) return;  // never the archive itself
      if (!ResolveCommonRules(run, item.path, item.attributes)) return;
      FilesList.Add(item.path);
      run.totalBytes += item.size;
    });
  }
}

void TZipWriter::WriteData(Run& run, const unsigned char* data, std::size_t count) {
  if (count == 0) return;
  run.out->Write(data, count);
  if (DoProcessMessages) PumpMessages();
}

std::size_t TZipWriter::ReadSource(Run& run, platform::File& source, unsigned char* buffer, std::size_t count,
                                   std::int64_t expected) {
  const std::int64_t n = source.Read(buffer, static_cast<std::int64_t>(count));
  if (n <= 0) return 0;
  const auto got = static_cast<std::size_t>(n);
  run.crc = static_cast<std::uint32_t>(crc32(run.crc, buffer, static_cast<uInt>(got)));
  run.doneBytes += n;
  run.fileDone += n;
  if (OnFilePercentDone) OnFilePercentDone(this, Percent(run.fileDone, expected));
  if (OnTotalPercentDone) OnTotalPercentDone(this, Percent(run.doneBytes, run.totalBytes));
  return got;
}

void TZipWriter::StoreData(Run& run, platform::File& source, std::int64_t expected) {
  run.inBuffer.resize(kStoreBlock);
  for (;;) {
    const std::size_t n = ReadSource(run, source, run.inBuffer.data(), kStoreBlock, expected);
    if (n == 0) break;
    WriteData(run, run.inBuffer.data(), n);
  }
}

void TZipWriter::DeflateData(Run& run, platform::File& source, std::int64_t expected) {
  // A file of more than one chunk is deflated in chunks, whatever the thread count, so that
  // its bytes are the same for every count; smaller files keep the single stream.
  if (expected > static_cast<std::int64_t>(zipdeflate::kChunkSize)) {
    zipdeflate::ChunkedDeflateOptions options;
    options.level = PackLevel;
    options.threads = threadCount_;
    options.ioBlock = kDeflateBlock;
    options.expectedSize = static_cast<std::uint64_t>(expected);
    zipdeflate::DeflateChunked(
        options, [&](unsigned char* buffer, std::size_t count) { return ReadSource(run, source, buffer, count, expected); },
        [&](const unsigned char* data, std::size_t count) { WriteData(run, data, count); });
    return;
  }
  run.inBuffer.resize(kDeflateBlock);
  run.outBuffer.resize(kDeflateBlock);
  const std::size_t first = ReadSource(run, source, run.inBuffer.data(), kDeflateBlock, expected);

  z_stream zs{};
  if (deflateInit2(&zs, PackLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) < 0) throw EZCompressionError("error");
  struct Ender {
    z_stream* zs;
    ~Ender() { deflateEnd(zs); }
  } ender{&zs};

  zs.next_in = run.inBuffer.data();
  zs.avail_in = static_cast<uInt>(first);
  zs.next_out = run.outBuffer.data();
  zs.avail_out = static_cast<uInt>(kDeflateBlock);
  bool finish = first == 0;
  for (;;) {
    if (zs.avail_in == 0 && !finish) {
      const std::size_t n = ReadSource(run, source, run.inBuffer.data(), kDeflateBlock, expected);
      zs.next_in = run.inBuffer.data();
      zs.avail_in = static_cast<uInt>(n);
      finish = n == 0;
    }
    const int rc = deflate(&zs, finish ? Z_FINISH : Z_NO_FLUSH);
    if (rc < 0) throw EZCompressionError("error");
    if (rc != Z_STREAM_END && zs.avail_out > 0 && !finish) continue;
    WriteData(run, run.outBuffer.data(), kDeflateBlock - zs.avail_out);
    zs.next_out = run.outBuffer.data();
    zs.avail_out = static_cast<uInt>(kDeflateBlock);
    if (rc == Z_STREAM_END) break;
  }
}

bool TZipWriter::AddDirectoryEntry(Run& run, const std::u16string& path) {
  TZipHeaderInfo h;
  StoredNameFor(path, h.Directory, h.FileName);
  if (h.Directory.empty() && h.FileName.empty()) return false;  // nothing to name it by
  std::string native;
  const bool nameOk = Native(path, native);
  const std::uint32_t attributes = nameOk ? platform::GetFileAttributes(native) : platform::kInvalidAttributes;
  const bool exists = attributes != platform::kInvalidAttributes && (attributes & platform::kAttrDirectory);
  h.ModifDateTime = exists ? DosDateTimeOfPath(native) : DosDateTimeNow();
  h.ExternalFileAttributes = exists ? attributes : platform::kAttrDirectory;
  h.InternalFileAttributes = 0;
  h.CRC32 = 0;
  h.CompressionMethod = 0;
  h.OEMConvert = OEMConvert;
  h.RelativeOffsetOfLocalHeader = run.out->Position();
  const std::u16string key = ziptext::Lower(h.StoredPath());
  if (run.names.count(key)) {
    Skip(srNoOverwrite, path);
    return false;
  }
  bool skip = false;
  if (OnStartZip) OnStartZip(this, path, h, skip);
  if (skip) {
    Skip(srSkippedInStartZip, path);
    return false;
  }
  h.Flag |= LevelFlags();
  const TEncodedName name = EncodeEntryName(h.StoredPath(), h.OEMConvert);
  const std::string header = BuildLocalHeader(h, name, {});
  run.out->Write(header.data(), header.size());
  if (OnEndZip) OnEndZip(this, path, 0, 0, static_cast<std::int64_t>(run.out->Position()));
  run.names.insert(key);
  run.written.push_back(std::move(h));
  run.end.TotalEntries++;
  ++run.count;
  return true;
}

bool TZipWriter::AddOneFile(Run& run, const std::u16string& path) {
  if (ziptext::EndsWithBackslash(path)) return AddDirectoryEntry(run, path);
  std::string native;
  if (!Native(path, native) || !platform::FileExists(native)) {
    NoSuchFile(path);
    return false;
  }
  TZipHeaderInfo h;
  h.ExternalFileAttributes = platform::GetFileAttributes(native);

  std::unique_ptr<platform::File> source;
  for (;;) {
    source = platform::File::Open(native, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                  platform::FileDisposition::OpenExisting);
    if (source) break;
    bool retry = false;
    if (OnSkippingFile) OnSkippingFile(this, srFileOpenError, path, -1, retry);
    if (!retry) return false;
  }
  h.ModifDateTime = DosDateTimeOfPath(native);
  const std::int64_t size = std::max<std::int64_t>(source->Size(), 0);
  StoredNameFor(path, h.Directory, h.FileName);
  h.RelativeOffsetOfLocalHeader = run.out->Position();
  h.UncompressedSize = static_cast<std::uint64_t>(size);
  h.InternalFileAttributes = 0;
  h.DiskNumberStart = 0;
  h.OEMConvert = OEMConvert;

  const std::u16string key = ziptext::Lower(h.StoredPath());
  if (h.FileName.empty() || run.names.count(key)) {
    Skip(srNoOverwrite, path);
    return false;
  }
  bool skip = false;
  if (OnStartZip) OnStartZip(this, path, h, skip);
  if (skip) {
    source.reset();
    Skip(srSkippedInStartZip, path);
    return false;
  }

  const bool store = PackLevel == 0 || NoCompress(h.FileName);
  h.CompressionMethod = store ? 0 : 8;
  h.CRC32 = 0xFFFFFFFFu;
  h.CompressedSize = 0;
  h.UncompressedSize = static_cast<std::uint64_t>(size);
  // Reserve 64-bit sizes up front when the data could outgrow the 32-bit fields, so that the
  // header rewritten after the data has the same length.
  h.LocalSizes64 = DeflateBound(h.UncompressedSize) >= kZipMax32;
  const TEncodedName name = EncodeEntryName(h.StoredPath(), h.OEMConvert);
  const std::string first = BuildLocalHeader(h, name, {});
  const std::uint64_t headerPos = run.out->Position();
  run.out->Write(first.data(), first.size());
  const std::uint64_t dataStart = run.out->Position();

  run.crc = 0;
  run.fileDone = 0;
  if (store) {
    StoreData(run, *source, size);
  } else {
    DeflateData(run, *source, size);
  }
  if (run.fileDone < size) {
    HandleMessage(kMsgShortRead, "File was shorter than expected while it was read; the entry holds the bytes read.",
                  Cp936(path), 0);
  }
  h.UncompressedSize = static_cast<std::uint64_t>(run.fileDone);
  h.CompressedSize = run.out->Position() - dataStart;
  h.CRC32 = run.crc;
  h.Flag |= LevelFlags();

  const std::string final = BuildLocalHeader(h, name, {});
  if (final.size() != first.size()) {
    throw EZipException("File grew too large while it was added: " + Cp936(path));
  }
  const std::uint64_t endPos = run.out->Position();
  run.out->Seek(headerPos);
  run.out->Write(final.data(), final.size());
  run.out->Seek(endPos);

  source.reset();
  if (ResetArchiveBitOnZip) platform::SetFileAttributes(native, h.ExternalFileAttributes & ~platform::kAttrArchive);
  if (OnEndZip) {
    OnEndZip(this, path, static_cast<std::int64_t>(h.UncompressedSize), static_cast<std::int64_t>(h.CompressedSize),
             static_cast<std::int64_t>(run.out->Position()));
  }
  run.names.insert(key);
  run.written.push_back(std::move(h));
  run.end.TotalEntries++;
  ++run.count;
  if (Dispose) run.disposeList.push_back(path);
  return true;
}

void TZipWriter::CarryOver(Run& run, const TZipHeaderInfo& entry, int index) {
  if (OnUpdate) OnUpdate(this, uaKeeping, index);
  const TLocalEntryInfo local = ReadLocalEntry(*run.existing, entry);
  TZipHeaderInfo h = entry;
  h.Flag = static_cast<std::uint16_t>(h.Flag & ~kFlagDataDescriptor);
  h.LocalSizes64 = false;
  h.OEMConvert = OEMConvert;
  h.RelativeOffsetOfLocalHeader = run.out->Position();
  const std::u16string key = ziptext::Lower(h.StoredPath());
  if (run.names.count(key)) throw EListError(zipmsg::kDuplicateObject);

  const std::string localExtra = RemoveExtraBlocks(local.localExtra, {kExtraZip64});
  h.LocalExtraFieldLength = static_cast<std::uint16_t>(localExtra.size());
  const std::string header = BuildLocalHeader(h, EncodeEntryName(h.StoredPath(), h.OEMConvert), localExtra);
  run.out->Write(header.data(), header.size());

  std::vector<unsigned char> block(kCopyBlock);
  std::uint64_t done = 0;
  while (done < entry.CompressedSize) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kCopyBlock, entry.CompressedSize - done));
    if (!run.existing->ReadAt(local.dataStart + done, block.data(), n)) throw EBadZipFile(zipmsg::kNotValidZip);
    WriteData(run, block.data(), n);
    done += n;
    if (OnFilePercentDone) {
      OnFilePercentDone(this, Percent(static_cast<std::int64_t>(done), static_cast<std::int64_t>(entry.CompressedSize)));
    }
  }
  run.names.insert(key);
  run.written.push_back(std::move(h));
  run.end.TotalEntries++;
}

void TZipWriter::MergeExisting(Run& run) {
  const auto& entries = run.existingListing.entries;
  run.written.reserve(static_cast<std::size_t>(FilesList.Count()) + entries.size());
  for (std::size_t idx = 0; idx < entries.size(); ++idx) {
    const TZipHeaderInfo& entry = entries[idx];
    const int index = static_cast<int>(idx);
    int match = -1;
    for (int j = 0; j < FilesList.Count(); ++j) {
      std::u16string dir, name;
      StoredNameFor(FilesList[j], dir, name);
      if (!(dir.empty() && name.empty()) && ziptext::SameText(dir + name, entry.StoredPath())) {
        match = j;
        break;
      }
    }
    if (match < 0) {
      CarryOver(run, entry, index);
      continue;
    }
    const std::u16string path = FilesList[match];
    std::string native;
    const bool nameOk = Native(path, native);
    const std::uint32_t fileTime = nameOk ? DosDateTimeOfPath(native) : 0;
    const bool replace = ZipAction == zaReplace || fileTime > entry.ModifDateTime;
    FilesList.Delete(match);
    if (replace) {
      if (OnUpdate) OnUpdate(this, uaReplacing, index);
      // A file that cannot be added after all leaves the old entry in place.
      if (!AddOneFile(run, path)) CarryOver(run, entry, index);
    } else {
      CarryOver(run, entry, index);
      if (nameOk && !ziptext::EndsWithBackslash(path)) {
        const std::int64_t size = platform::FileSize(native);
        if (size > 0) run.totalBytes -= size;
      }
      if (Dispose) run.disposeList.push_back(path);
    }
  }
}

void TZipWriter::WriteCentralDirectory(Run& run) {
  run.end.CentralOffset = run.out->Position();
  run.end.CentralDiskNo = 0;
  run.end.CentralEntriesThisDisk = 0;
  for (auto& h : run.written) {
    const TEncodedName name = EncodeEntryName(h.StoredPath(), h.OEMConvert);
    h.FileNameLength = static_cast<std::uint16_t>(name.bytes.size());
    if (name.utf8) h.Flag |= kFlagUtf8; else h.Flag = static_cast<std::uint16_t>(h.Flag & ~kFlagUtf8);
    if (name.utf8) h.VersionMadeBy = static_cast<std::uint16_t>((h.VersionMadeBy & 0xFF) | 0x0B00);
    const std::string record = BuildCentralHeader(h, name);
    run.out->Write(record.data(), record.size());
    run.end.CentralEntriesThisDisk++;
  }
  run.end.CentralSize = run.out->Position() - run.end.CentralOffset;
  run.end.ThisDiskNo = 0;
  const std::string records = BuildEndRecords(run.end, run.out->Position());
  run.out->Write(records.data(), records.size());
}

void TZipWriter::PutTemporaryInPlace(Run& run) {
  const std::u16string tempWide = platform::Cp936ToUtf16(run.outPath);
  const std::string& zip = run.zipNative;
  const std::string& temp = run.outPath;
  const std::u16string tempDrive = DriveOf(tempWide), zipDrive = DriveOf(run.zipName);
  if (!tempDrive.empty() && !zipDrive.empty() && ziptext::SameText(tempDrive, zipDrive)) {
    platform::RenameFile(temp, zip + "$$$");
    platform::RenameFile(zip, zip + "$$");
    platform::RenameFile(zip + "$$$", zip);
    platform::DeleteFile(zip + "$$");
    if (platform::FileExists(zip) && !platform::FileExists(zip + "$$$")) {
      platform::DeleteFile(temp);
      return;
    }
    // The renames did not land the new archive: it goes back to its temporary name and is copied.
    if (platform::FileExists(zip + "$$$")) platform::RenameFile(zip + "$$$", temp);
  }
  std::int64_t copied = 0;
  const std::int64_t expected = platform::FileSize(temp);
  {
    auto from = platform::File::Open(temp, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                     platform::FileDisposition::OpenExisting);
    auto to = platform::File::Open(zip, platform::FileAccess::ReadWrite, platform::FileShare::Exclusive,
                                   platform::FileDisposition::CreateAlways);
    if (from && to) {
      std::vector<unsigned char> block(65536);
      for (;;) {
        const std::int64_t n = from->Read(block.data(), static_cast<std::int64_t>(block.size()));
        if (n <= 0) break;
        const std::int64_t w = to->Write(block.data(), n);
        if (w > 0) copied += w;
        if (w != n) break;
      }
      if (FlushFilesOnClose) to->Flush();
    }
  }
  if (copied == 0 || copied != expected) {
    // The temporary archive is the only complete copy now: it stays where the message says.
    run.keepOutputOnFailure = true;
    throw Exception("Error: Could not copy from " + temp + " -> " + Cp936(run.zipName));
  }
  platform::DeleteFile(temp);
}

int TZipWriter::Zip() {
  const bool wasBusy = busy_;
  busy_ = true;
  cancel_ = false;
  const std::u16string zipName = ziptext::Trim(zipName_);
  if (zipName.empty()) {
    busy_ = wasBusy;
    return 0;
  }
  const TZipSortMode savedSort = SortMode;
  const bool savedKeepOpen = KeepZipOpen;
  KeepZipOpen = true;
  Run run;
  run.zipName = zipName;
  auto cleanup = [&](bool failed) {
    SortMode = savedSort;
    KeepZipOpen = savedKeepOpen;
    run.existing.reset();
    if (run.out) {
      try {
        run.out->Close(FlushFilesOnClose && !failed);
      } catch (...) {
      }
      run.out.reset();
    }
    if (failed && !run.outPath.empty() && !run.keepOutputOnFailure) platform::DeleteFile(run.outPath);
    busy_ = wasBusy;
    FilesList.Clear();
  };

  try {
    if (!Native(zipName, run.zipNative)) {
      throw Exception("Archive name has characters this system cannot use: " + Cp936(zipName));
    }
    const bool archiveExists = platform::FileExists(run.zipNative);
    // Freshening decides against the existing archive's entries while the list is resolved.
    auto openExisting = [&]() {
      std::string error;
      auto file = platform::File::Open(run.zipNative, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                       platform::FileDisposition::OpenExisting, &error);
      if (!file) throw Exception(error.empty() ? platform::LastErrorText() : error);
      run.existing = std::make_unique<TZipInStream>(std::move(file));
      TZipReadOptions options;
      options.mode = IncompleteZipMode;
      // A self-extracting archive starts with its program: the scan skips that much of it.
      const bool exe = zipName.size() >= 4 && ziptext::SameText(zipName.substr(zipName.size() - 4), u".exe");
      options.scanStart = exe ? 14000 : 0;
      if (OnInCompleteZip) options.onIncomplete = [&](TIncompleteZipMode& m) { OnInCompleteZip(this, m); };
      if (DoProcessMessages) options.beforeEntry = [&]() { PumpMessages(); };
      ReadZipDirectory(*run.existing, options, run.existingListing);
    };
    if (archiveExists && ZipAction == zaFreshen) openExisting();

    if (FilesList.Count() > 0) ResolveFileList(run);
    if (FilesList.Count() > 0 && OnStartZipInfo) {
      bool stop = false;
      OnStartZipInfo(this, FilesList.Count(), run.totalBytes, endCentral_, stop);
      if (stop) throw EUserCanceled(zipmsg::kUserCanceledZip);
    }

    // Choose the output: the archive itself, or a temporary archive when one exists.
    std::unique_ptr<platform::File> outFile;
    std::string error;
    if (!archiveExists) {
      outFile = platform::File::Open(run.zipNative, platform::FileAccess::ReadWrite, platform::FileShare::Exclusive,
                                     platform::FileDisposition::CreateAlways, &error);
      if (!outFile) throw Exception(error.empty() ? platform::LastErrorText() : error);
      run.outPath = run.zipNative;
    } else {
      std::string tempDir;
      if (!(TempPath.empty() || !Native(TempPath, tempDir) || !platform::DirectoryExists(tempDir))) {
        tempDir = platform::IncludeTrailingPathDelimiter(tempDir);
      } else {
        tempDir = platform::IncludeTrailingPathDelimiter(platform::GetTempDirectory());
      }
      outFile = CreateTemporaryArchive(tempDir, run.outPath, error);
      if (!outFile) throw Exception(error.empty() ? platform::LastErrorText() : error);
      run.temporary = true;
    }
    run.out = std::make_unique<TZipOutStream>(std::move(outFile));

    if (run.temporary || endCentralChanged_) {
      run.end.ZipComment = endCentral_.ZipComment;
    }
    run.written.reserve(static_cast<std::size_t>(FilesList.Count()));

    if (run.temporary) {
      if (!run.existing) openExisting();
      // A comment of the archive being updated is written again, unless one was set here.
      if (!endCentralChanged_ && run.end.ZipComment.empty()) run.end.ZipComment = run.existingListing.end.ZipComment;
      MergeExisting(run);
    }
    for (int i = 0; i < FilesList.Count(); ++i) AddOneFile(run, FilesList[i]);
    WriteCentralDirectory(run);
    run.out->Close(FlushFilesOnClose);
    run.out.reset();

    if (run.temporary) {
      run.existing.reset();
      platform::DeleteFile(run.zipNative);
      PutTemporaryInPlace(run);
    }
    contents_ = std::move(run.written);
    endCentral_ = run.end;
    endCentralChanged_ = false;
    for (const auto& source : run.disposeList) {
      bool skipDelete = false;
      if (OnDisposeFile) OnDisposeFile(this, source, skipDelete);
      std::string native;
      if (!skipDelete && Native(source, native)) platform::DeleteFile(native);
    }
    if (OnTotalPercentDone) OnTotalPercentDone(this, 100);
  } catch (...) {
    cleanup(true);
    throw;
  }
  cleanup(false);
  if (OnZipComplete) OnZipComplete(this, run.count);
  return run.count;
}
