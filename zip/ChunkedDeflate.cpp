#include "zip/ChunkedDeflate.h"

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "zip/ZipExceptions.h"

namespace zipdeflate {
namespace {

struct Chunk {
  std::vector<unsigned char> input;  // dictionary bytes, then the chunk's own bytes
  std::size_t dictionary = 0;        // how many leading bytes of `input` are dictionary
  bool last = false;
  std::vector<unsigned char> output;
  std::size_t outputSize = 0;  // bytes of `output` in use
  std::exception_ptr error;
  bool done = false;  // guarded by the pipeline's mutex while the chunk is in flight
};

[[noreturn]] void Fail() { throw EZCompressionError("error"); }

// One raw deflate stream, reset for every chunk it compresses.
class Deflater {
 public:
  explicit Deflater(int level) {
    if (deflateInit2(&zs_, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) Fail();
  }
  ~Deflater() { deflateEnd(&zs_); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  void Run(Chunk& c) {
    if (deflateReset(&zs_) != Z_OK) Fail();
    if (c.dictionary > 0 && deflateSetDictionary(&zs_, c.input.data(), static_cast<uInt>(c.dictionary)) != Z_OK) Fail();
    const std::size_t n = c.input.size() - c.dictionary;
    // The bound covers a finished stream; the few bytes of a sync flush marker come on top. The
    // buffer only grows, so that later chunks do not clear it again.
    const std::size_t room = deflateBound(&zs_, static_cast<uLong>(n)) + 16;
    if (c.output.size() < room) c.output.resize(room);
    zs_.next_in = c.input.data() + c.dictionary;
    zs_.avail_in = static_cast<uInt>(n);
    zs_.next_out = c.output.data();
    zs_.avail_out = static_cast<uInt>(c.output.size());
    const int flush = c.last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
      const int rc = deflate(&zs_, flush);
      if (rc < 0) Fail();
      // A sync flush is complete once deflate leaves output room unused.
      if (c.last ? rc == Z_STREAM_END : zs_.avail_out != 0) break;
      const std::size_t used = c.output.size() - zs_.avail_out;
      c.output.resize(c.output.size() + 65536);
      zs_.next_out = c.output.data() + used;
      zs_.avail_out = static_cast<uInt>(c.output.size() - used);
    }
    c.outputSize = c.output.size() - zs_.avail_out;
  }

 private:
  z_stream zs_{};
};

// Cuts the source into chunks, reading it in blocks of the caller's size. A chunk is the last
// one when nothing follows it, so every chunk but the last is full.
class ChunkReader {
 public:
  ChunkReader(const ReadBlock& read, std::size_t ioBlock, std::size_t chunkSize)
      : read_(read), stage_(ioBlock), chunkSize_(chunkSize) {}

  void Next(Chunk& c) {
    c.input.reserve(tail_.size() + chunkSize_);
    c.input.assign(tail_.begin(), tail_.end());
    c.dictionary = tail_.size();
    std::size_t got = 0;
    while (got < chunkSize_ && Refill()) {
      const std::size_t n = std::min(chunkSize_ - got, stageLen_ - stagePos_);
      c.input.insert(c.input.end(), stage_.begin() + static_cast<std::ptrdiff_t>(stagePos_),
                     stage_.begin() + static_cast<std::ptrdiff_t>(stagePos_ + n));
      stagePos_ += n;
      got += n;
    }
    c.last = !Refill();
    const std::size_t keep = std::min(kDictionarySize, got);
    tail_.assign(c.input.end() - static_cast<std::ptrdiff_t>(keep), c.input.end());
  }

 private:
  // True when staged bytes are waiting; reads the next block when none are. The source is not
  // asked again once it has returned 0.
  bool Refill() {
    if (stagePos_ < stageLen_) return true;
    if (ended_) return false;
    stagePos_ = 0;
    stageLen_ = std::min(read_(stage_.data(), stage_.size()), stage_.size());
    ended_ = stageLen_ == 0;
    return !ended_;
  }

  const ReadBlock& read_;
  std::vector<unsigned char> stage_;
  std::size_t stagePos_ = 0, stageLen_ = 0;
  bool ended_ = false;
  std::size_t chunkSize_;
  std::vector<unsigned char> tail_;  // the last kDictionarySize bytes read
};

void WriteOut(const Chunk& c, std::size_t ioBlock, const WriteBlock& write) {
  if (c.error) std::rethrow_exception(c.error);
  for (std::size_t at = 0; at < c.outputSize; at += ioBlock) {
    write(c.output.data() + at, std::min(ioBlock, c.outputSize - at));
  }
}

// Worker threads compressing the chunks in a fixed ring of slots. The owner fills a slot,
// submits it, and takes it back once done; the slots are written in ring order by the owner.
class Pipeline {
 public:
  Pipeline(int level, int threads, std::size_t slots) : level_(level), slots_(slots) {
    threads_.reserve(static_cast<std::size_t>(threads));
    for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
  }
  ~Pipeline() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    work_.notify_all();
    threads_.clear();  // joins
  }
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  std::size_t Capacity() const { return slots_.size(); }
  Chunk& Slot(std::uint64_t index) { return slots_[static_cast<std::size_t>(index % slots_.size())]; }

  void Submit(Chunk& c) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      c.done = false;
      c.error = nullptr;
      queue_.push_back(&c);
    }
    work_.notify_one();
  }
  bool Done(const Chunk& c) {
    std::lock_guard<std::mutex> lock(mutex_);
    return c.done;
  }
  void Wait(const Chunk& c) {
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [&] { return c.done; });
  }

 private:
  void Work() {
    std::optional<Deflater> deflater;  // made on the first chunk, so that a failure lands in a chunk
    for (;;) {
      Chunk* c = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        work_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        c = queue_.front();
        queue_.pop_front();
      }
      std::exception_ptr error;
      try {
        if (!deflater) deflater.emplace(level_);
        deflater->Run(*c);
      } catch (...) {
        error = std::current_exception();
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        c->error = error;
        c->done = true;
      }
      finished_.notify_all();
    }
  }

  const int level_;
  std::mutex mutex_;
  std::condition_variable work_, finished_;
  std::deque<Chunk*> queue_;
  bool stopping_ = false;
  std::vector<Chunk> slots_;
  std::vector<std::jthread> threads_;  // last member: joined before the rest goes
};

}  // namespace

void DeflateChunked(const ChunkedDeflateOptions& options, const ReadBlock& read, const WriteBlock& write) {
  const std::size_t ioBlock = std::max<std::size_t>(options.ioBlock, 1);
  const std::size_t chunkSize = std::max(options.chunkSize, kDictionarySize);
  ChunkReader reader(read, ioBlock, chunkSize);
  int threads = std::max(options.threads, 1);
  if (options.expectedSize > 0) {
    const std::uint64_t chunks = (options.expectedSize + chunkSize - 1) / chunkSize;
    threads = static_cast<int>(std::min<std::uint64_t>(static_cast<std::uint64_t>(threads), chunks));
  }

  if (threads == 1) {
    Chunk c;
    std::optional<Deflater> deflater;
    do {
      reader.Next(c);
      if (!deflater) deflater.emplace(options.level);
      deflater->Run(c);
      WriteOut(c, ioBlock, write);
    } while (!c.last);
    return;
  }

  Pipeline pipeline(options.level, threads, static_cast<std::size_t>(threads) * kChunksInFlightPerThread);
  std::uint64_t nextRead = 0, nextWrite = 0;
  bool allRead = false;
  for (;;) {
    // Finished chunks go out first; then the ring is topped up; only then does the owner wait.
    const bool ready = nextWrite < nextRead && pipeline.Done(pipeline.Slot(nextWrite));
    if (!ready && !allRead && nextRead - nextWrite < pipeline.Capacity()) {
      Chunk& c = pipeline.Slot(nextRead++);
      reader.Next(c);
      allRead = c.last;
      pipeline.Submit(c);
      continue;
    }
    Chunk& c = pipeline.Slot(nextWrite++);
    if (!ready) pipeline.Wait(c);
    WriteOut(c, ioBlock, write);
    if (c.last) return;
  }
}

}  // namespace zipdeflate
