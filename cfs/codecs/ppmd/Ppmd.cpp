#include "cfs/codecs/ppmd/Ppmd.h"

#include <memory>
#include <new>

#include "cfs/codecs/ppmd/PpmdModel.h"

namespace {

constexpr std::uint32_t kVariantNibble = 6;  // 'G' - 'A'
constexpr std::size_t kParamWordSize = 4;
constexpr int kMaxMemoryMB = 256;

std::uint32_t ParamWord(int order, int memoryMB) {
    return (static_cast<std::uint32_t>(memoryMB - 1) << 4) | static_cast<std::uint32_t>(order - 1) |
           (kVariantNibble << 12);
}

}  // namespace

std::size_t PpmdCompress(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out,
                         std::size_t outCapacity, int order, int memoryMB) {
    if (order < ppmd::kMinOrder || order > ppmd::kMaxOrder || memoryMB < 1 || memoryMB > kMaxMemoryMB)
        return 0;
    if (out == nullptr || outCapacity < kParamWordSize || (in == nullptr && inSize != 0)) return 0;
    const std::uint32_t word = ParamWord(order, memoryMB);
    for (std::size_t i = 0; i < kParamWordSize; ++i) out[i] = static_cast<std::uint8_t>(word >> (8 * i));

    try {
        ppmd::SubAllocator arena;
        if (!arena.Create(static_cast<std::uint32_t>(memoryMB))) return 0;
        auto model = std::make_unique<ppmd::Model>(arena, order);
        ppmd::RangeEncoder rc(out + kParamWordSize, outCapacity - kParamWordSize);
        if (!model->Encode(rc, in, inSize)) return 0;
        return kParamWordSize + rc.BytesWritten();
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

bool PpmdDecompress(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out,
                    std::size_t expectedSize, std::size_t& outSize) {
    outSize = 0;
    // The parameter word and the four bytes that prime the decoder.
    if (in == nullptr || inSize < kParamWordSize + 4) return false;
    const std::uint32_t word = static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
                               static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
    if ((word >> 12) != kVariantNibble) return false;  // also rejects anything in bits 16-31
    const int order = static_cast<int>(word & 15) + 1;
    const int memoryMB = static_cast<int>((word >> 4) & 255) + 1;
    if (order < ppmd::kMinOrder) return false;
    if (out == nullptr && expectedSize != 0) return false;

    try {
        ppmd::SubAllocator arena;
        if (!arena.Create(static_cast<std::uint32_t>(memoryMB))) return false;
        auto model = std::make_unique<ppmd::Model>(arena, order);
        ppmd::RangeDecoder rc(in + kParamWordSize, inSize - kParamWordSize);
        std::size_t produced = 0;
        const bool ok = model->Decode(rc, out, expectedSize, produced);
        outSize = produced;
        // A sound stream ends exactly with the bytes the end mark needed.
        return ok && rc.BytesRead() == inSize - kParamWordSize;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
