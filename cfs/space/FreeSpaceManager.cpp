#include "cfs/space/FreeSpaceManager.h"

#include <algorithm>
#include <limits>
#include <string>

#include "platform/Exception.h"

namespace {

bool GetBit(const std::vector<std::uint8_t>& map, std::int64_t n) {
  return (map[static_cast<std::size_t>(n >> 3)] >> (n & 7)) & 1;
}

void SetBit(std::vector<std::uint8_t>& map, std::int64_t n, bool value) {
  auto& byte = map[static_cast<std::size_t>(n >> 3)];
  const auto mask = static_cast<std::uint8_t>(1u << (n & 7));
  byte = static_cast<std::uint8_t>(value ? byte | mask : byte & ~mask);
}

std::string Num(std::int64_t v) { return std::to_string(v); }

}  // namespace

TFreeSpaceGeometry TFreeSpaceGeometry::For(std::int32_t pageSize, std::int32_t extentPageCount) {
  TFreeSpaceGeometry g;
  g.D = pageSize - static_cast<std::int32_t>(TCFSPageHeader::kSize);
  g.E = extentPageCount;
  if (g.D <= 0 || g.E <= 0) return g;
  const std::int64_t bits = std::int64_t(8) * g.D;
  g.PB = static_cast<std::int32_t>((bits - bits % g.E) / 8);
  g.PX = static_cast<std::int32_t>(std::int64_t(8) * g.PB / g.E);
  if (g.PX <= 0) return g;
  g.GB = static_cast<std::int32_t>((bits - bits % g.PX) / 8);
  g.GX = 8 * g.GB;
  return g;
}

bool TFreeSpaceGeometry::IsMapPage(std::int64_t pageNo) const {
  if (PX <= 0 || GX <= 0) return false;
  const std::int64_t pfsStride = std::int64_t(PX) * E;
  const std::int64_t gamStride = std::int64_t(GX) * E;
  return (pageNo >= 1 && (pageNo - 1) % pfsStride == 0) || (pageNo >= 2 && (pageNo - 2) % gamStride == 0) ||
         (pageNo >= 3 && (pageNo - 3) % gamStride == 0);
}

// The state of one GetPages call: what it asked for, the map pages it changed, and what it
// needs to undo everything when the file cannot grow.
struct TFreeSpaceManager::Request {
  std::int32_t n;
  bool uniform;
  TIntegerArray& pages;
  TIntegerArray pfsDirty;
  TIntegerArray gamDirty;

  struct ExtentBits {
    std::int32_t extent;
    bool gam;
    bool sgam;
  };
  std::vector<ExtentBits> undo;
  std::int32_t extentCount, freeExtents, mixedExtents, pfsPages, gamPages;
  std::size_t pfsBytes, gamBytes;
};

TFreeSpaceManager::TFreeSpaceManager(TPageFileManager& pageFile) : pageFile_(pageFile) {
  const TCFSHeader& h = pageFile_.Header();
  geo_ = TFreeSpaceGeometry::For(h.PageSize(), h.ExtentPageCount());
  // Every map page sits at the start of an extent, and a GAM page always next to a PFS page:
  // that needs a GAM page to cover a whole number of PFS pages.
  if (geo_.PX <= 0 || geo_.GX <= 0 || geo_.GX % geo_.PX != 0)
    throw Exception("TFreeSpaceManager.Create - unsupported geometry, page size = " + Num(h.PageSize()) +
                    ", extent page count = " + Num(h.ExtentPageCount()) + ".");
  F_ = h.FirstExtentPage();
  if (F_ != 1) throw Exception("TFreeSpaceManager.Create - first extent page is " + Num(F_) + ", not 1.");
  const std::int32_t pageCount = h.PageCount();
  if (pageCount < F_) throw Exception("TFreeSpaceManager.Create - page count " + Num(pageCount) + " is too small.");
  extentCount_ = (pageCount - F_) / geo_.E;
  extentAreaPageCount_ = extentCount_ * geo_.E;

  const std::int64_t pfsCount = h.PFSPageCount();
  const std::int64_t gamCount = h.GAMPageCount();
  if (pfsCount * geo_.PX < extentCount_)
    throw Exception("TFreeSpaceManager.Create - PFSPageCount * FPageSize < FExtentCount!");
  if (gamCount * geo_.GX < extentCount_)
    throw Exception("TFreeSpaceManager.Create - GAMPageCount * FPageSize < FExtentCount!");
  // Map pages are added exactly when the extents reach them, so any other count is damage; it
  // also bounds the bitmaps by the extents (and so by the file) before they are allocated.
  if (pfsCount != geo_.PFSPagesFor(extentCount_) || gamCount != geo_.GAMPagesFor(extentCount_))
    throw Exception("TFreeSpaceManager.Create - PFSPageCount = " + Num(pfsCount) + ", GAMPageCount = " +
                    Num(gamCount) + " do not match FExtentCount = " + Num(extentCount_) + "!");
  const std::int64_t storedPages = (pageFile_.File().GetSize() + h.PageSize() - 1) / h.PageSize();
  if (pfsCount > 0 && (geo_.PFSPageNo(pfsCount - 1) >= storedPages || geo_.GAMPageNo(gamCount - 1) + 1 >= storedPages))
    throw Exception("TFreeSpaceManager.Create - allocation map pages lie beyond the end of the file!");

  LoadPFS();
  LoadGAM();
}

void TFreeSpaceManager::LoadPFS() {
  pfsPageMap_.Clear();
  pfs_.clear();
  const std::int32_t count = pageFile_.Header().PFSPageCount();
  if (count <= 0) return;
  pfs_.assign(static_cast<std::size_t>(count) * static_cast<std::size_t>(geo_.PB), 0);
  TCFSPageRec rec;
  for (std::int32_t k = 0; k < count; ++k) {
    const auto pageNo = static_cast<std::int32_t>(geo_.PFSPageNo(k));
    rec.Data = std::span<std::uint8_t>(pfs_).subspan(static_cast<std::size_t>(k) * geo_.PB, geo_.PB);
    // Map pages are never enciphered; a page of another type is not a PFS page.
    if (!pageFile_.ReadPage(rec, pageNo, true, {}, geo_.PB) || rec.Header.PageType != kPageTypePFS ||
        rec.Header.EncryptionType != kEncryptionNone)
      throw Exception("TFreeSpaceManager.LoadPFS - can not load page, pageNo = " + Num(pageNo));
    pfsPageMap_.Add(pageNo);
  }
}

void TFreeSpaceManager::LoadGAM() {
  gamPageMap_.Clear();
  gam_.clear();
  sgam_.clear();
  freeExtentCount_ = 0;
  mixedExtentCount_ = 0;
  const std::int32_t count = pageFile_.Header().GAMPageCount();
  if (count <= 0) return;
  const auto bytes = static_cast<std::size_t>(count) * static_cast<std::size_t>(geo_.GB);
  gam_.assign(bytes, 0);
  sgam_.assign(bytes, 0);
  TCFSPageRec rec;
  for (std::int32_t k = 0; k < count; ++k) {
    const auto pageNo = static_cast<std::int32_t>(geo_.GAMPageNo(k));
    const std::size_t at = static_cast<std::size_t>(k) * geo_.GB;
    rec.Data = std::span<std::uint8_t>(gam_).subspan(at, geo_.GB);
    if (!pageFile_.ReadPage(rec, pageNo, true, {}, geo_.GB) || rec.Header.PageType != kPageTypeGAM ||
        rec.Header.EncryptionType != kEncryptionNone)
      throw Exception("TFreeSpaceManager.LoadGAM - can not load page, pageNo = " + Num(pageNo));
    rec.Data = std::span<std::uint8_t>(sgam_).subspan(at, geo_.GB);
    if (!pageFile_.ReadPage(rec, pageNo + 1, true, {}, geo_.GB) || rec.Header.PageType != kPageTypeSGAM ||
        rec.Header.EncryptionType != kEncryptionNone)
      throw Exception("TFreeSpaceManager.LoadGAM - can not load SGAM page, pageNo = " + Num(pageNo));
    gamPageMap_.Add(pageNo);
  }
  // The extent counters follow the bits just loaded.
  freeExtentCount_ = 0;
  mixedExtentCount_ = 0;
  for (std::int32_t e = 0; e < extentCount_; ++e) {
    if (GetBit(gam_, e)) ++freeExtentCount_;
    if (GetBit(sgam_, e)) ++mixedExtentCount_;
  }
}

void TFreeSpaceManager::SavePFS(const TIntegerArray& dirty) {
  if (dirty.Count() != pfsPageMap_.Count())
    throw Exception("TFreeSpaceManager.SavePFS - pages.ItemCount <> PFSPageMap.ItemCount!");
  TCFSPageRec rec;
  for (std::int32_t k = 0; k < dirty.Count(); ++k) {
    if (dirty[k] != 1) continue;
    rec.Header = TCFSPageHeader{};
    rec.Header.PageType = kPageTypePFS;
    rec.Data = std::span<std::uint8_t>(pfs_).subspan(static_cast<std::size_t>(k) * geo_.PB, geo_.PB);
    if (!pageFile_.WritePage(rec, pfsPageMap_[k], {}, geo_.PB))
      throw Exception("TFreeSpaceManager.SavePFS - can not save page, pageNo = " + Num(pfsPageMap_[k]));
  }
}

void TFreeSpaceManager::SaveGAM(const TIntegerArray& dirty) {
  if (dirty.Count() != gamPageMap_.Count())
    throw Exception("TFreeSpaceManager.SaveGAM - pages.ItemCount <> GAMPageMap.ItemCount!");
  TCFSPageRec rec;
  for (std::int32_t k = 0; k < dirty.Count(); ++k) {
    if (dirty[k] != 1) continue;
    const std::int32_t pageNo = gamPageMap_[k];
    const std::size_t at = static_cast<std::size_t>(k) * geo_.GB;
    rec.Header = TCFSPageHeader{};
    rec.Header.PageType = kPageTypeGAM;
    rec.Data = std::span<std::uint8_t>(gam_).subspan(at, geo_.GB);
    if (!pageFile_.WritePage(rec, pageNo, {}, geo_.GB))
      throw Exception("TFreeSpaceManager.SaveGAM - can not save page, pageNo = " + Num(pageNo));
    rec.Header = TCFSPageHeader{};
    rec.Header.PageType = kPageTypeSGAM;
    rec.Data = std::span<std::uint8_t>(sgam_).subspan(at, geo_.GB);
    if (!pageFile_.WritePage(rec, pageNo + 1, {}, geo_.GB))
      throw Exception("TFreeSpaceManager.SaveGAM - can not save SGAM page, pageNo = " + Num(pageNo));
  }
}

bool TFreeSpaceManager::IsPageFree(std::int32_t pageNo) const {
  const std::int64_t i = std::int64_t(pageNo) - F_;
  return i >= 0 && i < extentAreaPageCount_ && GetBit(pfs_, i);
}

bool TFreeSpaceManager::IsExtentFree(std::int32_t extent) const {
  return extent >= 0 && extent < extentCount_ && GetBit(gam_, extent);
}

bool TFreeSpaceManager::IsExtentMixed(std::int32_t extent) const {
  return extent >= 0 && extent < extentCount_ && GetBit(sgam_, extent);
}

std::int32_t TFreeSpaceManager::LastUsedPage() const {
  // Whole bytes of free pages are skipped at once; the area always fills whole bytes of the map
  // except perhaps the last one.
  std::int64_t i = std::min<std::int64_t>(std::int64_t(pageFile_.Header().PageCount()) - F_, extentAreaPageCount_) - 1;
  while (i >= 0) {
    if ((i & 7) == 7 && pfs_[static_cast<std::size_t>(i >> 3)] == 0xFF) {
      i -= 8;
      continue;
    }
    if (!GetBit(pfs_, i)) return static_cast<std::int32_t>(F_ + i);
    --i;
  }
  return 0;
}

void TFreeSpaceManager::TakeFromExtent(std::int32_t j, Request& r) {
  const std::int32_t E = geo_.E;
  // Sets the extent's GAM and SGAM bits, keeping the free and mixed extent counts equal to the
  // number of set bits and remembering the old bits for a rollback.
  auto setExtent = [&](bool gamBit, bool sgamBit) {
    const bool oldGam = GetBit(gam_, j), oldSgam = GetBit(sgam_, j);
    if (oldGam == gamBit && oldSgam == sgamBit) return;
    r.undo.push_back({j, oldGam, oldSgam});
    freeExtentCount_ += int(gamBit) - int(oldGam);
    mixedExtentCount_ += int(sgamBit) - int(oldSgam);
    SetBit(gam_, j, gamBit);
    SetBit(sgam_, j, sgamBit);
    r.gamDirty.Set(j / geo_.GX, 1);
  };
  const std::int64_t first = std::int64_t(j) * E;
  for (std::int64_t k = first; k < first + E && r.pages.Count() < r.n; ++k) {
    // Only a page actually taken changes the extent's state.
    if (!GetBit(pfs_, k)) continue;
    r.pfsDirty.Set(j / geo_.PX, 1);
    SetBit(pfs_, k, false);
    r.pages.Add(static_cast<std::int32_t>(F_ + k));
    // Its first page makes the extent uniform or mixed; its last page leaves no room.
    if (k == first) setExtent(false, !r.uniform);
    if (k == first + E - 1) setExtent(false, false);
    // A page taken from a wholly free extent other than its first (a hint into the middle of a
    // free extent cannot happen, but damaged maps can say so) still leaves the extent not free.
    if (GetBit(gam_, j)) setExtent(false, !r.uniform);
  }
}

void TFreeSpaceManager::ScanExtents(std::int32_t& j, Request& r) {
  for (; j < extentCount_ && r.pages.Count() < r.n; ++j)
    if (GetBit(gam_, j) || (GetBit(sgam_, j) && !r.uniform)) TakeFromExtent(j, r);
}

std::int32_t TFreeSpaceManager::AddExtents(std::int32_t missing, Request& r) {
  const std::int32_t E = geo_.E;
  TCFSHeader& h = pageFile_.Header();
  std::int64_t gained = 0;
  std::int32_t added = 0;
  // Sets an extent's GAM and SGAM bits, remembering bits that lie in an existing GAM page (the
  // pages added here are dropped whole by a rollback).
  auto setBits = [&](std::int64_t e, bool gamBit, bool sgamBit) {
    if ((e >> 3) < static_cast<std::int64_t>(r.gamBytes))
      r.undo.push_back({static_cast<std::int32_t>(e), GetBit(gam_, e), GetBit(sgam_, e)});
    SetBit(gam_, e, gamBit);
    SetBit(sgam_, e, sgamBit);
    r.gamDirty.Set(static_cast<std::int32_t>(e / geo_.GX), 1);
  };
  while (gained < missing) {
    const std::int64_t e = std::int64_t(extentCount_) + added;
    // The new extents must stay addressable by int32 page numbers, header page count included.
    if (F_ + (e + 1) * E + E > std::numeric_limits<std::int32_t>::max()) break;
    const bool needPFS = e == std::int64_t(geo_.PX) * h.PFSPageCount();
    const bool needGAM = e == std::int64_t(geo_.GX) * h.GAMPageCount();
    if (!needPFS && !needGAM) {
      // An ordinary new extent: wholly free. The bits are set here rather than trusted, so a
      // damaged tail of a map page cannot make new extents unusable.
      for (std::int64_t k = e * E; k < e * E + E; ++k) SetBit(pfs_, k, true);
      r.pfsDirty.Set(static_cast<std::int32_t>(e / geo_.PX), 1);
      setBits(e, true, false);
      gained += E;
      ++freeExtentCount_;
      ++added;
      continue;
    }
    // A GAM boundary is always a PFS boundary too (checked when the manager was created).
    h.SetPFSPageCount(h.PFSPageCount() + 1);
    pfs_.resize(pfs_.size() + static_cast<std::size_t>(geo_.PB), 0xFF);
    pfsPageMap_.Add(static_cast<std::int32_t>(geo_.PFSPageNo(pfsPageMap_.Count())));
    r.pfsDirty.Add(1);
    for (std::int64_t k = e * E; k < e * E + E; ++k) SetBit(pfs_, k, true);
    SetBit(pfs_, e * E, false);
    int m = 1;
    if (needGAM) {
      h.SetGAMPageCount(h.GAMPageCount() + 1);
      gam_.resize(gam_.size() + static_cast<std::size_t>(geo_.GB), 0xFF);
      sgam_.resize(sgam_.size() + static_cast<std::size_t>(geo_.GB), 0x00);
      for (std::int64_t k = e * E + 1; k <= e * E + 2; ++k) SetBit(pfs_, k, false);
      gamPageMap_.Add(static_cast<std::int32_t>(geo_.GAMPageNo(gamPageMap_.Count())));
      r.gamDirty.Add(1);
      m += 2;
    }
    const std::int32_t x = m / E + (m % E > 0 ? 1 : 0);
    // With fewer than 3 pages per extent the map pages spill into the following extents, whose
    // PFS bits lie in the PFS page just added (x <= 3 <= PX).
    for (std::int64_t l = e; l < e + x - 1; ++l) setBits(l, false, false);
    const std::int64_t l = e + x - 1;
    for (std::int64_t k = (e + 1) * E; k < (l + 1) * E; ++k)
      if (k >= e * E + m) SetBit(pfs_, k, true);
    if (m % E > 0) {
      ++mixedExtentCount_;
      if (!r.uniform) gained += E - m % E;
    }
    setBits(l, false, m % E > 0);
    added += x;
  }
  extentCount_ += added;
  extentAreaPageCount_ = extentCount_ * E;
  return added;
}

void TFreeSpaceManager::Rollback(const Request& r) {
  for (std::int32_t i = 0; i < r.pages.Count(); ++i) {
    const std::int64_t k = std::int64_t(r.pages[i]) - F_;
    if (k >= 0 && (k >> 3) < static_cast<std::int64_t>(pfs_.size())) SetBit(pfs_, k, true);
  }
  for (auto it = r.undo.rbegin(); it != r.undo.rend(); ++it) {
    SetBit(gam_, it->extent, it->gam);
    SetBit(sgam_, it->extent, it->sgam);
  }
  // Map pages added by this request go whole; extents beyond the restored count are prepared
  // afresh when they are added again.
  pfs_.resize(r.pfsBytes);
  gam_.resize(r.gamBytes);
  sgam_.resize(r.gamBytes);
  pfsPageMap_.SetCount(r.pfsPages);
  gamPageMap_.SetCount(r.gamPages);
  TCFSHeader& h = pageFile_.Header();
  h.SetPFSPageCount(r.pfsPages);
  h.SetGAMPageCount(r.gamPages);
  extentCount_ = r.extentCount;
  extentAreaPageCount_ = extentCount_ * geo_.E;
  freeExtentCount_ = r.freeExtents;
  mixedExtentCount_ = r.mixedExtents;
  r.pages.Clear();
}

bool TFreeSpaceManager::GetPages(std::int32_t count, std::int32_t hintPage, TIntegerArray& pages, bool uniform) {
  pages.Clear();
  Request r{count,
            uniform,
            pages,
            TIntegerArray(pfsPageMap_.Count()),
            TIntegerArray(gamPageMap_.Count()),
            {},
            extentCount_,
            freeExtentCount_,
            mixedExtentCount_,
            pfsPageMap_.Count(),
            gamPageMap_.Count(),
            pfs_.size(),
            gam_.size()};
  if (count <= 0) return true;

  // The hint's extent, the division truncating toward zero (hint 0 still means extent 0).
  std::int32_t j = 0;
  const std::int64_t hintExtent = (std::int64_t(hintPage) - F_) / geo_.E;
  if (hintExtent >= 0 && hintExtent < extentCount_) TakeFromExtent(static_cast<std::int32_t>(hintExtent), r);

  if ((uniform && freeExtentCount_ > 0) || (!uniform && (mixedExtentCount_ > 0 || freeExtentCount_ > 0)))
    ScanExtents(j, r);
  else
    j = extentCount_;

  if (pages.Count() < count) {
    // Only the int32 range of page numbers stops the growth.
    if (AddExtents(count - pages.Count(), r) == 0) {
      Rollback(r);
      throw Exception("TFreeSpaceManager.GetPages - AddExtents does not append any extents.");
    }
    const std::int32_t added = extentCount_ - r.extentCount;
    if (!pageFile_.AddPages(geo_.E * added)) {
      Rollback(r);
      return false;
    }
    ScanExtents(j, r);
    if (pages.Count() < count) {
      // The header already counts the new extents: keep the maps on disk in step with it.
      SaveGAM(r.gamDirty);
      SavePFS(r.pfsDirty);
      throw Exception("TFreeSpaceManager.GetPages - AddExtents appends too small pages.");
    }
  }

  std::int32_t top = 0;
  for (std::int32_t i = 0; i < pages.Count(); ++i) top = std::max(top, pages[i]);
  const std::int32_t pageCount = pageFile_.Header().PageCount();
  if (pageCount - 1 < top && !pageFile_.AddPages(top - pageCount + 1)) {
    Rollback(r);
    return false;
  }
  SaveGAM(r.gamDirty);
  SavePFS(r.pfsDirty);
  return true;
}

void TFreeSpaceManager::CheckExtentFree(std::int32_t j, TIntegerArray& gamDirty) {
  const std::int64_t first = std::int64_t(j) * geo_.E;
  for (std::int64_t k = first; k < first + geo_.E; ++k)
    if (!GetBit(pfs_, k)) return;
  // An extent that is already free stays counted once.
  if (GetBit(gam_, j)) return;
  if (GetBit(sgam_, j)) --mixedExtentCount_;
  SetBit(gam_, j, true);
  SetBit(sgam_, j, false);
  gamDirty.Set(j / geo_.GX, 1);
  ++freeExtentCount_;
}

void TFreeSpaceManager::FreePages(TIntegerArray& pages) {
  // Refuse pages below the extent area and the map pages before anything changes.
  for (std::int32_t i = 0; i < pages.Count(); ++i) {
    const std::int32_t p = pages[i];
    if (p < F_ || geo_.IsMapPage(p))
      throw Exception("TFreeSpaceManager.FreePages - invalid page, pageNo = " + Num(p));
  }
  std::vector<std::uint8_t> extentDirty(static_cast<std::size_t>(extentCount_), 0);
  TIntegerArray pfsDirty(pfsPageMap_.Count());
  TIntegerArray gamDirty(gamPageMap_.Count());

  const std::int32_t top = LastUsedPage();
  pages.Sort(false);
  std::int32_t cut = top;
  const std::int32_t pageCount = pageFile_.Header().PageCount();
  for (std::int32_t n = 0; n < pages.Count(); ++n) {
    const std::int32_t p = pages[n];
    if (p >= cut) cut = p - 1;
    const std::int64_t i = std::int64_t(p) - F_;
    if (p < pageCount && i < extentAreaPageCount_) {
      SetBit(pfs_, i, true);
      const auto e = static_cast<std::int32_t>(i / geo_.E);
      extentDirty[static_cast<std::size_t>(e)] = 1;
      pfsDirty.Set(e / geo_.PX, 1);
    }
  }
  for (std::int32_t e = 0; e < extentCount_; ++e)
    if (extentDirty[static_cast<std::size_t>(e)]) CheckExtentFree(e, gamDirty);
  SaveGAM(gamDirty);
  SavePFS(pfsDirty);

  // The trimmed pages stay in the maps as free pages (the page count is kept); whoever is handed
  // one writes it, which extends the file again.
  if (cut < top) {
    const std::int64_t newSize = (std::int64_t(cut) + 1) * pageFile_.Header().PageSize();
    if (newSize < pageFile_.File().GetSize()) pageFile_.CutFile(newSize);
  }
}
