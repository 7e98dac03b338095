#include "cfs/index/CFSHeadersArray.h"

#include <algorithm>
#include <string>

#include "platform/Exception.h"

TCFSHeadersArray::TCFSHeadersArray() : policy_(100, 100, 10000) {}

void TCFSHeadersArray::SetCount(std::int32_t n) {
  if (n < 0 || n > Count()) {
    throw Exception("TCFSHeadersArray.SetCount - invalid count = " + std::to_string(n) +
                    ", itemCount = " + std::to_string(Count()));
  }
  const std::int32_t capacity = policy_.Resize(Count(), n);
  records_.resize(n);
  keys_.resize(n);
  if (n == 0) {
    std::vector<TCFSBlockHeader>().swap(records_);
    std::vector<std::int64_t>().swap(keys_);
  } else if (capacity < static_cast<std::int32_t>(keys_.capacity())) {
    records_.shrink_to_fit();
    keys_.shrink_to_fit();
  }
}

void TCFSHeadersArray::Add(const TCFSBlockHeader& record, std::int64_t key) {
  const std::int32_t capacity = policy_.Resize(Count(), Count() + 1);
  records_.reserve(capacity);
  keys_.reserve(capacity);
  records_.push_back(record);
  keys_.push_back(key);
}

std::int32_t TCFSHeadersArray::Find(std::int64_t key) const {
  const auto after = std::upper_bound(keys_.begin(), keys_.end(), key);
  if (after == keys_.begin()) return 0;
  return static_cast<std::int32_t>(after - keys_.begin() - 1);
}

void TCFSHeadersArray::CheckIndex(const char* operation, std::int32_t index) const {
  if (index < 0 || index >= Count()) {
    throw Exception(std::string("TCFSHeadersArray.") + operation +
                    " - index out of range, index = " + std::to_string(index) +
                    ", itemCount = " + std::to_string(Count()));
  }
}

const TCFSBlockHeader& TCFSHeadersArray::Record(std::int32_t index) const {
  CheckIndex("Record", index);
  return records_[index];
}

void TCFSHeadersArray::SetRecord(std::int32_t index, const TCFSBlockHeader& record) {
  CheckIndex("SetRecord", index);
  records_[index] = record;
}

std::int64_t TCFSHeadersArray::Key(std::int32_t index) const {
  CheckIndex("Key", index);
  return keys_[index];
}
