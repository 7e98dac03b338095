#include "cfs/codecs/ppmd/PpmdModel.h"

namespace ppmd {

namespace {

constexpr std::uint32_t kMaxFreq = 124;
constexpr std::uint32_t kBinTotal = 1u << kBinTotalBits;

// Initial escape estimate of a context that stops being binary, by the binary estimate's top bits.
constexpr std::uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};

constexpr std::uint16_t kInitBinEsc[16] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3, 0x5FFB, 0x5545,
                                           0x63D1, 0x5D9D, 0x64A1, 0x5ABC, 0x6632, 0x6051,
                                           0x68F6, 0x549B, 0x6BCA, 0x3AB0};

struct IndexTables {
    std::uint8_t binColumn[256];  // [n]: binary estimate column when the suffix has n + 1 states
    std::uint8_t seeRow[256];     // [n]: SEE row for n + 1 unmasked symbols
};

constexpr IndexTables MakeIndexTables() {
    IndexTables t{};
    for (int n = 0; n < 256; ++n) {
        t.binColumn[n] = static_cast<std::uint8_t>(n < 6 ? 2 * n : n < 50 ? 12 : 14);
        t.seeRow[n] = static_cast<std::uint8_t>(n < 4    ? n
                                                : n < 12 ? 4 + (n - 4) / 2
                                                : n < 44 ? 8 + (n - 12) / 4
                                                         : 16 + (n - 44) / 8);
    }
    return t;
}

constexpr IndexTables kIndex = MakeIndexTables();
static_assert(kIndex.seeRow[255] == 42, "SEE rows run from 0 to 42");
static_assert(kSizeClasses.unitsOfClass[kNumSizeClasses - 1] == 128, "largest class is 128 units");

}  // namespace

Model::Model(SubAllocator& allocator, int maxOrder)
    : alloc_(allocator), m_(allocator.Base()), maxOrder_(maxOrder) {
    Start();
}

// ---- model start and restart -------------------------------------------------------------

void Model::Start() {
    alloc_.Reset();

    // Order 0: all 256 symbols with frequency 1.
    const std::uint32_t root = alloc_.AllocContext();
    SetNumStats(root, 256);
    SetSummFreq(root, 257);
    SetSuffix(root, 0);
    const std::uint32_t stats = alloc_.AllocUnits(128);
    SetStats(root, stats);
    for (std::uint32_t k = 0; k < 256; ++k) {
        const std::uint32_t s = stats + 6 * k;
        Sym(s) = static_cast<std::uint8_t>(k);
        Freq(s) = 1;
        SetSucc(s, 0);
    }

    // A chain of binary contexts for the all-zero history, topped by a pending context.
    std::uint32_t s = stats;
    std::uint32_t prev = root;
    std::uint32_t ctx = 0;
    for (int d = 1; d <= maxOrder_; ++d) {
        ctx = alloc_.AllocContext();
        SetNumStats(ctx, 1);
        SetSuffix(ctx, prev);
        SetSucc(s, ctx);
        if (d < maxOrder_) {
            s = OneState(ctx);
            Sym(s) = 0;
            Freq(s) = 1;
            prev = ctx;
        }
    }
    SetNumStats(ctx, 0);
    topCtx_ = ctx;
    curCtx_ = startCtx_ = prev;
    orderFall_ = 1;
    prevSuccess_ = 0;
    found_ = 0;

    for (int i = 0; i < 128; ++i)
        for (int k = 0; k < 16; ++k)
            binSumm_[i][k] = static_cast<std::uint16_t>(kBinTotal - kInitBinEsc[k] / (i + 2));
    for (int r = 0; r < 43; ++r)
        for (auto& see : see_[r]) see = See{static_cast<std::uint16_t>((4 * r + 10) * 8), 3, 3};
    seeFull_ = See{0, 7, 0};

    std::memset(charMask_, 0, sizeof charMask_);
    escCount_ = 1;
}

void Model::Restart() {
    Start();
    escCount_ = 0;
    ++restarts_;
}

void Model::ClearMask() {
    escCount_ = 1;
    std::memset(charMask_, 0, sizeof charMask_);
}

std::uint32_t Model::FindState(std::uint32_t c, std::uint32_t symbol) {
    const std::uint32_t n = NumStats(c);
    std::uint32_t s = Stats(c);
    for (std::uint32_t i = 0; i < n; ++i, s += 6)
        if (Sym(s) == symbol) return s;
    return 0;
}

// ---- estimators and the updates after coding ------------------------------------------------

std::uint16_t& Model::BinEstimate(std::uint32_t c) {
    const std::uint32_t column = prevSuccess_ + kIndex.binColumn[NumStats(Suffix(c)) - 1];
    return binSumm_[Freq(OneState(c)) - 1][column];
}

Model::See* Model::SeeFor(std::uint32_t c, std::uint32_t& escFreq) {
    const std::uint32_t n = NumStats(c);
    if (n == 256) {
        escFreq = 1;
        return &seeFull_;
    }
    const std::uint32_t unmasked = n - numMasked_;
    const int column = (static_cast<int>(unmasked) < static_cast<int>(NumStats(Suffix(c))) - static_cast<int>(n)) +
                       2 * (SummFreq(c) < 11 * n) + 4 * (numMasked_ > unmasked);
    See* see = &see_[kIndex.seeRow[unmasked - 1]][column];
    escFreq = see->Mean();
    return see;
}

void Model::HitBinary(std::uint32_t c, std::uint16_t& b) {
    const std::uint32_t s = OneState(c);
    found_ = s;
    if (Freq(s) < 128) ++Freq(s);
    b = static_cast<std::uint16_t>(b + 128 - ((b + 32) >> 7));
    prevSuccess_ = 1;
}

void Model::EscapeBinary(std::uint32_t c, std::uint16_t& b) {
    b = static_cast<std::uint16_t>(b - ((b + 32) >> 7));
    initEsc_ = kExpEscape[b >> 10];
    numMasked_ = 1;
    charMask_[Sym(OneState(c))] = escCount_;
    prevSuccess_ = 0;
    found_ = 0;
}

void Model::FoundFirst(std::uint32_t c, std::uint32_t s, std::uint32_t total) {
    const std::uint32_t f = Freq(s);
    prevSuccess_ = 2 * f > total;
    found_ = s;
    Freq(s) = static_cast<std::uint8_t>(f + 4);
    SetSummFreq(c, SummFreq(c) + 4);
    if (f + 4 > kMaxFreq) Rescale(c);
}

void Model::FoundLater(std::uint32_t c, std::uint32_t s) {
    found_ = s;
    Freq(s) += 4;
    SetSummFreq(c, SummFreq(c) + 4);
    // Keep the array roughly sorted: a state that overtakes its predecessor moves up one place.
    if (Freq(s) > Freq(s - 6)) {
        SwapStates(s, s - 6);
        found_ = s - 6;
        if (Freq(found_) > kMaxFreq) Rescale(c);
    }
}

void Model::FoundMasked(std::uint32_t c, std::uint32_t s, See* see) {
    see->Success();
    found_ = s;
    Freq(s) += 4;
    SetSummFreq(c, SummFreq(c) + 4);
    if (Freq(s) > kMaxFreq) Rescale(c);
    ++escCount_;
}

void Model::MaskAll(std::uint32_t c) {
    const std::uint32_t n = NumStats(c);
    std::uint32_t s = Stats(c);
    for (std::uint32_t i = 0; i < n; ++i, s += 6) charMask_[Sym(s)] = escCount_;
    numMasked_ = n;
    found_ = 0;
}

void Model::Rescale(std::uint32_t c) {
    const std::uint32_t n0 = NumStats(c);
    const std::uint32_t p = Stats(c);
    const std::uint32_t end = p + 6 * n0;

    if (found_ != p) {  // the found state goes to the front, the ones before it move down
        std::uint8_t t[6];
        std::memcpy(t, m_ + found_, 6);
        std::memmove(m_ + p + 6, m_ + p, found_ - p);
        std::memcpy(m_ + p, t, 6);
    }
    Freq(p) += 4;
    SetSummFreq(c, SummFreq(c) + 4);

    // Halve every frequency (rounding up below full order) and re-sort by stable insertion.
    int esc = static_cast<int>(SummFreq(c)) - Freq(p);
    const std::uint32_t adder = orderFall_ != 0;
    Freq(p) = static_cast<std::uint8_t>((Freq(p) + adder) >> 1);
    std::uint32_t sum = Freq(p);
    for (std::uint32_t s = p + 6; s != end; s += 6) {
        esc -= Freq(s);
        Freq(s) = static_cast<std::uint8_t>((Freq(s) + adder) >> 1);
        sum += Freq(s);
        if (Freq(s) > Freq(s - 6)) {
            std::uint8_t t[6];
            std::memcpy(t, m_ + s, 6);
            std::uint32_t r = s;
            do {
                CopyState(r, r - 6);
                r -= 6;
            } while (r != p && t[1] > Freq(r - 6));
            std::memcpy(m_ + r, t, 6);
        }
    }

    // Symbols whose frequency fell to zero (possible only at full order) are dropped.
    std::uint32_t zeros = 0;
    for (std::uint32_t s = end - 6; zeros + 1 < n0 && Freq(s) == 0; s -= 6) ++zeros;
    std::uint32_t numStats = n0;
    if (zeros != 0) {
        esc += static_cast<int>(zeros);
        numStats = n0 - zeros;
        SetNumStats(c, numStats);
        if (numStats == 1) {
            std::uint8_t t[6];
            std::memcpy(t, m_ + p, 6);
            do {
                t[1] = static_cast<std::uint8_t>(t[1] - (t[1] >> 1));
                esc >>= 1;
            } while (esc > 1);
            alloc_.FreeUnits(p, (n0 + 1) / 2);
            std::memcpy(m_ + OneState(c), t, 6);
            found_ = OneState(c);
            return;
        }
    }
    esc -= esc >> 1;
    SetSummFreq(c, sum + static_cast<std::uint32_t>(esc));
    if ((n0 + 1) / 2 != (numStats + 1) / 2)
        SetStats(c, alloc_.ShrinkUnits(p, (n0 + 1) / 2, (numStats + 1) / 2));
    found_ = Stats(c);
}

// ---- model update ---------------------------------------------------------------------------

void Model::Advance() {
    if (orderFall_ == 0) {
        const std::uint32_t next = Succ(found_);
        if (next != 0 && NumStats(next) != 0) {
            curCtx_ = startCtx_ = next;
            return;
        }
    }
    if (!UpdateModel()) Restart();
    if (escCount_ == 0) ClearMask();
}

bool Model::UpdateModel() {
    const std::uint32_t fsSym = Sym(found_);
    const std::uint32_t fsFreq = Freq(found_);
    const std::uint32_t fsSucc = Succ(found_);

    // The symbol also gains weight in the next shorter context.
    std::uint32_t hint = 0;
    const std::uint32_t suffix = Suffix(curCtx_);
    if (fsFreq < kMaxFreq / 4 && suffix != 0) {
        std::uint32_t t;
        if (NumStats(suffix) != 1) {
            t = FindState(suffix, fsSym);
            if (t == 0) return false;  // broken suffix invariant: start afresh rather than go on
            if (t != Stats(suffix) && Freq(t) >= Freq(t - 6)) {
                SwapStates(t, t - 6);
                t -= 6;
            }
            if (Freq(t) < 7 * kMaxFreq / 8) {
                Freq(t) += 2;
                SetSummFreq(suffix, SummFreq(suffix) + 2);
            }
        } else {
            t = OneState(suffix);
            if (Freq(t) < 32) ++Freq(t);
        }
        hint = t;
    }

    if (orderFall_ == 0) {
        if (!CreateSuccessors(2, 0)) return false;
        curCtx_ = startCtx_ = fsSucc;
        return true;
    }

    --orderFall_;
    std::uint32_t succ;
    int mode;
    if (orderFall_ == 0) {
        succ = fsSucc;
        mode = 1;
    } else {
        succ = alloc_.AllocContext();
        if (succ == 0) return false;
        SetNumStats(succ, 0);
        mode = 0;
    }

    if (NumStats(topCtx_) == 0) {  // extend the pending list of recent input
        Sym(OneState(topCtx_)) = static_cast<std::uint8_t>(fsSym);
        SetSucc(OneState(topCtx_), succ);
    }

    // Add the symbol to every context that escaped (or was skipped) while coding it.
    const std::uint32_t ns = NumStats(curCtx_);
    const std::uint32_t s0 = SummFreq(curCtx_) - ns - (fsFreq - 1);
    for (std::uint32_t c = startCtx_; c != curCtx_ && c != 0; c = Suffix(c)) {
        const std::uint32_t m = NumStats(c);
        if (m != 1) {
            if ((m & 1) == 0) {
                const std::uint32_t grown = alloc_.ExpandUnits(Stats(c), m >> 1);
                if (grown == 0) return false;
                SetStats(c, grown);
            }
            const std::uint32_t sf = SummFreq(c);
            SetSummFreq(c, sf + (2 * m < ns) + 2 * ((4 * m <= ns) & (sf <= 8 * m)));
        } else {
            const std::uint32_t array = alloc_.AllocUnits(1);
            if (array == 0) return false;
            CopyState(array, OneState(c));
            SetStats(c, array);
            const std::uint32_t f = Freq(array) < kMaxFreq / 4 - 1 ? 2u * Freq(array) : kMaxFreq - 4;
            Freq(array) = static_cast<std::uint8_t>(f);
            SetSummFreq(c, f + initEsc_ + (ns > 3));
        }
        const std::uint32_t sf = SummFreq(c);
        const std::uint32_t q = 2 * fsFreq * (sf + 6);
        const std::uint32_t sigma = s0 + sf;
        std::uint32_t f;
        if (q < 6 * sigma) {
            f = 1 + (q > sigma) + (q >= 4 * sigma);
            SetSummFreq(c, sf + 3);
        } else {
            f = 4 + (q >= 9 * sigma) + (q >= 12 * sigma) + (q >= 15 * sigma);
            SetSummFreq(c, sf + f);
        }
        const std::uint32_t s = Stats(c) + 6 * m;
        Sym(s) = static_cast<std::uint8_t>(fsSym);
        Freq(s) = static_cast<std::uint8_t>(f);
        SetSucc(s, succ);
        SetNumStats(c, m + 1);
    }

    if (fsSucc != 0) {
        if (NumStats(fsSucc) == 0 && !CreateSuccessors(mode, hint)) return false;
        curCtx_ = Succ(found_);
    } else {
        SetSucc(found_, succ);
        ++orderFall_;
    }
    startCtx_ = curCtx_;
    topCtx_ = succ;
    return true;
}

// Turns the pending successor of the found symbol into real contexts: every state on the way
// down whose successor is still that pending context gets a new one-state context, built on top
// of the first real context met. Mode 0: the found state itself takes part; mode 1: the walk
// starts at the suffix; mode 2: it starts one level lower still.
bool Model::CreateSuccessors(int mode, std::uint32_t hint) {
    const std::uint32_t sym0 = Sym(found_);
    const std::uint32_t up = Succ(found_);
    std::uint32_t pending[kMaxOrder + 1];
    int count = 0;
    std::uint32_t c = curCtx_;
    bool walk = true;
    if (mode == 0) {
        pending[count++] = found_;
        walk = Suffix(c) != 0;
    } else if (mode == 2) {
        c = Suffix(c);
    }
    if (walk) {
        bool first = true;
        for (;;) {
            c = Suffix(c);
            if (c == 0) return false;  // only a corrupted model ends the chain here
            std::uint32_t t;
            if (first && hint != 0 && mode != 2) {
                t = hint;
            } else if (NumStats(c) != 1) {
                t = FindState(c, sym0);
                if (t == 0) return false;
            } else {
                t = OneState(c);
            }
            first = false;
            if (Succ(t) != up) {
                c = Succ(t);
                break;
            }
            if (count == kMaxOrder + 1) return false;
            pending[count++] = t;
            if (Suffix(c) == 0) break;
        }
    }

    // Frequency of the symbol the new contexts inherit, estimated from the context below them.
    const std::uint32_t u = OneState(up);
    const std::uint32_t sym1 = Sym(u);
    std::uint32_t freq;
    if (NumStats(c) != 1) {
        const std::uint32_t t = FindState(c, sym1);
        if (t == 0) return false;
        const std::uint32_t cf = Freq(t) - 1u;
        const std::uint32_t s0 = SummFreq(c) - NumStats(c) - cf;
        if (2 * cf <= s0)
            freq = 1 + (5 * cf > s0);
        else
            freq = 1 + (s0 != 0 ? (2 * cf + 3 * s0 - 1) / (2 * s0) : 0);
    } else {
        freq = Freq(OneState(c));
    }
    Freq(u) = static_cast<std::uint8_t>(freq);

    const std::uint32_t upSucc = Succ(u);
    for (int i = count - 1; i >= 0; --i) {
        const std::uint32_t n = alloc_.AllocContext();
        if (n == 0) return false;
        SetNumStats(n, 1);
        SetSuffix(n, c);
        SetSucc(pending[i], n);
        const std::uint32_t e = OneState(n);
        Sym(e) = static_cast<std::uint8_t>(sym1);
        Freq(e) = static_cast<std::uint8_t>(freq);
        SetSucc(e, upSucc);
        c = n;
    }
    if (orderFall_ == 0) {  // at full order the pending context itself becomes real
        SetNumStats(up, 1);
        SetSuffix(up, c);
    }
    return true;
}

// ---- encoding -------------------------------------------------------------------------------

void Model::EncodeBinary(RangeEncoder& rc, int symbol) {
    std::uint16_t& b = BinEstimate(curCtx_);
    if (Sym(OneState(curCtx_)) == symbol) {
        rc.EncodeBinary(0, b);
        HitBinary(curCtx_, b);
    } else {
        rc.EncodeBinary(b, kBinTotal - b);
        EscapeBinary(curCtx_, b);
    }
}

void Model::EncodeFirst(RangeEncoder& rc, int symbol) {
    const std::uint32_t c = curCtx_;
    const std::uint32_t p = Stats(c);
    const std::uint32_t total = SummFreq(c);
    if (Sym(p) == symbol) {
        rc.Encode(0, Freq(p), total);
        FoundFirst(c, p, total);
        return;
    }
    prevSuccess_ = 0;
    std::uint32_t low = Freq(p);
    const std::uint32_t end = p + 6 * NumStats(c);
    for (std::uint32_t s = p + 6; s != end; s += 6) {
        if (Sym(s) == symbol) {
            rc.Encode(low, Freq(s), total);
            FoundLater(c, s);
            return;
        }
        low += Freq(s);
    }
    rc.Encode(low, total - low, total);
    MaskAll(c);
}

void Model::EncodeMasked(RangeEncoder& rc, int symbol) {
    const std::uint32_t c = curCtx_;
    std::uint32_t escFreq;
    See* see = SeeFor(c, escFreq);
    const std::uint32_t p = Stats(c);
    const std::uint32_t end = p + 6 * NumStats(c);
    std::uint32_t sum = 0, low = 0, hit = 0;
    for (std::uint32_t s = p; s != end; s += 6) {
        if (charMask_[Sym(s)] == escCount_) continue;
        if (Sym(s) == symbol) {
            low = sum;
            hit = s;
        }
        sum += Freq(s);
    }
    const std::uint32_t total = sum + escFreq;
    if (hit != 0) {
        rc.Encode(low, Freq(hit), total);
        FoundMasked(c, hit, see);
    } else {
        rc.Encode(sum, escFreq, total);
        see->summ = static_cast<std::uint16_t>(see->summ + total);
        MaskAll(c);
    }
}

bool Model::Encode(RangeEncoder& rc, const std::uint8_t* in, std::size_t size) {
    for (std::size_t i = 0; i <= size; ++i) {
        const int symbol = i < size ? in[i] : -1;  // -1: the end mark, held by no context
        if (NumStats(curCtx_) != 1)
            EncodeFirst(rc, symbol);
        else
            EncodeBinary(rc, symbol);
        while (found_ == 0) {
            rc.Normalize();
            do {
                ++orderFall_;
                curCtx_ = Suffix(curCtx_);
                if (curCtx_ == 0) {
                    if (i < size) return false;  // a real byte is always found at order 0
                    rc.Flush();
                    return !rc.Overflowed();
                }
            } while (NumStats(curCtx_) == numMasked_);
            EncodeMasked(rc, symbol);
        }
        Advance();
        rc.Normalize();
        if (rc.Overflowed()) return false;
    }
    return false;
}

// ---- decoding -------------------------------------------------------------------------------
//
// Damaged input cannot steer the model anywhere the encoder could not: every count is checked
// against its total, so each step picks a state the context holds (or an escape), which is what
// the encoder does for some input byte. The arena references the decoder follows are therefore
// those of a model built by a valid encoding; only the range coder needs guarding (input that
// ends early, a range driven to zero) and the output is bounded by the caller's buffer.

bool Model::DecodeBinary(RangeDecoder& rc) {
    std::uint16_t& b = BinEstimate(curCtx_);
    const std::uint32_t count = rc.GetBinaryCount();
    if (count >= kBinTotal) return false;
    if (count < b) {
        rc.Decode(0, b);
        HitBinary(curCtx_, b);
    } else {
        rc.Decode(b, kBinTotal - b);
        EscapeBinary(curCtx_, b);
    }
    return true;
}

bool Model::DecodeFirst(RangeDecoder& rc) {
    const std::uint32_t c = curCtx_;
    const std::uint32_t p = Stats(c);
    const std::uint32_t total = SummFreq(c);
    const std::uint32_t count = rc.GetCount(total);
    if (count >= total) return false;
    std::uint32_t high = Freq(p);
    if (count < high) {
        rc.Decode(0, high);
        FoundFirst(c, p, total);
        return true;
    }
    prevSuccess_ = 0;
    const std::uint32_t end = p + 6 * NumStats(c);
    for (std::uint32_t s = p + 6; s != end; s += 6) {
        high += Freq(s);
        if (high > count) {
            rc.Decode(high - Freq(s), Freq(s));
            FoundLater(c, s);
            return true;
        }
    }
    rc.Decode(high, total - high);
    MaskAll(c);
    return true;
}

bool Model::DecodeMasked(RangeDecoder& rc) {
    const std::uint32_t c = curCtx_;
    std::uint32_t escFreq;
    See* see = SeeFor(c, escFreq);
    std::uint32_t candidates[256];
    std::uint32_t n = 0, sum = 0;
    const std::uint32_t p = Stats(c);
    const std::uint32_t end = p + 6 * NumStats(c);
    for (std::uint32_t s = p; s != end && n < 256; s += 6) {
        if (charMask_[Sym(s)] == escCount_) continue;
        candidates[n++] = s;
        sum += Freq(s);
    }
    const std::uint32_t total = sum + escFreq;
    const std::uint32_t count = rc.GetCount(total);
    if (count >= total) return false;
    if (count < sum) {
        std::uint32_t high = 0;
        for (std::uint32_t i = 0;; ++i) {
            const std::uint32_t s = candidates[i];
            high += Freq(s);
            if (high > count) {
                rc.Decode(high - Freq(s), Freq(s));
                FoundMasked(c, s, see);
                return true;
            }
        }
    }
    rc.Decode(sum, escFreq);
    see->summ = static_cast<std::uint16_t>(see->summ + total);
    MaskAll(c);
    return true;
}

bool Model::Decode(RangeDecoder& rc, std::uint8_t* out, std::size_t capacity, std::size_t& produced) {
    produced = 0;
    if (rc.Failed()) return false;
    for (;;) {
        const bool ok = NumStats(curCtx_) != 1 ? DecodeFirst(rc) : DecodeBinary(rc);
        if (!ok) return false;
        while (found_ == 0) {
            rc.Normalize();
            if (rc.Failed()) return false;
            do {
                ++orderFall_;
                curCtx_ = Suffix(curCtx_);
                if (curCtx_ == 0) return true;  // escaped out of order 0: the end mark
            } while (NumStats(curCtx_) == numMasked_);
            if (!DecodeMasked(rc)) return false;
        }
        if (produced == capacity) return false;
        out[produced++] = Sym(found_);
        Advance();
        rc.Normalize();
        if (rc.Failed()) return false;
    }
}

}  // namespace ppmd
