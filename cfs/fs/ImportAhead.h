#pragma once
// Reads the disk files of an import in order and compresses their blocks on worker threads,
// ahead of the thread that stores them. That thread takes the blocks file by file, in order, and
// writes them exactly where the one-thread path would, so the container's bytes do not depend
// on the thread count. A file is read the way the one-thread path reads it (opened once, its
// size taken at the start, one block-sized chunk after another), and a failure reaches the
// storing thread at the point where that path would have raised it, as the same exception.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cfs/codecs/compress/CFSBlockHeader.h"
#include "cfs/fs/DiskFileStream.h"

class TImportAhead {
 public:
  // Bytes read but not yet taken, in full blocks per worker: the cap on memory whatever the tree.
  // Counted in bytes, not blocks, so that the workers run on through small files while one of
  // them is still on a large block at the head of the queue.
  static constexpr std::size_t kBlocksPerWorker = 4;
  // Steps waiting in all (ends of empty files count too), so that a folder of a million empty
  // files does not grow the queue either.
  static constexpr std::size_t kMaxQueued = 256;

  // `files` are disk paths in the order they will be taken; blocks of `blockSize` bytes are
  // compressed with `method` (not 0). Starts `workers` threads (at least 1).
  TImportAhead(std::vector<std::string> files, std::uint8_t method, std::int32_t blockSize, int workers);
  ~TImportAhead();
  TImportAhead(const TImportAhead&) = delete;
  TImportAhead& operator=(const TImportAhead&) = delete;

  // One step of a file: a compressed block, the file's end, or the failure to raise.
  struct Step {
    enum class Kind { Block, End, Failure } kind = Kind::End;
    TCFSBlockHeader header;             // UnpackedSize, Crc and PackedSize set; Next is the writer's
    std::vector<std::uint8_t> packed;   // codec output
    std::int64_t sourcePosition = 0;    // bytes of the file read once this block was read
    std::int64_t sourceSize = 0;        // the file's size when it was opened
    std::exception_ptr failure;
    bool atOpen = false;                // the failure came when opening the file
    TDiskFileStamp stamp;               // End: the file's time and attributes once read
  };

  // The next step of file `index`. Indexes never go down; steps of earlier files still pending
  // are dropped (their files were skipped or abandoned). Blocks until the step is ready.
  Step Take(std::size_t index);
  // The exception that opening file `index` raised, or null once it opened; its steps stay for
  // Take. Blocks until the reader has opened (or failed to open) that file.
  std::exception_ptr OpenFailure(std::size_t index);

  std::uint8_t Method() const { return method_; }
  const std::vector<std::string>& Files() const { return files_; }
  // Bytes of blocks read and not yet taken (for tests of the cap).
  std::size_t InFlight();
  std::size_t MaxInFlight() const { return maxInFlight_; }
  std::size_t PeakInFlight();

 private:
  struct Item {
    std::size_t file = 0;
    Step step;
    std::vector<std::uint8_t> data;  // the block's bytes until compressed
    std::size_t size = 0;            // the block's unpacked size, counted in flight until taken
    bool ready = false;
  };
  struct Reader;

  void RequireListed(std::size_t index) const;
  void Work();
  // Appends the next item to the queue (opening, reading or closing a file); false when every
  // file has been read. `block` is the block read, to compress, if there is one. Called with
  // the lock held.
  bool ReadNext(Reader& reader, Item*& block);
  void Compress(Item& item, class TCodecScratch& scratch) const;
  // The storing thread's side, called with the lock held: ask the readers for file `index` on,
  // drop the front step, drop the ready steps of files before `index`.
  void MoveOnTo(std::size_t index);
  void PopFront();
  void DropPassedOver(std::size_t index);

  const std::vector<std::string> files_;
  const std::uint8_t method_;
  const std::int32_t blockSize_;
  const std::size_t maxInFlight_;

  std::mutex mutex_;
  std::condition_variable workReady_;  // room in the queue, or stop
  std::condition_variable stepReady_;  // an item became ready
  std::deque<Item> queue_;
  std::size_t bytesInFlight_ = 0;
  std::size_t peakInFlight_ = 0;
  std::size_t taking_ = 0;  // the file the storing thread asks for; earlier ones are not read on
  bool stop_ = false;
  std::unique_ptr<Reader> reader_;
  std::vector<std::jthread> workers_;
};
