#pragma once
// The block table of a compressed stored file: one block header per block plus the offset of
// that header in the stored file, appended in ascending offset order and searched by offset.
#include <cstdint>
#include <vector>

#include "cfs/codecs/compress/CFSBlockHeader.h"
#include "cfs/index/GrowthPolicy.h"

class TCFSHeadersArray {
 public:
  TCFSHeadersArray();

  std::int32_t Count() const { return static_cast<std::int32_t>(keys_.size()); }
  std::int32_t Capacity() const { return policy_.Capacity(); }

  // Appends without sorting: callers add in ascending key order.
  void Add(const TCFSBlockHeader& record, std::int64_t key);
  // Index of the last element whose key is at most `key`; 0 when every key is larger or the
  // array is empty.
  std::int32_t Find(std::int64_t key) const;

  // Checked access; an index outside 0..Count()-1 raises.
  const TCFSBlockHeader& Record(std::int32_t index) const;
  void SetRecord(std::int32_t index, const TCFSBlockHeader& record);
  std::int64_t Key(std::int32_t index) const;

  // Keeps the first n elements (n <= Count()); 0 releases the storage.
  void SetCount(std::int32_t n);
  void Clear() { SetCount(0); }

 private:
  void CheckIndex(const char* operation, std::int32_t index) const;

  TGrowthPolicy policy_;
  std::vector<TCFSBlockHeader> records_;
  std::vector<std::int64_t> keys_;
};
