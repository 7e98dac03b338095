// AES with the processor's AES instructions. The functions carry their own target attribute so
// the rest of the build stays portable; AesNiAvailable() decides at run time whether they may run.
#include "cfs/codecs/cipher/CFSAesCore.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define ZELK_HAVE_AESNI 1
#include <cpuid.h>
#include <immintrin.h>
#endif

#if ZELK_HAVE_AESNI

#define ZELK_AESNI_TARGET __attribute__((target("aes,sse2")))

namespace {

bool DetectAesNi() {
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  return (ecx & bit_AES) != 0 && (edx & bit_SSE2) != 0;
}

ZELK_AESNI_TARGET inline __m128i Load(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

ZELK_AESNI_TARGET inline void Store(std::uint8_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

template <int Rounds>
ZELK_AESNI_TARGET inline __m128i Encrypt(const __m128i* k, __m128i x) {
  x = _mm_xor_si128(x, k[0]);
  for (int r = 1; r < Rounds; ++r) x = _mm_aesenc_si128(x, k[r]);
  return _mm_aesenclast_si128(x, k[Rounds]);
}

template <int Rounds>
ZELK_AESNI_TARGET void EncodeBlocks(const TAesKeySchedule& s, std::uint8_t* feedback, const std::uint8_t* source,
                                    std::uint8_t* dest, std::size_t blocks) {
  __m128i k[Rounds + 1];
  for (int r = 0; r <= Rounds; ++r) k[r] = Load(s.encKeys[r]);
  __m128i f = Load(feedback);
  for (std::size_t b = 0; b < blocks; ++b, source += 16, dest += 16) {
    const __m128i y = Encrypt<Rounds>(k, _mm_xor_si128(Load(source), f));
    f = _mm_xor_si128(f, y);
    Store(dest, y);
  }
  Store(feedback, f);
}

// Deciphering: the feedback for block i is F0 xor the stored blocks before it, so it is known
// before any block is deciphered and eight blocks can go through the cipher at once.
template <int Rounds>
ZELK_AESNI_TARGET void DecodeBlocks(const TAesKeySchedule& s, std::uint8_t* feedback, const std::uint8_t* source,
                                    std::uint8_t* dest, std::size_t blocks) {
  constexpr std::size_t kLanes = 8;
  __m128i k[Rounds + 1];
  for (int r = 0; r <= Rounds; ++r) k[r] = Load(s.decKeys[r]);
  __m128i f = Load(feedback);
  std::size_t b = 0;
  for (; b + kLanes <= blocks; b += kLanes, source += 16 * kLanes, dest += 16 * kLanes) {
    __m128i y[kLanes], x[kLanes], fb[kLanes];
    for (std::size_t i = 0; i < kLanes; ++i) {
      y[i] = Load(source + 16 * i);
      fb[i] = f;
      f = _mm_xor_si128(f, y[i]);
      x[i] = _mm_xor_si128(y[i], k[0]);
    }
    for (int r = 1; r < Rounds; ++r) {
      for (std::size_t i = 0; i < kLanes; ++i) x[i] = _mm_aesdec_si128(x[i], k[r]);
    }
    for (std::size_t i = 0; i < kLanes; ++i) {
      x[i] = _mm_aesdeclast_si128(x[i], k[Rounds]);
      Store(dest + 16 * i, _mm_xor_si128(x[i], fb[i]));
    }
  }
  for (; b < blocks; ++b, source += 16, dest += 16) {
    const __m128i y = Load(source);
    __m128i x = _mm_xor_si128(y, k[0]);
    for (int r = 1; r < Rounds; ++r) x = _mm_aesdec_si128(x, k[r]);
    x = _mm_aesdeclast_si128(x, k[Rounds]);
    Store(dest, _mm_xor_si128(x, f));
    f = _mm_xor_si128(f, y);
  }
  Store(feedback, f);
}

}  // namespace

bool AesNiAvailable() {
  static const bool available = DetectAesNi();
  return available;
}

ZELK_AESNI_TARGET void AesNiEncryptBlock(const TAesKeySchedule& s, const std::uint8_t* in, std::uint8_t* out) {
  __m128i x = _mm_xor_si128(Load(in), Load(s.encKeys[0]));
  for (int r = 1; r < s.rounds; ++r) x = _mm_aesenc_si128(x, Load(s.encKeys[r]));
  Store(out, _mm_aesenclast_si128(x, Load(s.encKeys[s.rounds])));
}

void AesNiEncodeBlocks(const TAesKeySchedule& s, std::uint8_t* feedback, const std::uint8_t* source,
                       std::uint8_t* dest, std::size_t blocks) {
  switch (s.rounds) {
    case 10: EncodeBlocks<10>(s, feedback, source, dest, blocks); break;
    case 12: EncodeBlocks<12>(s, feedback, source, dest, blocks); break;
    default: EncodeBlocks<14>(s, feedback, source, dest, blocks); break;
  }
}

void AesNiDecodeBlocks(const TAesKeySchedule& s, std::uint8_t* feedback, const std::uint8_t* source,
                       std::uint8_t* dest, std::size_t blocks) {
  switch (s.rounds) {
    case 10: DecodeBlocks<10>(s, feedback, source, dest, blocks); break;
    case 12: DecodeBlocks<12>(s, feedback, source, dest, blocks); break;
    default: DecodeBlocks<14>(s, feedback, source, dest, blocks); break;
  }
}

#else  // no AES instructions in this build

bool AesNiAvailable() { return false; }

void AesNiEncryptBlock(const TAesKeySchedule& s, const std::uint8_t* in, std::uint8_t* out) {
  AesPortableEncryptBlock(s, in, out);
}

void AesNiEncodeBlocks(const TAesKeySchedule& s, std::uint8_t* feedback, const std::uint8_t* source,
                       std::uint8_t* dest, std::size_t blocks) {
  AesPortableEncodeBlocks(s, feedback, source, dest, blocks);
}

void AesNiDecodeBlocks(const TAesKeySchedule& s, std::uint8_t* feedback, const std::uint8_t* source,
                       std::uint8_t* dest, std::size_t blocks) {
  AesPortableDecodeBlocks(s, feedback, source, dest, blocks);
}

#endif
