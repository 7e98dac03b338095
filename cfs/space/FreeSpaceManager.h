#pragma once
// Which pages of the container are in use. Three bitmaps live in pages of their own inside the
// extent area (pages F = 1 onward, E pages per extent):
//   PFS   one bit per extent-area page i (page F + i): 1 free, 0 in use
//   GAM   one bit per extent: 1 wholly free
//   SGAM  one bit per extent: 1 a mixed extent that may still have free pages
// Bit n is bit n mod 8 (least significant first) of byte n div 8. In memory each bitmap is the
// concatenation of its pages' data areas. Map page numbers are computed, never stored:
//   PFS page k  = 1 + k * PX * E
//   GAM page k  = 2 + k * GX * E, its SGAM page right after it
// Each sits at the start of the first extent it covers and is marked used in the PFS.
#include <cstdint>
#include <vector>

#include "cfs/engine/PageFileManager.h"
#include "cfs/index/IntegerArray.h"

// Map geometry for a page size and extent page count (integer division throughout).
struct TFreeSpaceGeometry {
  std::int32_t D = 0;   // page data size
  std::int32_t E = 0;   // pages per extent
  std::int32_t PB = 0;  // PFS bytes per page
  std::int32_t PX = 0;  // extents covered by one PFS page
  std::int32_t GB = 0;  // GAM (and SGAM) bytes per page
  std::int32_t GX = 0;  // extents covered by one GAM page

  static TFreeSpaceGeometry For(std::int32_t pageSize, std::int32_t extentPageCount);

  // Page numbers of the k-th PFS and GAM page (the SGAM page follows its GAM page).
  std::int64_t PFSPageNo(std::int64_t k) const { return 1 + k * PX * E; }
  std::int64_t GAMPageNo(std::int64_t k) const { return 2 + k * GX * E; }
  // Map pages needed to cover a number of extents.
  std::int64_t PFSPagesFor(std::int64_t extents) const { return (extents + PX - 1) / PX; }
  std::int64_t GAMPagesFor(std::int64_t extents) const { return (extents + GX - 1) / GX; }
  // Whether a page number is one of the PFS, GAM or SGAM pages.
  bool IsMapPage(std::int64_t pageNo) const;
};

class TFreeSpaceManager {
 public:
  // Computes the geometry, checks the map counts of the header against the extents and the file,
  // and loads the maps. Raises on a damaged header or unreadable map pages.
  explicit TFreeSpaceManager(TPageFileManager& pageFile);
  TFreeSpaceManager(const TFreeSpaceManager&) = delete;
  TFreeSpaceManager& operator=(const TFreeSpaceManager&) = delete;

  // Empties pages and appends count free pages to it, taken from the hint page's extent first.
  // A uniform request takes only wholly free extents (or the hint's). Grows the container when
  // needed. false when growing fails (nothing is changed then); raises when the maps cannot be
  // extended or saved.
  bool GetPages(std::int32_t count, std::int32_t hintPage, TIntegerArray& pages, bool uniform);
  // Returns the pages to free space and trims the run of released pages that ended at the last
  // used page off the file. Sorts pages in descending order. Raises, changing nothing, for page
  // numbers below the extent area or naming a map page.
  void FreePages(TIntegerArray& pages);

  void LoadPFS();
  void LoadGAM();
  // Write the PFS (GAM with SGAM) pages whose entry in dirty is 1; dirty has one entry per page.
  void SavePFS(const TIntegerArray& dirty);
  void SaveGAM(const TIntegerArray& dirty);

  // F + the highest extent-area index in use; 0 when every page is free.
  std::int32_t LastUsedPage() const;

  // Read access for callers' consistency checks.
  const TFreeSpaceGeometry& Geometry() const { return geo_; }
  std::int32_t FirstExtentPage() const { return F_; }
  std::int32_t ExtentCount() const { return extentCount_; }
  std::int32_t FreeExtentCount() const { return freeExtentCount_; }
  std::int32_t MixedExtentCount() const { return mixedExtentCount_; }
  const TIntegerArray& PFSPageMap() const { return pfsPageMap_; }
  const TIntegerArray& GAMPageMap() const { return gamPageMap_; }
  const std::vector<std::uint8_t>& PFSBitmap() const { return pfs_; }
  const std::vector<std::uint8_t>& GAMBitmap() const { return gam_; }
  const std::vector<std::uint8_t>& SGAMBitmap() const { return sgam_; }
  // PFS bit of a page (true: free); pages outside the extent area are reported in use.
  bool IsPageFree(std::int32_t pageNo) const;
  bool IsExtentFree(std::int32_t extent) const;   // GAM bit
  bool IsExtentMixed(std::int32_t extent) const;  // SGAM bit

 private:
  struct Request;
  void TakeFromExtent(std::int32_t j, Request& r);
  void ScanExtents(std::int32_t& j, Request& r);
  std::int32_t AddExtents(std::int32_t missing, Request& r);
  void CheckExtentFree(std::int32_t j, TIntegerArray& gamDirty);
  void Rollback(const Request& r);

  TPageFileManager& pageFile_;
  std::vector<std::uint8_t> pfs_;
  std::vector<std::uint8_t> gam_;
  std::vector<std::uint8_t> sgam_;
  TIntegerArray pfsPageMap_;
  TIntegerArray gamPageMap_;
  TFreeSpaceGeometry geo_;
  std::int32_t F_ = 1;
  std::int32_t freeExtentCount_ = 0;
  std::int32_t mixedExtentCount_ = 0;
  std::int32_t extentCount_ = 0;
  std::int32_t extentAreaPageCount_ = 0;
};
