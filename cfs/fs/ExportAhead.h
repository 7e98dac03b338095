#pragma once
// Reads the stored files of an export (or of a read-back check) ahead, in order, and unpacks
// their blocks on worker threads. The container is touched only by the thread that owns it: it
// opens the streams and reads the codec output of the blocks ahead while workers unpack the
// blocks already read, and it takes the unpacked blocks file by file, in order. A failure
// (a stream that cannot be opened, a block that cannot be read or unpacked) reaches that thread
// where the one-thread path would have raised it, as the same exception.
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "cfs/fs/CFSEvents.h"

class TContainerFS;
class TCFSFileStream;
class TUnpackPool;

class TExportAhead {
 public:
  // Bytes read and not yet taken, in full blocks per worker: the cap on memory whatever the
  // container. Counted in bytes, so that small files are unpacked ahead while the owner writes.
  static constexpr std::size_t kBlocksPerWorker = 4;
  // Streams opened ahead at most (empty and stored files hold no block but a handle).
  static constexpr std::size_t kMaxFilesAhead = 64;

  // `files` are container paths in the order they will be taken, opened with `password`.
  TExportAhead(TContainerFS& fs, std::vector<std::string> files, std::string password, int workers);
  ~TExportAhead();
  TExportAhead(const TExportAhead&) = delete;
  TExportAhead& operator=(const TExportAhead&) = delete;

  // The stream of file `index`, as TCFSFileStream(fs, name, 0, password, ...) opens it, with
  // the same failure. Indexes never go down; the stream stays valid until the next Open.
  TCFSFileStream& Open(std::size_t index, const TCFSStreamProgressEvent& onProgress);
  // The next unpacked block of file `index` (whose stream Open gave), in order.
  std::vector<std::uint8_t> TakeBlock(std::size_t index);

 private:
  struct Slot {
    std::unique_ptr<TCFSFileStream> stream;
    std::exception_ptr failure;  // from opening it
    bool tried = false;
    bool readFailed = false;     // a block could not be read: nothing after it is read ahead
  };
  Slot& SlotOf(std::size_t index);
  // Opens file `index` now; false when opening it would ask for a password (then only its turn
  // may open it, so that questions come in order).
  bool TryOpen(std::size_t index, bool mayAsk);
  // Reads blocks ahead until the cap is reached or every file is read.
  void Fill();

  TContainerFS& fs_;
  const std::vector<std::string> files_;
  const std::string password_;
  const std::size_t blocksInFlight_;
  std::deque<Slot> slots_;  // files from base_ on
  std::size_t base_ = 0;
  std::size_t readFile_ = 0;    // where reading ahead goes on
  std::int32_t readBlock_ = 0;
  std::unique_ptr<TUnpackPool> pool_;
};
