// Exporting stored files to disk.
#include <cmath>
#include <exception>
#include <set>

#include "cfs/fs/BulkSupport.h"
#include "cfs/fs/CFSFileStream.h"
#include "cfs/fs/ConsistencyCheck.h"
#include "cfs/fs/ContainerFS.h"
#include "cfs/fs/ExportAhead.h"
#include "cfs/fs/ExportTarget.h"
#include "cfs/fs/Quote.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/Time.h"

void TContainerFS::ScanContainer(const std::string& src, const std::string& dir, const std::string& mask,
                                 std::uint32_t attributes, bool recursive, std::vector<ScanEntry>& entries,
                                 std::int32_t& files) {
  if (bulk::FolderDepth(dir) > bulk::kMaxFolderDepth)
    throw Exception("TContainerFS.ExportFiles - folders nested too deep: " + DoubleQuoted(src + dir));
  TSearchRec rec;
  std::vector<std::pair<std::string, std::uint32_t>> found;
  for (std::int32_t r = FindFirst(src + dir + mask, attributes, rec); r == 0; r = FindNext(rec))
    found.emplace_back(rec.Name, rec.Attr);
  FindClose(rec);
  for (const auto& [name, attr] : found) {
    // A crafted container must not lead the export out of the target folder.
    if (!bulk::IsSafeExportName(name))
      throw Exception("TContainerFS.ExportFiles - invalid item name " + DoubleQuoted(name) + " in folder " + DoubleQuoted(src + dir));
    const bool isDir = (attr & TCFSDirItem::kFolderAttribute) != 0;
    if (!isDir && bulk::AttributesSelected(attr, attributes) && TDIRArray::MatchMask(name, mask)) {
      entries.push_back({dir, name});
      ++files;
    } else if (isDir && recursive) {
      const std::string sub = dir + name + "\\";
      entries.push_back({sub, ""});
      ScanContainer(src, sub, mask, attributes, recursive, entries, files);
    }
  }
}

void TContainerFS::ExportEntry(const std::string& src, const ScanEntry& entry, TExistingFiles existingFiles,
                               TExportAhead* ahead, std::size_t fileIndex, const std::string& base,
                               TExportTempNames& tempNames) {
  // A folder's entry comes before the entries of its files.
  if (entry.Name.empty()) {
    const std::string folder = base + platform::ExcludeTrailingPathDelimiter(entry.Dir);
    if (!platform::DirectoryExists(folder)) platform::ForceDirectories(folder);
    return;
  }
  const std::string n = entry.Dir + entry.Name;
  const std::uint32_t existing = platform::GetFileAttributes(base + n);
  if (existing != platform::kInvalidAttributes && !(existing & platform::kAttrDirectory)) {
    if (existingFiles == TExistingFiles::Skip) return;
    if (existingFiles == TExistingFiles::Ask) {
      bool overwrite = false;
      QueryOverwrite(n, src + n, overwrite);
      if (!overwrite) return;
    }
  }
  currentFileName_ = n;
  std::unique_ptr<TCFSFileStream> own;
  if (!ahead) own = std::make_unique<TCFSFileStream>(this, src + n, 0, password_, "", "", 0, FileProgressRelay());
  TCFSFileStream& stream = ahead ? ahead->Open(fileIndex, FileProgressRelay()) : *own;
  const std::int32_t age = FileAge(src + n);
  std::int64_t local = 0;
  TDiskFileStamp stamp;
  if (age != kCFSFailed && platform::DosDateTimeToFileTime(
                               static_cast<std::uint16_t>(static_cast<std::uint32_t>(age) >> 16),
                               static_cast<std::uint16_t>(age), local))
    stamp.lastWriteTime = platform::FileTimeLocalToUtc(local);
  stamp.attributes = static_cast<std::uint32_t>(FileGetAttr(src + n));
  // The old file stays in place until the new one is whole; the new one takes its time and
  // attributes from its writer and keeps them when it is renamed into place.
  TExportTarget target(base + entry.Dir, entry.Dir, entry.Name, tempNames);
  const std::int64_t written = ahead ? stream.SaveToFile(target.TempPath(), *ahead, fileIndex, stamp)
                                     : stream.SaveToFile(target.TempPath(), stamp);
  target.Commit(stream.GetSize(), written, existing);
}

std::int32_t TContainerFS::ExportFiles(const std::string& mask, const std::string& targetDir, std::uint32_t attributes,
                                       bool recursive, TExistingFiles existingFiles) {
  // A directory whose items cannot all be reached, or whose items share or lose pages, would
  // export some files wrong or silently leave them out: nothing is written from it.
  RequireConsistentContainer(*this, "TContainerFS.ExportFiles");
  std::int32_t result = 0;
  exportFailures_.clear();
  const std::string saved = platform::GetCurrentDirectory();
  if (!targetDir.empty()) {
    if ((!platform::DirectoryExists(targetDir) && !platform::ForceDirectories(targetDir)) ||
        !platform::SetCurrentDirectory(targetDir)) {
      platform::SetCurrentDirectory(saved);
      return 0;
    }
  }
  bulk::ScopeExit restore([&] {
    if (!targetDir.empty()) platform::SetCurrentDirectory(saved);
  });
  cancel_ = false;
  DoProgress(0);
  std::string m = platform::ExtractFileName(mask);
  if (m.empty()) m = "*.*";
  const std::string src = platform::ExtractFilePath(mask);
  if (!src.empty()) {
    const std::string folder = platform::ExcludeTrailingPathDelimiter(src);
    if (!folder.empty() && !DirectoryExists(folder)) return 0;
  }
  std::vector<ScanEntry> entries;
  ScanContainer(src, "", m, attributes, recursive, entries, result);
  std::set<std::string> reserved;
  for (const ScanEntry& e : entries)
    reserved.insert(platform::UpperCaseAscii(e.Name.empty() ? platform::ExcludeTrailingPathDelimiter(e.Dir)
                                                            : e.Dir + e.Name));
  TExportTempNames tempNames(std::move(reserved));
  const std::string base = platform::GetCurrentDirectory();
  std::unique_ptr<TExportAhead> ahead;
  if (threadCount_ > 1) {
    std::vector<std::string> files;
    for (const ScanEntry& e : entries)
      if (!e.Name.empty()) files.push_back(src + e.Dir + e.Name);
    if (!files.empty()) ahead = std::make_unique<TExportAhead>(*this, std::move(files), password_, threadCount_);
  }
  const auto total = static_cast<std::int32_t>(entries.size());
  std::size_t fileIndex = 0;
  for (std::int32_t i = 0; i < total; ++i) {
    const ScanEntry& entry = entries[static_cast<std::size_t>(i)];
    try {
      ExportEntry(src, entry, existingFiles, ahead.get(), fileIndex, base, tempNames);
    } catch (const std::exception& e) {
      // This file stays as it was on disk; the others are still worth writing.
      exportFailures_.push_back({entry.Dir + entry.Name, e.what()});
    }
    if (!entry.Name.empty()) ++fileIndex;
    DoProgress(std::nearbyint(double(i + 1) / double(total) * 100));
    if (cancel_) break;
  }
  DoProgress(100);
  return result;
}
