#include "cfs/fs/ImportAhead.h"

#include <algorithm>
#include <string>

#include "cfs/codecs/cipher/CFSChecksum.h"
#include "cfs/codecs/compress/CFSCompress.h"
#include "cfs/codecs/compress/CodecScratch.h"
#include "cfs/fs/DiskFileStream.h"
#include "platform/Exception.h"

namespace {

constexpr int kCrcKind = 1;  // CRC-16/ARC, as the block stream checks it

}  // namespace

// The file being read: reading is sequential, one chunk at a time under the lock, since the
// order of the chunks fixes the order of the queue.
struct TImportAhead::Reader {
  std::size_t next = 0;  // the file to open next
  std::unique_ptr<TDiskFileStream> file;
  std::size_t index = 0;  // the open file
  std::int64_t size = 0;
  std::int64_t done = 0;
};

TImportAhead::TImportAhead(std::vector<std::string> files, std::uint8_t method, std::int32_t blockSize,
                           int workers)
    : files_(std::move(files)),
      method_(method),
      blockSize_(blockSize),
      maxInFlight_(kBlocksPerWorker * static_cast<std::size_t>(std::max(workers, 1)) *
                   static_cast<std::size_t>(blockSize)),
      reader_(std::make_unique<Reader>()) {
  for (int i = 0; i < std::max(workers, 1); ++i) workers_.emplace_back([this] { Work(); });
}

TImportAhead::~TImportAhead() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  workReady_.notify_all();
  workers_.clear();  // joins
}

bool TImportAhead::ReadNext(Reader& r, Item*& block) {
  block = nullptr;
  if (!r.file) {
    // Files the storing thread has gone past are not read at all.
    r.next = std::max(r.next, taking_);
    if (r.next >= files_.size()) return false;
    r.index = r.next++;
    Item item;
    item.file = r.index;
    item.ready = true;
    try {
      r.file = std::make_unique<TDiskFileStream>(files_[r.index], TDiskFileStream::OpenKind::Read);
      r.size = r.file->GetSize();
      r.done = 0;
    } catch (...) {
      item.step.kind = Step::Kind::Failure;
      item.step.failure = std::current_exception();
      item.step.atOpen = true;
      queue_.push_back(std::move(item));
      return true;
    }
    if (r.size > 0) return true;
    item.step.kind = Step::Kind::End;  // an empty file: no block at all
    item.step.stamp = r.file->CurrentStamp();
    queue_.push_back(std::move(item));
    r.file.reset();
    return true;
  }
  Item item;
  item.file = r.index;
  if (r.index < taking_) {
    r.file.reset();  // abandoned: the storing thread is past this file
    return true;
  }
  const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(blockSize_, r.size - r.done));
  item.data.resize(static_cast<std::size_t>(n));
  try {
    r.file->ReadBuffer(item.data.data(), n);
  } catch (...) {
    item.data = {};
    item.ready = true;
    item.step.kind = Step::Kind::Failure;
    item.step.failure = std::current_exception();
    queue_.push_back(std::move(item));
    r.file.reset();
    return true;
  }
  r.done += n;
  item.step.kind = Step::Kind::Block;
  item.step.sourcePosition = r.done;
  item.step.sourceSize = r.size;
  item.size = static_cast<std::size_t>(n);
  queue_.push_back(std::move(item));
  block = &queue_.back();  // push_back keeps references to the other items valid
  bytesInFlight_ += block->size;
  peakInFlight_ = std::max(peakInFlight_, bytesInFlight_);
  if (r.done >= r.size) {
    Item end;
    end.file = r.index;
    end.ready = true;
    end.step.kind = Step::Kind::End;
    end.step.sourcePosition = end.step.sourceSize = r.size;
    end.step.stamp = r.file->CurrentStamp();
    queue_.push_back(std::move(end));
    r.file.reset();
  }
  return true;
}

void TImportAhead::Compress(Item& item, TCodecScratch& scratch) const {
  Step& s = item.step;
  const auto n = static_cast<std::int32_t>(item.data.size());
  s.header.UnpackedSize = n;
  s.header.Crc = Checksum(item.data.data(), item.data.size(), kCrcKind);
  if (!CompressBuffer(item.data.data(), n, s.packed, method_, s.header, &scratch)) {
    // The text the block stream raises for the same failure.
    s.packed.clear();
    throw Exception("TCFSAdvancedFileStream.PrepareBufferForWriting - compression error in PrepareBuffer.");
  }
}

void TImportAhead::Work() {
  TCodecScratch scratch;
  std::unique_lock lock(mutex_);
  for (;;) {
    // A full block must fit under the cap (the next one may be that large), so the cap is never
    // passed; it holds at least one block, so this never waits on an empty queue.
    const auto fullBlock = static_cast<std::size_t>(blockSize_);
    workReady_.wait(lock, [&] {
      return stop_ || (bytesInFlight_ + fullBlock <= maxInFlight_ && queue_.size() < kMaxQueued);
    });
    if (stop_) return;
    Item* block = nullptr;
    if (!ReadNext(*reader_, block)) {
      workReady_.wait(lock, [&] { return stop_; });
      return;
    }
    if (!block) {
      stepReady_.notify_all();
      continue;
    }
    const bool wanted = block->file >= taking_;
    lock.unlock();
    if (wanted) {
      try {
        Compress(*block, scratch);
      } catch (...) {
        block->step.kind = Step::Kind::Failure;
        block->step.failure = std::current_exception();
      }
    }
    block->data = {};
    lock.lock();
    block->ready = true;
    stepReady_.notify_all();
  }
}

void TImportAhead::MoveOnTo(std::size_t index) {
  if (index > taking_) {
    taking_ = index;
    workReady_.notify_all();
  }
}

void TImportAhead::PopFront() {
  bytesInFlight_ -= queue_.front().size;
  queue_.pop_front();
  workReady_.notify_all();
}

void TImportAhead::DropPassedOver(std::size_t index) {
  // Ready steps of files passed over are dropped; one still compressing is left to finish.
  while (!queue_.empty() && queue_.front().ready && queue_.front().file < index) PopFront();
}

void TImportAhead::RequireListed(std::size_t index) const {
  // A step of a file never listed would be waited for forever.
  if (index >= files_.size()) throw Exception("TImportAhead - file " + std::to_string(index) + " was not listed.");
}

TImportAhead::Step TImportAhead::Take(std::size_t index) {
  RequireListed(index);
  std::unique_lock lock(mutex_);
  MoveOnTo(index);
  for (;;) {
    DropPassedOver(index);
    if (!queue_.empty() && queue_.front().file == index && queue_.front().ready) {
      Step step = std::move(queue_.front().step);
      PopFront();
      return step;
    }
    stepReady_.wait(lock);
  }
}

std::exception_ptr TImportAhead::OpenFailure(std::size_t index) {
  RequireListed(index);
  std::unique_lock lock(mutex_);
  MoveOnTo(index);
  for (;;) {
    DropPassedOver(index);
    if (!queue_.empty() && queue_.front().file >= index) {
      const Item& front = queue_.front();
      // Only blocks are queued before they are ready, and a block means the file opened.
      if (front.file == index && front.ready && front.step.kind == Step::Kind::Failure && front.step.atOpen)
        return front.step.failure;
      return nullptr;
    }
    stepReady_.wait(lock);
  }
}

std::size_t TImportAhead::InFlight() {
  std::lock_guard lock(mutex_);
  return bytesInFlight_;
}

std::size_t TImportAhead::PeakInFlight() {
  std::lock_guard lock(mutex_);
  return peakInFlight_;
}
