#pragma once
// Carryless range coder (Subbotin) with 32-bit low and range, TOP = 2^24, BOT = 2^15.
// All arithmetic is unsigned 32-bit with wrap-around.

#include <cstddef>
#include <cstdint>

namespace ppmd {

constexpr std::uint32_t kTop = 1u << 24;
constexpr std::uint32_t kBot = 1u << 15;
constexpr std::uint32_t kBinTotalBits = 14;

class RangeEncoder {
public:
    RangeEncoder(std::uint8_t* out, std::size_t capacity) : out_(out), capacity_(capacity) {}

    void Encode(std::uint32_t low, std::uint32_t size, std::uint32_t total) {
        const std::uint32_t r = range_ / total;
        low_ += low * r;
        range_ = r * size;
    }
    // Total of 2^14, used by binary contexts.
    void EncodeBinary(std::uint32_t low, std::uint32_t size) {
        const std::uint32_t r = range_ >> kBinTotalBits;
        low_ += low * r;
        range_ = r * size;
    }

    void Normalize() {
        for (;;) {
            if ((low_ ^ (low_ + range_)) >= kTop) {
                if (range_ >= kBot) return;
                range_ = (0u - low_) & (kBot - 1);
            }
            if (!Put(static_cast<std::uint8_t>(low_ >> 24))) return;
            range_ <<= 8;
            low_ <<= 8;
        }
    }

    void Flush() {
        for (int i = 0; i < 4; ++i) {
            if (!Put(static_cast<std::uint8_t>(low_ >> 24))) return;
            low_ <<= 8;
        }
    }

    bool Overflowed() const { return overflow_; }
    std::size_t BytesWritten() const { return pos_; }

private:
    bool Put(std::uint8_t byte) {
        if (pos_ == capacity_) {
            overflow_ = true;
            return false;
        }
        out_[pos_++] = byte;
        return true;
    }

    std::uint8_t* out_;
    std::size_t capacity_;
    std::size_t pos_ = 0;
    bool overflow_ = false;
    std::uint32_t low_ = 0;
    std::uint32_t range_ = 0xFFFFFFFFu;
};

// The decoder fails (Failed() turns true) instead of reading past the end of its input or
// dividing by a range that damaged input has driven to zero.
class RangeDecoder {
public:
    RangeDecoder(const std::uint8_t* in, std::size_t size) : in_(in), size_(size) {
        for (int i = 0; i < 4; ++i) code_ = (code_ << 8) | Next();
    }

    // Count within a total; the caller checks count < total.
    std::uint32_t GetCount(std::uint32_t total) {
        range_ = total != 0 ? range_ / total : 0;
        if (range_ == 0) {
            failed_ = true;
            return 0xFFFFFFFFu;
        }
        return (code_ - low_) / range_;
    }
    std::uint32_t GetBinaryCount() {
        range_ >>= kBinTotalBits;
        if (range_ == 0) {
            failed_ = true;
            return 0xFFFFFFFFu;
        }
        return (code_ - low_) / range_;
    }

    void Decode(std::uint32_t low, std::uint32_t size) {
        low_ += range_ * low;
        range_ *= size;
    }

    void Normalize() {
        for (;;) {
            if ((low_ ^ (low_ + range_)) >= kTop) {
                if (range_ >= kBot) return;
                range_ = (0u - low_) & (kBot - 1);
            }
            code_ = (code_ << 8) | Next();
            if (failed_) return;
            range_ <<= 8;
            low_ <<= 8;
        }
    }

    bool Failed() const { return failed_; }
    std::size_t BytesRead() const { return pos_; }

private:
    std::uint32_t Next() {
        if (pos_ == size_) {
            failed_ = true;
            return 0;
        }
        return in_[pos_++];
    }

    const std::uint8_t* in_;
    std::size_t size_;
    std::size_t pos_ = 0;
    bool failed_ = false;
    std::uint32_t low_ = 0;
    std::uint32_t code_ = 0;
    std::uint32_t range_ = 0xFFFFFFFFu;
};

}  // namespace ppmd
