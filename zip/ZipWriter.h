#pragma once
// TZipWriter: builds a zip archive from files on disk, or updates the archive that already
// exists under ZipName, with raw deflate (zlib) or stored entries.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/File.h"
#include "zip/ZipReader.h"

class TZipWriter : public TZipReader {
 public:
  TZipWriter();
  ~TZipWriter() override;

  // Adds the files of FilesList to the archive named ZipName and returns how many were added
  // (new entries and replacements). FilesList is empty afterwards. Raises on failure, after
  // deleting the archive or temporary file it was writing.
  int Zip();

  // Threads that deflate entries larger than one chunk (zip/ChunkedDeflate.h); platform::ThreadCount()
  // by default, clamped to 1..platform::kMaxThreads. The archive's bytes do not depend on it.
  void SetThreadCount(int count);
  int ThreadCount() const { return threadCount_; }

  int PackLevel = 6;
  bool Recurse = false;
  bool Dispose = false;
  bool StorePaths = false;
  bool RelativePaths = false;
  bool StoreVolumes = false;
  TZipAction ZipAction = zaUpdate;
  TMultiZipInfo MultiZipInfo;
  bool Store83Names = false;
  std::u16string TempPath;
  bool SkipIfArchiveBitNotSet = false;
  bool ResetArchiveBitOnZip = false;
  TWideStringList ExcludeList;
  TWideStringList NoCompressList;
  bool AddDirEntriesOnRecurse = false;
  bool IncludeHiddenFiles = false;
  bool IncludeSysFiles = false;
  bool IncludeReadOnlyFiles = true;
  bool IncludeArchiveFiles = true;
  TEncryptStrength EncryptStrength = esPKStandard;

  std::function<void(TZipReader* Sender, int NumFiles, std::int64_t TotalBytes, TEndCentral& EndCentralRecord,
                     bool& StopNow)>
      OnStartZipInfo;
  std::function<void(TZipReader* Sender, const std::u16string& FName, TZipHeaderInfo& ZipHeader, bool& Skip)> OnStartZip;
  std::function<void(TZipReader* Sender, const std::u16string& FName, std::int64_t UncompressedSize,
                     std::int64_t CompressedSize, std::int64_t CurrentZipSize)>
      OnEndZip;
  std::function<void(TZipReader* Sender, const std::u16string& FName)> OnRecursingFile;
  std::function<void(TZipReader* Sender, TUpdateAction UDAction, int FileIndex)> OnUpdate;
  std::function<void(TZipReader* Sender, const std::u16string& FName, bool& Skip)> OnDisposeFile;
  std::function<void(TZipReader* Sender, int FileCount)> OnZipComplete;

  // The search attribute the Include... settings give (57 by default).
  std::uint32_t SearchAttribute() const;
  // Stored directory and file-name parts for a FilesList entry, as the settings decide.
  void StoredNameFor(const std::u16string& path, std::u16string& directory, std::u16string& fileName) const;

 private:
  struct Run;
  void ResolveFileList(Run& run);
  bool ResolveCommonRules(Run& run, const std::u16string& path, std::uint32_t attributes);
  void MergeExisting(Run& run);
  void CarryOver(Run& run, const TZipHeaderInfo& entry, int index);
  bool AddOneFile(Run& run, const std::u16string& path);
  bool AddDirectoryEntry(Run& run, const std::u16string& path);
  void StoreData(Run& run, platform::File& source, std::int64_t expected);
  void DeflateData(Run& run, platform::File& source, std::int64_t expected);
  std::size_t ReadSource(Run& run, platform::File& source, unsigned char* buffer, std::size_t count, std::int64_t expected);
  void WriteData(Run& run, const unsigned char* data, std::size_t count);
  void WriteCentralDirectory(Run& run);
  void PutTemporaryInPlace(Run& run);
  bool Excluded(const std::u16string& path) const;
  bool NoCompress(const std::u16string& fileName) const;
  void Skip(TSkipReason reason, const std::u16string& name);
  void NoSuchFile(const std::u16string& name);
  int Percent(std::int64_t done, std::int64_t total) const;
  // General purpose flag bits 1 and 2 that PackLevel sets, whatever the method.
  std::uint16_t LevelFlags() const;

  int threadCount_;
};
