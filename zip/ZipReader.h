#pragma once
// The reading side of the zip component: the archive name, the file lists, the settings shared
// with extraction, the events common to both sides and the listing of the archive last read or
// written.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "zip/ZipExceptions.h"
#include "zip/ZipHost.h"
#include "zip/ZipRecords.h"
#include "zip/ZipTypes.h"

class TZipReader {
 public:
  TZipReader();
  virtual ~TZipReader() = default;
  TZipReader(const TZipReader&) = delete;
  TZipReader& operator=(const TZipReader&) = delete;

  // Archive name. Setting a different name (compared without regard to case) drops the listing;
  // a name ending in "?" asks for the archive with the file-open dialog.
  const std::u16string& ZipName() const { return zipName_; }
  void SetZipName(const std::u16string& name);

  // Prefix for list entries without a path; a trailing "\" is added, and it becomes the only
  // entry of RelativePathList.
  const std::u16string& RootDir() const { return rootDir_; }
  void SetRootDir(const std::u16string& dir);

  // Comment of the archive written next.
  const std::string& ZipComment() const { return endCentral_.ZipComment; }
  void SetZipComment(const std::string& comment);

  // Listing of the archive last written.
  int Count() const { return static_cast<int>(contents_.size()); }
  const TZipHeaderInfo& ZipContents(int index) const { return contents_.at(static_cast<std::size_t>(index)); }
  const TEndCentral& EndCentral() const { return endCentral_; }
  bool Busy() const { return busy_; }

  // Requests looked at whenever messages are pumped during a run.
  void Cancel() { cancel_ = true; }
  void SetPause(bool pause) { pause_ = pause; }

  // Not owned; nullptr restores the built-in host.
  void SetMessageHost(TZipMessageHost* host) { host_ = host ? host : &defaultHost_; }

  TWideStringList FilesList;
  TWideStringList RelativePathList;
  TZipSortMode SortMode = ByNone;
  bool KeepZipOpen = false;
  bool DoProcessMessages = true;
  TOEMConvert OEMConvert = oemFlexible;
  bool FlushFilesOnClose = false;
  TIncompleteZipMode IncompleteZipMode = izAssumeMulti;
  TUZOverwriteMode OverwriteMode = Prompt;  // extraction only
  bool DoAll = false;                       // extraction only

  std::function<void(TZipReader* Sender, TSkipReason Reason, const std::u16string& FName, int FileIndex, bool& Retry)>
      OnSkippingFile;
  std::function<void(TZipReader* Sender, const std::u16string& FName)> OnNoSuchFile;
  std::function<void(TZipReader* Sender, int Percent)> OnFilePercentDone;
  std::function<void(TZipReader* Sender, int Percent)> OnTotalPercentDone;
  std::function<void(TZipReader* Sender, int MessageID, const std::string& Msg1, const std::string& Msg2,
                     unsigned flags, int& Return)>
      OnHandleMessage;
  std::function<void(TZipReader* Sender, TIncompleteZipMode& IncompleteMode)> OnInCompleteZip;

 protected:
  // Dispatches waiting messages, then honours the cancel and pause requests.
  void PumpMessages();
  int HandleMessage(int id, const std::string& text, const std::string& caption, unsigned flags);

  TZipMessageHost& Host() { return *host_; }

  std::u16string zipName_;
  std::u16string rootDir_;
  std::vector<TZipHeaderInfo> contents_;
  TEndCentral endCentral_;
  bool endCentralChanged_ = false;
  bool busy_ = false;
  bool cancel_ = false;
  bool pause_ = false;

 private:
  TZipMessageHost defaultHost_;
  TZipMessageHost* host_ = &defaultHost_;
};
