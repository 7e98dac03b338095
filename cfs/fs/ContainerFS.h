#pragma once
// The container facade: creates or opens a container file, owns the managers beneath it (page
// file, free space, directory, page maps) and offers handle-level access to stored files.
#include <cstdint>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cfs/CFSErrors.h"
#include "cfs/codecs/compress/CodecScratch.h"
#include "cfs/dir/DIRManager.h"
#include "cfs/engine/PageFileManager.h"
#include "cfs/fs/BulkOptions.h"
#include "cfs/fs/CFSEvents.h"
#include "cfs/fs/ECFSWrongPassword.h"
#include "cfs/index/CFSSearchRec.h"
#include "cfs/index/SortedPtrArray.h"
#include "cfs/maps/UserFilePageMapManager.h"
#include "cfs/space/FreeSpaceManager.h"

// Why the last import call stopped early: the entry that failed and the error it raised.
// Cleared at the start of every ImportFiles/ImportDirectory call. A disk folder that cannot be
// listed is recorded too (the import goes on without it). A file skipped because it already
// exists is not a failure.
struct TCFSImportError {
  bool Failed = false;
  std::string DiskPath;       // the disk file being imported
  std::string ContainerPath;  // its path in the container (relative to the import folder)
  std::string Message;        // the exception's text
  // The disk name has characters that code page 936 cannot hold (DiskPath shows "?" for them):
  // it cannot be stored under its own name, and never under another.
  bool NameNotCp936 = false;
};

// A stored file the last export could not write: its disk name (relative to the export folder)
// and the error's text. The disk file of that name is left as it was.
struct TCFSExportFailure {
  std::string FileName;
  std::string Message;
};

// One open stored file.
struct TCFSHandleRec {
  std::int32_t Item = -1;      // directory item of the file
  std::int64_t Position = 0;   // may be negative or past the end after a seek
  std::uint32_t Mode = 0;      // open mode as passed to FileOpen
  std::string Key;             // the file's own page key; empty without a file password
};

class TExportAhead;
class TExportTempNames;
class TImportAhead;

class TContainerFS {
 public:
  // Mode kModeCreate (0xFFFF) creates a new container, encrypted when password is non-empty,
  // with compressionMethod as its default; any other mode opens an existing one, reading its
  // header once, and refuses a password that does not open it with ECFSWrongPassword
  // ("TContainerFS.Create - invalid password specified, file name = ...") before any other
  // page is read; other failures raise the general Exception (or a codec's own).
  // partSize is the largest part file a new container may use before it continues in the next
  // part (-1: what the volume allows); an existing container keeps the one it was made with.
  TContainerFS(const std::string& fileName, std::uint16_t mode, const std::string& password,
               const std::string& question, const std::string& answer, std::uint8_t compressionMethod,
               std::int64_t partSize = -1);
  // The same over part files made by storage (the one above uses the disk).
  TContainerFS(const TCFSStorageFactory& storage, const std::string& fileName, std::uint16_t mode,
               const std::string& password, const std::string& question, const std::string& answer,
               std::uint8_t compressionMethod, std::int64_t partSize = -1);
  ~TContainerFS();
  TContainerFS(const TContainerFS&) = delete;
  TContainerFS& operator=(const TContainerFS&) = delete;

  bool IsEncrypted() const;
  std::uint8_t CompressionMethod() const;
  // Saves the header at once.
  void SetCompressionMethod(std::uint8_t method);

  // Handle-level access to stored files. Names are container paths, relative to the current
  // folder unless they start with "\" or "/". In a read-only container every change fails
  // with LastError kCFSErrReadOnly and nothing is touched.
  //
  // Item number of a new empty file, deleting an existing one first; -16 when that one is open.
  std::int32_t FileCreate(const std::string& fileName, const std::string& password, const std::string& question,
                          const std::string& answer);
  // Handle (>= 0) or a negative code. Mode kModeCreate creates the file first. A wrong file
  // password is asked for again through QueryPassword until it is right or cancelled (-1).
  std::int32_t FileOpen(const std::string& fileName, std::uint16_t mode, std::string password,
                        const std::string& question, const std::string& answer);
  void FileClose(std::int32_t handle);
  std::int32_t FileRead(std::int32_t handle, void* buffer, std::int32_t count);
  std::int32_t FileWrite(std::int32_t handle, const void* buffer, std::int32_t count);
  // Origin 0 start, 1 current, 2 end; the position is not clamped. 0 for an unknown handle.
  std::int64_t FileSeek(std::int32_t handle, int origin, std::int64_t offset);
  // newSize, or a negative code.
  std::int64_t FileSetSize(std::int32_t handle, std::int64_t newSize);
  // false when absent, a folder, or open.
  bool DeleteFile(const std::string& fileName);
  bool FileExists(const std::string& fileName) const;

  // The item's attributes, or 0 when the name is not found.
  std::uint32_t FileGetAttr(const std::string& fileName);
  // 0, or -1 when not found.
  std::int32_t FileSetAttr(const std::string& fileName, std::uint32_t attr);
  // Last-write time as a local DOS date (high word) and time (low word), or -1.
  std::int32_t FileAge(const std::string& fileName);
  // 0, or -1 when the handle is not open or the value is not a valid DOS date and time.
  std::int32_t FileSetDate(std::int32_t handle, std::int32_t dosDateTime);

  // Folder operations on the container (paths relative to the current folder unless they
  // start with "\"). FindFirst/FindNext give 0 while entries remain.
  std::int32_t FindFirst(const std::string& path, std::uint32_t attr, TSearchRec& searchRec);
  std::int32_t FindNext(TSearchRec& searchRec);
  void FindClose(TSearchRec& searchRec);
  std::string GetCurrentDir() const;
  bool SetCurrentDir(const std::string& dir);
  // On failure LastError is the directory's code; -17 also fires OnDiskFull.
  bool CreateDir(const std::string& dir);
  bool ForceDirectories(const std::string& dir);
  bool DirectoryExists(const std::string& dir);

  // Imports the disk files matching path (folder part + mask; "*.*" when the mask is empty)
  // into the container folder destDir (created when missing; empty: the current folder).
  // attributes (platform::kAttr... bits) selects hidden/system/folder entries as a directory
  // listing does; recursive descends into matching subfolders. existingFiles says what happens
  // to a stored file of the same name. askPassword asks a password per file through
  // QueryPassword. Returns the number of entries processed (folders included). An entry that
  // fails is left out (nothing of it stays in the container) and the import goes on with the
  // next one; ImportFailures lists each, in order, with the reason.
  std::int32_t ImportFiles(const std::string& path, const std::string& destDir, std::uint32_t attributes,
                           bool recursive, TExistingFiles existingFiles, bool askPassword);
  // Imports the disk folder path as a folder of the same name inside destDir.
  std::int32_t ImportDirectory(const std::string& path, const std::string& destDir, bool recursive,
                               TExistingFiles existingFiles, bool askPassword);
  // A coming ImportFiles (directory false: path, attributes and recursive as given to it) or
  // ImportDirectory call (directory true).
  struct TPlannedImport {
    std::string path;
    bool directory = false;
    std::uint32_t attributes = 0;
    bool recursive = false;
  };
  // Scans the disk folders of the coming import calls, in their order, so that one set of
  // workers reads and compresses ahead across all of them instead of draining at the end of
  // each call; each call then takes its planned scan (and the failures that scan recorded)
  // instead of listing the folders again. Only a hint: a call other than the next planned one
  // scans and runs on its own and ends the plan; the bytes stored are the same either way.
  // EndPlannedImports (or the container's end) stops the workers. Does nothing with one thread.
  void PlanImports(const std::vector<TPlannedImport>& calls);
  void EndPlannedImports();
  // Exports the stored files matching mask (container folder part + mask) into the disk folder
  // targetDir (created when missing). Returns the number of matching files found. Each file is
  // written under a temporary name in its folder and replaces the disk file only once it is
  // whole; a file that cannot be read or written leaves the disk file as it was, is recorded in
  // LastExportFailures and the export goes on with the next one. Item names that could lead
  // outside targetDir are refused with an exception before anything is written for them.
  std::int32_t ExportFiles(const std::string& mask, const std::string& targetDir, std::uint32_t attributes,
                           bool recursive, TExistingFiles existingFiles);

  // The entries left out by the last ImportFiles or ImportDirectory call; LastImportError is
  // the last of them (Failed false when there is none).
  const std::vector<TCFSImportError>& ImportFailures() const { return importFailures_; }
  const TCFSImportError& LastImportError() const { return lastImportError_; }
  // The files the last ExportFiles call could not write, in export order.
  const std::vector<TCFSExportFailure>& LastExportFailures() const { return exportFailures_; }
  // Threads the bulk operations (import, export) may use: with more than 1, that many workers
  // compress or unpack blocks ahead while this thread stores or writes them in the one-thread
  // order, so the bytes do not depend on the count. 1 runs the sequential path; the default is
  // platform::ThreadCount(). Values below 1 count as 1.
  int ThreadCount() const { return threadCount_; }
  void SetThreadCount(int count) { threadCount_ = count < 1 ? 1 : count; }
  // The time stamped on items created or opened from now on (tests fix it to compare bytes).
  void SetClock(std::function<std::int64_t()> clock) { directory_->SetClock(std::move(clock)); }
  // Set by an OnProgress handler (or a failed import entry) to stop a bulk operation.
  bool Cancel() const { return cancel_; }
  void SetCancel(bool cancel) { cancel_ = cancel; }
  // Name (relative to the bulk operation's folder) of the file being imported or exported.
  const std::string& CurrentFileName() const { return currentFileName_; }

  // Asks OnPassword, else the password prompt; without either the query is cancelled.
  void QueryPassword(const std::string& fileName, std::string& password, bool& cancel);
  // Asks OnOverwrite; without a handler overwrite keeps its value.
  void QueryOverwrite(const std::string& fileName, const std::string& otherName, bool& overwrite);
  // Fires OnProgress with the Cancel flag.
  void DoProgress(double percent);

  std::int32_t LastError() const { return lastError_; }
  bool ReadOnly() const { return readOnly_; }
  bool Exclusive() const { return exclusive_; }
  // The container password; empty when the container is not encrypted.
  const std::string& Password() const { return password_; }
  const std::string& FileName() const { return fileName_; }
  std::uint16_t Mode() const { return mode_; }
  const TCFSHandleRec* Handle(std::int32_t handle) const { return handles_.Find(handle); }
  std::int32_t OpenHandleCount() const { return handles_.Count(); }

  TPageFileManager& PageFile() { return *pageFile_; }
  TDIRManager& Directory() { return *directory_; }
  TFreeSpaceManager& FreeSpace() { return *freeSpace_; }
  TUserFilePageMapManager& PageMaps() { return *pageMaps_; }
  // Codec work memory shared by the block streams over this container's files.
  TCodecScratch& CodecScratch() { return codecScratch_; }

  TCFSProgressEvent OnProgress;
  TCFSFileProgressEvent OnFileProgress;
  TCFSOverwriteEvent OnOverwrite;
  TCFSDiskFullEvent OnDiskFull;
  TCFSPasswordEvent OnPassword;
  TCFSPasswordPrompt PasswordPrompt;

 private:
  // Encryption type of a data page of the item: its own password, else the container's.
  std::uint8_t DataEncryption(const TCFSDirItem& item) const;
  // A read-only container refuses every change (kCFSErrReadOnly).
  bool RefuseReadOnly();
  // Fires OnDiskFull for -17.
  void ReportMapError(std::int32_t code);
  // Grows the file's chain for a write of count bytes at position: pages before the write
  // are zero-filled, pages the write covers are not (it writes them). Returns false with
  // LastError set; firstFresh receives the index of the first page the write must not read.
  bool GrowForWrite(TCFSDirItem& item, std::int64_t position, std::int32_t count, std::int32_t& firstFresh);
  // Zeroes the bytes from `from` to the end of the page holding it; false with LastError set.
  bool ZeroPageTail(TCFSDirItem& item, const std::string& key, std::int64_t from);
  // Data pages the file owns now.
  std::int32_t DataPageCount(const TCFSDirItem& item);

  // One entry of a bulk scan: a folder (empty name) or a file below it.
  struct ScanEntry {
    std::string Dir;   // relative to the scan's start, ending in "\" unless empty
    std::string Name;  // empty for a folder entry
    bool NameExact = true;  // false: the disk name has no code page 936 form (import leaves it out)
  };
  void ScanDisk(const std::string& src, const std::string& dir, const std::string& mask, std::uint32_t attributes,
                bool recursive, std::vector<ScanEntry>& entries, std::int32_t& files);
  // What an ImportFiles call of path (folder part + mask) lists on the disk.
  struct ScanSpec {
    std::string src;  // the folder part of the path, ending in "" unless empty
    std::string mask;
    std::uint32_t attributes = 0;
    bool recursive = false;
    bool operator==(const ScanSpec&) const = default;
  };
  static ScanSpec ScanSpecOf(const std::string& path, std::uint32_t attributes, bool recursive);
  // A planned call's scan, with the failures its listing recorded.
  struct PlannedScan {
    ScanSpec spec;
    std::vector<ScanEntry> entries;
    std::int32_t files = 0;
    std::vector<TCFSImportError> failures;
  };
  // The scan of spec: the next planned one when it is that (its failures recorded again), else
  // a listing of the disk now (which ends a plan that expected another call).
  void ScanForImport(const ScanSpec& spec, std::vector<ScanEntry>& entries, std::int32_t& files);
  void ScanContainer(const std::string& src, const std::string& dir, const std::string& mask,
                     std::uint32_t attributes, bool recursive, std::vector<ScanEntry>& entries, std::int32_t& files);
  // `created` is set once the entry's stored file has been (re)created, so that a failure
  // after that takes it out again.
  void ImportEntry(const std::string& src, const ScanEntry& entry, TExistingFiles existingFiles, bool askPassword,
                   TImportAhead* ahead, std::size_t fileIndex, bool& created);
  // The disk files of an import that workers may read ahead, in the order they are taken.
  static std::vector<std::string> FilesAhead(const std::string& src, const std::vector<ScanEntry>& entries);
  // Whether workers compress ahead at all (more than one thread and a codec to run).
  bool CompressesAhead() const;
  // The workers for the files of this import: the planned ones, with `base` set to the first
  // file's index among them, when the plan's next files are these; else workers of its own in
  // `own` (none with one thread), base 0.
  TImportAhead* AheadFor(const std::string& src, const std::vector<ScanEntry>& entries,
                         std::unique_ptr<TImportAhead>& own, std::size_t& base);
  // `base` is the target folder (the current folder, ending in "\"); `tempNames` hands out the
  // temporary names the files are written under.
  void ExportEntry(const std::string& src, const ScanEntry& entry, TExistingFiles existingFiles, TExportAhead* ahead,
                   std::size_t fileIndex, const std::string& base, TExportTempNames& tempNames);
  TCFSStreamProgressEvent FileProgressRelay();
  void RecordImportFailure(const std::string& diskPath, const std::string& containerPath, const std::string& message,
                           bool nameNotCp936 = false);

  std::unique_ptr<TPageFileManager> pageFile_;
  std::unique_ptr<TDIRManager> directory_;
  std::unique_ptr<TFreeSpaceManager> freeSpace_;
  std::unique_ptr<TUserFilePageMapManager> pageMaps_;
  TSortedPtrArray<TCFSHandleRec> handles_;
  bool readOnly_ = false;
  bool exclusive_ = false;
  std::string password_;
  std::string fileName_;
  std::uint16_t mode_ = 0;
  std::int32_t lastError_ = 0;
  bool cancel_ = false;
  int threadCount_ = 1;
  std::string currentFileName_;
  TCFSImportError lastImportError_;
  std::vector<TCFSImportError> importFailures_;
  std::vector<TCFSExportFailure> exportFailures_;
  std::size_t plannedNext_ = 0;  // the first planned file no call has taken yet
  std::deque<PlannedScan> plannedScans_;  // the scans of the planned calls still to come
  std::unique_ptr<TImportAhead> plannedAhead_;
  // One page buffer for every read and write.
  TCFSPageRec page_;
  TCodecScratch codecScratch_;
  TIntegerArray pages_;
};

// Whether password opens the container file (always true for an unencrypted container). To open
// the container anyway, construct TContainerFS and catch ECFSWrongPassword instead: one open.
bool CheckContainerPassword(const std::string& fileName, const std::string& password);
// Whether the container file is encrypted.
bool IsContainerEncrypted(const std::string& fileName);
