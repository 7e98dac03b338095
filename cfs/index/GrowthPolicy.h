#pragma once
// Capacity bookkeeping shared by the engine's in-memory arrays.
//
// Growing doubles the grow step (up to the step limit) and then reserves at least
// capacity + step elements, so a long run of single additions copies the storage only a
// logarithmic number of times. Shrinking below the count cuts the storage to the exact count
// once the shrink step is smaller than the slack, doubling the shrink step as well.
#include <cstdint>

class TGrowthPolicy {
 public:
  // A shrinkStep of 0 disables shrinking.
  TGrowthPolicy(std::int32_t growStep, std::int32_t shrinkStep, std::int32_t stepLimit);

  // What SetCount(n) does to the capacity, given the count before the call. Returns the new
  // capacity (n <= result, or 0 when n is 0) and updates the steps.
  std::int32_t Resize(std::int32_t count, std::int32_t n);

  std::int32_t Capacity() const { return capacity_; }
  std::int32_t GrowStep() const { return growStep_; }
  std::int32_t ShrinkStep() const { return shrinkStep_; }
  std::int32_t StepLimit() const { return stepLimit_; }

 private:
  static std::int32_t Double(std::int32_t step, std::int32_t limit);

  std::int32_t growStep_;
  std::int32_t shrinkStep_;
  std::int32_t stepLimit_;
  std::int32_t capacity_ = 0;
};
