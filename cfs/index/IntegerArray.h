#pragma once
// Growable list of int32: page lists, dirty flags, open counts, sorted item-number indexes.
#include <cstdint>
#include <vector>

#include "cfs/index/GrowthPolicy.h"

class TIntegerArray {
 public:
  // initialCount items, all 0. The grow and shrink steps start at initialStep.
  explicit TIntegerArray(std::int32_t initialCount = 0, std::int32_t stepLimit = 1024,
                         std::int32_t initialStep = 16);

  std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
  std::int32_t Capacity() const { return policy_.Capacity(); }
  const TGrowthPolicy& Policy() const { return policy_; }

  // New items are 0; 0 releases the storage. Raises on a negative count.
  void SetCount(std::int32_t n);
  void Clear() { SetCount(0); }

  // Checked access; an index outside 0..Count()-1 raises.
  std::int32_t Get(std::int32_t index) const;
  void Set(std::int32_t index, std::int32_t value);
  std::int32_t operator[](std::int32_t index) const { return Get(index); }
  const std::int32_t* Data() const { return items_.data(); }

  void Add(std::int32_t value);
  // Moves the items from index on up by one; an index at or beyond Count() appends.
  void Insert(std::int32_t index, std::int32_t value);
  void Delete(std::int32_t index);
  // Relocates one item. Neighbouring positions swap; a forward move puts the item at to - 1
  // (to is an insertion point in the list as it was), a backward move puts it at to.
  void Move(std::int32_t from, std::int32_t to);
  // Quicksort, ascending or descending.
  void Sort(bool ascending);

 private:
  void CheckIndex(const char* operation, std::int32_t index) const;
  void SortRange(std::int32_t lo, std::int32_t hi, bool ascending);

  std::vector<std::int32_t> items_;
  TGrowthPolicy policy_;
};
