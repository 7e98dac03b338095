#include "cfs/codecs/ppmd/PpmdSubAllocator.h"

#include <new>

namespace ppmd {

namespace {
constexpr std::uint32_t UnitRef(std::uint32_t unit) { return (unit + 1) * kUnitSize; }
}  // namespace

bool SubAllocator::Create(std::uint32_t memoryMB) {
    const std::size_t bytes = static_cast<std::size_t>(memoryMB) << 20;
    unitCount_ = static_cast<std::uint32_t>(bytes / kUnitSize);
    try {
        base_ = std::make_unique_for_overwrite<std::uint8_t[]>(bytes + kUnitSize);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void SubAllocator::Reset() {
    for (auto& head : freeList_) head = 0;
    reserveHeld_ = true;
    loUnit_ = UnitRef(kReserveUnits);
    hiUnit_ = UnitRef(unitCount_);
}

std::uint32_t SubAllocator::AllocClass(int cls) {
    if (freeList_[cls] != 0) return Pop(cls);
    const std::uint32_t bytes = UnitsOfClass(cls) * kUnitSize;
    if (hiUnit_ - loUnit_ >= bytes) {
        const std::uint32_t block = loUnit_;
        loUnit_ += bytes;
        return block;
    }
    if (reserveHeld_) {
        // Hand the reserve out as 128 blocks of 128 units; the last one ends up on top.
        for (std::uint32_t b = 0; b < 128; ++b) Push(kNumSizeClasses - 1, UnitRef(128 * b));
        reserveHeld_ = false;
    }
    // Only larger classes are searched, even when the reserve has just filled the top class.
    for (int larger = cls + 1; larger < kNumSizeClasses; ++larger) {
        if (freeList_[larger] != 0) {
            const std::uint32_t block = Pop(larger);
            SplitBlock(block, larger, cls);
            return block;
        }
    }
    return 0;
}

void SubAllocator::SplitBlock(std::uint32_t block, int fromClass, int toClass) {
    std::uint32_t rest = UnitsOfClass(fromClass) - UnitsOfClass(toClass);
    std::uint32_t tail = block + UnitsOfClass(toClass) * kUnitSize;
    int cls = ClassOfUnits(rest);
    if (UnitsOfClass(cls) != rest) {
        // The tail is no exact class: free the largest class below it, then the 1-3 unit remnant.
        --cls;
        Push(cls, tail);
        tail += UnitsOfClass(cls) * kUnitSize;
        rest -= UnitsOfClass(cls);
        cls = ClassOfUnits(rest);
    }
    Push(cls, tail);
}

std::uint32_t SubAllocator::ExpandUnits(std::uint32_t block, std::uint32_t oldUnits) {
    const int oldClass = ClassOfUnits(oldUnits);
    const int newClass = ClassOfUnits(oldUnits + 1);
    if (oldClass == newClass) return block;
    const std::uint32_t grown = AllocClass(newClass);
    if (grown == 0) return 0;
    std::memcpy(base_.get() + grown, base_.get() + block, oldUnits * kUnitSize);
    Push(oldClass, block);
    return grown;
}

std::uint32_t SubAllocator::ShrinkUnits(std::uint32_t block, std::uint32_t oldUnits,
                                        std::uint32_t newUnits) {
    const int oldClass = ClassOfUnits(oldUnits);
    const int newClass = ClassOfUnits(newUnits);
    if (oldClass == newClass) return block;
    if (freeList_[newClass] != 0) {
        const std::uint32_t smaller = Pop(newClass);
        std::memcpy(base_.get() + smaller, base_.get() + block, UnitsOfClass(newClass) * kUnitSize);
        Push(oldClass, block);
        return smaller;
    }
    SplitBlock(block, oldClass, newClass);
    return block;
}

}  // namespace ppmd
