#pragma once
// Sub-allocator of the PPMd model: one arena of 12-byte units, 38 size classes of free blocks.
//
// Blocks are addressed by 32-bit references: the byte offset from the start of the buffer, whose
// first unit is a guard that is never handed out. Reference 0 is therefore null, and unit u of the
// arena proper lives at reference 12 * (u + 1). Contexts take 12 bytes and states 6 bytes on every
// platform, so the moment memory runs out (and the model restarts) does not depend on pointer size.

#include <cstdint>
#include <cstring>
#include <memory>

namespace ppmd {

constexpr std::uint32_t kUnitSize = 12;
constexpr int kNumSizeClasses = 38;
constexpr std::uint32_t kReserveUnits = 128 * 128;  // "last breath" reserve at the start of the arena

struct SizeClassTables {
    std::uint8_t unitsOfClass[kNumSizeClasses];  // block size of each class, in units
    std::uint8_t classOfUnits[128];              // [n - 1]: smallest class holding n units
};

constexpr SizeClassTables MakeSizeClassTables() {
    SizeClassTables t{};
    // Steps of 1, 2, 3 for four classes each, then steps of 4: 1..4, 6..12, 15..24, 28..128.
    int units = 0;
    for (int cls = 0; cls < kNumSizeClasses; ++cls) {
        units += cls < 4 ? 1 : cls < 8 ? 2 : cls < 12 ? 3 : 4;
        t.unitsOfClass[cls] = static_cast<std::uint8_t>(units);
    }
    for (int n = 1, k = 0; n <= 128; ++n) {
        if (t.unitsOfClass[k] < n) ++k;
        t.classOfUnits[n - 1] = static_cast<std::uint8_t>(k);
    }
    return t;
}

inline constexpr SizeClassTables kSizeClasses = MakeSizeClassTables();

inline int ClassOfUnits(std::uint32_t units) { return kSizeClasses.classOfUnits[units - 1]; }
inline std::uint32_t UnitsOfClass(int cls) { return kSizeClasses.unitsOfClass[cls]; }

class SubAllocator {
public:
    // Allocates the arena of memoryMB MiB (plus the guard unit). False when memory is short.
    bool Create(std::uint32_t memoryMB);

    // Empties the free lists, holds the reserve back and opens the whole gap; the arena bytes
    // are reused as they are.
    void Reset();

    std::uint8_t* Base() const { return base_.get(); }

    // One unit for a context: from the top of the gap while it lasts, then like AllocUnits(1).
    std::uint32_t AllocContext() {
        if (hiUnit_ != loUnit_) return hiUnit_ -= kUnitSize;
        return AllocClass(0);
    }

    // A block of n (1..128) units; 0 when memory is exhausted.
    std::uint32_t AllocUnits(std::uint32_t n) { return AllocClass(ClassOfUnits(n)); }

    // Grows a block of oldUnits by one unit, moving it when its class changes; 0 on exhaustion
    // (the old block is then left as it is).
    std::uint32_t ExpandUnits(std::uint32_t block, std::uint32_t oldUnits);

    // Shrinks a block of oldUnits to newUnits; may move it, never fails.
    std::uint32_t ShrinkUnits(std::uint32_t block, std::uint32_t oldUnits, std::uint32_t newUnits);

    void FreeUnits(std::uint32_t block, std::uint32_t units) { Push(ClassOfUnits(units), block); }

private:
    std::uint32_t AllocClass(int cls);
    void SplitBlock(std::uint32_t block, int fromClass, int toClass);

    // Free blocks are chained through their first four bytes.
    void Push(int cls, std::uint32_t block) {
        std::memcpy(base_.get() + block, &freeList_[cls], 4);
        freeList_[cls] = block;
    }
    std::uint32_t Pop(int cls) {
        std::uint32_t block = freeList_[cls];
        std::memcpy(&freeList_[cls], base_.get() + block, 4);
        return block;
    }

    std::unique_ptr<std::uint8_t[]> base_;
    std::uint32_t unitCount_ = 0;
    std::uint32_t loUnit_ = 0;  // gap [loUnit_, hiUnit_) as references
    std::uint32_t hiUnit_ = 0;
    bool reserveHeld_ = true;
    std::uint32_t freeList_[kNumSizeClasses] = {};
};

}  // namespace ppmd
