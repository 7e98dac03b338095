#pragma once
// Raw deflate of a large entry in independent chunks, compressed on worker threads.
//
// The input is cut into chunks of a fixed size. Each chunk is deflated by its own stream
// (window bits -15, memory level 8, default strategy), primed with the 32 KB of input before
// it as dictionary, and ends with a sync flush; the last chunk finishes the stream instead.
// Concatenated in order the chunks form one valid raw deflate stream. The bytes depend on the
// level and the chunk size only, never on the thread count.
#include <cstddef>
#include <cstdint>
#include <functional>

namespace zipdeflate {

// Chunk size of the zip writer's large entries (and the size above which it cuts them).
inline constexpr std::size_t kChunkSize = std::size_t{1} << 20;
// Deflate's window: the dictionary each chunk after the first is primed with.
inline constexpr std::size_t kDictionarySize = 32768;
// Chunks read or compressed ahead of the one being written, per worker thread.
inline constexpr int kChunksInFlightPerThread = 2;

// Fills `buffer` with up to `count` bytes of the source; 0 at its end.
using ReadBlock = std::function<std::size_t(unsigned char* buffer, std::size_t count)>;
// Takes the next `count` bytes of deflated data.
using WriteBlock = std::function<void(const unsigned char* data, std::size_t count)>;

struct ChunkedDeflateOptions {
  int level = 6;
  std::size_t chunkSize = kChunkSize;  // at least kDictionarySize
  int threads = 1;                     // 1: everything on the calling thread, no thread started
  std::size_t ioBlock = 65535;         // bytes asked of `read` and most bytes given to `write` at once
  std::uint64_t expectedSize = 0;      // the source's size when known (0: unknown); no more
                                       // threads start than it has chunks
};

// Deflates the whole source. `read` and `write` are called on the calling thread only, in
// stream order. A zlib failure raises EZCompressionError("error") whichever thread met it;
// an exception from `read` or `write` stops the workers and reaches the caller unchanged.
void DeflateChunked(const ChunkedDeflateOptions& options, const ReadBlock& read, const WriteBlock& write);

}  // namespace zipdeflate
