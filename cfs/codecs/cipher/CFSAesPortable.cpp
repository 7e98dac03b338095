// Table-driven AES (FIPS-197): key expansion, and the block functions used when the processor
// has no AES instructions. Tables are computed at compile time.
#include <array>
#include <cstring>

#include "cfs/codecs/cipher/CFSAesCore.h"

namespace {

using TTable = std::array<std::uint32_t, 256>;
using TByteTable = std::array<std::uint8_t, 256>;

constexpr std::uint8_t XTime(std::uint8_t x) {
  return static_cast<std::uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1B : 0x00));
}

constexpr std::uint8_t GfMul(std::uint8_t a, std::uint8_t b) {
  std::uint8_t r = 0;
  while (b) {
    if (b & 1) r ^= a;
    a = XTime(a);
    b >>= 1;
  }
  return r;
}

constexpr std::uint8_t Rotl8(std::uint8_t x, int s) {
  return static_cast<std::uint8_t>((x << s) | (x >> (8 - s)));
}

// S-box from its definition: multiplicative inverse in GF(2^8) followed by the affine map.
constexpr TByteTable MakeSBox() {
  TByteTable s{};
  for (int x = 0; x < 256; ++x) {
    std::uint8_t inv = 0;
    if (x != 0) {
      for (int y = 1; y < 256; ++y) {
        if (GfMul(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y)) == 1) {
          inv = static_cast<std::uint8_t>(y);
          break;
        }
      }
    }
    s[x] = static_cast<std::uint8_t>(inv ^ Rotl8(inv, 1) ^ Rotl8(inv, 2) ^ Rotl8(inv, 3) ^ Rotl8(inv, 4) ^ 0x63);
  }
  return s;
}

constexpr TByteTable kSBox = MakeSBox();

constexpr TByteTable MakeInvSBox() {
  TByteTable si{};
  for (int x = 0; x < 256; ++x) si[kSBox[x]] = static_cast<std::uint8_t>(x);
  return si;
}

constexpr TByteTable kInvSBox = MakeInvSBox();

constexpr std::uint32_t Pack(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
  return (std::uint32_t{b0} << 24) | (std::uint32_t{b1} << 16) | (std::uint32_t{b2} << 8) | b3;
}

constexpr std::uint32_t Rotr32(std::uint32_t x, int s) { return s == 0 ? x : (x >> s) | (x << (32 - s)); }

// Te[k][x]: SubBytes + MixColumns contribution of byte x in row k, as a column word.
constexpr std::array<TTable, 4> MakeEncTables() {
  std::array<TTable, 4> t{};
  for (int x = 0; x < 256; ++x) {
    const std::uint8_t s = kSBox[x];
    const std::uint32_t w = Pack(GfMul(s, 2), s, s, GfMul(s, 3));
    for (int k = 0; k < 4; ++k) t[k][x] = Rotr32(w, 8 * k);
  }
  return t;
}

constexpr std::array<TTable, 4> MakeDecTables() {
  std::array<TTable, 4> t{};
  for (int x = 0; x < 256; ++x) {
    const std::uint8_t s = kInvSBox[x];
    const std::uint32_t w = Pack(GfMul(s, 14), GfMul(s, 9), GfMul(s, 13), GfMul(s, 11));
    for (int k = 0; k < 4; ++k) t[k][x] = Rotr32(w, 8 * k);
  }
  return t;
}

constexpr std::array<TTable, 4> kTe = MakeEncTables();
constexpr std::array<TTable, 4> kTd = MakeDecTables();

std::uint32_t LoadBE(const std::uint8_t* p) { return Pack(p[0], p[1], p[2], p[3]); }

void StoreBE(std::uint8_t* p, std::uint32_t w) {
  p[0] = static_cast<std::uint8_t>(w >> 24);
  p[1] = static_cast<std::uint8_t>(w >> 16);
  p[2] = static_cast<std::uint8_t>(w >> 8);
  p[3] = static_cast<std::uint8_t>(w);
}

std::uint32_t SubWord(std::uint32_t w) {
  return Pack(kSBox[w >> 24], kSBox[(w >> 16) & 0xFF], kSBox[(w >> 8) & 0xFF], kSBox[w & 0xFF]);
}

void InvMixColumn(const std::uint8_t* in, std::uint8_t* out) {
  const std::uint8_t a0 = in[0], a1 = in[1], a2 = in[2], a3 = in[3];
  out[0] = GfMul(a0, 14) ^ GfMul(a1, 11) ^ GfMul(a2, 13) ^ GfMul(a3, 9);
  out[1] = GfMul(a0, 9) ^ GfMul(a1, 14) ^ GfMul(a2, 11) ^ GfMul(a3, 13);
  out[2] = GfMul(a0, 13) ^ GfMul(a1, 9) ^ GfMul(a2, 14) ^ GfMul(a3, 11);
  out[3] = GfMul(a0, 11) ^ GfMul(a1, 13) ^ GfMul(a2, 9) ^ GfMul(a3, 14);
}

}  // namespace

void AesExpandKey(TAesKeySchedule& schedule, const std::uint8_t* key, std::size_t length) {
  std::uint8_t padded[32] = {};
  if (length > sizeof padded) length = sizeof padded;
  if (length > 0) std::memcpy(padded, key, length);
  const int rounds = length <= 16 ? 10 : length <= 24 ? 12 : 14;
  const int nk = rounds - 6;
  const int words = 4 * (rounds + 1);
  schedule.rounds = rounds;

  std::uint32_t* w = schedule.encWords;
  for (int i = 0; i < nk; ++i) w[i] = LoadBE(padded + 4 * i);
  std::uint8_t rcon = 1;
  for (int i = nk; i < words; ++i) {
    std::uint32_t temp = w[i - 1];
    if (i % nk == 0) {
      temp = SubWord((temp << 8) | (temp >> 24)) ^ (std::uint32_t{rcon} << 24);
      rcon = XTime(rcon);
    } else if (nk > 6 && i % nk == 4) {
      temp = SubWord(temp);
    }
    w[i] = w[i - nk] ^ temp;
  }
  for (int i = 0; i < words; ++i) StoreBE(&schedule.encKeys[i / 4][4 * (i % 4)], w[i]);

  // Equivalent inverse cipher: reversed order, InvMixColumns on the inner round keys.
  for (int r = 0; r <= rounds; ++r) {
    const std::uint8_t* src = schedule.encKeys[rounds - r];
    std::uint8_t* dst = schedule.decKeys[r];
    if (r == 0 || r == rounds) {
      std::memcpy(dst, src, 16);
    } else {
      for (int c = 0; c < 4; ++c) InvMixColumn(src + 4 * c, dst + 4 * c);
    }
    for (int c = 0; c < 4; ++c) schedule.decWords[4 * r + c] = LoadBE(dst + 4 * c);
  }
  std::memset(padded, 0, sizeof padded);
}

void AesPortableEncryptBlock(const TAesKeySchedule& schedule, const std::uint8_t* in, std::uint8_t* out) {
  const std::uint32_t* rk = schedule.encWords;
  std::uint32_t s0 = LoadBE(in) ^ rk[0], s1 = LoadBE(in + 4) ^ rk[1];
  std::uint32_t s2 = LoadBE(in + 8) ^ rk[2], s3 = LoadBE(in + 12) ^ rk[3];
  const auto& t0 = kTe[0];
  const auto& t1 = kTe[1];
  const auto& t2 = kTe[2];
  const auto& t3 = kTe[3];
  for (int r = 1; r < schedule.rounds; ++r) {
    rk += 4;
    const std::uint32_t u0 = t0[s0 >> 24] ^ t1[(s1 >> 16) & 0xFF] ^ t2[(s2 >> 8) & 0xFF] ^ t3[s3 & 0xFF] ^ rk[0];
    const std::uint32_t u1 = t0[s1 >> 24] ^ t1[(s2 >> 16) & 0xFF] ^ t2[(s3 >> 8) & 0xFF] ^ t3[s0 & 0xFF] ^ rk[1];
    const std::uint32_t u2 = t0[s2 >> 24] ^ t1[(s3 >> 16) & 0xFF] ^ t2[(s0 >> 8) & 0xFF] ^ t3[s1 & 0xFF] ^ rk[2];
    const std::uint32_t u3 = t0[s3 >> 24] ^ t1[(s0 >> 16) & 0xFF] ^ t2[(s1 >> 8) & 0xFF] ^ t3[s2 & 0xFF] ^ rk[3];
    s0 = u0;
    s1 = u1;
    s2 = u2;
    s3 = u3;
  }
  rk += 4;
  const auto& s = kSBox;
  StoreBE(out, Pack(s[s0 >> 24], s[(s1 >> 16) & 0xFF], s[(s2 >> 8) & 0xFF], s[s3 & 0xFF]) ^ rk[0]);
  StoreBE(out + 4, Pack(s[s1 >> 24], s[(s2 >> 16) & 0xFF], s[(s3 >> 8) & 0xFF], s[s0 & 0xFF]) ^ rk[1]);
  StoreBE(out + 8, Pack(s[s2 >> 24], s[(s3 >> 16) & 0xFF], s[(s0 >> 8) & 0xFF], s[s1 & 0xFF]) ^ rk[2]);
  StoreBE(out + 12, Pack(s[s3 >> 24], s[(s0 >> 16) & 0xFF], s[(s1 >> 8) & 0xFF], s[s2 & 0xFF]) ^ rk[3]);
}

void AesPortableDecryptBlock(const TAesKeySchedule& schedule, const std::uint8_t* in, std::uint8_t* out) {
  const std::uint32_t* rk = schedule.decWords;
  std::uint32_t s0 = LoadBE(in) ^ rk[0], s1 = LoadBE(in + 4) ^ rk[1];
  std::uint32_t s2 = LoadBE(in + 8) ^ rk[2], s3 = LoadBE(in + 12) ^ rk[3];
  const auto& t0 = kTd[0];
  const auto& t1 = kTd[1];
  const auto& t2 = kTd[2];
  const auto& t3 = kTd[3];
  for (int r = 1; r < schedule.rounds; ++r) {
    rk += 4;
    const std::uint32_t u0 = t0[s0 >> 24] ^ t1[(s3 >> 16) & 0xFF] ^ t2[(s2 >> 8) & 0xFF] ^ t3[s1 & 0xFF] ^ rk[0];
    const std::uint32_t u1 = t0[s1 >> 24] ^ t1[(s0 >> 16) & 0xFF] ^ t2[(s3 >> 8) & 0xFF] ^ t3[s2 & 0xFF] ^ rk[1];
    const std::uint32_t u2 = t0[s2 >> 24] ^ t1[(s1 >> 16) & 0xFF] ^ t2[(s0 >> 8) & 0xFF] ^ t3[s3 & 0xFF] ^ rk[2];
    const std::uint32_t u3 = t0[s3 >> 24] ^ t1[(s2 >> 16) & 0xFF] ^ t2[(s1 >> 8) & 0xFF] ^ t3[s0 & 0xFF] ^ rk[3];
    s0 = u0;
    s1 = u1;
    s2 = u2;
    s3 = u3;
  }
  rk += 4;
  const auto& s = kInvSBox;
  StoreBE(out, Pack(s[s0 >> 24], s[(s3 >> 16) & 0xFF], s[(s2 >> 8) & 0xFF], s[s1 & 0xFF]) ^ rk[0]);
  StoreBE(out + 4, Pack(s[s1 >> 24], s[(s0 >> 16) & 0xFF], s[(s3 >> 8) & 0xFF], s[s2 & 0xFF]) ^ rk[1]);
  StoreBE(out + 8, Pack(s[s2 >> 24], s[(s1 >> 16) & 0xFF], s[(s0 >> 8) & 0xFF], s[s3 & 0xFF]) ^ rk[2]);
  StoreBE(out + 12, Pack(s[s3 >> 24], s[(s2 >> 16) & 0xFF], s[(s1 >> 8) & 0xFF], s[s0 & 0xFF]) ^ rk[3]);
}

void AesPortableEncodeBlocks(const TAesKeySchedule& schedule, std::uint8_t* feedback, const std::uint8_t* source,
                             std::uint8_t* dest, std::size_t blocks) {
  std::uint8_t x[16];
  for (std::size_t b = 0; b < blocks; ++b, source += 16, dest += 16) {
    for (int i = 0; i < 16; ++i) x[i] = source[i] ^ feedback[i];
    AesPortableEncryptBlock(schedule, x, x);
    for (int i = 0; i < 16; ++i) {
      feedback[i] ^= x[i];
      dest[i] = x[i];
    }
  }
}

void AesPortableDecodeBlocks(const TAesKeySchedule& schedule, std::uint8_t* feedback, const std::uint8_t* source,
                             std::uint8_t* dest, std::size_t blocks) {
  std::uint8_t y[16], p[16];
  for (std::size_t b = 0; b < blocks; ++b, source += 16, dest += 16) {
    std::memcpy(y, source, 16);
    AesPortableDecryptBlock(schedule, y, p);
    for (int i = 0; i < 16; ++i) {
      dest[i] = p[i] ^ feedback[i];
      feedback[i] ^= y[i];
    }
  }
}
