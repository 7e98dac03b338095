#pragma once
// AES block cipher (FIPS-197) and the feedback chaining of the page cipher. Internal to the
// cipher library; the rest of the engine uses CFSCipher.h.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cfs/codecs/cipher/CFSCipher.h"

constexpr std::size_t kAesBlockSize = 16;

// Every byte of the block that is enciphered to make the initial feedback block F0. Part of the
// stored format: containers written with one value cannot be read with another.
constexpr std::uint8_t kFeedbackFillByte = 0xA5;

struct TAesKeySchedule {
  int rounds = 0;
  bool useAesNi = false;
  // Round keys in FIPS byte order, encryption order.
  alignas(16) std::uint8_t encKeys[15][16] = {};
  // Round keys of the equivalent inverse cipher in the order decryption uses them
  // (InvMixColumns applied to all but the first and the last).
  alignas(16) std::uint8_t decKeys[15][16] = {};
  // The same keys as big-endian words for the table-driven code.
  std::uint32_t encWords[60] = {};
  std::uint32_t decWords[60] = {};
  // Initial feedback block F0.
  alignas(16) std::uint8_t feedback0[16] = {};
};

// Expands a raw key of up to 32 bytes: 16 or fewer bytes give 10 rounds, up to 24 give 12,
// more give 14; shorter keys are zero-padded.
void AesExpandKey(TAesKeySchedule& schedule, const std::uint8_t* key, std::size_t length);

// Key setup from a key string: RIPEMD-256 of it as a 32-byte AES key, then F0 := AES(fill block).
// The key string must not be empty.
void AesSetupKeyString(TAesKeySchedule& schedule, std::string_view keyString, TAesBackend backend);

// One block through the cipher, with whichever implementation the schedule selects.
void AesEncryptBlock(const TAesKeySchedule& schedule, const std::uint8_t* in, std::uint8_t* out);

// Feedback chaining over a whole buffer (whole blocks and the 1..15 byte tail), starting from
// F0. source and dest may be the same buffer.
void AesChainEncode(const TAesKeySchedule& schedule, const void* source, void* dest, std::size_t length);
void AesChainDecode(const TAesKeySchedule& schedule, const void* source, void* dest, std::size_t length);

// Table-driven implementation.
void AesPortableEncryptBlock(const TAesKeySchedule& schedule, const std::uint8_t* in, std::uint8_t* out);
void AesPortableDecryptBlock(const TAesKeySchedule& schedule, const std::uint8_t* in, std::uint8_t* out);
void AesPortableEncodeBlocks(const TAesKeySchedule& schedule, std::uint8_t* feedback, const std::uint8_t* source,
                             std::uint8_t* dest, std::size_t blocks);
void AesPortableDecodeBlocks(const TAesKeySchedule& schedule, std::uint8_t* feedback, const std::uint8_t* source,
                             std::uint8_t* dest, std::size_t blocks);

// AES-NI implementation; AesNiAvailable() is false where the processor or the build lacks it,
// and the other functions must then not be called.
bool AesNiAvailable();
void AesNiEncryptBlock(const TAesKeySchedule& schedule, const std::uint8_t* in, std::uint8_t* out);
void AesNiEncodeBlocks(const TAesKeySchedule& schedule, std::uint8_t* feedback, const std::uint8_t* source,
                       std::uint8_t* dest, std::size_t blocks);
void AesNiDecodeBlocks(const TAesKeySchedule& schedule, std::uint8_t* feedback, const std::uint8_t* source,
                       std::uint8_t* dest, std::size_t blocks);
