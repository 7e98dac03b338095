#include "cfs/codecs/compress/CodecScratch.h"

#include <algorithm>
#include <limits>

void* TCodecScratch::Allocate(std::size_t size) noexcept {
  for (Block& b : blocks_) {
    if (!b.used && b.size == size) {
      b.used = true;
      return b.data.get();
    }
  }
  TrimUnused(size);
  try {
    Block b;
    b.data = std::make_unique_for_overwrite<std::uint8_t[]>(std::max<std::size_t>(size, 1));
    b.size = size;
    b.used = true;
    blocks_.push_back(std::move(b));
    return blocks_.back().data.get();
  } catch (...) {
    return nullptr;
  }
}

void TCodecScratch::Release(void* block) noexcept {
  for (Block& b : blocks_) {
    if (b.data.get() == block) {
      b.used = false;
      return;
    }
  }
}

std::vector<std::uint8_t>& TCodecScratch::Output(std::size_t size) {
  if (output_.size() < size) output_.resize(size);
  return output_;
}

std::size_t TCodecScratch::HeldBytes() const {
  std::size_t total = 0;
  for (const Block& b : blocks_) total += b.size;
  return total;
}

void TCodecScratch::TrimUnused(std::size_t room) noexcept {
  std::size_t held = HeldBytes();
  for (auto it = blocks_.begin(); it != blocks_.end() && held + room > kKeptBytes;) {
    if (it->used) {
      ++it;
    } else {
      held -= it->size;
      it = blocks_.erase(it);
    }
  }
}

void* TCodecScratch::AllocateItems(void* scratch, std::size_t items, std::size_t size) noexcept {
  if (size != 0 && items > std::numeric_limits<std::size_t>::max() / size) return nullptr;
  return static_cast<TCodecScratch*>(scratch)->Allocate(items * size);
}

void TCodecScratch::ReleaseBlock(void* scratch, void* block) noexcept {
  static_cast<TCodecScratch*>(scratch)->Release(block);
}
