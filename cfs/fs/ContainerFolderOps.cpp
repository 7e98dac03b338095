// Attributes, dates and folder operations of the facade.
#include "cfs/fs/ContainerFS.h"
#include "platform/Time.h"

std::uint32_t TContainerFS::FileGetAttr(const std::string& fileName) {
  const std::int32_t n = directory_->FindItem(fileName);
  if (n < 0) return 0;
  return directory_->Item(n).Attributes;
}

std::int32_t TContainerFS::FileSetAttr(const std::string& fileName, std::uint32_t attr) {
  const std::int32_t n = directory_->FindItem(fileName);
  if (n < 0) return kCFSErrNotFound;
  if (RefuseReadOnly()) return kCFSFailed;
  TCFSDirItem item = directory_->ReadItem(n);
  // The folder bit follows the item's kind, whatever the caller passes.
  item.Attributes = item.IsFolder ? (attr | TCFSDirItem::kFolderAttribute) : (attr & ~TCFSDirItem::kFolderAttribute);
  directory_->WriteItem(n, item);
  return 0;
}

std::int32_t TContainerFS::FileAge(const std::string& fileName) {
  const std::int32_t n = directory_->FindItem(fileName);
  if (n < 0) return kCFSFailed;
  std::uint16_t date = 0;
  std::uint16_t time = 0;
  if (!platform::FileTimeToDosDateTime(platform::FileTimeUtcToLocal(directory_->Item(n).LastWriteTime), date, time))
    return kCFSFailed;
  return static_cast<std::int32_t>(std::uint32_t{date} << 16 | time);
}

std::int32_t TContainerFS::FileSetDate(std::int32_t handle, std::int32_t dosDateTime) {
  const TCFSHandleRec* rec = handles_.Find(handle);
  if (!rec) {
    lastError_ = kCFSErrBadHandle;
    return kCFSFailed;
  }
  if (RefuseReadOnly()) return kCFSFailed;
  const auto value = static_cast<std::uint32_t>(dosDateTime);
  std::int64_t local = 0;
  if (!platform::DosDateTimeToFileTime(static_cast<std::uint16_t>(value >> 16), static_cast<std::uint16_t>(value),
                                       local))
    return kCFSFailed;
  TCFSDirItem item = directory_->ReadItem(rec->Item);
  item.LastWriteTime = platform::FileTimeLocalToUtc(local);
  directory_->WriteItem(rec->Item, item);
  return 0;
}

std::int32_t TContainerFS::FindFirst(const std::string& path, std::uint32_t attr, TSearchRec& searchRec) {
  return directory_->FindFirst(path, attr, searchRec);
}

std::int32_t TContainerFS::FindNext(TSearchRec& searchRec) { return directory_->FindNext(searchRec); }

void TContainerFS::FindClose(TSearchRec& searchRec) { directory_->FindClose(searchRec); }

std::string TContainerFS::GetCurrentDir() const { return directory_->GetCurrentDir(); }

bool TContainerFS::SetCurrentDir(const std::string& dir) { return directory_->ChangeDir(dir); }

bool TContainerFS::CreateDir(const std::string& dir) {
  if (RefuseReadOnly()) return false;
  if (directory_->CreateDir(dir)) return true;
  ReportMapError(directory_->LastError());
  return false;
}

bool TContainerFS::ForceDirectories(const std::string& dir) {
  if (RefuseReadOnly()) return false;
  if (directory_->ForceDirectories(dir)) return true;
  ReportMapError(directory_->LastError());
  return false;
}

bool TContainerFS::DirectoryExists(const std::string& dir) { return directory_->DirectoryExists(dir); }

void TContainerFS::QueryOverwrite(const std::string& fileName, const std::string& otherName, bool& overwrite) {
  if (OnOverwrite) OnOverwrite(*this, fileName, otherName, overwrite);
}

void TContainerFS::DoProgress(double percent) {
  if (OnProgress) OnProgress(*this, percent, cancel_);
}

TCFSStreamProgressEvent TContainerFS::FileProgressRelay() {
  TCFSStreamProgressEvent relay;
  relay.UserData = this;
  relay.Handler = [](void* userData, TStream&, double percent) {
    auto* self = static_cast<TContainerFS*>(userData);
    if (self->OnFileProgress) self->OnFileProgress(*self, self->currentFileName_, percent);
  };
  return relay;
}
