#pragma once
// Work memory kept from one block to the next. bzip2 asks for about 7.5 MB per compression
// stream with 900k blocks and 3.6 MB per decompression stream; fetched from the system for
// every block, the pages are mapped, faulted in and unmapped again for each small stored file.
// One owner (a container) uses it from one thread at a time.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class TCodecScratch {
 public:
  // Unused blocks beyond this many bytes are given back before a new one is taken.
  static constexpr std::size_t kKeptBytes = 32u << 20;

  TCodecScratch() = default;
  TCodecScratch(const TCodecScratch&) = delete;
  TCodecScratch& operator=(const TCodecScratch&) = delete;

  // A block of exactly `size` bytes (contents undefined), nullptr when memory runs out.
  void* Allocate(std::size_t size) noexcept;
  // Returns a block from Allocate for later reuse; other pointers are ignored.
  void Release(void* block) noexcept;

  // Room for a codec's output, at least `size` bytes, kept from block to block like the work
  // areas: a fresh buffer as large as the input is faulted in page by page for every block
  // (under wine some 20 us a page, 7 ms for a 1.5 MB block), while the packed block the caller
  // keeps is a fraction of it.
  std::vector<std::uint8_t>& Output(std::size_t size);

  std::size_t BlockCount() const { return blocks_.size(); }
  std::size_t HeldBytes() const;

  // Allocation callbacks in the form the C libraries take (opaque = the scratch).
  static void* AllocateItems(void* scratch, std::size_t items, std::size_t size) noexcept;
  static void ReleaseBlock(void* scratch, void* block) noexcept;

 private:
  struct Block {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t size = 0;
    bool used = false;
  };
  void TrimUnused(std::size_t room) noexcept;

  std::vector<Block> blocks_;
  std::vector<std::uint8_t> output_;
};
