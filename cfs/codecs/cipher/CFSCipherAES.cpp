// Key setup and feedback chaining of the page cipher, and the TCipherAES class around them.
#include <cstring>

#include "cfs/codecs/cipher/CFSAesCore.h"
#include "cfs/codecs/cipher/CFSCipher.h"
#include "cfs/codecs/cipher/CFSHash.h"
#include "platform/Exception.h"

namespace {

// The tail of 1..15 bytes is XORed with AES-encrypt(F) in both directions.
void ApplyTail(const TAesKeySchedule& schedule, const std::uint8_t* feedback, const std::uint8_t* source,
               std::uint8_t* dest, std::size_t count) {
  std::uint8_t stream[kAesBlockSize];
  AesEncryptBlock(schedule, feedback, stream);
  for (std::size_t i = 0; i < count; ++i) dest[i] = source[i] ^ stream[i];
}

using TBlocksFunction = void (*)(const TAesKeySchedule&, std::uint8_t*, const std::uint8_t*, std::uint8_t*,
                                 std::size_t);

// Whole blocks through the given direction's block function, starting from F0, then the tail.
void Chain(const TAesKeySchedule& schedule, TBlocksFunction blocksFunction, const void* source, void* dest,
           std::size_t length) {
  auto src = static_cast<const std::uint8_t*>(source);
  auto dst = static_cast<std::uint8_t*>(dest);
  alignas(16) std::uint8_t feedback[kAesBlockSize];
  std::memcpy(feedback, schedule.feedback0, sizeof feedback);
  const std::size_t blocks = length / kAesBlockSize;
  blocksFunction(schedule, feedback, src, dst, blocks);
  const std::size_t done = blocks * kAesBlockSize;
  if (done < length) ApplyTail(schedule, feedback, src + done, dst + done, length - done);
}

[[noreturn]] void RaiseNotInitialized() {
  throw Exception("TCipherAES is not initialized, call InitKey() first.");
}

}  // namespace

void AesSetupKeyString(TAesKeySchedule& schedule, std::string_view keyString, TAesBackend backend) {
  THashRipeMD256::TDigest key = THashRipeMD256::Digest(keyString);
  AesExpandKey(schedule, key.data(), key.size());
  key.fill(0);
  schedule.useAesNi = backend == TAesBackend::Best && AesNiAvailable();
  std::uint8_t fill[kAesBlockSize];
  std::memset(fill, kFeedbackFillByte, sizeof fill);
  AesEncryptBlock(schedule, fill, schedule.feedback0);
}

void AesEncryptBlock(const TAesKeySchedule& schedule, const std::uint8_t* in, std::uint8_t* out) {
  if (schedule.useAesNi) {
    AesNiEncryptBlock(schedule, in, out);
  } else {
    AesPortableEncryptBlock(schedule, in, out);
  }
}

void AesChainEncode(const TAesKeySchedule& schedule, const void* source, void* dest, std::size_t length) {
  Chain(schedule, schedule.useAesNi ? AesNiEncodeBlocks : AesPortableEncodeBlocks, source, dest, length);
}

void AesChainDecode(const TAesKeySchedule& schedule, const void* source, void* dest, std::size_t length) {
  Chain(schedule, schedule.useAesNi ? AesNiDecodeBlocks : AesPortableDecodeBlocks, source, dest, length);
}

TCipherAES::TCipherAES(TAesBackend backend) : backend_(backend) {}

TCipherAES::~TCipherAES() {
  if (schedule_) *schedule_ = TAesKeySchedule{};
}

void TCipherAES::InitKey(std::string_view keyString) {
  initialized_ = false;
  if (keyString.empty()) return;
  if (!schedule_) schedule_ = std::make_unique<TAesKeySchedule>();
  AesSetupKeyString(*schedule_, keyString, backend_);
  initialized_ = true;
}

void TCipherAES::EncodeBuffer(const void* source, void* dest, std::size_t length) {
  if (!initialized_) RaiseNotInitialized();
  AesChainEncode(*schedule_, source, dest, length);
}

void TCipherAES::DecodeBuffer(const void* source, void* dest, std::size_t length) {
  if (!initialized_) RaiseNotInitialized();
  AesChainDecode(*schedule_, source, dest, length);
}
