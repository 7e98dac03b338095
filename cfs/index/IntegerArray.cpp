#include "cfs/index/IntegerArray.h"

#include <algorithm>
#include <string>
#include <utility>

#include "platform/Exception.h"

TIntegerArray::TIntegerArray(std::int32_t initialCount, std::int32_t stepLimit,
                             std::int32_t initialStep)
    : policy_(initialStep, initialStep, stepLimit) {
  SetCount(initialCount);
}

void TIntegerArray::SetCount(std::int32_t n) {
  if (n < 0) throw Exception("TIntegerArray.SetCount - invalid count = " + std::to_string(n));
  const std::int32_t capacity = policy_.Resize(Count(), n);
  if (n == 0) {
    std::vector<std::int32_t>().swap(items_);
    return;
  }
  if (capacity < static_cast<std::int32_t>(items_.capacity())) {
    items_.resize(n);
    items_.shrink_to_fit();
  } else {
    items_.reserve(capacity);
    items_.resize(n, 0);
  }
}

void TIntegerArray::CheckIndex(const char* operation, std::int32_t index) const {
  if (index < 0 || index >= Count()) {
    throw Exception(std::string("TIntegerArray.") + operation + " - index out of range, index = " +
                    std::to_string(index) + ", count = " + std::to_string(Count()));
  }
}

std::int32_t TIntegerArray::Get(std::int32_t index) const {
  CheckIndex("Get", index);
  return items_[index];
}

void TIntegerArray::Set(std::int32_t index, std::int32_t value) {
  CheckIndex("Set", index);
  items_[index] = value;
}

void TIntegerArray::Add(std::int32_t value) {
  SetCount(Count() + 1);
  items_.back() = value;
}

void TIntegerArray::Insert(std::int32_t index, std::int32_t value) {
  if (index < 0) CheckIndex("Insert", index);
  if (index >= Count()) {
    Add(value);
    return;
  }
  SetCount(Count() + 1);
  std::move_backward(items_.begin() + index, items_.end() - 1, items_.end());
  items_[index] = value;
}

void TIntegerArray::Delete(std::int32_t index) {
  CheckIndex("Delete", index);
  std::move(items_.begin() + index + 1, items_.end(), items_.begin() + index);
  SetCount(Count() - 1);
}

void TIntegerArray::Move(std::int32_t from, std::int32_t to) {
  if (from == to) return;
  CheckIndex("Move", from);
  if (to == from + 1 || to == from - 1) {
    CheckIndex("Move", to);
    std::swap(items_[from], items_[to]);
  } else if (to > from) {
    // to may be Count(): the item goes to the end.
    if (to > Count()) CheckIndex("Move", to);
    std::rotate(items_.begin() + from, items_.begin() + from + 1, items_.begin() + to);
  } else {
    CheckIndex("Move", to);
    std::rotate(items_.begin() + to, items_.begin() + from, items_.begin() + from + 1);
  }
}

void TIntegerArray::Sort(bool ascending) {
  if (Count() > 1) SortRange(0, Count() - 1, ascending);
}

// Hoare partitioning around the middle element. Recursing into the smaller side and looping on
// the larger keeps the stack depth logarithmic.
void TIntegerArray::SortRange(std::int32_t lo, std::int32_t hi, bool ascending) {
  while (lo < hi) {
    const std::int32_t pivot = items_[lo + (hi - lo) / 2];
    std::int32_t i = lo;
    std::int32_t j = hi;
    for (;;) {
      if (ascending) {
        while (items_[i] < pivot) ++i;
        while (items_[j] > pivot) --j;
      } else {
        while (items_[i] > pivot) ++i;
        while (items_[j] < pivot) --j;
      }
      if (i >= j) break;
      std::swap(items_[i], items_[j]);
      ++i;
      --j;
    }
    // [lo, j] and [j + 1, hi]; both must be strictly smaller than [lo, hi].
    if (j < lo || j >= hi) throw Exception("CFSEngine - Sorting error in TIntegerArray");
    if (j - lo < hi - j - 1) {
      SortRange(lo, j, ascending);
      lo = j + 1;
    } else {
      SortRange(j + 1, hi, ascending);
      hi = j;
    }
  }
}
