// Handle-level operations on stored files. Byte p of a stored file lies at offset p mod D of
// the data area of the file's page p div D (D = page size - 32).
#include <algorithm>
#include <cstring>
#include <limits>

#include "cfs/fs/ContainerFS.h"
#include "platform/Exception.h"

namespace {

// The largest stored file: its data pages must stay countable in an int32.
std::int64_t MaxFileSize(std::int32_t d) { return std::int64_t(std::numeric_limits<std::int32_t>::max()) * d; }

// Whether a data page read for a file whose pages are enciphered with `encryption` may be
// handed out. The page header is not covered by the page checksum, so its type and encryption
// bytes are taken on trust only as far as they cannot turn stored bytes into wrong data: a
// page marked plain in an enciphered file is legitimate only as the zero filling of a page
// that was appended and never written; anything else there would be ciphertext (or planted
// bytes) passed off as the file's content.
bool DataPageTrusted(const TCFSPageHeader& header, std::uint8_t encryption, const std::uint8_t* data, std::int32_t d) {
  if (header.PageType != kPageTypeFileData) return false;
  if (encryption == kEncryptionNone || header.EncryptionType != kEncryptionNone) return true;
  return std::all_of(data, data + d, [](std::uint8_t b) { return b == 0; });
}

}  // namespace

std::uint8_t TContainerFS::DataEncryption(const TCFSDirItem& item) const {
  if (item.HasPassword) return kEncryptionAES;
  return pageFile_->Header().EncryptionType();
}

void TContainerFS::ReportMapError(std::int32_t code) {
  lastError_ = code;
  if (code == kCFSErrNoFreePage) OnDiskFull(*this);
}

bool TContainerFS::FileExists(const std::string& fileName) const { return directory_->FindItem(fileName) >= 0; }

bool TContainerFS::RefuseReadOnly() {
  if (!readOnly_) return false;
  lastError_ = kCFSErrReadOnly;
  return true;
}

bool TContainerFS::DeleteFile(const std::string& fileName) {
  if (RefuseReadOnly()) return false;
  const std::int32_t n = directory_->FindItem(fileName);
  if (n < 0 || directory_->GetOpenCount(n) > 0) return false;
  TCFSDirItem item = directory_->ReadItem(n);
  // Deleting a folder item would strand everything below it.
  if (item.IsFolder) return false;
  item.IsDeleted = true;
  item.LastWriteTime = directory_->Now();
  item.LastAccessTime = item.LastWriteTime;
  // Size 0 releases every page, the first map page of an empty file included.
  if (item.FirstMapPageNo != -1) pageMaps_->SetFileSize(item, false, 0);
  item.Size = 0;
  directory_->WriteItem(n, item);
  return true;
}

std::int32_t TContainerFS::FileCreate(const std::string& fileName, const std::string& password,
                                      const std::string& question, const std::string& answer) {
  if (RefuseReadOnly()) return lastError_;
  if (FileExists(fileName) && !DeleteFile(fileName)) {
    lastError_ = kCFSErrFileInUse;
    return kCFSErrFileInUse;
  }
  const std::int32_t n = directory_->CreateFile(fileName, password, question, answer);
  if (n < 0) {
    const std::int32_t code = directory_->LastError();
    ReportMapError(code != 0 ? code : kCFSErrNotFound);
  }
  return n;
}

std::int32_t TContainerFS::FileOpen(const std::string& fileName, std::uint16_t mode, std::string password,
                                    const std::string& question, const std::string& answer) {
  if (mode == kModeCreate) {
    // Over an open file creation fails with -16; opening that file anyway would hand out a
    // second handle that writes into it as if it were new.
    const std::int32_t created = FileCreate(fileName, password, question, answer);
    if (created < 0) return created;
  } else if (FileExists(fileName) && !directory_->CheckPassword(fileName, password)) {
    bool cancel = true;
    bool right = false;
    do {
      QueryPassword(fileName, password, cancel);
      right = directory_->CheckPassword(fileName, password);
    } while (!cancel && !right);
    if (!right) {
      lastError_ = kCFSErrWrongPassword;
      return kCFSErrWrongPassword;
    }
  }
  std::string key;
  const std::int32_t n = directory_->OpenFile(fileName, password, key);
  if (n < 0) {
    lastError_ = n;
    return n;
  }
  auto rec = std::make_unique<TCFSHandleRec>();
  rec->Item = n;
  rec->Mode = mode;
  rec->Key = std::move(key);
  const std::int32_t handle = handles_.NextKey();
  handles_.Add(handle, std::move(rec));
  return handle;
}

void TContainerFS::FileClose(std::int32_t handle) {
  TCFSHandleRec* rec = handles_.Find(handle);
  if (!rec) return;
  directory_->CloseFile(rec->Item);
  handles_.Delete(handle);
}

std::int32_t TContainerFS::FileRead(std::int32_t handle, void* buffer, std::int32_t count) {
  lastError_ = 0;
  TCFSHandleRec* rec = handles_.Find(handle);
  if (!rec || count <= 0 || rec->Position < 0) return 0;
  TCFSDirItem item = directory_->ReadItem(rec->Item);
  if (rec->Position >= item.Size) return 0;
  const std::int32_t n = static_cast<std::int32_t>(std::min<std::int64_t>(count, item.Size - rec->Position));
  if (!pageMaps_->GetRangePages(item, false, pages_, n, rec->Position) || pages_.Count() == 0)
    throw Exception("TContainerFS.FileRead - no pages were found by UFM.");

  const std::int32_t d = pageFile_->DataSize();
  const std::int32_t pageCount = pageFile_->Header().PageCount();
  const std::uint8_t encryption = rec->Key.empty() ? DataEncryption(item) : std::uint8_t{kEncryptionAES};
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::int32_t done = 0;
  for (std::int32_t i = 0; i < pages_.Count() && done < n; ++i) {
    const std::int32_t pageNo = pages_[i];
    const std::int32_t offset = i == 0 ? static_cast<std::int32_t>(rec->Position % d) : 0;
    const std::int32_t k = std::min(d - offset, n - done);
    if (pageNo < 1 || pageNo >= pageCount || freeSpace_->Geometry().IsMapPage(pageNo)) {
      lastError_ = kCFSErrBadPageNo;
      break;
    }
    // A whole page is read straight into the caller's buffer.
    const bool whole = k == d;
    page_.Data = whole ? std::span<std::uint8_t>(out + done, static_cast<std::size_t>(d))
                       : std::span<std::uint8_t>(page_.Buffer);
    const bool ok = pageFile_->ReadPage(page_, pageNo, false, rec->Key);
    page_.Data = page_.Buffer;
    if (!ok) {
      lastError_ = pageFile_->LastError();
      break;
    }
    if (!DataPageTrusted(page_.Header, encryption, whole ? out + done : page_.Buffer.data(), d)) {
      lastError_ = kPageErrDecrypt;
      break;
    }
    if (!whole) std::memcpy(out + done, page_.Buffer.data() + offset, static_cast<std::size_t>(k));
    done += k;
  }
  rec->Position += done;
  return done;
}

std::int32_t TContainerFS::DataPageCount(const TCFSDirItem& item) {
  if (item.FirstMapPageNo == -1) return 0;
  TIntegerArray* maps = nullptr;
  TIntegerArray* data = nullptr;
  pageMaps_->GetMaps(item, maps, data);
  return data->Count();
}

bool TContainerFS::GrowForWrite(TCFSDirItem& item, std::int64_t position, std::int32_t count,
                                std::int32_t& firstFresh) {
  const std::int32_t d = pageFile_->DataSize();
  const std::int32_t have = DataPageCount(item);
  const auto first = static_cast<std::int32_t>(position / d);
  const std::int32_t need = pageMaps_->PagesForSize(position + count);
  firstFresh = std::max(have, need);
  bool ok = true;
  // Pages between the end of the file and the write hold zeros; the pages the write reaches
  // are left for it to fill, so they are written once.
  if (first > have) ok = pageMaps_->SetFileSize(item, true, std::int64_t(first) * d);
  if (ok && need > std::max(have, first)) {
    firstFresh = std::max(have, first);
    ok = pageMaps_->SetFileSize(item, false, position + count);
  }
  return ok;
}

std::int32_t TContainerFS::FileWrite(std::int32_t handle, const void* buffer, std::int32_t count) {
  lastError_ = 0;
  TCFSHandleRec* rec = handles_.Find(handle);
  if (!rec || count <= 0 || rec->Position < 0 || RefuseReadOnly()) return 0;
  const std::int32_t d = pageFile_->DataSize();
  if (rec->Position > MaxFileSize(d) - count) {
    ReportMapError(kCFSErrNoFreePage);
    return 0;
  }
  TCFSDirItem item = directory_->ReadItem(rec->Item);
  const std::int32_t oldFirstMap = item.FirstMapPageNo;
  std::int32_t firstFresh = 0;
  if (!GrowForWrite(item, rec->Position, count, firstFresh)) {
    // A first map page may have been given to the file: keep it owned. The item is stored
    // before the notification, whose handler may close the handle.
    if (item.FirstMapPageNo != oldFirstMap) directory_->WriteItem(rec->Item, item);
    ReportMapError(pageMaps_->LastError());
    return 0;
  }
  if (!pageMaps_->GetRangePages(item, false, pages_, count, rec->Position)) {
    ReportMapError(pageMaps_->LastError());
    return 0;
  }

  const std::int32_t pageCount = pageFile_->Header().PageCount();
  const std::uint8_t encryption = DataEncryption(item);
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  const auto firstIndex = static_cast<std::int32_t>(rec->Position / d);
  std::int32_t done = 0;
  for (std::int32_t i = 0; i < pages_.Count() && done < count; ++i) {
    const std::int32_t pageNo = pages_[i];
    const std::int32_t offset = i == 0 ? static_cast<std::int32_t>(rec->Position % d) : 0;
    const std::int32_t k = std::min(d - offset, count - done);
    if (pageNo < 1 || pageNo >= pageCount || freeSpace_->Geometry().IsMapPage(pageNo)) {
      lastError_ = kCFSErrBadPageNo;
      break;
    }
    if (offset > 0 || k < d) {
      if (firstIndex + i >= firstFresh) {
        // A page new to the file was never written: its other bytes are zeros.
        std::fill(page_.Buffer.begin(), page_.Buffer.end(), std::uint8_t{0});
      } else if (!pageFile_->ReadPage(page_, pageNo, false, rec->Key)) {
        lastError_ = pageFile_->LastError();
        break;
      }
    }
    std::memcpy(page_.Buffer.data() + offset, in + done, static_cast<std::size_t>(k));
    page_.Header = TCFSPageHeader{};
    page_.Header.NextPage = -1;
    page_.Header.PageType = kPageTypeFileData;
    page_.Header.EncryptionType = encryption;
    page_.Header.ChecksumType = 0;
    if (!pageFile_->WritePage(page_, pageNo, rec->Key)) {
      lastError_ = pageFile_->LastError();
      break;
    }
    done += k;
  }
  rec->Position += done;
  // The size covers the bytes written, never a position nothing was written to.
  if (done > 0 && item.Size < rec->Position) item.Size = rec->Position;
  // Pages appended for this write but not written (it stopped early) would not read back:
  // the file keeps exactly the pages its size needs.
  const std::int32_t keep = pageMaps_->PagesForSize(item.Size);
  const std::int32_t owned = DataPageCount(item);
  if (owned > keep) {
    if (keep == 0)
      pageMaps_->SetFileSize(item, false, 0);
    else
      pageMaps_->DeletePagesFromEOF(item, owned - keep);
  }
  item.LastWriteTime = directory_->Now();
  directory_->WriteItem(rec->Item, item);
  return done;
}

std::int64_t TContainerFS::FileSeek(std::int32_t handle, int origin, std::int64_t offset) {
  TCFSHandleRec* rec = handles_.Find(handle);
  if (!rec) return 0;
  std::int64_t base = 0;
  switch (origin) {
    case 0: base = 0; break;
    case 1: base = rec->Position; break;
    case 2: base = directory_->ReadItem(rec->Item).Size; break;
    default: return rec->Position;
  }
  std::int64_t position = 0;
  if (!__builtin_add_overflow(base, offset, &position)) rec->Position = position;
  return rec->Position;
}

bool TContainerFS::ZeroPageTail(TCFSDirItem& item, const std::string& key, std::int64_t from) {
  const std::int32_t d = pageFile_->DataSize();
  if (!pageMaps_->GetRangePages(item, false, pages_, 1, from) || pages_.Count() == 0) return true;
  const std::int32_t pageNo = pages_[0];
  if (pageNo < 1 || pageNo >= pageFile_->Header().PageCount() || freeSpace_->Geometry().IsMapPage(pageNo)) {
    lastError_ = kCFSErrBadPageNo;
    return false;
  }
  if (!pageFile_->ReadPage(page_, pageNo, false, key)) {
    lastError_ = pageFile_->LastError();
    return false;
  }
  std::fill(page_.Buffer.begin() + from % d, page_.Buffer.begin() + d, std::uint8_t{0});
  page_.Header = TCFSPageHeader{};
  page_.Header.NextPage = -1;
  page_.Header.PageType = kPageTypeFileData;
  page_.Header.EncryptionType = DataEncryption(item);
  if (!pageFile_->WritePage(page_, pageNo, key)) {
    lastError_ = pageFile_->LastError();
    return false;
  }
  return true;
}

std::int64_t TContainerFS::FileSetSize(std::int32_t handle, std::int64_t newSize) {
  TCFSHandleRec* rec = handles_.Find(handle);
  if (!rec) {
    lastError_ = kCFSErrBadHandle;
    return kCFSErrBadHandle;
  }
  if (RefuseReadOnly()) return lastError_;
  if (newSize < 0) {
    lastError_ = kCFSErrBadSize;
    return kCFSErrBadSize;
  }
  if (newSize > MaxFileSize(pageFile_->DataSize())) {
    ReportMapError(kCFSErrNoFreePage);
    return kCFSErrNoFreePage;
  }
  TCFSDirItem item = directory_->ReadItem(rec->Item);
  // Bytes cut off inside the new last page are zeroed, so that growing the file again (or
  // writing past its end) shows zeros there rather than the old contents.
  if (newSize < item.Size && newSize % pageFile_->DataSize() != 0 && !ZeroPageTail(item, rec->Key, newSize))
    return lastError_;
  const std::int32_t oldFirstMap = item.FirstMapPageNo;
  if (!pageMaps_->SetFileSize(item, true, newSize)) {
    if (item.FirstMapPageNo != oldFirstMap) directory_->WriteItem(rec->Item, item);
    const std::int32_t code = pageMaps_->LastError();
    ReportMapError(code);
    return code;
  }
  item.Size = newSize;
  item.LastWriteTime = directory_->Now();
  directory_->WriteItem(rec->Item, item);
  rec->Position = newSize;
  return newSize;
}
