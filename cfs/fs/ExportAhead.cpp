#include "cfs/fs/ExportAhead.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "cfs/codecs/compress/CodecScratch.h"
#include "cfs/fs/CFSFileStream.h"
#include "cfs/fs/ContainerFS.h"
#include "platform/Exception.h"

// Workers that unpack blocks in any order; the results are taken in the order of submission.
class TUnpackPool {
 public:
  struct Job {
    std::size_t file = 0;
    TCFSBlockHeader header;
    std::vector<std::uint8_t> data;  // codec output, then the unpacked bytes
    std::uint8_t method = 0;
    std::exception_ptr failure;
    bool ready = false;
    std::size_t size = 0;  // the unpacked size it is counted with until taken
  };

  explicit TUnpackPool(int workers) {
    for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
  }
  ~TUnpackPool() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    workReady_.notify_all();
    workers_.clear();  // joins
  }

  void Submit(Job job) {
    {
      std::lock_guard lock(mutex_);
      pendingBytes_ += job.size;
      jobs_.push_back(std::move(job));
    }
    workReady_.notify_one();
  }
  // Unpacked bytes of the jobs not yet taken.
  std::size_t PendingBytes() {
    std::lock_guard lock(mutex_);
    return pendingBytes_;
  }
  // The file of the oldest job; false when there is none.
  bool Front(std::size_t& file) {
    std::lock_guard lock(mutex_);
    if (jobs_.empty()) return false;
    file = jobs_.front().file;
    return true;
  }
  // The oldest job once it is done (its failure rethrown).
  std::vector<std::uint8_t> Take() {
    std::unique_lock lock(mutex_);
    resultReady_.wait(lock, [&] { return jobs_.front().ready; });
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    --claimed_;
    pendingBytes_ -= job.size;
    lock.unlock();
    if (job.failure) std::rethrow_exception(job.failure);
    return std::move(job.data);
  }

 private:
  void Work() {
    TCodecScratch scratch;
    std::unique_lock lock(mutex_);
    for (;;) {
      workReady_.wait(lock, [&] { return stop_ || claimed_ < jobs_.size(); });
      if (stop_) return;
      // Jobs before claimed_ are taken by a worker or done; references stay valid while this
      // job is not ready, since only ready jobs leave the queue.
      Job& job = jobs_[claimed_++];
      if (job.failure) {
        job.ready = true;
        resultReady_.notify_all();
        continue;
      }
      lock.unlock();
      try {
        job.data = TCFSAdvancedFileStream::UnpackBlock(job.header, job.data, job.method, &scratch);
      } catch (...) {
        job.failure = std::current_exception();
        job.data = {};
      }
      lock.lock();
      job.ready = true;
      resultReady_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable workReady_;
  std::condition_variable resultReady_;
  std::deque<Job> jobs_;
  std::size_t claimed_ = 0;  // jobs at the front handed to a worker
  std::size_t pendingBytes_ = 0;
  bool stop_ = false;
  std::vector<std::jthread> workers_;
};

TExportAhead::TExportAhead(TContainerFS& fs, std::vector<std::string> files, std::string password, int workers)
    : fs_(fs),
      files_(std::move(files)),
      password_(std::move(password)),
      blocksInFlight_(kBlocksPerWorker * static_cast<std::size_t>(std::max(workers, 1))),
      pool_(std::make_unique<TUnpackPool>(std::max(workers, 1))) {}

TExportAhead::~TExportAhead() {
  pool_.reset();  // the workers stop before the streams they read from go
}

TExportAhead::Slot& TExportAhead::SlotOf(std::size_t index) {
  while (base_ + slots_.size() <= index) slots_.emplace_back();
  return slots_[index - base_];
}

bool TExportAhead::TryOpen(std::size_t index, bool mayAsk) {
  Slot& slot = SlotOf(index);
  if (slot.tried) return true;
  const std::string& name = files_[index];
  // A file with a password of its own would be asked for: only at its turn.
  if (!mayAsk && fs_.FileExists(name) && !fs_.Directory().CheckPassword(name, password_)) return false;
  slot.tried = true;
  try {
    slot.stream = std::make_unique<TCFSFileStream>(&fs_, name, 0, password_, "", "", 0);
  } catch (...) {
    slot.failure = std::current_exception();
  }
  return true;
}

void TExportAhead::Fill() {
  while (readFile_ < files_.size() && readFile_ < base_ + kMaxFilesAhead) {
    if (!TryOpen(readFile_, false)) return;
    Slot& slot = SlotOf(readFile_);
    TCFSAdvancedFileStream* inner = slot.stream ? &slot.stream->Inner() : nullptr;
    if (!inner || inner->PassThrough() || slot.readFailed || readBlock_ >= inner->BlockCount()) {
      ++readFile_;
      readBlock_ = 0;
      continue;
    }
    // A full block of this stream must still fit under the cap, which holds blocksInFlight_ of
    // them; the headers were checked against the block size when the stream opened.
    const auto blockSize = static_cast<std::size_t>(inner->BlockSize());
    if (pool_->PendingBytes() + blockSize > blocksInFlight_ * blockSize) return;
    TUnpackPool::Job job;
    job.file = readFile_;
    job.method = inner->Method();
    job.header = inner->Headers().Record(readBlock_);
    job.size = static_cast<std::size_t>(job.header.UnpackedSize);
    try {
      job.data = inner->ReadPackedBlock(readBlock_);
    } catch (...) {
      job.failure = std::current_exception();
      slot.readFailed = true;
    }
    pool_->Submit(std::move(job));
    ++readBlock_;
  }
}

TCFSFileStream& TExportAhead::Open(std::size_t index, const TCFSStreamProgressEvent& onProgress) {
  // Files passed over close; their blocks read ahead are dropped when the next block is taken.
  while (base_ < index && !slots_.empty()) {
    slots_.pop_front();
    ++base_;
  }
  base_ = std::max(base_, index);
  if (readFile_ < index) {
    readFile_ = index;
    readBlock_ = 0;
  }
  TryOpen(index, true);
  Slot& slot = SlotOf(index);
  if (slot.failure) std::rethrow_exception(slot.failure);
  slot.stream->OnProgress = onProgress;
  return *slot.stream;
}

std::vector<std::uint8_t> TExportAhead::TakeBlock(std::size_t index) {
  std::size_t file = 0;
  while (pool_->Front(file) && file < index) {
    try {
      pool_->Take();
    } catch (...) {
      // A file passed over: its failure is nobody's.
    }
  }
  Fill();
  if (!pool_->Front(file) || file != index)
    throw Exception("TCFSAdvancedFileStream.LoadBlock - decompression error.");
  return pool_->Take();
}
