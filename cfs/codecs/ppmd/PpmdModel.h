#pragma once
// PPMd variant G context model: the contexts and states in the sub-allocator's arena, the
// binary-context and SEE escape estimators, and the model update with its restart when the arena
// is exhausted. One instance codes one stream; nothing here is shared between instances.
//
// Arena layout (references are byte offsets from SubAllocator::Base()):
//   context, one unit: NumStats u16 | SummFreq u16 | Stats u32 | Suffix u32
//     with one state the state itself sits at bytes 2..7 in place of SummFreq and Stats;
//     NumStats 0 marks a pending context whose embedded Symbol/Successor record recent input.
//   state, 6 bytes:    Symbol u8 | Freq u8 | Successor u32

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cfs/codecs/ppmd/PpmdRangeCoder.h"
#include "cfs/codecs/ppmd/PpmdSubAllocator.h"

namespace ppmd {

constexpr int kMinOrder = 2;
constexpr int kMaxOrder = 16;

class Model {
public:
    // The allocator must have its arena; Start() (re)initialises it.
    Model(SubAllocator& allocator, int maxOrder);

    // Codes `size` bytes and the end mark; false when the output capacity ran out.
    bool Encode(RangeEncoder& rc, const std::uint8_t* in, std::size_t size);

    // Decodes up to the end mark into out[0..capacity). False on damaged input: a count outside
    // its total, input that ends early, or more symbols than fit.
    bool Decode(RangeDecoder& rc, std::uint8_t* out, std::size_t capacity, std::size_t& produced);

    int Restarts() const { return restarts_; }

private:
    struct See {
        std::uint16_t summ;
        std::uint8_t shift;
        std::uint8_t count;

        std::uint32_t Mean() {
            std::uint32_t v = summ >> shift;
            summ = static_cast<std::uint16_t>(summ - v);
            v &= 1023;
            return v != 0 ? v : 1;
        }
        void Success() {
            if (shift < 7 && --count == 0) {
                summ = static_cast<std::uint16_t>(summ * 2);
                count = static_cast<std::uint8_t>(3u << shift);
                ++shift;
            }
        }
    };

    // ---- arena field access -------------------------------------------------------------
    std::uint16_t Ld16(std::uint32_t r) const {
        std::uint16_t v;
        std::memcpy(&v, m_ + r, 2);
        return v;
    }
    std::uint32_t Ld32(std::uint32_t r) const {
        std::uint32_t v;
        std::memcpy(&v, m_ + r, 4);
        return v;
    }
    void St16(std::uint32_t r, std::uint32_t v) {
        const auto x = static_cast<std::uint16_t>(v);
        std::memcpy(m_ + r, &x, 2);
    }
    void St32(std::uint32_t r, std::uint32_t v) { std::memcpy(m_ + r, &v, 4); }

    std::uint32_t NumStats(std::uint32_t c) const { return Ld16(c); }
    void SetNumStats(std::uint32_t c, std::uint32_t v) { St16(c, v); }
    std::uint32_t SummFreq(std::uint32_t c) const { return Ld16(c + 2); }
    void SetSummFreq(std::uint32_t c, std::uint32_t v) { St16(c + 2, v); }
    std::uint32_t Stats(std::uint32_t c) const { return Ld32(c + 4); }
    void SetStats(std::uint32_t c, std::uint32_t v) { St32(c + 4, v); }
    std::uint32_t Suffix(std::uint32_t c) const { return Ld32(c + 8); }
    void SetSuffix(std::uint32_t c, std::uint32_t v) { St32(c + 8, v); }
    static std::uint32_t OneState(std::uint32_t c) { return c + 2; }

    std::uint8_t& Sym(std::uint32_t s) { return m_[s]; }
    std::uint8_t& Freq(std::uint32_t s) { return m_[s + 1]; }
    std::uint32_t Succ(std::uint32_t s) const { return Ld32(s + 2); }
    void SetSucc(std::uint32_t s, std::uint32_t v) { St32(s + 2, v); }
    void CopyState(std::uint32_t to, std::uint32_t from) { std::memmove(m_ + to, m_ + from, 6); }
    void SwapStates(std::uint32_t a, std::uint32_t b) {
        std::uint8_t t[6];
        std::memcpy(t, m_ + a, 6);
        std::memcpy(m_ + a, m_ + b, 6);
        std::memcpy(m_ + b, t, 6);
    }

    // ---- model ----------------------------------------------------------------------------
    void Start();
    void Restart();
    void ClearMask();
    // The state of `symbol` in multi-state context c, or 0 when c does not hold it.
    std::uint32_t FindState(std::uint32_t c, std::uint32_t symbol);

    std::uint16_t& BinEstimate(std::uint32_t c);
    See* SeeFor(std::uint32_t c, std::uint32_t& escFreq);

    void FoundFirst(std::uint32_t c, std::uint32_t s, std::uint32_t total);
    void FoundLater(std::uint32_t c, std::uint32_t s);
    void FoundMasked(std::uint32_t c, std::uint32_t s, See* see);
    void EscapeBinary(std::uint32_t c, std::uint16_t& b);
    void HitBinary(std::uint32_t c, std::uint16_t& b);
    void MaskAll(std::uint32_t c);
    void Rescale(std::uint32_t c);

    // Called after a symbol was found; restarts the model when the arena runs out.
    void Advance();
    bool UpdateModel();
    bool CreateSuccessors(int mode, std::uint32_t hint);

    // ---- coding in one context ------------------------------------------------------------
    void EncodeBinary(RangeEncoder& rc, int symbol);
    void EncodeFirst(RangeEncoder& rc, int symbol);
    void EncodeMasked(RangeEncoder& rc, int symbol);
    bool DecodeBinary(RangeDecoder& rc);
    bool DecodeFirst(RangeDecoder& rc);
    bool DecodeMasked(RangeDecoder& rc);

    SubAllocator& alloc_;
    std::uint8_t* m_;
    const int maxOrder_;

    std::uint32_t curCtx_ = 0;
    std::uint32_t startCtx_ = 0;
    std::uint32_t topCtx_ = 0;
    std::uint32_t found_ = 0;
    int orderFall_ = 0;
    std::uint32_t numMasked_ = 0;
    std::uint32_t initEsc_ = 0;
    std::uint8_t escCount_ = 0;
    std::uint8_t prevSuccess_ = 0;
    int restarts_ = 0;

    std::uint8_t charMask_[256];
    std::uint16_t binSumm_[128][16];
    See see_[43][8];
    See seeFull_;  // used by contexts that hold all 256 symbols; its estimate is never read
};

}  // namespace ppmd
