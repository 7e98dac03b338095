#include "cfs/file/CFSWrapperHeader.h"

#include <algorithm>
#include <cstring>

#include "cfs/file/CFSLittleEndian.h"
#include "platform/Text.h"

void InitHeader(TCFSWrapperHeader& header, std::int64_t partSize) {
  header.fill(0);
  std::memcpy(header.data(), kWrapperSignature.data(), kWrapperSignature.size());
  PutLE64(header.data() + 8, static_cast<std::uint64_t>(partSize));
}

bool HasWrapperSignature(const TCFSWrapperHeader& header) {
  return std::memcmp(header.data(), kWrapperSignature.data(), kWrapperSignature.size()) == 0;
}

std::int64_t WrapperPartSize(const TCFSWrapperHeader& header) { return GetLE64s(header.data() + 8); }

std::string WrapperNextName(const TCFSWrapperHeader& header) {
  const auto* begin = reinterpret_cast<const char*>(header.data() + kNextNameOffset);
  const auto* end = begin + kNextNameSize;
  return std::string(begin, std::find(begin, end, '\0'));
}

void SetWrapperNextName(TCFSWrapperHeader& header, std::string_view name) {
  std::uint8_t* field = header.data() + kNextNameOffset;
  std::memset(field, 0, kNextNameSize);
  std::memcpy(field, name.data(), std::min(name.size(), kNextNameSize - 1));
}

bool IsSafePartName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (platform::LastDelimiter("\\/:", name) != std::string_view::npos) return false;
  return std::none_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}
