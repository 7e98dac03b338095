#include "cfs/index/GrowthPolicy.h"

#include <algorithm>
#include <limits>

TGrowthPolicy::TGrowthPolicy(std::int32_t growStep, std::int32_t shrinkStep, std::int32_t stepLimit)
    : growStep_(std::max<std::int32_t>(growStep, 1)),
      shrinkStep_(std::max<std::int32_t>(shrinkStep, 0)),
      stepLimit_(std::max<std::int32_t>(stepLimit, 1)) {}

std::int32_t TGrowthPolicy::Double(std::int32_t step, std::int32_t limit) {
  // A step that already exceeds the limit is left alone rather than cut down.
  const std::int64_t doubled = std::min<std::int64_t>(std::int64_t{step} * 2, limit);
  return static_cast<std::int32_t>(std::max<std::int64_t>(doubled, step));
}

std::int32_t TGrowthPolicy::Resize(std::int32_t count, std::int32_t n) {
  if (n <= 0) {
    capacity_ = 0;
    return capacity_;
  }
  if (n > capacity_) {
    growStep_ = Double(growStep_, stepLimit_);
    const std::int64_t grown = std::int64_t{capacity_} + growStep_;
    const std::int64_t wanted = std::max<std::int64_t>(n, grown);
    capacity_ = static_cast<std::int32_t>(
        std::min<std::int64_t>(wanted, std::numeric_limits<std::int32_t>::max()));
  } else if (n < count && shrinkStep_ > 0 && shrinkStep_ < capacity_ - n) {
    shrinkStep_ = Double(shrinkStep_, stepLimit_);
    capacity_ = n;
  }
  return capacity_;
}
