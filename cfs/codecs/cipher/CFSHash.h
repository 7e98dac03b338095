#pragma once
// Message digests used by the key setup: an MD-style base (64-byte blocks, 0x80 padding,
// 64-bit little-endian bit count) and RIPEMD-256 on top of it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

class THashMD {
 public:
  virtual ~THashMD() = default;
  // Starts a new message.
  void Init();
  void Calc(const void* data, std::size_t length);
  // Pads the message, runs the last blocks and writes DigestSize() bytes.
  void Done(std::uint8_t* digest);
  virtual std::size_t DigestSize() const = 0;

 protected:
  static constexpr std::size_t kBlockSize = 64;
  virtual void ResetState() = 0;
  virtual void Transform(const std::uint8_t* block) = 0;
  virtual void WriteDigest(std::uint8_t* digest) const = 0;

 private:
  std::uint8_t buffer_[kBlockSize] = {};
  std::size_t buffered_ = 0;
  std::uint64_t totalBytes_ = 0;
};

class THashRipeMD256 : public THashMD {
 public:
  static constexpr std::size_t kDigestSize = 32;
  using TDigest = std::array<std::uint8_t, kDigestSize>;

  THashRipeMD256() { Init(); }
  std::size_t DigestSize() const override { return kDigestSize; }
  // Digest of one whole message.
  static TDigest Digest(std::string_view message);

 protected:
  void ResetState() override;
  void Transform(const std::uint8_t* block) override;
  void WriteDigest(std::uint8_t* digest) const override;

 private:
  std::uint32_t state_[8] = {};
};
