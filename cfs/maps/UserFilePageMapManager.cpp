#include "cfs/maps/UserFilePageMapManager.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "cfs/file/CFSLittleEndian.h"
#include "platform/Exception.h"

namespace {

std::int64_t CeilDiv(std::int64_t a, std::int64_t b) { return a <= 0 ? 0 : (a + b - 1) / b; }

std::int64_t PagesFor(std::int64_t size, std::int32_t d) { return size <= 0 ? 0 : size / d + (size % d != 0); }

}  // namespace

TUserFilePageMapManager::TUserFilePageMapManager(TPageFileManager& pageFile, TFreeSpaceManager& freeSpace)
    : pageFile_(pageFile), freeSpace_(freeSpace), mapCache_(0, 25, 10), dataCache_(0, 25, 10),
      M_(pageFile.DataSize() / 4) {}

std::int32_t TUserFilePageMapManager::PagesForSize(std::int64_t size) const {
  const std::int64_t n = PagesFor(size, pageFile_.DataSize());
  if (n > std::numeric_limits<std::int32_t>::max())
    throw Exception("TUserFilePageMapManager.PagesForSize - size " + std::to_string(size) + " is too large.");
  return static_cast<std::int32_t>(n);
}

void TUserFilePageMapManager::EmptyCaches(const TCFSDirItem& file) {
  // Lists that disagree with the file's stored size hold pages just appended or removed whose
  // size the caller has not stored yet; reading the chain again would lose them.
  const std::int32_t first = file.FirstMapPageNo;
  const TIntegerArray* data = dataCache_.Find(first);
  const bool keep = data != nullptr && mapCache_.Find(first) != nullptr &&
                    data->Count() != PagesFor(file.Size, pageFile_.DataSize());
  std::unique_ptr<TIntegerArray> keptMaps = keep ? mapCache_.Take(first) : nullptr;
  std::unique_ptr<TIntegerArray> keptData = keep ? dataCache_.Take(first) : nullptr;
  mapCache_.Clear();
  dataCache_.Clear();
  if (keep) {
    mapCache_.Add(first, std::move(keptMaps));
    dataCache_.Add(first, std::move(keptData));
  }
}

void TUserFilePageMapManager::Forget(std::int32_t firstMapPageNo) {
  if (mapCache_.IndexOf(firstMapPageNo) >= 0) mapCache_.Delete(firstMapPageNo);
  if (dataCache_.IndexOf(firstMapPageNo) >= 0) dataCache_.Delete(firstMapPageNo);
}

void TUserFilePageMapManager::ReadChain(const TCFSDirItem& file, TIntegerArray& mapPages, TIntegerArray& dataPages) {
  const std::int32_t pageCount = pageFile_.Header().PageCount();
  const TFreeSpaceGeometry& geo = freeSpace_.Geometry();
  const auto chainError = [] { return Exception("TUserFilePageMapManager.GetMaps - Invalid page No in map chain."); };
  const auto validPage = [&](std::int32_t p) { return p >= 1 && p < pageCount && !geo.IsMapPage(p); };

  // Every data page is a distinct page of the container: a size needing more is damage, and
  // this bounds the lists before anything is allocated.
  const std::int64_t n64 = PagesFor(file.Size, pageFile_.DataSize());
  if (file.Size < 0 || n64 >= pageCount)
    throw Exception("TUserFilePageMapManager.GetMaps - file size " + std::to_string(file.Size) +
                    " does not fit the container.");
  const auto n = static_cast<std::int32_t>(n64);
  const auto k = static_cast<std::int32_t>(CeilDiv(n, M_));
  if (!validPage(file.FirstMapPageNo)) throw chainError();
  if (k == 0) {
    mapPages.Add(file.FirstMapPageNo);
    return;
  }
  TCFSPageRec rec;
  pageFile_.InitPageRecord(rec);
  std::int32_t pageNo = file.FirstMapPageNo;
  // The walk is bounded by the k map pages the size needs.
  for (std::int32_t i = 0; i < k; ++i) {
    if (!validPage(pageNo)) throw chainError();
    if (!pageFile_.ReadPage(rec, pageNo, true, {}, pageFile_.DataSize()) || rec.Header.PageType != kPageTypeFileMap)
      throw Exception("TUserFilePageMapManager.GetMaps - Error on reading map page.");
    mapPages.Add(pageNo);
    const std::int32_t take = std::min(M_, n - dataPages.Count());
    for (std::int32_t e = 0; e < take; ++e) {
      const auto p = static_cast<std::int32_t>(GetLE32(rec.Data.data() + 4 * e));
      if (!validPage(p)) throw chainError();
      dataPages.Add(p);
    }
    pageNo = rec.Header.NextPage;
    if (dataPages.Count() < n && pageNo == -1) throw chainError();
  }
  // A page listed twice (a cycle in the chain, or pages shared within the file) would be freed
  // twice and handed out twice.
  std::vector<std::int32_t> all(mapPages.Data(), mapPages.Data() + mapPages.Count());
  all.insert(all.end(), dataPages.Data(), dataPages.Data() + dataPages.Count());
  std::sort(all.begin(), all.end());
  if (std::adjacent_find(all.begin(), all.end()) != all.end()) throw chainError();
}

void TUserFilePageMapManager::GetMaps(const TCFSDirItem& file, TIntegerArray*& mapPages, TIntegerArray*& dataPages) {
  const std::int32_t first = file.FirstMapPageNo;
  if (first == -1) throw Exception("TUserFilePageMapManager.GetMaps - Invalid parameter FileRec.FirstMapPageNo");
  if (mapCache_.Count() > kMaxCachedFiles || dataCache_.Count() > kMaxCachedFiles) EmptyCaches(file);

  TIntegerArray* maps = mapCache_.Find(first);
  TIntegerArray* data = dataCache_.Find(first);
  if (maps == nullptr) {
    auto newMaps = std::make_unique<TIntegerArray>();
    auto newData = std::make_unique<TIntegerArray>();
    ReadChain(file, *newMaps, *newData);
    if (dataCache_.IndexOf(first) >= 0) dataCache_.Delete(first);
    maps = newMaps.get();
    data = newData.get();
    mapCache_.Add(first, std::move(newMaps));
    dataCache_.Add(first, std::move(newData));
  }
  if (maps == nullptr) throw Exception("TUserFilePageMapManager.GetMaps - Cannot find UFPM page map");
  if (data == nullptr) throw Exception("TUserFilePageMapManager.GetMaps - Cannot find user file page map");
  if (maps->Count() == 0 || (*maps)[0] != first)
    throw Exception("TUserFilePageMapManager.GetMaps - UFPMMap.Items[0] <> FirstMapPageNo");
  mapPages = maps;
  dataPages = data;
}

void TUserFilePageMapManager::SaveMaps(std::int32_t firstIndex, std::int32_t count, const TIntegerArray& dataPages,
                                       const TIntegerArray& mapPages) {
  TCFSPageRec rec;
  pageFile_.InitPageRecord(rec);
  for (std::int32_t i = firstIndex; i < firstIndex + count; ++i) {
    rec.Header = TCFSPageHeader{};
    rec.Header.PageType = kPageTypeFileMap;
    rec.Header.NextPage = i + 1 < mapPages.Count() ? mapPages[i + 1] : -1;
    std::fill(rec.Buffer.begin(), rec.Buffer.end(), 0);
    const std::int64_t from = std::int64_t(i) * M_;
    const std::int64_t to = std::min<std::int64_t>(from + M_, dataPages.Count());
    for (std::int64_t e = from; e < to; ++e)
      PutLE32(rec.Buffer.data() + 4 * (e - from), static_cast<std::uint32_t>(dataPages[static_cast<std::int32_t>(e)]));
    rec.Data = rec.Buffer;
    // A chain that did not reach the disk would lose the file's pages: this is an error.
    if (!pageFile_.WritePage(rec, mapPages[i], {}, pageFile_.DataSize()))
      throw Exception("TUserFilePageMapManager.SaveMaps - can not save map page, pageNo = " +
                      std::to_string(mapPages[i]));
  }
}

void TUserFilePageMapManager::FreeScratch() {
  if (scratch_.Count() > 0) freeSpace_.FreePages(scratch_);
  scratch_.Clear();
}

bool TUserFilePageMapManager::AppendPages(TCFSDirItem& file, std::int32_t count, bool zeroFill) {
  if (count <= 0) throw Exception("TUserFilePageMapManager.AppendPages - PageCount <= 0.");
  lastError_ = 0;
  TIntegerArray* maps = nullptr;
  TIntegerArray* data = nullptr;
  std::int32_t saveFrom = 0;
  std::int32_t newMapPages = 0;
  const bool newFile = file.FirstMapPageNo == -1;

  if (newFile) {
    if (!freeSpace_.GetPages(static_cast<std::int32_t>(CeilDiv(count, M_)), 1, scratch_, false)) {
      lastError_ = kCFSErrNoFreePage;
      return false;
    }
    file.FirstMapPageNo = scratch_[0];
    Forget(file.FirstMapPageNo);
    auto newMaps = std::make_unique<TIntegerArray>();
    for (std::int32_t i = 0; i < scratch_.Count(); ++i) newMaps->Add(scratch_[i]);
    maps = newMaps.get();
    mapCache_.Add(file.FirstMapPageNo, std::move(newMaps));
    auto newData = std::make_unique<TIntegerArray>();
    data = newData.get();
    dataCache_.Add(file.FirstMapPageNo, std::move(newData));
    newMapPages = maps->Count();
    scratch_.Clear();
  } else {
    GetMaps(file, maps, data);
    if (std::int64_t(data->Count()) + count > std::numeric_limits<std::int32_t>::max()) {
      lastError_ = kCFSErrNoFreePage;
      return false;
    }
    const auto x = static_cast<std::int32_t>(CeilDiv(std::int64_t(data->Count()) + count, M_) - maps->Count());
    saveFrom = maps->Count() - 1;
    if (x > 0) {
      if (!freeSpace_.GetPages(x, (*maps)[maps->Count() - 1] + 1, scratch_, false)) {
        lastError_ = kCFSErrNoFreePage;
        return false;
      }
      for (std::int32_t i = 0; i < scratch_.Count(); ++i) maps->Add(scratch_[i]);
      newMapPages = scratch_.Count();
      scratch_.Clear();
    }
  }
  const std::int32_t hint = data->Count() > 0 ? (*data)[data->Count() - 1] + 1 : 1;
  const bool uniform = std::int64_t(data->Count()) + count > pageFile_.Header().ExtentPageCount();
  if (!freeSpace_.GetPages(count, hint, scratch_, uniform)) {
    // Give back the map pages taken for the pages that could not be had.
    lastError_ = kCFSErrNoFreePage;
    scratch_.Clear();
    for (std::int32_t i = 0; i < newMapPages; ++i) {
      scratch_.Add((*maps)[maps->Count() - 1]);
      maps->Delete(maps->Count() - 1);
    }
    if (newFile) {
      Forget(file.FirstMapPageNo);
      file.FirstMapPageNo = -1;
    }
    FreeScratch();
    return false;
  }
  for (std::int32_t i = 0; i < scratch_.Count(); ++i) data->Add(scratch_[i]);

  try {
    SaveMaps(saveFrom, maps->Count() - saveFrom, *data, *maps);
  } catch (const Exception&) {
    // The new pages are owned by nobody on disk: give them back, and put the chain's old last
    // page back as it was (it may already point at a new map page), so that the file keeps
    // exactly the pages it had.
    const std::int32_t added = scratch_.Count();
    for (std::int32_t i = 0; i < added; ++i) data->Delete(data->Count() - 1);
    for (std::int32_t i = 0; i < newMapPages; ++i) {
      scratch_.Add((*maps)[maps->Count() - 1]);
      maps->Delete(maps->Count() - 1);
    }
    if (newFile) {
      Forget(file.FirstMapPageNo);
      file.FirstMapPageNo = -1;
    } else {
      try {
        SaveMaps(saveFrom, maps->Count() - saveFrom, *data, *maps);
      } catch (const Exception&) {
        Forget(file.FirstMapPageNo);  // read the chain from disk next time
      }
    }
    FreeScratch();
    throw;
  }

  if (zeroFill) {
    TCFSPageRec rec;
    pageFile_.InitPageRecord(rec);
    for (std::int32_t i = 0; i < scratch_.Count(); ++i) {
      rec.Header = TCFSPageHeader{};
      rec.Header.PageType = kPageTypeFileData;
      std::fill(rec.Buffer.begin(), rec.Buffer.end(), 0);
      if (!pageFile_.WritePage(rec, scratch_[i], {}, pageFile_.DataSize()))
        throw Exception("TUserFilePageMapManager.AppendPages - can not write page, pageNo = " +
                        std::to_string(scratch_[i]));
    }
  }
  scratch_.Clear();
  return true;
}

void TUserFilePageMapManager::DeletePagesFromEOF(TCFSDirItem& file, std::int32_t count) {
  if (file.FirstMapPageNo == -1)
    throw Exception("TUserFilePageMapManager.DeletePagesFromEOF - File map not exists.");
  TIntegerArray* maps = nullptr;
  TIntegerArray* data = nullptr;
  GetMaps(file, maps, data);
  count = std::clamp(count, 0, data->Count());
  const auto keep = static_cast<std::int32_t>(CeilDiv(data->Count() - count, M_));

  scratch_.Clear();
  while (maps->Count() > keep) {
    scratch_.Add((*maps)[maps->Count() - 1]);
    maps->Delete(maps->Count() - 1);
  }
  for (std::int32_t i = 0; i < count; ++i) {
    scratch_.Add((*data)[data->Count() - 1]);
    data->Delete(data->Count() - 1);
  }
  if (keep <= 0) {
    Forget(file.FirstMapPageNo);
    file.FirstMapPageNo = -1;
  } else {
    // The chain ends at its new last page before its old pages can be handed out again.
    SaveMaps(keep - 1, 1, *data, *maps);
  }
  FreeScratch();
}

bool TUserFilePageMapManager::SetFileSize(TCFSDirItem& file, bool zeroFill, std::int64_t newSize) {
  if (newSize < 0) throw Exception("TUserFilePageMapManager.SetFileSize - size < 0.");
  const std::int32_t n = PagesForSize(newSize);
  if (file.FirstMapPageNo == -1) return n == 0 || AppendPages(file, n, zeroFill);
  TIntegerArray* maps = nullptr;
  TIntegerArray* data = nullptr;
  GetMaps(file, maps, data);
  // Size 0 gives back the map page as well, even for a file that already had size 0.
  if (newSize == 0) {
    DeletePagesFromEOF(file, data->Count());
    return true;
  }
  // The page lists rather than the stored size decide, so pages appended for a size the caller
  // never stored are not kept by mistake.
  if (data->Count() > n) {
    DeletePagesFromEOF(file, data->Count() - n);
    return true;
  }
  if (data->Count() < n) return AppendPages(file, n - data->Count(), zeroFill);
  return true;
}

bool TUserFilePageMapManager::GetRangePages(TCFSDirItem& file, bool grow, TIntegerArray& pages, std::int32_t count,
                                            std::int64_t position) {
  if (position < 0 || count < 0 || position > std::numeric_limits<std::int64_t>::max() - count)
    throw Exception("TUserFilePageMapManager.GetRangePages - invalid range.");
  const std::int64_t end = position + count;
  bool ok = true;
  if (file.FirstMapPageNo == -1 && grow) ok = SetFileSize(file, true, end);
  TIntegerArray* maps = nullptr;
  TIntegerArray* data = nullptr;
  if (ok && file.FirstMapPageNo != -1) GetMaps(file, maps, data);
  if (ok && end > file.Size && grow) ok = SetFileSize(file, true, end);
  if (!ok) return false;
  pages.Clear();
  if (file.FirstMapPageNo == -1) return true;
  GetMaps(file, maps, data);
  const std::int32_t d = pageFile_.DataSize();
  const std::int64_t last = std::min<std::int64_t>(end / d, std::int64_t(data->Count()) - 1);
  for (std::int64_t i = position / d; i <= last; ++i) pages.Add((*data)[static_cast<std::int32_t>(i)]);
  return true;
}
