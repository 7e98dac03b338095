#pragma once
// The pages written last, as they are stored (page header and enciphered data), so that the read
// before a page is rewritten (a directory page, the data page being filled, an allocation page)
// needs no call into the system. Writes still go to the file at once; the cache only answers
// reads, with bytes this container wrote there itself. Pages only read are not kept: the file
// stays the one source for them (a damaged page is found damaged every time it is read).
#include <cstddef>
#include <cstdint>
#include <vector>

class TPageCache {
 public:
  // Empty, with room for `pages` pages of pageSize bytes (allocated as they are first used).
  void Reset(std::size_t pageSize, std::size_t pages);

  // Bytes [0, length) of page pageNo as the file holds them, or nullptr when not all are known.
  const std::uint8_t* Find(std::int32_t pageNo, std::size_t length);
  // Bytes [0, length) of page pageNo were written to the file; bytes beyond length that were
  // known stay known (the file did not change there).
  void Store(std::int32_t pageNo, const std::uint8_t* bytes, std::size_t length);
  // The file's bytes of page pageNo are no longer known (a failed write).
  void Forget(std::int32_t pageNo);
  // The file was cut at fileSize bytes: pages that reached beyond are gone.
  void ForgetFrom(std::int64_t fileSize);

 private:
  struct Entry {
    std::int32_t pageNo = -1;
    std::size_t known = 0;
    std::uint64_t lastUse = 0;
    std::vector<std::uint8_t> bytes;
  };
  Entry* Lookup(std::int32_t pageNo);

  std::size_t pageSize_ = 0;
  std::vector<Entry> entries_;
  std::uint64_t clock_ = 0;
};
