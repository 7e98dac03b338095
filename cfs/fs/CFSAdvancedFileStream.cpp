#include "cfs/fs/CFSAdvancedFileStream.h"

#include <algorithm>
#include <cstring>

#include "cfs/codecs/cipher/CFSChecksum.h"
#include "cfs/codecs/compress/CFSCompress.h"
#include "cfs/fs/DiskFileStream.h"
#include "cfs/fs/ExportAhead.h"
#include "cfs/fs/ImportAhead.h"
#include "cfs/fs/Quote.h"
#include "platform/Exception.h"

namespace {

constexpr std::uint8_t kSignature[4] = {'A', 'A', 'C', 'S'};
constexpr std::uint32_t kVersion2 = 0x40000000;  // 2.0 as a 32-bit float
constexpr int kCrcKind = 1;                       // CRC-16/ARC

std::uint32_t Get32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The largest codec output a block of blockSize bytes can take: every codec stays well below
// twice its input plus a few headers. Anything larger is damage.
std::int64_t MaxPackedSize(std::int32_t blockSize) { return 2 * std::int64_t(blockSize) + 4096; }

bool IsTableBlockSize(std::int32_t bs) { return bs == 0x80000 || bs == 0x100000 || bs == 0x180000; }

// The header fields a stream header is recognised by end here (ExtraSize is the last).
constexpr std::int32_t kHeaderFieldsEnd = 27;

// A stream header as written, but with one byte of its signature changed, or complete but in a
// stored file cut shorter than the header: read as plain bytes it would pass the stored blocks
// off as the file's content. A plain file starts like this only if it is a copy of a stored
// stream with its first bytes altered (short plain files that begin with the signature
// itself, but not with the rest of a header, stay plain).
bool LooksLikeDamagedHeader(const TCFSStreamHeader& header, bool whole) {
  int same = 0;
  for (int i = 0; i < 4; ++i) same += header.Bytes[static_cast<std::size_t>(i)] == kSignature[i];
  const std::int32_t bs = header.BlockSize();
  return (same == 3 || (same == 4 && !whole)) && Get32(&header.Bytes[16]) == kVersion2 && IsTableBlockSize(bs) &&
         bs == BlockSizeForMethod(header.Method()) && header.ExtraSize() == 0;
}

}  // namespace

bool TCFSStreamHeader::HasSignature() const { return std::memcmp(Bytes.data(), kSignature, 4) == 0; }
std::int32_t TCFSStreamHeader::BlockSize() const { return static_cast<std::int32_t>(Get32(&Bytes[4])); }
std::int32_t TCFSStreamHeader::BlockCount() const { return static_cast<std::int32_t>(Get32(&Bytes[12])); }
float TCFSStreamHeader::Version() const {
  const std::uint32_t bits = Get32(&Bytes[16]);
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}
std::uint8_t TCFSStreamHeader::Method() const { return Bytes[20]; }
std::int32_t TCFSStreamHeader::ExtraSize() const { return static_cast<std::int32_t>(Get32(&Bytes[23])); }
void TCFSStreamHeader::SetBlockSize(std::int32_t v) { Put32(&Bytes[4], static_cast<std::uint32_t>(v)); }
void TCFSStreamHeader::SetBlockCount(std::int32_t v) { Put32(&Bytes[12], static_cast<std::uint32_t>(v)); }
void TCFSStreamHeader::Init(std::uint8_t method, std::int32_t blockSize) {
  Bytes.fill(0);
  std::memcpy(Bytes.data(), kSignature, 4);
  SetBlockSize(blockSize);
  Put32(&Bytes[16], kVersion2);
  Bytes[20] = method;
}

TCFSAdvancedFileStream::TCFSAdvancedFileStream(TContainerFS* system, const std::string& fileName,
                                               std::uint16_t mode, const std::string& password,
                                               const std::string& question, const std::string& answer,
                                               std::uint8_t method)
    : fileName_(fileName) {
  if (!system) throw Exception("TCFSAdvancedFileStream.Create - ContainerFS = nil.");
  raw_ = std::make_unique<TCFSUserFileStream>(system, fileName, mode, password, question, answer);
  method_ = method != 0 ? method : system->CompressionMethod();
  Initialise(mode == kModeCreate);
}

TCFSAdvancedFileStream::~TCFSAdvancedFileStream() = default;

std::int64_t TCFSAdvancedFileStream::RawSize() { return raw_->GetSize(); }

void TCFSAdvancedFileStream::DoProgress(double percent) {
  if (OnProgress && !internal_) OnProgress(*this, percent);
}

void TCFSAdvancedFileStream::WriteStreamHeader() {
  header_.SetBlockCount(headers_.Count());
  raw_->Seek(0, soBeginning);
  if (raw_->Write(header_.Bytes.data(), TCFSStreamHeader::kSize) != TCFSStreamHeader::kSize)
    throw Exception("TCFSAdvancedFileStream.WriteHeader - error writing to data stream.");
}

void TCFSAdvancedFileStream::RaiseWriteError(const char* operation) const {
  throw Exception(std::string("TCFSAdvancedFileStream.") + operation + " - error writing to data stream, fileName = " +
                  DoubleQuoted(fileName_) + ".");
}

void TCFSAdvancedFileStream::WriteBlockAt(std::int64_t offset, const TCFSBlockHeader& header,
                                          const std::uint8_t* packed, const char* operation) {
  unpackedIndex_ = -1;
  std::uint8_t bytes[TCFSBlockHeader::kSize];
  header.Write(bytes);
  raw_->Seek(offset, soBeginning);
  if (raw_->Write(bytes, TCFSBlockHeader::kSize) != TCFSBlockHeader::kSize ||
      raw_->Write(packed, header.PackedSize) != header.PackedSize)
    RaiseWriteError(operation);
}

bool TCFSAdvancedFileStream::FirstBlockAt(std::int64_t offset) const {
  return headers_.Count() == 0 && header_.ExtraSize() == 0 && offset == std::int64_t(TCFSStreamHeader::kSize);
}

void TCFSAdvancedFileStream::WriteFirstBlockWithHeader(const TCFSBlockHeader& header, const std::uint8_t* packed) {
  unpackedIndex_ = -1;
  header_.SetBlockCount(1);
  constexpr std::size_t kFront = TCFSStreamHeader::kSize + TCFSBlockHeader::kSize;
  std::vector<std::uint8_t> bytes(kFront + static_cast<std::size_t>(header.PackedSize));
  std::memcpy(bytes.data(), header_.Bytes.data(), TCFSStreamHeader::kSize);
  header.Write(bytes.data() + TCFSStreamHeader::kSize);
  if (header.PackedSize > 0) std::memcpy(bytes.data() + kFront, packed, static_cast<std::size_t>(header.PackedSize));
  raw_->Seek(0, soBeginning);
  const auto size = static_cast<std::int32_t>(bytes.size());
  const bool written = raw_->Write(bytes.data(), size) == size;
  // Where writing the stream header on its own leaves the raw stream.
  raw_->Seek(TCFSStreamHeader::kSize, soBeginning);
  if (!written) RaiseWriteError("Write");
}

void TCFSAdvancedFileStream::Initialise(bool create) {
  copyBufferSize_ = 0x100000;
  internal_ = false;
  size_ = RawSize();
  raw_->Seek(0, soBeginning);
  headers_.Clear();
  if (create && method_ == 0) {
    passThrough_ = true;
    return;
  }
  if (create) {
    blockSize_ = BlockSizeForMethod(method_);
    header_.Init(method_, blockSize_);
    raw_->Seek(0, soBeginning);
    if (raw_->Write(header_.Bytes.data(), TCFSStreamHeader::kSize) < static_cast<std::int32_t>(TCFSStreamHeader::kSize))
      throw Exception(
          "TCFSAdvancedFileStream.Create - error writing to data stream. May be data stream in read only mode.");
    raw_->SetSize(TCFSStreamHeader::kSize);
  }
  raw_->Seek(0, soBeginning);
  size_ = 0;
  LoadBlockIndex();
  currentBlock_ = 0;
  position_ = 0;
  internal_ = false;
  raw_->Seek(0, soBeginning);
}

void TCFSAdvancedFileStream::LoadBlockIndex() {
  const std::int64_t saved = raw_->Position();
  const std::int64_t rawSize = RawSize();
  raw_->Seek(0, soBeginning);
  const auto head = static_cast<std::int32_t>(std::min<std::int64_t>(rawSize, TCFSStreamHeader::kSize));
  header_.Bytes.fill(0);
  const bool whole = head == static_cast<std::int32_t>(TCFSStreamHeader::kSize);
  if (head > 0 && raw_->Read(header_.Bytes.data(), head) != head)
    throw Exception("TCFSAdvancedFileStream.LoadBlockIndex - error reading the stream header, fileName = " +
                    DoubleQuoted(fileName_) + ".");
  if (!whole || !header_.HasSignature()) {
    if (head >= kHeaderFieldsEnd && LooksLikeDamagedHeader(header_, whole))
      throw Exception("TCFSAdvancedFileStream.LoadBlockIndex - damaged stream header, fileName = " +
                      DoubleQuoted(fileName_) + ".");
    size_ = rawSize;
    passThrough_ = true;
    method_ = 0;
    raw_->Seek(saved, soBeginning);
    return;
  }
  passThrough_ = false;
  method_ = header_.Method();
  blockSize_ = header_.BlockSize();
  const std::int64_t extra = header_.ExtraSize();
  const std::int32_t count = header_.BlockCount();
  const std::int64_t first = TCFSStreamHeader::kSize + extra;
  // A damaged header would make every later step guess; refuse it outright.
  if (!IsTableBlockSize(blockSize_) || blockSize_ != BlockSizeForMethod(method_) || extra < 0 || first > rawSize ||
      count < 0 || count > (rawSize - first) / static_cast<std::int64_t>(TCFSBlockHeader::kSize))
    throw Exception("TCFSAdvancedFileStream.LoadBlockIndex - damaged stream header, fileName = " +
                    DoubleQuoted(fileName_) + ".");
  headers_.Clear();
  size_ = 0;
  // Only a writer may repair a chain that a write cut short (it rewrites the header); a reader
  // that dropped the blocks it cannot find would hand out a shorter file as if it were whole.
  const TCFSHandleRec* handle = raw_->System().Handle(raw_->Handle());
  const bool mayRepair = !raw_->System().ReadOnly() && handle != nullptr && (handle->Mode & 3) != 0;
  const auto damagedChain = [&](std::int32_t i) {
    return Exception("TCFSAdvancedFileStream.LoadBlockIndex - damaged block chain, index = " + std::to_string(i) +
                     ", fileName = " + DoubleQuoted(fileName_) + ".");
  };
  std::int64_t offset = first;
  bool repaired = false;
  for (std::int32_t i = 0; i < count; ++i) {
    std::uint8_t bytes[TCFSBlockHeader::kSize];
    const bool headerThere = rawSize - offset >= static_cast<std::int64_t>(TCFSBlockHeader::kSize);
    TCFSBlockHeader h;
    if (headerThere) {
      raw_->Seek(offset, soBeginning);
      if (raw_->Read(bytes, TCFSBlockHeader::kSize) != TCFSBlockHeader::kSize)
        throw Exception("TCFSAdvancedFileStream.LoadBlockIndex - error reading block header, index = " +
                        std::to_string(i));
      h = TCFSBlockHeader::Read(bytes);
      if (h.PackedSize < 1 || h.PackedSize > MaxPackedSize(blockSize_) || h.UnpackedSize < 1 ||
          h.UnpackedSize > blockSize_ || (i < count - 1 && h.UnpackedSize != blockSize_))
        throw Exception("TCFSAdvancedFileStream.LoadBlockIndex - damaged block header, index = " +
                        std::to_string(i) + ", fileName = " + DoubleQuoted(fileName_) + ".");
    }
    const std::int64_t dataEnd = offset + static_cast<std::int64_t>(TCFSBlockHeader::kSize) + h.PackedSize;
    if (!headerThere || dataEnd > rawSize) {
      if (!mayRepair) throw damagedChain(i);
      // The chain ends early (a write that stopped half-way): keep the complete blocks.
      raw_->SetSize(std::min(offset, rawSize));
      headers_.SetCount(i);
      header_.SetBlockCount(i);
      repaired = true;
      break;
    }
    // Blocks only ever move towards the end of the stored file, so a Next that points back
    // into this block or before it is damage (and would loop). The last block's Next is the
    // end of its own data.
    const bool last = i == count - 1;
    if ((!last && (h.Next < dataEnd || static_cast<std::int64_t>(h.Next) > rawSize)) ||
        (last && !mayRepair && h.Next != dataEnd)) {
      if (mayRepair && static_cast<std::int64_t>(h.Next) > rawSize && h.Next >= dataEnd) {
        size_ += h.UnpackedSize;
        headers_.Add(h, offset);
        raw_->SetSize(rawSize);
        header_.SetBlockCount(i + 1);
        repaired = true;
        break;
      }
      throw damagedChain(i);
    }
    size_ += h.UnpackedSize;
    headers_.Add(h, offset);
    offset = last ? dataEnd : h.Next;
  }
  // The blocks account for the whole stored file: bytes after the last one mean blocks that
  // the header's count does not know of.
  if (!mayRepair && offset != rawSize) throw damagedChain(count);
  if (repaired) {
    // Only a writer repairs; should its header write fail all the same, the index in memory is
    // repaired and the next write puts the header right.
    try {
      WriteStreamHeader();
    } catch (const Exception&) {
    }
  }
  raw_->Seek(saved, soBeginning);
  copyBufferSize_ = blockSize_;
}

std::vector<std::uint8_t> TCFSAdvancedFileStream::LoadBlock(std::int32_t index) {
  return UnpackBlock(headers_.Record(index), ReadPackedBlock(index), method_, &raw_->System().CodecScratch());
}

const std::vector<std::uint8_t>& TCFSAdvancedFileStream::UnpackedBlock(std::int32_t index) {
  if (unpackedIndex_ != index) {
    unpackedIndex_ = -1;
    unpacked_ = LoadBlock(index);
    unpackedIndex_ = index;
  }
  return unpacked_;
}

std::vector<std::uint8_t> TCFSAdvancedFileStream::ReadPackedBlock(std::int32_t index) {
  const TCFSBlockHeader& h = headers_.Record(index);
  std::vector<std::uint8_t> packed(static_cast<std::size_t>(h.PackedSize));
  raw_->Seek(headers_.Key(index) + static_cast<std::int64_t>(TCFSBlockHeader::kSize), soBeginning);
  if (raw_->Read(packed.data(), h.PackedSize) != h.PackedSize)
    throw Exception("TCFSAdvancedFileStream.LoadBlock - decompression error.");
  return packed;
}

std::vector<std::uint8_t> TCFSAdvancedFileStream::UnpackBlock(const TCFSBlockHeader& h,
                                                              const std::vector<std::uint8_t>& packed,
                                                              std::uint8_t method, TCodecScratch* scratch) {
  std::vector<std::uint8_t> data;
  std::int32_t produced = h.UnpackedSize;
  if (!DecompressBuffer(packed.data(), h.PackedSize, data, method, produced, scratch))
    throw Exception("TCFSAdvancedFileStream.LoadBlock - decompression error.");
  if (produced != h.UnpackedSize) throw Exception("TCFSAdvancedFileStream.LoadBlock - decompression error, invalid size.");
  if (Checksum(data.data(), data.size(), kCrcKind) != h.Crc)
    throw Exception("TCFSAdvancedFileStream.LoadBlock - decompression crc error.");
  return data;
}

void TCFSAdvancedFileStream::PrepareBufferForWriting(const std::uint8_t* data, std::int32_t count,
                                                     TCFSBlockHeader& header, std::vector<std::uint8_t>& packed) {
  packed.clear();
  header.UnpackedSize = count;
  header.Crc = Checksum(data, static_cast<std::size_t>(count), kCrcKind);
  if (!CompressBuffer(data, count, packed, method_, header, &raw_->System().CodecScratch())) {
    packed.clear();
    throw Exception("TCFSAdvancedFileStream.PrepareBufferForWriting - compression error in PrepareBuffer.");
  }
}

std::int32_t TCFSAdvancedFileStream::Read(void* buffer, std::int32_t count) {
  DoProgress(0);
  if (passThrough_) {
    const std::int32_t n = raw_->Read(buffer, count);
    DoProgress(100);
    return n;
  }
  if (count <= 0 || position_ >= size_) {
    DoProgress(100);
    return 0;
  }
  currentBlock_ = static_cast<std::int32_t>(position_ / blockSize_);
  blocksToDo_ = std::max<double>(1, headers_.Count() - currentBlock_);
  percent_ = 0;
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::int32_t done = 0;
  while (position_ < size_ && done < count) {
    DoProgress(percent_);
    const std::vector<std::uint8_t>& block = UnpackedBlock(currentBlock_);
    const auto offset = static_cast<std::int32_t>(position_ % blockSize_);
    const std::int64_t n = std::min<std::int64_t>({blockSize_ - offset, count - done, size_ - position_});
    // The index guarantees this; a mismatch would otherwise read past the block.
    if (offset + n > static_cast<std::int64_t>(block.size()))
      throw Exception("TCFSAdvancedFileStream.LoadBlock - decompression error, invalid size.");
    std::memcpy(out + done, block.data() + offset, static_cast<std::size_t>(n));
    done += static_cast<std::int32_t>(n);
    position_ += n;
    if (done < count && position_ < size_) ++currentBlock_;
    percent_ += 100 / blocksToDo_;
  }
  DoProgress(100);
  return done;
}

std::int32_t TCFSAdvancedFileStream::Write(const void* buffer, std::int32_t count) {
  DoProgress(0);
  if (passThrough_) {
    const std::int64_t start = raw_->Position();
    const std::int64_t sizeBefore = RawSize();
    const std::int32_t n = raw_->Write(buffer, count);
    if (n > 0 && (start < 4 || sizeBefore < static_cast<std::int64_t>(TCFSStreamHeader::kSize))) EscapeSignature();
    DoProgress(100);
    return n;
  }
  if (count <= 0) return 0;
  if (position_ > size_) {
    const std::int64_t p = position_;
    position_ = 0;
    SetSize(p);
    position_ = p;
  }
  const std::int64_t bs = blockSize_;
  const std::int64_t start = position_;
  const std::int64_t last = start + count - 1;
  const auto firstBlock = static_cast<std::int32_t>(start / bs);
  const auto lastWritten = static_cast<std::int32_t>(last / bs);
  const std::int32_t oldCount = headers_.Count();
  const std::int64_t newSize = std::max(size_, start + count);
  const std::int32_t newCount = std::max(oldCount, lastWritten + 1);
  const auto* in = static_cast<const std::uint8_t*>(buffer);

  blocksToDo_ = std::max<double>(1, newCount - currentBlock_);
  percent_ = 0;

  struct Pending {
    TCFSBlockHeader Header;
    std::int64_t Offset;
    std::vector<std::uint8_t> Packed;
  };
  std::vector<Pending> pending;
  // Where block firstBlock goes: its old place, or just past the data of the last block.
  std::int64_t offset;
  if (firstBlock < oldCount) {
    offset = headers_.Key(firstBlock);
  } else if (oldCount > 0) {
    offset = headers_.Key(oldCount - 1) + static_cast<std::int64_t>(TCFSBlockHeader::kSize) +
             headers_.Record(oldCount - 1).PackedSize;
  } else {
    offset = TCFSStreamHeader::kSize + header_.ExtraSize();
  }
  bool moved = false;
  std::vector<std::uint8_t> block;
  for (std::int32_t i = firstBlock; i < newCount && (moved || i <= lastWritten); ++i) {
    DoProgress(percent_);
    const std::int64_t blockStart = std::int64_t(i) * bs;
    const std::int64_t blockEnd = std::min(blockStart + bs, newSize);  // exclusive
    Pending p;
    p.Offset = offset;
    if (i <= lastWritten) {
      const bool covered = start <= blockStart && last >= blockEnd - 1;
      if (i < oldCount && !covered) {
        block = LoadBlock(i);
      } else {
        block.clear();
      }
      // Only the block's extent in the new size matters (zeros where nothing was yet).
      block.resize(static_cast<std::size_t>(blockEnd - blockStart), 0);
      const std::int64_t from = std::max(start, blockStart);
      const std::int64_t to = std::min(last + 1, blockStart + bs);
      std::memcpy(block.data() + (from - blockStart), in + (from - start), static_cast<std::size_t>(to - from));
      PrepareBufferForWriting(block.data(), static_cast<std::int32_t>(blockEnd - blockStart), p.Header, p.Packed);
    } else {
      // A later block that has to move behind a grown one: its stored bytes move unchanged.
      p.Header = headers_.Record(i);
      p.Packed.resize(static_cast<std::size_t>(p.Header.PackedSize));
      raw_->Seek(headers_.Key(i) + static_cast<std::int64_t>(TCFSBlockHeader::kSize), soBeginning);
      if (raw_->Read(p.Packed.data(), p.Header.PackedSize) != p.Header.PackedSize)
        throw Exception("TCFSAdvancedFileStream.LoadBlock - decompression error.");
    }
    const std::int64_t dataEnd = offset + static_cast<std::int64_t>(TCFSBlockHeader::kSize) + p.Header.PackedSize;
    // The next block stays where it is when it still exists there and this block fits in
    // front of it; otherwise it (and every one after it) follows right behind this block.
    if (!moved && i + 1 < oldCount && dataEnd > headers_.Key(i + 1)) moved = true;
    if (i + 1 < oldCount && !moved) {
      offset = headers_.Key(i + 1);
    } else {
      offset = dataEnd;
    }
    p.Header.Next = static_cast<std::uint32_t>(offset);
    if (offset > 0xFFFFFFFFll)
      throw Exception("TCFSAdvancedFileStream.Write - stream too large, fileName = " + DoubleQuoted(fileName_) + ".");
    pending.push_back(std::move(p));
    percent_ += 100 / blocksToDo_;
  }

  // One block into an empty stream (a small file): header and block go in one write.
  const bool withHeader = pending.size() == 1 && newCount == 1 && FirstBlockAt(pending.front().Offset);
  for (const Pending& p : pending) {
    DoProgress(percent_);
    if (withHeader)
      WriteFirstBlockWithHeader(p.Header, p.Packed.data());
    else
      WriteBlockAt(p.Offset, p.Header, p.Packed.data(), "Write");
  }
  // A last block that shrank in place leaves dead bytes behind it; the stored file ends with
  // its last block, so that bytes after it can be told for damage when reading.
  if (firstBlock + static_cast<std::int32_t>(pending.size()) == newCount && !pending.empty()) {
    const std::int64_t end = pending.back().Offset + static_cast<std::int64_t>(TCFSBlockHeader::kSize) +
                             pending.back().Header.PackedSize;
    if (RawSize() > end) raw_->SetSize(end);
  }
  // Blocks behind the rewritten ones stay where they are, with their headers.
  std::vector<std::pair<TCFSBlockHeader, std::int64_t>> tail;
  for (std::int32_t i = firstBlock + static_cast<std::int32_t>(pending.size()); i < oldCount; ++i)
    tail.emplace_back(headers_.Record(i), headers_.Key(i));
  headers_.SetCount(firstBlock);
  for (const Pending& p : pending) headers_.Add(p.Header, p.Offset);
  for (const auto& [h, key] : tail) headers_.Add(h, key);
  size_ = newSize;
  position_ = start + count;
  if (!withHeader) WriteStreamHeader();
  DoProgress(100);
  return count;
}

std::int64_t TCFSAdvancedFileStream::Seek(std::int64_t offset, int origin) {
  if (passThrough_) return raw_->Seek(offset, origin);
  switch (origin) {
    case soBeginning: position_ = offset; break;
    case soCurrent: position_ += offset; break;
    case soEnd: position_ = size_ + offset; break;
    default: break;
  }
  if (position_ <= 0) {
    position_ = 0;
    currentBlock_ = 0;
  } else {
    currentBlock_ = size_ > 0 ? static_cast<std::int32_t>(std::min<std::int64_t>(position_ / blockSize_, INT32_MAX)) : 0;
  }
  return position_;
}

std::int64_t TCFSAdvancedFileStream::GetSize() { return passThrough_ ? RawSize() : size_; }

void TCFSAdvancedFileStream::SetSize(std::int64_t newSize) {
  unpackedIndex_ = -1;
  if (passThrough_) {
    raw_->SetSize(newSize);
    EscapeSignature();
    return;
  }
  if (newSize < 0 || newSize == size_) return;
  if (newSize > size_) {
    const std::int64_t saved = position_;
    const std::int64_t extend = newSize - size_;
    position_ = size_;
    const std::vector<std::uint8_t> zeros(static_cast<std::size_t>(std::min<std::int64_t>(extend, blockSize_)), 0);
    const bool wasInternal = internal_;
    internal_ = true;
    std::int64_t written = 0;
    try {
      while (written < extend) {
        const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(extend - written, zeros.size()));
        const std::int32_t w = Write(zeros.data(), n);
        written += w;
        if (w != n) break;
      }
    } catch (...) {
      internal_ = wasInternal;
      throw;
    }
    internal_ = wasInternal;
    position_ = saved;
    if (written < extend)
      throw Exception("TCFSAdvancedFileStream.SetSize - error extending file. NewSize = " + std::to_string(newSize) +
                      ", extSize = " + std::to_string(extend));
    return;
  }
  const auto k = static_cast<std::int32_t>(newSize / blockSize_);
  const auto r = static_cast<std::int32_t>(newSize % blockSize_);
  TCFSBlockHeader h;
  std::vector<std::uint8_t> packed;
  if (r > 0) {
    const std::vector<std::uint8_t> data = LoadBlock(k);
    PrepareBufferForWriting(data.data(), r, h, packed);
  }
  const std::int64_t cut = headers_.Key(k);
  headers_.SetCount(k);
  if (r > 0) {
    h.Next = static_cast<std::uint32_t>(cut + static_cast<std::int64_t>(TCFSBlockHeader::kSize) + h.PackedSize);
    headers_.Add(h, cut);
  }
  WriteStreamHeader();
  raw_->SetSize(cut);
  if (r > 0) WriteBlockAt(cut, h, packed.data(), "SetSize");
  size_ = newSize;
  if (position_ > size_) position_ = size_;
}

void TCFSAdvancedFileStream::EscapeSignature() {
  const std::int64_t position = raw_->Position();
  const std::int64_t size = RawSize();
  std::uint8_t first[4];
  raw_->Seek(0, soBeginning);
  if (size < 4 || raw_->Read(first, 4) != 4 || std::memcmp(first, kSignature, 4) != 0) {
    raw_->Seek(position, soBeginning);
    return;
  }
  // Every block stores its bytes unchanged and lands at or after their old place, so the
  // blocks are moved from the last one down without overwriting bytes still to be read.
  method_ = 0;
  blockSize_ = BlockSizeForMethod(0);
  const std::int64_t bs = blockSize_;
  const auto count = static_cast<std::int32_t>((size + bs - 1) / bs);
  const std::int64_t stride = bs + static_cast<std::int64_t>(TCFSBlockHeader::kSize);
  std::vector<TCFSBlockHeader> headers(static_cast<std::size_t>(count));
  std::vector<std::uint8_t> data;
  std::vector<std::uint8_t> packed;
  for (std::int32_t k = count - 1; k >= 0; --k) {
    const auto n = static_cast<std::int32_t>(std::min(bs, size - k * bs));
    data.resize(static_cast<std::size_t>(n));
    raw_->Seek(k * bs, soBeginning);
    if (raw_->Read(data.data(), n) != n)
      throw Exception("TCFSAdvancedFileStream.Write - error reading data stream, fileName = " + DoubleQuoted(fileName_) + ".");
    TCFSBlockHeader& h = headers[static_cast<std::size_t>(k)];
    PrepareBufferForWriting(data.data(), n, h, packed);
    const std::int64_t offset = static_cast<std::int64_t>(TCFSStreamHeader::kSize) + k * stride;
    h.Next = static_cast<std::uint32_t>(offset + static_cast<std::int64_t>(TCFSBlockHeader::kSize) + h.PackedSize);
    WriteBlockAt(offset, h, packed.data(), "Write");
  }
  headers_.Clear();
  for (std::int32_t k = 0; k < count; ++k)
    headers_.Add(headers[static_cast<std::size_t>(k)], static_cast<std::int64_t>(TCFSStreamHeader::kSize) + k * stride);
  header_.Init(0, blockSize_);
  WriteStreamHeader();
  passThrough_ = false;
  size_ = size;
  copyBufferSize_ = blockSize_;
  Seek(position, soBeginning);
}

void TCFSAdvancedFileStream::CopyChunks(TStream& from, TStream& to, std::int64_t size, bool fromSelf) {
  std::vector<std::uint8_t> buffer;
  std::int64_t done = 0;
  while (done < size) {
    // The chunk follows the block size, which a signature escape may change while loading.
    const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(copyBufferSize_, size - done));
    if (buffer.size() < static_cast<std::size_t>(n)) buffer.resize(static_cast<std::size_t>(n));
    internal_ = true;
    try {
      from.ReadBuffer(buffer.data(), n);
      to.WriteBuffer(buffer.data(), n);
    } catch (...) {
      internal_ = false;
      throw;
    }
    internal_ = false;
    done += n;
    DoProgress(double(fromSelf ? done : from.Position()) / double(size) * 100);
  }
}

void TCFSAdvancedFileStream::SaveToStream(TStream& target) {
  const std::int64_t ownPosition = Position();
  const std::int64_t targetPosition = target.Position();
  SetPosition(0);
  internal_ = false;
  DoProgress(0);
  CopyChunks(*this, target, GetSize(), true);
  SetPosition(ownPosition);
  target.SetPosition(targetPosition);
  DoProgress(100);
}

void TCFSAdvancedFileStream::LoadFromStream(TStream& source) {
  const std::int64_t ownPosition = Position();
  const std::int64_t sourcePosition = source.Position();
  source.SetPosition(0);
  SetSize(0);
  SetPosition(0);
  DoProgress(0);
  CopyChunks(source, *this, source.GetSize(), false);
  SetPosition(ownPosition);
  source.SetPosition(sourcePosition);
  DoProgress(100);
}

std::int64_t TCFSAdvancedFileStream::SaveToFile(const std::string& fileName, const TDiskFileStamp& stamp) {
  TDiskFileStream file(fileName, TDiskFileStream::OpenKind::Create);
  SaveToStream(file);
  file.Stamp(stamp);
  return file.GetSize();
}

void TCFSAdvancedFileStream::LoadFromFile(const std::string& fileName) {
  TDiskFileStream file(fileName, TDiskFileStream::OpenKind::Read);
  LoadFromStream(file);
}

bool TCFSAdvancedFileStream::CanLoadFromAhead(const TImportAhead& ahead) const {
  return !passThrough_ && size_ == 0 && headers_.Count() == 0 && method_ == ahead.Method() &&
         blockSize_ == BlockSizeForMethod(method_);
}

void TCFSAdvancedFileStream::AppendPackedBlock(TCFSBlockHeader header, const std::vector<std::uint8_t>& packed) {
  const std::int32_t count = headers_.Count();
  const std::int64_t offset =
      count > 0 ? headers_.Key(count - 1) + static_cast<std::int64_t>(TCFSBlockHeader::kSize) +
                      headers_.Record(count - 1).PackedSize
                : static_cast<std::int64_t>(TCFSStreamHeader::kSize) + header_.ExtraSize();
  const std::int64_t next = offset + static_cast<std::int64_t>(TCFSBlockHeader::kSize) + header.PackedSize;
  header.Next = static_cast<std::uint32_t>(next);
  if (next > 0xFFFFFFFFll)
    throw Exception("TCFSAdvancedFileStream.Write - stream too large, fileName = " + DoubleQuoted(fileName_) + ".");
  // The first block goes with the header; later ones rewrite the header after them.
  const bool withHeader = FirstBlockAt(offset);
  if (withHeader)
    WriteFirstBlockWithHeader(header, packed.data());
  else
    WriteBlockAt(offset, header, packed.data(), "Write");
  headers_.Add(header, offset);
  size_ += header.UnpackedSize;
  position_ = size_;
  if (!withHeader) WriteStreamHeader();
}

TDiskFileStamp TCFSAdvancedFileStream::LoadFromAhead(TImportAhead& ahead, std::size_t index) {
  TImportAhead::Step step = ahead.Take(index);
  // A file that cannot be opened fails before any progress, as LoadFromFile does.
  if (step.kind == TImportAhead::Step::Kind::Failure && step.atOpen) std::rethrow_exception(step.failure);
  DoProgress(0);
  for (;; step = ahead.Take(index)) {
    if (step.kind == TImportAhead::Step::Kind::Failure) std::rethrow_exception(step.failure);
    if (step.kind == TImportAhead::Step::Kind::End) break;
    AppendPackedBlock(step.header, step.packed);
    DoProgress(double(step.sourcePosition) / double(step.sourceSize) * 100);
  }
  Seek(0, soBeginning);
  DoProgress(100);
  return step.stamp;
}

std::int64_t TCFSAdvancedFileStream::SaveFromAhead(TExportAhead& ahead, std::size_t index, TStream* target) {
  const std::int64_t ownPosition = Position();
  SetPosition(0);
  internal_ = false;
  DoProgress(0);
  const std::int64_t size = GetSize();
  std::int64_t done = 0;
  while (done < size) {
    // One chunk is one block, as when Read() is asked for a block's worth at a block start.
    const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(copyBufferSize_, size - done));
    const std::vector<std::uint8_t> block = ahead.TakeBlock(index);
    if (static_cast<std::int64_t>(block.size()) < n)
      throw Exception("TCFSAdvancedFileStream.LoadBlock - decompression error, invalid size.");
    if (target) target->WriteBuffer(block.data(), n);
    done += n;
    DoProgress(double(done) / double(size) * 100);
  }
  SetPosition(ownPosition);
  DoProgress(100);
  return done;
}

std::int64_t TCFSAdvancedFileStream::SaveToFile(const std::string& fileName, TExportAhead& ahead, std::size_t index,
                                               const TDiskFileStamp& stamp) {
  if (passThrough_) return SaveToFile(fileName, stamp);
  TDiskFileStream file(fileName, TDiskFileStream::OpenKind::Create);
  SaveFromAhead(ahead, index, &file);
  file.Stamp(stamp);
  return file.GetSize();
}

std::int64_t TCFSAdvancedFileStream::ReadWhole(TExportAhead& ahead, std::size_t index) {
  if (!passThrough_) return SaveFromAhead(ahead, index, nullptr);
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(copyBufferSize_));
  std::int64_t done = 0;
  SetPosition(0);
  for (std::int32_t n; (n = Read(buffer.data(), static_cast<std::int32_t>(buffer.size()))) > 0;) done += n;
  return done;
}
