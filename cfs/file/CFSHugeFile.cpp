#include "cfs/file/CFSHugeFile.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "cfs/file/CFSDiskFile.h"
#include "cfs/file/CFSMaxPartSize.h"
#include "platform/Exception.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace {

constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMinPartSize = kWrapperHeaderSize + 100;
constexpr std::int64_t kDefaultPartSize = 2147483647;
constexpr std::int64_t kSearchChunk = 65535;
// The wrapper header search only looks at offsets below 2^31.
constexpr std::int64_t kSearchLimit = std::int64_t(1) << 31;
constexpr std::int64_t kSaveChunk = 0x80000;

bool HasBytesAt(TCFSAbstractFile& file, std::int64_t pos, std::string_view bytes) {
  char buffer[8];
  if (bytes.size() > sizeof buffer || file.Seek(pos, 0) != pos) return false;
  const auto n = static_cast<std::int32_t>(bytes.size());
  return file.Read(buffer, n) == n && std::memcmp(buffer, bytes.data(), bytes.size()) == 0;
}

std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) { return a > kInt64Max - b ? kInt64Max : a + b; }

// Destinations for SaveToStream.
struct AbstractFileSink {
  TCFSAbstractFile& file;
  std::int64_t Position() { return file.GetPosition(); }
  void SetPosition(std::int64_t pos) { file.SetPosition(pos); }
  void Write(const void* data, std::int32_t n) { file.WriteBuffer(data, n); }
};

struct PlatformFileSink {
  platform::File& file;
  std::int64_t Position() { return file.Position(); }
  void SetPosition(std::int64_t pos) { file.Seek(pos, platform::SeekOrigin::Begin); }
  void Write(const void* data, std::int32_t n) {
    if (file.Write(data, n) != n) throw Exception("TCFSHugeFile.SaveToStream - Stream write error");
  }
};

}  // namespace

TCFSHugeFile::TCFSHugeFile(std::string fileName, bool readOnly, bool exclusive, bool inMemory,
                           std::int64_t partSize)
    : TCFSHugeFile(std::move(fileName), readOnly, exclusive,
                   inMemory ? TCFSStorageFactory::Memory() : TCFSStorageFactory::Disk(), partSize) {}

TCFSHugeFile::TCFSHugeFile(std::string fileName, bool readOnly, bool exclusive, TCFSStorageFactory storage,
                           std::int64_t partSize)
    : FileName(std::move(fileName)), ReadOnly(readOnly), Exclusive(exclusive), Storage(std::move(storage)),
      KeepPartsOnClose(Storage.InMemory) {
  if (!Storage.NewFile) throw Exception("TCFSHugeFile.Create - no storage for the part files.");
  if (partSize == -1) {
    partSize = GetMaxPartSize(FileName);
    if (partSize <= 0) partSize = kDefaultPartSize;
  }
  if (partSize < kMinPartSize)
    throw Exception("File part size is too small. Minimal part size is " + std::to_string(kMinPartSize));
  PartSize = partSize;
  PartDataSize = partSize - kWrapperHeaderSize;
}

TCFSHugeFile::~TCFSHugeFile() {
  KeepPartsOnClose = false;
  try {
    Close();
  } catch (...) {
    // Parts are released by their own destructors.
  }
}

bool TCFSHugeFile::Open(bool createNew, bool tolerant) { return InternalOpen(FileName, createNew, tolerant); }

bool TCFSHugeFile::InternalOpen(const std::string& fileName, bool createNew, bool tolerant) {
  if (IsOpen) throw Exception("TCFSHugeFile.InternalOpen - File is already open.");
  bool result = false;
  if (KeepPartsOnClose && !Parts.empty() && !createNew) {
    result = true;  // a closed memory container keeps its parts and data
  } else {
    if (!Parts.empty()) throw Exception("TCFSHugeFile.InternalOpen - File was not closed.");
    lastOpenError_.clear();
    chainError_.clear();
    if (createNew) {
      DeletePartFiles();
      result = AddPartFile();
      Size = 0;
    } else {
      const bool complete = OpenPartFiles(fileName);
      if ((complete || tolerant) && !Parts.empty()) {
        // Each part contributes what its file holds behind its header, never more than its
        // share of the position mapping, so a damaged chain cannot make positions point at parts
        // that do not exist.
        std::int64_t size = 0;
        for (std::size_t k = 0; k < Parts.size(); ++k) {
          std::int64_t bytes = Parts[k]->GetSize() - kWrapperHeaderSize - (k == 0 ? BaseOffset : 0);
          bytes = std::clamp<std::int64_t>(bytes, 0, PartCapacity(k));
          size = SaturatingAdd(size, bytes);
        }
        Size = size;
        result = true;
      }
    }
    if (!result) {
      Parts.clear();
      Size = 0;
    }
  }
  Position = 0;
  IsOpen = result;
  return result;
}

void TCFSHugeFile::Close() {
  if (!KeepPartsOnClose) {
    for (auto& part : Parts) part->Close();
    Parts.clear();
    Size = 0;
  }
  Position = 0;
  IsOpen = false;
}

std::unique_ptr<TCFSAbstractFile> TCFSHugeFile::NewPart(const std::string& name) const {
  auto part = Storage.NewFile(name, ReadOnly, Exclusive);
  if (!part) throw Exception("TCFSHugeFile.NewPart - no storage file for " + name);
  return part;
}

bool TCFSHugeFile::OpenPart(TCFSAbstractFile& part, bool createNew) {
  if (part.Open(createNew)) return true;
  lastOpenError_ = part.OpenErrorText();
  return false;
}

std::int64_t TCFSHugeFile::PartCapacity(std::size_t part) const {
  return part == 0 ? PartDataSize - BaseOffset : PartDataSize;
}

void TCFSHugeFile::MapPosition(std::int64_t pos, std::size_t& part, std::int64_t& offset) const {
  const std::int64_t p = pos + BaseOffset;
  const std::int64_t k = p / PartDataSize;
  part = static_cast<std::size_t>(k);
  offset = k == 0 ? pos : p - k * PartDataSize;
}

std::int64_t TCFSHugeFile::PartFilePosition(std::size_t part, std::int64_t offset) const {
  return kWrapperHeaderSize + offset + (part == 0 ? BaseOffset : 0);
}

bool TCFSHugeFile::OpenPartFiles(const std::string& fileName) {
  const std::string dir = platform::ExtractFilePath(fileName);
  std::string name = platform::ExtractFileName(fileName);
  std::vector<std::string> seen{platform::UpperCaseAscii(name)};
  // Why a chain that started well stops early (the first part failing is the caller's to report).
  const auto broken = [&](const std::string& why) {
    if (!Parts.empty()) chainError_ = why;
    return false;
  };
  for (;;) {
    if (Parts.size() >= kMaxPartCount) return broken("more than " + std::to_string(kMaxPartCount) + " part files");
    auto part = NewPart(dir + name);
    if (Storage.InMemory) {
      part->Open(true);
      TCFSDiskFile disk(dir + name, true, false);
      if (disk.Open(false)) {
        try {
          part->CopyFrom(disk, 0);
        } catch (const Exception&) {
          return broken("part file " + name + " cannot be read");  // or is too large to be held in memory
        }
      }
      part->SetPosition(0);
    } else if (!OpenPart(*part, false)) {
      return broken("part file " + name + " is missing or cannot be opened");
    }
    const bool first = Parts.empty();
    if (first) FindHeaderOffset(*part);
    TCFSWrapperHeader header{};
    const std::int64_t headerPos = first ? BaseOffset : 0;
    const bool headerRead = part->Seek(headerPos, 0) == headerPos &&
                            part->Read(header.data(), kWrapperHeaderSize) == kWrapperHeaderSize;
    const std::int64_t fileSize = part->GetSize();
    if (!headerRead || !HasWrapperSignature(header) || fileSize < kWrapperHeaderSize)
      return broken("part file " + name + " is not a part of this container");
    if (first) {
      // The first header's part size governs the whole chain; it must leave the first part room
      // for at least one container byte behind any leading bytes.
      const std::int64_t partSize = WrapperPartSize(header);
      if (partSize < kMinPartSize || partSize - kWrapperHeaderSize <= BaseOffset) return false;
      PartSize = partSize;
      PartDataSize = partSize - kWrapperHeaderSize;
    }
    Parts.push_back(std::move(part));
    const std::string next = WrapperNextName(header);
    if (next.empty()) return true;
    // A part that names a successor must be full, and the successor must be a plain name in the
    // same folder that has not been visited yet.
    if (fileSize < PartSize) return broken("part file " + name + " is shorter than the part size");
    if (!IsSafePartName(next)) return broken("part file " + name + " names no valid next part");
    std::string key = platform::UpperCaseAscii(next);
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) return broken("the part files name each other in a loop");
    seen.push_back(std::move(key));
    name = next;
  }
}

void TCFSHugeFile::FindHeaderOffset(TCFSAbstractFile& firstPart) {
  BaseOffset = 0;
  const std::int64_t fileSize = firstPart.GetSize();
  constexpr std::int64_t kCarry = 3;  // a candidate may start in the last 3 bytes of a chunk
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(kSearchChunk + kCarry));
  std::int64_t carry = 0;
  for (std::int64_t chunkStart = 0; chunkStart < fileSize && chunkStart < kSearchLimit;) {
    if (firstPart.Seek(chunkStart, 0) != chunkStart) break;
    const std::int32_t n = firstPart.Read(buffer.data() + carry, static_cast<std::int32_t>(kSearchChunk));
    if (n <= 0) break;
    const std::int64_t total = carry + n;
    const std::int64_t bufferStart = chunkStart - carry;
    const std::uint8_t* const begin = buffer.data();
    // Candidates are the offsets with 4 bytes behind them in this buffer.
    const std::uint8_t* const last = total >= 4 ? begin + total - 4 : nullptr;
    for (const std::uint8_t* at = begin; last != nullptr && at <= last; ++at) {
      at = static_cast<const std::uint8_t*>(std::memchr(at, 'A', static_cast<std::size_t>(last - at + 1)));
      if (at == nullptr) break;
      if (std::memcmp(at, "AAMV", 4) != 0) continue;
      const std::int64_t p = bufferStart + (at - begin);
      if (p >= kSearchLimit) break;
      if (fileSize - p >= kWrapperHeaderSize + 8 && HasBytesAt(firstPart, p, kWrapperSignature) &&
          HasBytesAt(firstPart, p + kWrapperHeaderSize, kContainerSignature)) {
        BaseOffset = p;
        firstPart.SetPosition(0);
        return;
      }
    }
    carry = std::min(total, kCarry);
    std::memmove(buffer.data(), buffer.data() + total - carry, static_cast<std::size_t>(carry));
    chunkStart += n;
  }
  firstPart.SetPosition(0);
}

bool TCFSHugeFile::AddPartFile() {
  // A chain longer than opening would follow could never be read back.
  if (Parts.size() >= kMaxPartCount) return false;
  std::string name = FileName;
  if (!Parts.empty()) {
    // Skip names taken by other files, and (in memory) by the parts already held.
    auto taken = [this](const std::string& candidate) {
      if (platform::FileExists(candidate)) return true;
      return std::any_of(Parts.begin(), Parts.end(), [&](const auto& part) {
        return platform::SameTextCp936(part->GetFileName(), candidate);
      });
    };
    std::size_t number = Parts.size();
    for (;; ++number) {
      name = FileName + std::to_string(number);
      if (!taken(name)) break;
      if (number - Parts.size() > 100000) return false;
    }
  }
  auto part = NewPart(name);
  if (!OpenPart(*part, true)) return false;
  TCFSWrapperHeader header;
  InitHeader(header, PartSize);
  const std::int64_t headerPos = Parts.empty() ? BaseOffset : 0;
  if (part->Seek(headerPos, 0) != headerPos || part->Write(header.data(), kWrapperHeaderSize) != kWrapperHeaderSize) {
    part->Close();
    if (!Storage.InMemory) platform::DeleteFile(name);
    return false;
  }
  Parts.push_back(std::move(part));
  if (Parts.size() > 1) {
    try {
      LinkPart(Parts.size() - 2, platform::ExtractFileName(name));
    } catch (const Exception&) {
      Parts.back()->Close();
      Parts.pop_back();
      if (!Storage.InMemory) platform::DeleteFile(name);
      return false;
    }
  }
  return true;
}

void TCFSHugeFile::LinkPart(std::size_t index, const std::string& nextName) {
  TCFSAbstractFile& part = *Parts[index];
  const std::int64_t saved = part.GetPosition();
  TCFSWrapperHeader header;
  InitHeader(header, PartSize);
  SetWrapperNextName(header, nextName);
  const std::int64_t headerPos = index == 0 ? BaseOffset : 0;
  const bool ok = part.Seek(headerPos, 0) == headerPos &&
                  part.Write(header.data(), kWrapperHeaderSize) == kWrapperHeaderSize;
  if (saved >= 0) part.SetPosition(saved);
  if (!ok) throw Exception("TCFSHugeFile.LinkPart - can not write the header of part " + part.GetFileName());
}

void TCFSHugeFile::DeleteLastPartFile() {
  if (Parts.size() <= 1) throw Exception("TCFSHugeFile.DeleteLastPartFile - No parts to delete.");
  const std::string name = Parts.back()->GetFileName();
  Parts.back()->Close();
  Parts.pop_back();
  if (!Storage.InMemory) platform::DeleteFile(name);
  LinkPart(Parts.size() - 1, std::string());
}

void TCFSHugeFile::DeletePartFiles() {
  if (Storage.InMemory) {
    Parts.clear();
    Size = 0;
    return;
  }
  const std::string dir = platform::ExtractFilePath(FileName);
  std::string name = FileName;
  for (std::size_t count = 0; count < kMaxPartCount; ++count) {
    const bool first = count == 0;
    TCFSWrapperHeader header{};
    bool isPart = false;
    {
      TCFSDiskFile file(name, ReadOnly, Exclusive);
      if (!file.Open(false)) return;
      const std::int64_t headerPos = first ? BaseOffset : 0;
      isPart = file.Seek(headerPos, 0) == headerPos &&
               file.Read(header.data(), kWrapperHeaderSize) == kWrapperHeaderSize && HasWrapperSignature(header);
    }
    // The file being replaced goes in any case; a linked file only when it really is a part.
    if (!first && !isPart) return;
    if (!platform::DeleteFile(name)) return;
    const std::string next = WrapperNextName(header);
    if (!isPart || next.empty() || !IsSafePartName(next)) return;
    name = dir + next;
  }
}

std::int64_t TCFSHugeFile::Seek(std::int64_t offset, std::uint16_t origin) {
  std::int64_t pos = 0;
  switch (origin) {
    case 0:
      if (offset < 0) throw Exception("TCFSHugeFile.Seek - Offset < 0 from file beginning.");
      pos = offset;
      break;
    case 1:
    case 2: {
      const std::int64_t base = origin == 1 ? Position : Size;
      if (__builtin_add_overflow(base, offset, &pos) || pos < 0)
        throw Exception("TCFSHugeFile.Seek - Position out of range.");
      break;
    }
    default:
      throw Exception("TCFSHugeFile.Seek - Invalid origin " + std::to_string(origin) + ".");
  }
  // Part files are positioned by each transfer, so nothing is touched here.
  Position = pos;
  return Position;
}

std::int32_t TCFSHugeFile::Read(void* buffer, std::int32_t count) {
  if (Position > Size) throw Exception("TCFSHugeFile.Read - Stream read error.");
  if (!IsOpen) return 0;
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::int32_t done = 0;
  while (done < count && Position < Size) {
    std::size_t k;
    std::int64_t o;
    MapPosition(Position, k, o);
    if (k >= Parts.size()) break;
    const std::int64_t chunk = std::min({std::int64_t(count - done), PartCapacity(k) - o, Size - Position});
    if (chunk <= 0) break;
    const std::int32_t n = Parts[k]->ReadAt(PartFilePosition(k, o), out + done, static_cast<std::int32_t>(chunk));
    if (n <= 0) break;
    done += n;
    Position += n;
    if (n < chunk) break;
  }
  return done;
}

void TCFSHugeFile::ReadBuffer(void* buffer, std::int32_t count) {
  if (count != 0 && Read(buffer, count) != count) throw Exception("TCFSHugeFile.ReadBuffer - Stream read error");
}

std::int32_t TCFSHugeFile::Write(const void* buffer, std::int32_t count) {
  // A closed file has no parts; writing would otherwise create the first part afresh.
  if (count <= 0 || !IsOpen) return 0;
  if (Position > kInt64Max - BaseOffset - count) return 0;
  try {
    if (Position > Size) {
      // Writing past the end: extend the container first so the gap is zero-filled.
      const std::int64_t target = Position;
      SetPosition(0);
      SetSize(target);
      SetPosition(target);
      if (Position != target) return 0;
    }
  } catch (const Exception&) {
    return 0;
  }
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  std::int32_t done = 0;
  while (done < count) {
    std::size_t k;
    std::int64_t o;
    MapPosition(Position, k, o);
    if (k > Parts.size() || (k == Parts.size() && !AddPartFile())) break;
    const std::int64_t chunk = std::min(std::int64_t(count - done), PartCapacity(k) - o);
    if (chunk <= 0) break;
    const std::int32_t n = Parts[k]->WriteAt(PartFilePosition(k, o), in + done, static_cast<std::int32_t>(chunk));
    if (n <= 0) break;
    done += n;
    Position += n;
    if (Position > Size) Size = Position;
    if (n < chunk) break;
  }
  return done;
}

void TCFSHugeFile::WriteBuffer(const void* buffer, std::int32_t count) {
  if (count != 0 && Write(buffer, count) != count) throw Exception("TCFSHugeFile.WriteBuffer - Stream write error");
}

void TCFSHugeFile::SetSize(std::int64_t newSize) {
  if (newSize < 0 || newSize > kInt64Max - BaseOffset)
    throw Exception("TCFSHugeFile.SetSize - Invalid size " + std::to_string(newSize) + ".");
  if (!IsOpen || Parts.empty()) throw Exception("TCFSHugeFile.SetSize - File is not open.");
  std::size_t k;
  std::int64_t o;
  MapPosition(newSize, k, o);
  if (newSize > Size) {
    while (Parts.size() - 1 < k) {
      Parts.back()->SetSize(PartSize);  // a part that has a successor is full
      if (!AddPartFile())
        throw Exception("TCFSHugeFile.SetSize - can not create part file: " + lastOpenError_);
    }
  } else if (newSize < Size) {
    while (Parts.size() - 1 > k) DeleteLastPartFile();
  }
  if (k < Parts.size() && newSize != Size) Parts[k]->SetSize(PartFilePosition(k, o));
  Size = newSize;
  Position = newSize;
}

void TCFSHugeFile::Flush() {
  for (auto& part : Parts) part->Flush();
}

template <class Sink>
void TCFSHugeFile::CopyTo(Sink& sink) {
  const std::int64_t savedPosition = Position;
  const std::int64_t savedSinkPosition = sink.Position();
  TCFSWrapperHeader header;
  InitHeader(header, PartSize);
  sink.Write(header.data(), kWrapperHeaderSize);
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::clamp<std::int64_t>(Size, 1, kSaveChunk)));
  Seek(0, 0);
  for (std::int64_t left = Size; left > 0;) {
    const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(left, kSaveChunk));
    ReadBuffer(buffer.data(), n);
    sink.Write(buffer.data(), n);
    left -= n;
  }
  Seek(savedPosition, 0);
  sink.SetPosition(savedSinkPosition);
}

void TCFSHugeFile::SaveToStream(TCFSAbstractFile& stream) {
  AbstractFileSink sink{stream};
  CopyTo(sink);
}

void TCFSHugeFile::SaveToStream(platform::File& stream) {
  PlatformFileSink sink{stream};
  CopyTo(sink);
}
