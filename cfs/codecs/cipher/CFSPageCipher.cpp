// The page layer's cipher: a few recently used key strings keep their expanded keys, so a run
// of pages under the container key (or a file key) sets the key up once.
#include <string>

#include "cfs/codecs/cipher/CFSAesCore.h"
#include "cfs/codecs/cipher/CFSCipher.h"

struct TPageCipher::TEntry {
  std::string key;
  TAesKeySchedule schedule;
  ~TEntry() {
    key.assign(key.size(), '\0');
    schedule = TAesKeySchedule{};
  }
};

TPageCipher::TPageCipher(TAesBackend backend) : backend_(backend) {}

TPageCipher::~TPageCipher() = default;

const TAesKeySchedule* TPageCipher::Lookup(std::string_view key) {
  if (key.empty()) return nullptr;
  for (const auto& entry : cache_) {
    if (entry && entry->key == key) return &entry->schedule;
  }
  auto entry = std::make_unique<TEntry>();
  entry->key.assign(key.data(), key.size());
  AesSetupKeyString(entry->schedule, key, backend_);
  auto& slot = cache_[nextVictim_];
  nextVictim_ = (nextVictim_ + 1) % kCacheSize;
  slot = std::move(entry);
  return &slot->schedule;
}

bool TPageCipher::Encode(std::string_view key, void* data, std::size_t length) {
  return Apply(key, data, length, AesChainEncode);
}

bool TPageCipher::Decode(std::string_view key, void* data, std::size_t length) {
  return Apply(key, data, length, AesChainDecode);
}

bool TPageCipher::Apply(std::string_view key, void* data, std::size_t length, TChainFunction chain) {
  try {
    const TAesKeySchedule* schedule = Lookup(key);
    if (!schedule || (!data && length > 0)) return false;
    chain(*schedule, data, data, length);
    return true;
  } catch (...) {
    return false;
  }
}
