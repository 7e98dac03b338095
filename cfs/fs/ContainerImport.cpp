// Importing disk files and folders into the container.
#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>

#include "cfs/fs/BulkSupport.h"
#include "cfs/fs/CFSFileStream.h"
#include "cfs/fs/ContainerFS.h"
#include "cfs/fs/DiskFileStream.h"
#include "cfs/fs/ImportAhead.h"
#include "cfs/codecs/compress/CFSCompress.h"
#include "cfs/fs/Quote.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/Time.h"

namespace {

// Holds the directory's item writes while one file is stored, so that its page is written once
// rather than at every change of the file's item. Ending early (an exception) still writes
// them, as far as the storage lets it; the exception that ended the store is the one raised.
class TItemWriteHold {
 public:
  explicit TItemWriteHold(TDIRManager& directory) : directory_(directory) { directory_.HoldItemWrites(); }
  ~TItemWriteHold() {
    if (!held_) return;
    try {
      directory_.ReleaseItemWrites();
    } catch (...) {
    }
  }
  TItemWriteHold(const TItemWriteHold&) = delete;
  TItemWriteHold& operator=(const TItemWriteHold&) = delete;
  void Release() {
    held_ = false;
    directory_.ReleaseItemWrites();
  }

 private:
  TDIRManager& directory_;
  bool held_ = true;
};

}  // namespace

void TContainerFS::ScanDisk(const std::string& src, const std::string& dir, const std::string& mask,
                            std::uint32_t attributes, bool recursive, std::vector<ScanEntry>& entries,
                            std::int32_t& files) {
  if (bulk::FolderDepth(dir) > bulk::kMaxFolderDepth)
    throw Exception("TContainerFS.ImportFiles - folders nested too deep: " + DoubleQuoted(src + dir));
  std::vector<platform::DirEntry> listing;
  // A folder that cannot be listed is left out; the caller is told, as for a failed entry.
  if (!platform::ListDirectory(src + dir + mask, attributes, listing))
    RecordImportFailure(src + dir, dir, "TContainerFS.ImportFiles - can not list folder " + DoubleQuoted(src + dir));
  for (const platform::DirEntry& e : listing) {
    if (e.name == "." || e.name == "..") continue;
    const bool isDir = (e.attributes & platform::kAttrDirectory) != 0;
    if (!isDir && bulk::AttributesSelected(e.attributes, attributes) && TDIRArray::MatchMask(e.name, mask)) {
      entries.push_back({dir, e.name, e.nameExact});
      ++files;
    } else if (isDir && recursive) {
      const std::string sub = dir + e.name + "\\";
      entries.push_back({sub, "", e.nameExact});
      // A folder whose name has no code page 936 form cannot be entered through it.
      if (e.nameExact) ScanDisk(src, sub, mask, attributes, recursive, entries, files);
    }
  }
}

void TContainerFS::ImportEntry(const std::string& src, const ScanEntry& entry, TExistingFiles existingFiles,
                               bool askPassword, TImportAhead* ahead, std::size_t fileIndex, bool& created) {
  if (!entry.Dir.empty()) {
    const std::string folder = platform::ExcludeTrailingPathDelimiter(entry.Dir);
    // Entries come parent first, so one level is missing at most. Creating just that level
    // also keeps a parent whose last character has the trail byte "\" intact.
    if (!DirectoryExists(folder) && !CreateDir(folder))
      throw Exception("TContainerFS.ImportFiles - can not create folder " + DoubleQuoted(folder));
  }
  if (entry.Name.empty()) return;
  const std::string n = entry.Dir + entry.Name;
  const std::string diskPath = src + n;
  if (FileExists(n)) {
    if (existingFiles == TExistingFiles::Skip) return;
    if (existingFiles == TExistingFiles::Ask) {
      bool overwrite = false;
      QueryOverwrite(n, diskPath, overwrite);
      if (!overwrite) return;
    }
  }
  currentFileName_ = n;
  std::string filePassword;
  bool cancelled = true;
  if (askPassword) QueryPassword(diskPath, filePassword, cancelled);
  if (cancelled) filePassword.clear();
  // A file that cannot be opened (held by another program, say) gets no item at all.
  std::unique_ptr<TDiskFileStream> source;
  if (ahead) {
    if (const std::exception_ptr failure = ahead->OpenFailure(fileIndex)) std::rethrow_exception(failure);
  } else {
    source = std::make_unique<TDiskFileStream>(diskPath, TDiskFileStream::OpenKind::Read);
  }
  created = true;
  TItemWriteHold hold(*directory_);
  // The disk file's attributes and time once read, from its reader; by name when it cannot tell.
  TDiskFileStamp read;
  {
    TCFSFileStream stream(this, n, kModeCreate, filePassword, "", "", 0, FileProgressRelay());
    if (ahead) {
      read = stream.LoadFromFile(diskPath, *ahead, fileIndex);
    } else {
      stream.LoadFromFile(*source);
      read = source->CurrentStamp();
    }
    source.reset();
    if (!read.attributes) {
      const std::uint32_t attr = platform::GetFileAttributes(diskPath);
      if (attr != platform::kInvalidAttributes) read.attributes = attr;
    }
    if (!read.lastWriteTime) {
      std::int64_t utc = 0;
      if (platform::GetFileTime(diskPath, utc)) read.lastWriteTime = utc;
    }
    if (read.attributes) FileSetAttr(n, *read.attributes);
  }
  // The file's own password opens it again without asking.
  const std::int32_t handle = FileOpen(n, 2, filePassword, "", "");
  if (handle < 0) throw Exception("TContainerFS.ImportFiles - unable to open file " + DoubleQuoted(n) + " to set its date");
  std::uint16_t date = 0;
  std::uint16_t time = 0;
  if (read.lastWriteTime &&
      platform::FileTimeToDosDateTime(platform::FileTimeUtcToLocal(*read.lastWriteTime), date, time))
    FileSetDate(handle, static_cast<std::int32_t>(std::uint32_t{date} << 16 | time));
  FileClose(handle);
  hold.Release();
}

std::vector<std::string> TContainerFS::FilesAhead(const std::string& src, const std::vector<ScanEntry>& entries) {
  std::vector<std::string> files;
  for (const ScanEntry& e : entries)
    if (!e.Name.empty() && e.NameExact) files.push_back(src + e.Dir + e.Name);
  return files;
}

bool TContainerFS::CompressesAhead() const {
  // Stored copies (method 0) cost no codec work; bytes that no codec takes fail in either path.
  const TCFSCodec codec = MethodInfo(CompressionMethod()).Codec;
  return threadCount_ >= 2 && codec != TCFSCodec::Copy && codec != TCFSCodec::None;
}

TImportAhead* TContainerFS::AheadFor(const std::string& src, const std::vector<ScanEntry>& entries,
                                     std::unique_ptr<TImportAhead>& own, std::size_t& base) {
  base = 0;
  if (!CompressesAhead()) return nullptr;
  std::vector<std::string> files = FilesAhead(src, entries);
  if (plannedAhead_) {
    const std::vector<std::string>& plannedFiles = plannedAhead_->Files();
    const auto next = plannedFiles.begin() + static_cast<std::ptrdiff_t>(plannedNext_);
    const bool planned = plannedAhead_->Method() == CompressionMethod() &&
                         files.size() <= plannedFiles.size() - plannedNext_ &&
                         std::equal(files.begin(), files.end(), next);
    if (planned) {
      base = plannedNext_;
      plannedNext_ += files.size();
      return plannedAhead_.get();
    }
    EndPlannedImports();
  }
  if (files.empty()) return nullptr;
  const std::uint8_t method = CompressionMethod();
  own = std::make_unique<TImportAhead>(std::move(files), method, BlockSizeForMethod(method), threadCount_);
  return own.get();
}

TContainerFS::ScanSpec TContainerFS::ScanSpecOf(const std::string& path, std::uint32_t attributes, bool recursive) {
  std::string mask = platform::ExtractFileName(path);
  if (mask.empty()) mask = "*.*";
  return {platform::ExtractFilePath(path), mask, attributes, recursive};
}

void TContainerFS::ScanForImport(const ScanSpec& spec, std::vector<ScanEntry>& entries, std::int32_t& files) {
  if (!plannedScans_.empty() && plannedScans_.front().spec == spec) {
    PlannedScan& planned = plannedScans_.front();
    entries = std::move(planned.entries);
    files = planned.files;
    for (const TCFSImportError& e : planned.failures) {
      lastImportError_ = e;
      importFailures_.push_back(e);
    }
    plannedScans_.pop_front();
    return;
  }
  if (!plannedScans_.empty()) EndPlannedImports();
  ScanDisk(spec.src, "", spec.mask, spec.attributes, spec.recursive, entries, files);
}

void TContainerFS::PlanImports(const std::vector<TPlannedImport>& calls) {
  EndPlannedImports();
  if (!CompressesAhead()) return;
  // Scanning records the folders it cannot list; each call records them again when it takes
  // its scan.
  const std::vector<TCFSImportError> failures = importFailures_;
  const TCFSImportError lastError = lastImportError_;
  std::vector<std::string> files;
  for (const TPlannedImport& call : calls) {
    // ImportDirectory imports the folder's "*.*" with every attribute.
    PlannedScan scan;
    scan.spec = call.directory
                    ? ScanSpecOf(platform::IncludeTrailingPathDelimiter(call.path) + "*.*", platform::kAttrAnyFile,
                                 call.recursive)
                    : ScanSpecOf(call.path, call.attributes, call.recursive);
    importFailures_.clear();
    try {
      ScanDisk(scan.spec.src, "", scan.spec.mask, scan.spec.attributes, scan.spec.recursive, scan.entries, scan.files);
    } catch (const std::exception&) {
      break;  // the call itself scans and reports it; the plan covers the calls before it
    }
    scan.failures = std::move(importFailures_);
    for (std::string& f : FilesAhead(scan.spec.src, scan.entries)) files.push_back(std::move(f));
    plannedScans_.push_back(std::move(scan));
  }
  importFailures_ = failures;
  lastImportError_ = lastError;
  const std::uint8_t method = CompressionMethod();
  if (!files.empty())
    plannedAhead_ = std::make_unique<TImportAhead>(std::move(files), method, BlockSizeForMethod(method), threadCount_);
}

void TContainerFS::EndPlannedImports() {
  plannedAhead_.reset();  // joins the workers
  plannedNext_ = 0;
  plannedScans_.clear();
}

void TContainerFS::RecordImportFailure(const std::string& diskPath, const std::string& containerPath,
                                       const std::string& message, bool nameNotCp936) {
  lastImportError_ = {true, diskPath, containerPath, message, nameNotCp936};
  importFailures_.push_back(lastImportError_);
}

std::int32_t TContainerFS::ImportFiles(const std::string& path, const std::string& destDir, std::uint32_t attributes,
                                       bool recursive, TExistingFiles existingFiles, bool askPassword) {
  lastImportError_ = {};
  importFailures_.clear();
  std::int32_t result = 0;
  const std::string saved = GetCurrentDir();
  if (!destDir.empty()) {
    ForceDirectories(destDir);
    if (!SetCurrentDir(destDir)) {
      SetCurrentDir(saved);
      RecordImportFailure(path, destDir, "TContainerFS.ImportFiles - can not enter folder " + DoubleQuoted(destDir));
      return 0;
    }
  }
  bulk::ScopeExit restore([&] {
    if (!destDir.empty()) SetCurrentDir(saved);
  });
  cancel_ = false;
  DoProgress(0);
  const ScanSpec spec = ScanSpecOf(path, attributes, recursive);
  const std::string& src = spec.src;
  if (!src.empty() && !platform::DirectoryExists(src)) return 0;

  std::vector<ScanEntry> entries;
  ScanForImport(spec, entries, result);
  std::unique_ptr<TImportAhead> ownAhead;
  std::size_t aheadBase = 0;
  TImportAhead* ahead = AheadFor(src, entries, ownAhead, aheadBase);
  const auto total = static_cast<std::int32_t>(entries.size());
  std::size_t fileIndex = 0;
  for (std::int32_t i = 0; i < total; ++i) {
    result = i + 1;
    const ScanEntry& entry = entries[static_cast<std::size_t>(i)];
    const std::string relative = entry.Dir + entry.Name;
    if (!entry.NameExact) {
      // Stored under a "?" name it would restore as another file: it is left out and named.
      RecordImportFailure(src + relative, relative,
                          "TContainerFS.ImportFiles - the name can not be written in code page 936: " +
                              DoubleQuoted(src + relative),
                          true);
      DoProgress(std::nearbyint(double(i + 1) / double(total) * 100));
      if (cancel_) break;
      continue;
    }
    const std::size_t thisFile = fileIndex;
    if (!entry.Name.empty()) ++fileIndex;
    bool created = false;
    try {
      ImportEntry(src, entry, existingFiles, askPassword, ahead, aheadBase + thisFile, created);
    } catch (const std::exception& e) {
      // Only this entry is left out: what was stored of it goes again, and the import goes on.
      std::string message = e.what();
      if (created && FileExists(relative) && !DeleteFile(relative))
        message += " (the part stored could not be removed again)";
      RecordImportFailure(src + relative, relative, message);
    }
    DoProgress(std::nearbyint(double(i + 1) / double(total) * 100));
    if (cancel_) break;
  }
  DoProgress(100);
  return result;
}

std::int32_t TContainerFS::ImportDirectory(const std::string& path, const std::string& destDir, bool recursive,
                                           TExistingFiles existingFiles, bool askPassword) {
  lastImportError_ = {};
  importFailures_.clear();
  std::int32_t result = 0;
  if (!platform::DirectoryExists(path)) return 0;
  const std::string saved = GetCurrentDir();
  bool entered = true;
  if (!destDir.empty()) {
    ForceDirectories(destDir);
    entered = SetCurrentDir(destDir);
  }
  if (entered) {
    const std::string name = platform::ExtractFileName(platform::ExcludeTrailingPathDelimiter(path));
    if ((DirectoryExists(name) || CreateDir(name)) && SetCurrentDir(name)) {
      try {
        result = ImportFiles(platform::IncludeTrailingPathDelimiter(path) + "*.*", "", platform::kAttrAnyFile,
                             recursive, existingFiles, askPassword);
      } catch (...) {
        SetCurrentDir(saved);
        throw;
      }
    } else {
      RecordImportFailure(path, name, "TContainerFS.ImportDirectory - can not create folder " + DoubleQuoted(name));
    }
  } else {
    RecordImportFailure(path, destDir, "TContainerFS.ImportDirectory - can not enter folder " + DoubleQuoted(destDir));
  }
  SetCurrentDir(saved);
  return result;
}
