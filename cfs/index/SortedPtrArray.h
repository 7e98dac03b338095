#pragma once
// Int32 keys kept in ascending order, each with an object owned by the array: caches and
// open-file tables. Objects live until their key is deleted or the array is destroyed; Take
// hands one back to the caller instead.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cfs/index/GrowthPolicy.h"
#include "platform/Exception.h"

template <typename T>
class TSortedPtrArray {
 public:
  explicit TSortedPtrArray(std::int32_t initialCount = 0, std::int32_t stepLimit = 1024,
                           std::int32_t initialStep = 16)
      : policy_(initialStep, initialStep, stepLimit) {
    Reserve(Count(), initialCount);
  }

  std::int32_t Count() const { return static_cast<std::int32_t>(keys_.size()); }
  std::int32_t Capacity() const { return policy_.Capacity(); }

  // Index of an element with this key, or where the key would be inserted (0..Count()).
  std::int32_t Search(std::int32_t key) const {
    return static_cast<std::int32_t>(std::lower_bound(keys_.begin(), keys_.end(), key) -
                                     keys_.begin());
  }
  // Index of the key, or -1.
  std::int32_t IndexOf(std::int32_t key) const {
    const std::int32_t i = Search(key);
    return i < Count() && keys_[i] == key ? i : -1;
  }
  // The object stored under the key, or nullptr.
  T* Find(std::int32_t key) const {
    const std::int32_t i = IndexOf(key);
    return i < 0 ? nullptr : values_[i].get();
  }

  std::int32_t KeyAt(std::int32_t index) const { return keys_.at(CheckIndex("KeyAt", index)); }
  T* ValueAt(std::int32_t index) const { return values_.at(CheckIndex("ValueAt", index)).get(); }

  // Inserts after any elements with an equal key.
  void Add(std::int32_t key, std::unique_ptr<T> value) {
    const auto pos = std::upper_bound(keys_.begin(), keys_.end(), key) - keys_.begin();
    Reserve(Count(), Count() + 1);
    keys_.insert(keys_.begin() + pos, key);
    values_.insert(values_.begin() + pos, std::move(value));
  }

  void DeleteAt(std::int32_t index) { TakeAt(index); }

  // Removes the element with the key and destroys its object.
  void Delete(std::int32_t key) { Take(key); }

  // Removes the element with the key and hands its object to the caller.
  std::unique_ptr<T> Take(std::int32_t key) {
    if (Count() == 0) throw Exception("TSortedPtrArray.Delete - no elements in array!");
    const std::int32_t i = IndexOf(key);
    if (i < 0) {
      throw Exception("TSortedPtrArray.Delete - element not found, key = " + std::to_string(key) +
                      ", itemCount = " + std::to_string(Count()) + "!");
    }
    return TakeAt(i);
  }

  std::unique_ptr<T> TakeAt(std::int32_t index) {
    CheckIndex("DeleteAt", index);
    std::unique_ptr<T> value = std::move(values_[index]);
    keys_.erase(keys_.begin() + index);
    values_.erase(values_.begin() + index);
    Reserve(Count() + 1, Count());
    return value;
  }

  void Clear() {
    keys_.clear();
    values_.clear();
    Reserve(0, 0);
  }

  // 0, 1, 2, ... over the life of the array.
  std::int32_t NextKey() { return ++keyCounter_; }

 private:
  std::size_t CheckIndex(const char* operation, std::int32_t index) const {
    if (index < 0 || index >= Count()) {
      throw Exception(std::string("TSortedPtrArray.") + operation +
                      " - index out of range, index = " + std::to_string(index) +
                      ", itemCount = " + std::to_string(Count()));
    }
    return static_cast<std::size_t>(index);
  }

  void Reserve(std::int32_t count, std::int32_t n) {
    const std::int32_t capacity = policy_.Resize(count, n);
    if (n == 0) {
      std::vector<std::int32_t>().swap(keys_);
      std::vector<std::unique_ptr<T>>().swap(values_);
    } else if (capacity < static_cast<std::int32_t>(keys_.capacity())) {
      keys_.shrink_to_fit();
      values_.shrink_to_fit();
    } else {
      keys_.reserve(capacity);
      values_.reserve(capacity);
    }
  }

  std::int32_t keyCounter_ = -1;
  TGrowthPolicy policy_;
  std::vector<std::int32_t> keys_;
  std::vector<std::unique_ptr<T>> values_;
};
