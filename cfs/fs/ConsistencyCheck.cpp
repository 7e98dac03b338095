#include "cfs/fs/ConsistencyCheck.h"

#include <algorithm>

#include "cfs/fs/BulkSupport.h"
#include "platform/Exception.h"
#include "platform/Text.h"

namespace {

// Reach of an item from the root, filled once per item.
constexpr std::int32_t kUnknown = -1;
constexpr std::int32_t kVisiting = -2;
constexpr std::int32_t kUnreachable = -3;
constexpr std::int32_t kInCycle = -4;

// Page owners: none, the header or an allocation map, the directory, else item n as n + 1.
constexpr std::int32_t kNoOwner = 0;
constexpr std::int32_t kMapsOwner = -1;
constexpr std::int32_t kDirectoryOwner = -2;

class TChecker {
 public:
  explicit TChecker(TContainerFS& fs) : fs_(fs), dir_(fs.Directory().Items()), count_(dir_.ItemCount()) {}

  std::vector<TCFSConsistencyProblem> Run() {
    CheckItems();
    ComputeDepths();
    CheckNames();
    CheckPages();
    std::vector<TCFSConsistencyProblem> out;
    out.reserve(pending_.size() + problems_.size());
    for (auto& [n, text] : pending_) out.push_back({n, Describe(n), std::move(text)});
    for (auto& p : problems_) out.push_back(std::move(p));
    return out;
  }

 private:
  bool Live(std::int32_t n) const { return n >= 0 && n < count_ && !dir_.Item(n).IsDeleted; }
  bool LiveFolder(std::int32_t n) const { return Live(n) && dir_.Item(n).IsFolder; }

  // The path from the root while the item hangs below it within the walked depth; otherwise its
  // name and number (its parents may loop or lead nowhere).
  std::string Describe(std::int32_t n) const {
    const TCFSDirItem& item = dir_.Item(n);
    const std::int32_t d = depth_.empty() ? kUnknown : depth_[static_cast<std::size_t>(n)];
    if (d < 1 || d > bulk::kMaxFolderDepth + 1) return "\"" + item.Name + "\" (item " + std::to_string(n) + ")";
    std::vector<const std::string*> names;
    for (std::int32_t p = n; p >= 0; p = dir_.Item(p).Parent) names.push_back(&dir_.Item(p).Name);
    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it) path += (path.empty() ? "" : "\\") + **it;
    return path + (item.IsFolder ? "\\" : "");
  }

  void Report(std::int32_t n, std::string text) { pending_.push_back({n, std::move(text)}); }

  void CheckItems() {
    for (std::int32_t n = 0; n < count_; ++n) {
      if (!Live(n)) continue;
      const TCFSDirItem& item = dir_.Item(n);
      if (item.IsFolder != ((item.Attributes & TCFSDirItem::kFolderAttribute) != 0))
        Report(n, "its folder flag and its folder attribute disagree");
      if (item.IsFolder && (item.FirstMapPageNo != -1 || item.Size != 0))
        Report(n, "a folder that owns data");
      if (!item.IsFolder && item.FirstMapPageNo == -1 && item.Size != 0)
        Report(n, "a size of " + std::to_string(item.Size) + " bytes but no pages");
      if (item.Parent != kCFSRootItem && !LiveFolder(item.Parent))
        Report(n, Live(item.Parent) ? "its parent is a file" : "its parent is a deleted item");
    }
  }

  // Depth below the root of every live item (1 for the root's own items), walking each parent
  // chain once: an item met again while its chain is still open closes a cycle.
  void ComputeDepths() {
    depth_.assign(static_cast<std::size_t>(count_), kUnknown);
    std::vector<std::int32_t> chain;
    for (std::int32_t start = 0; start < count_; ++start) {
      if (!Live(start) || depth_[static_cast<std::size_t>(start)] != kUnknown) continue;
      chain.clear();
      std::int32_t base = kUnreachable;
      for (std::int32_t cur = start;;) {
        std::int32_t& state = depth_[static_cast<std::size_t>(cur)];
        if (state == kVisiting) {
          const auto from = std::find(chain.begin(), chain.end(), cur);
          for (auto it = from; it != chain.end(); ++it) depth_[static_cast<std::size_t>(*it)] = kInCycle;
          chain.erase(from, chain.end());
          break;
        }
        if (state != kUnknown) {
          base = state >= 1 ? state : kUnreachable;
          break;
        }
        state = kVisiting;
        chain.push_back(cur);
        const std::int32_t parent = dir_.Item(cur).Parent;
        if (parent == kCFSRootItem) {
          base = 0;
          break;
        }
        if (!LiveFolder(parent)) break;  // reported by CheckItems
        cur = parent;
      }
      for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        depth_[static_cast<std::size_t>(*it)] = base >= 0 ? ++base : kUnreachable;
    }
    for (std::int32_t n = 0; n < count_; ++n) {
      if (!Live(n)) continue;
      const std::int32_t d = depth_[static_cast<std::size_t>(n)];
      const std::int32_t parent = dir_.Item(n).Parent;
      if (d == kInCycle) {
        Report(n, "its folders form a cycle");
      } else if (d == kUnreachable && (parent == kCFSRootItem || LiveFolder(parent))) {
        Report(n, "cannot be reached from the root");
      } else if (d == bulk::kMaxFolderDepth + 1 && dir_.Item(n).IsFolder) {
        Report(n, "folders nested deeper than " + std::to_string(bulk::kMaxFolderDepth));
      }
    }
  }

  // Equal names sort next to each other in the name index, and among them equal parents.
  void CheckNames() {
    const TIntegerArray& index = dir_.NameIndex();
    for (std::int32_t k = 1; k < index.Count(); ++k) {
      const TCFSDirItem& a = dir_.Item(index[k - 1]);
      const TCFSDirItem& b = dir_.Item(index[k]);
      if (a.Parent == b.Parent && platform::SameTextCp936(a.Name, b.Name))
        Report(index[k], "another item of its folder has the same name (" + Describe(index[k - 1]) + ")");
    }
  }

  std::string OwnerName(std::int32_t owner) const {
    if (owner == kMapsOwner) return "the allocation maps";
    if (owner == kDirectoryOwner) return "the directory";
    return Describe(owner - 1);
  }

  void Claim(std::int32_t page, std::int32_t who) {
    if (page < 0 || page >= static_cast<std::int32_t>(owner_.size())) return;
    std::int32_t& owner = owner_[static_cast<std::size_t>(page)];
    if (owner == kNoOwner) {
      owner = who;
      return;
    }
    const std::string text = "page " + std::to_string(page) + " is also owned by ";
    if (who > 0) {
      Report(who - 1, text + OwnerName(owner));
    } else if (owner > 0) {
      Report(owner - 1, text + OwnerName(who));
    } else {
      problems_.push_back({-1, "page " + std::to_string(page), "owned by both " + OwnerName(owner) + " and " + OwnerName(who)});
    }
  }

  void CheckPages() {
    TFreeSpaceManager& space = fs_.FreeSpace();
    const std::int32_t pageCount = fs_.PageFile().Header().PageCount();
    owner_.assign(static_cast<std::size_t>(std::max(pageCount, 1)), kNoOwner);
    Claim(0, kMapsOwner);
    for (std::int32_t i = 0; i < space.PFSPageMap().Count(); ++i) Claim(space.PFSPageMap()[i], kMapsOwner);
    for (std::int32_t i = 0; i < space.GAMPageMap().Count(); ++i) {
      Claim(space.GAMPageMap()[i], kMapsOwner);
      Claim(space.GAMPageMap()[i] + 1, kMapsOwner);
    }
    const TIntegerArray& dirPages = fs_.Directory().PageList();
    for (std::int32_t i = 0; i < dirPages.Count(); ++i) Claim(dirPages[i], kDirectoryOwner);

    std::vector<std::int32_t> pages;
    for (std::int32_t n = 0; n < count_; ++n) {
      if (!Live(n) || dir_.Item(n).FirstMapPageNo == -1) continue;
      pages.clear();
      try {
        TIntegerArray* maps = nullptr;
        TIntegerArray* data = nullptr;
        fs_.PageMaps().GetMaps(dir_.Item(n), maps, data);
        // Copied at once: the lists belong to the page map cache.
        for (const TIntegerArray* list : {maps, data})
          pages.insert(pages.end(), list->Data(), list->Data() + list->Count());
      } catch (const Exception& e) {
        Report(n, "its page maps cannot be read: " + e.Message());
        continue;
      }
      for (std::int32_t p : pages) Claim(p, n + 1);
    }

    const std::int64_t first = space.FirstExtentPage();
    const std::int64_t area = std::int64_t(space.ExtentCount()) * space.Geometry().E;
    for (std::int32_t p = 1; p < pageCount; ++p) {
      const std::int32_t owner = owner_[static_cast<std::size_t>(p)];
      const bool inArea = p >= first && p - first < area;
      if (owner > 0 && space.IsPageFree(p)) {
        Report(owner - 1, "page " + std::to_string(p) + " is marked free");
      } else if (owner == kNoOwner && inArea && !space.IsPageFree(p)) {
        problems_.push_back({-1, "page " + std::to_string(p), "in use but owned by nothing"});
      }
    }
  }

  TContainerFS& fs_;
  const TDIRArray& dir_;
  std::int32_t count_;
  std::vector<std::int32_t> depth_;
  std::vector<std::int32_t> owner_;
  // Item problems wait for the depths, which their paths need.
  std::vector<std::pair<std::int32_t, std::string>> pending_;
  std::vector<TCFSConsistencyProblem> problems_;

};

}  // namespace

std::vector<TCFSConsistencyProblem> CheckConsistency(TContainerFS& container) {
  return TChecker(container).Run();
}

void RequireConsistentContainer(TContainerFS& container, const std::string& operation) {
  constexpr std::size_t kNamed = 5;
  const std::vector<TCFSConsistencyProblem> problems = CheckConsistency(container);
  if (problems.empty()) return;
  std::string list;
  for (std::size_t i = 0; i < problems.size() && i < kNamed; ++i)
    list += (list.empty() ? "" : "; ") + problems[i].Path + ": " + problems[i].Text;
  if (problems.size() > kNamed) list += "; and " + std::to_string(problems.size() - kNamed) + " more";
  throw Exception(operation + " - damaged directory: " + list);
}
