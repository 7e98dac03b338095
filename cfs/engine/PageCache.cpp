#include "cfs/engine/PageCache.h"

#include <algorithm>
#include <cstring>

void TPageCache::Reset(std::size_t pageSize, std::size_t pages) {
  pageSize_ = pageSize;
  entries_.clear();
  entries_.resize(pages);
  clock_ = 0;
}

TPageCache::Entry* TPageCache::Lookup(std::int32_t pageNo) {
  for (Entry& e : entries_)
    if (e.pageNo == pageNo) return &e;
  return nullptr;
}

const std::uint8_t* TPageCache::Find(std::int32_t pageNo, std::size_t length) {
  Entry* e = Lookup(pageNo);
  if (e == nullptr || e->known < length) return nullptr;
  e->lastUse = ++clock_;
  return e->bytes.data();
}

void TPageCache::Store(std::int32_t pageNo, const std::uint8_t* bytes, std::size_t length) {
  if (entries_.empty() || pageNo < 0 || length == 0 || length > pageSize_) return;
  Entry* e = Lookup(pageNo);
  if (e == nullptr) {
    e = &*std::min_element(entries_.begin(), entries_.end(),
                           [](const Entry& a, const Entry& b) { return a.lastUse < b.lastUse; });
    e->pageNo = pageNo;
    e->known = 0;
    if (e->bytes.size() != pageSize_) e->bytes.assign(pageSize_, 0);
  }
  std::memcpy(e->bytes.data(), bytes, length);
  e->known = std::max(e->known, length);
  e->lastUse = ++clock_;
}

void TPageCache::Forget(std::int32_t pageNo) {
  if (Entry* e = Lookup(pageNo)) {
    e->pageNo = -1;
    e->known = 0;
    e->lastUse = 0;
  }
}

void TPageCache::ForgetFrom(std::int64_t fileSize) {
  for (Entry& e : entries_) {
    if (e.pageNo >= 0 && (std::int64_t(e.pageNo) + 1) * std::int64_t(pageSize_) > fileSize) {
      e.pageNo = -1;
      e.known = 0;
      e.lastUse = 0;
    }
  }
}
