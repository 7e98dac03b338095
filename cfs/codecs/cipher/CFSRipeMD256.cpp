// RIPEMD-256: two parallel lines of four 16-step rounds (as in RIPEMD-128), swapping one
// chaining word between the lines after each round, and a 256-bit result.
#include <cstring>

#include "cfs/codecs/cipher/CFSHash.h"

void THashMD::Init() {
  ResetState();
  std::memset(buffer_, 0, sizeof buffer_);
  buffered_ = 0;
  totalBytes_ = 0;
}

void THashMD::Calc(const void* data, std::size_t length) {
  auto p = static_cast<const std::uint8_t*>(data);
  totalBytes_ += length;
  if (buffered_ > 0) {
    const std::size_t take = length < kBlockSize - buffered_ ? length : kBlockSize - buffered_;
    std::memcpy(buffer_ + buffered_, p, take);
    buffered_ += take;
    p += take;
    length -= take;
    if (buffered_ < kBlockSize) return;
    Transform(buffer_);
    buffered_ = 0;
  }
  for (; length >= kBlockSize; p += kBlockSize, length -= kBlockSize) Transform(p);
  if (length > 0) {
    std::memcpy(buffer_, p, length);
    buffered_ = length;
  }
}

void THashMD::Done(std::uint8_t* digest) {
  const std::uint64_t bits = totalBytes_ * 8;
  buffer_[buffered_++] = 0x80;
  if (buffered_ > kBlockSize - 8) {
    std::memset(buffer_ + buffered_, 0, kBlockSize - buffered_);
    Transform(buffer_);
    buffered_ = 0;
  }
  std::memset(buffer_ + buffered_, 0, kBlockSize - 8 - buffered_);
  for (int i = 0; i < 8; ++i) buffer_[kBlockSize - 8 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
  Transform(buffer_);
  WriteDigest(digest);
  Init();
}

namespace {

constexpr std::uint8_t kLeftWord[64] = {
    0, 1, 2,  3,  4,  5,  6,  7,  8, 9, 10, 11, 12, 13, 14, 15,  //
    7, 4, 13, 1,  10, 6,  15, 3,  12, 0, 9, 5,  2,  14, 11, 8,   //
    3, 10, 14, 4, 9,  15, 8,  1,  2, 7, 0,  6,  13, 11, 5,  12,  //
    1, 9, 11, 10, 0,  8,  12, 4,  13, 3, 7, 15, 14, 5,  6,  2};
constexpr std::uint8_t kRightWord[64] = {
    5,  14, 7,  0, 9,  2,  11, 4,  13, 6,  15, 8,  1,  10, 3,  12,  //
    6,  11, 3,  7, 0,  13, 5,  10, 14, 15, 8,  12, 4,  9,  1,  2,   //
    15, 5,  1,  3, 7,  14, 6,  9,  11, 8,  12, 2,  10, 0,  4,  13,  //
    8,  6,  4,  1, 3,  11, 15, 0,  5,  12, 2,  13, 9,  7,  10, 14};
constexpr std::uint8_t kLeftShift[64] = {
    11, 14, 15, 12, 5,  8,  7,  9,  11, 13, 14, 15, 6,  7,  9,  8,   //
    7,  6,  8,  13, 11, 9,  7,  15, 7,  12, 15, 9,  11, 7,  13, 12,  //
    11, 13, 6,  7,  14, 9,  13, 15, 14, 8,  13, 6,  5,  12, 7,  5,   //
    11, 12, 14, 15, 14, 15, 9,  8,  9,  14, 5,  6,  8,  6,  5,  12};
constexpr std::uint8_t kRightShift[64] = {
    8, 9,  9,  11, 13, 15, 15, 5,  7,  7,  8,  11, 14, 14, 12, 6,   //
    9, 13, 15, 7,  12, 8,  9,  11, 7,  7,  12, 7,  6,  15, 13, 11,  //
    9, 7,  15, 11, 8,  6,  6,  14, 12, 13, 5,  14, 13, 13, 7,  5,   //
    15, 5, 8,  11, 14, 14, 6,  14, 6,  9,  12, 9,  12, 5,  15, 8};
constexpr std::uint32_t kLeftConst[4] = {0x00000000u, 0x5A827999u, 0x6ED9EBA1u, 0x8F1BBCDCu};
constexpr std::uint32_t kRightConst[4] = {0x50A28BE6u, 0x5C4DD124u, 0x6D703EF3u, 0x00000000u};

constexpr std::uint32_t Rotl(std::uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }

// f1..f4; the left line uses them in order per round, the right line in reverse.
constexpr std::uint32_t F(int j, std::uint32_t x, std::uint32_t y, std::uint32_t z) {
  switch (j) {
    case 0: return x ^ y ^ z;
    case 1: return (x & y) | (~x & z);
    case 2: return (x | ~y) ^ z;
    default: return (x & z) | (y & ~z);
  }
}

}  // namespace

THashRipeMD256::TDigest THashRipeMD256::Digest(std::string_view message) {
  THashRipeMD256 hash;
  hash.Calc(message.data(), message.size());
  TDigest digest{};
  hash.Done(digest.data());
  return digest;
}

void THashRipeMD256::ResetState() {
  static constexpr std::uint32_t kInit[8] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u,
                                             0x76543210u, 0xFEDCBA98u, 0x89ABCDEFu, 0x01234567u};
  std::memcpy(state_, kInit, sizeof state_);
}

void THashRipeMD256::Transform(const std::uint8_t* block) {
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i) {
    x[i] = std::uint32_t{block[4 * i]} | (std::uint32_t{block[4 * i + 1]} << 8) |
           (std::uint32_t{block[4 * i + 2]} << 16) | (std::uint32_t{block[4 * i + 3]} << 24);
  }
  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  std::uint32_t aa = state_[4], bb = state_[5], cc = state_[6], dd = state_[7];
  for (int round = 0; round < 4; ++round) {
    for (int step = 16 * round; step < 16 * round + 16; ++step) {
      std::uint32_t t = Rotl(a + F(round, b, c, d) + x[kLeftWord[step]] + kLeftConst[round], kLeftShift[step]);
      a = d;
      d = c;
      c = b;
      b = t;
      t = Rotl(aa + F(3 - round, bb, cc, dd) + x[kRightWord[step]] + kRightConst[round], kRightShift[step]);
      aa = dd;
      dd = cc;
      cc = bb;
      bb = t;
    }
    // Exchange one chaining word between the lines: A after round 1, B after 2, C after 3, D after 4.
    std::uint32_t* left[4] = {&a, &b, &c, &d};
    std::uint32_t* right[4] = {&aa, &bb, &cc, &dd};
    std::uint32_t swap = *left[round];
    *left[round] = *right[round];
    *right[round] = swap;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
  state_[4] += aa;
  state_[5] += bb;
  state_[6] += cc;
  state_[7] += dd;
}

void THashRipeMD256::WriteDigest(std::uint8_t* digest) const {
  for (int i = 0; i < 8; ++i) {
    for (int k = 0; k < 4; ++k) digest[4 * i + k] = static_cast<std::uint8_t>(state_[i] >> (8 * k));
  }
}
