#pragma once
// The page cipher: AES-256 under a key derived from a key string by RIPEMD-256, with the
// container's own feedback chaining, and the 172-byte password record built on it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// Password record as stored in the container header and in directory items:
//   0..31   master key enciphered with the password
//   32..63  zero-padded password enciphered with the answer (zero without question/answer)
//   64..67  CRC-16 of the plain master key, zero-extended
//   68..71  CRC-16 of the zero-padded plain password (zero without question/answer)
//   72..171 zero-padded question enciphered with the fixed question key
using TCFSPasswordRec = std::array<std::uint8_t, 172>;

constexpr std::size_t kMaxPasswordLength = 32, kMaxQuestionLength = 100, kPageKeyLength = 33;

// Which AES implementation a cipher uses. Best picks AES-NI when the processor has it;
// Portable forces the table-driven code (both give identical bytes).
enum class TAesBackend { Best, Portable };

struct TAesKeySchedule;  // expanded key and initial feedback block (CFSAesCore.h)

// Common base of the block ciphers: set up for one key string, then encipher or decipher
// whole buffers. source and dest may be the same buffer.
class TCipher {
 public:
  virtual ~TCipher() = default;
  virtual void InitKey(std::string_view keyString) = 0;
  virtual void EncodeBuffer(const void* source, void* dest, std::size_t length) = 0;
  virtual void DecodeBuffer(const void* source, void* dest, std::size_t length) = 0;
};

class TCipherAES : public TCipher {
 public:
  explicit TCipherAES(TAesBackend backend = TAesBackend::Best);
  ~TCipherAES() override;
  TCipherAES(const TCipherAES&) = delete;
  TCipherAES& operator=(const TCipherAES&) = delete;

  // An empty key string leaves the cipher uninitialised; Encode/DecodeBuffer then raise
  // Exception "TCipherAES is not initialized, call InitKey() first.".
  void InitKey(std::string_view keyString) override;
  void EncodeBuffer(const void* source, void* dest, std::size_t length) override;
  void DecodeBuffer(const void* source, void* dest, std::size_t length) override;
  bool Initialized() const noexcept { return initialized_; }

 private:
  TAesBackend backend_;
  bool initialized_ = false;
  std::unique_ptr<TAesKeySchedule> schedule_;
};

// Builds a record with a fresh random master key. Raises Exception on an over-long password
// ("Password length should be shorter then 32") or question
// ("Question length should be shorter then 100"), or when the random source fails.
void MakePasswordRec(TCFSPasswordRec& rec, std::string_view password, std::string_view question,
                     std::string_view answer);

// Derives the 33-byte page key (master key + one zero byte) into key and tells whether the
// password is the right one. An empty password gives false and leaves key untouched.
bool CheckPasswordRec(const TCFSPasswordRec& rec, std::string_view password, std::string& key);

// The page layer's cipher: owned by whoever enciphers pages (one per open container / open
// file), never global. Caches the key schedule (and the initial feedback block) per key string
// so repeated pages do not redo the RIPEMD-256 and key expansion; results are byte-identical to
// a fresh TCipherAES per buffer. false on any failure (empty key, ...); never throws.
class TPageCipher {
 public:
  explicit TPageCipher(TAesBackend backend = TAesBackend::Best);
  ~TPageCipher();
  TPageCipher(const TPageCipher&) = delete;
  TPageCipher& operator=(const TPageCipher&) = delete;

  bool Encode(std::string_view key, void* data, std::size_t length);
  bool Decode(std::string_view key, void* data, std::size_t length);

 private:
  struct TEntry;
  using TChainFunction = void (*)(const TAesKeySchedule&, const void*, void*, std::size_t);
  const TAesKeySchedule* Lookup(std::string_view key);
  bool Apply(std::string_view key, void* data, std::size_t length, TChainFunction chain);

  TAesBackend backend_;
  static constexpr std::size_t kCacheSize = 4;
  std::array<std::unique_ptr<TEntry>, kCacheSize> cache_;
  std::size_t nextVictim_ = 0;
};
