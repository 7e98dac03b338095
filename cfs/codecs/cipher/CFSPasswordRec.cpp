// Password records: the master key enciphered under the password, with a CRC-16 of the plain
// master key that tells a right password from a wrong one.
#include <cstring>
#include <string>

#include "cfs/codecs/cipher/CFSChecksum.h"
#include "cfs/codecs/cipher/CFSCipher.h"
#include "platform/Exception.h"
#include "platform/Random.h"

namespace {

constexpr std::size_t kMasterKeyLength = 32;
constexpr std::size_t kMasterKeyOffset = 0;
constexpr std::size_t kPasswordCopyOffset = 32;
constexpr std::size_t kMasterCheckOffset = 64;
constexpr std::size_t kPasswordCheckOffset = 68;
constexpr std::size_t kQuestionOffset = 72;

// Key string under which the question is stored.
constexpr std::string_view kQuestionKey = "Kq7:W.>%&Zr~318hp";

void PutLE32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetLE32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

void EncipherField(std::string_view keyString, std::uint8_t* field, std::size_t length) {
  TCipherAES cipher;
  cipher.InitKey(keyString);
  cipher.EncodeBuffer(field, field, length);
}

}  // namespace

void MakePasswordRec(TCFSPasswordRec& rec, std::string_view password, std::string_view question,
                     std::string_view answer) {
  if (password.size() > kMaxPasswordLength) {
    throw Exception("Password length should be shorter then " + std::to_string(kMaxPasswordLength));
  }
  if (question.size() > kMaxQuestionLength) {
    throw Exception("Question length should be shorter then " + std::to_string(kMaxQuestionLength));
  }
  std::uint8_t master[kMasterKeyLength];
  if (!platform::RandomBytes(master, sizeof master)) {
    throw Exception("MakePasswordRec - can not get random bytes for the master key.");
  }
  TCFSPasswordRec built{};
  PutLE32(built.data() + kMasterCheckOffset, Checksum(master, sizeof master, kChecksumCrc16));
  std::memcpy(built.data() + kMasterKeyOffset, master, sizeof master);
  std::memset(master, 0, sizeof master);
  EncipherField(password, built.data() + kMasterKeyOffset, kMasterKeyLength);

  if (!question.empty() && !answer.empty()) {
    std::uint8_t* copy = built.data() + kPasswordCopyOffset;
    std::uint8_t* text = built.data() + kQuestionOffset;
    std::memcpy(text, question.data(), question.size());
    std::memcpy(copy, password.data(), password.size());
    EncipherField(kQuestionKey, text, kMaxQuestionLength);
    PutLE32(built.data() + kPasswordCheckOffset, Checksum(copy, kMaxPasswordLength, kChecksumCrc16));
    EncipherField(answer, copy, kMaxPasswordLength);
  }
  rec = built;
  built.fill(0);
}

bool CheckPasswordRec(const TCFSPasswordRec& rec, std::string_view password, std::string& key) {
  if (password.empty()) return false;
  std::uint8_t master[kMasterKeyLength];
  TCipherAES cipher;
  cipher.InitKey(password);
  cipher.DecodeBuffer(rec.data() + kMasterKeyOffset, master, sizeof master);
  key.assign(reinterpret_cast<const char*>(master), sizeof master);
  key.push_back('\0');
  const bool right = Checksum(master, sizeof master, kChecksumCrc16) == GetLE32(rec.data() + kMasterCheckOffset);
  std::memset(master, 0, sizeof master);
  return right;
}
