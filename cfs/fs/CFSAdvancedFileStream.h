#pragma once
// A stored file as a chain of independently compressed, checksummed blocks behind an ordinary
// stream with random access. Layout of the stored file:
//   0    128-byte stream header (TCFSStreamHeader)
//   128 + ExtraSize: blocks, each a 16-byte TCFSBlockHeader and PackedSize bytes of codec
//        output, found by following Next from the first one.
// A stored file without that header (new files stored with method 0, files shorter than the
// header or not starting with "AACS") is passed straight through to the raw stream.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cfs/codecs/compress/CFSBlockHeader.h"
#include "cfs/fs/CFSEvents.h"
#include "cfs/fs/CFSUserFileStream.h"
#include "cfs/fs/ContainerFS.h"
#include "cfs/fs/Stream.h"
#include "cfs/index/CFSHeadersArray.h"

// The 128-byte header at the start of a block-mode stored file; reserved bytes are kept as read.
struct TCFSStreamHeader {
  static constexpr std::size_t kSize = 128;
  std::array<std::uint8_t, kSize> Bytes{};

  bool HasSignature() const;
  std::int32_t BlockSize() const;
  std::int32_t BlockCount() const;
  float Version() const;
  std::uint8_t Method() const;
  std::int32_t ExtraSize() const;
  void SetBlockSize(std::int32_t v);
  void SetBlockCount(std::int32_t v);
  // "AACS", block size of the method, block count 0, version 2.0, the method; the rest 0.
  void Init(std::uint8_t method, std::int32_t blockSize);
};

class TCFSAdvancedFileStream : public TStream {
 public:
  // Mode kModeCreate creates the stored file (replacing an existing one); other modes open it.
  // Method 0 means the container's default method.
  TCFSAdvancedFileStream(TContainerFS* system, const std::string& fileName, std::uint16_t mode,
                         const std::string& password, const std::string& question, const std::string& answer,
                         std::uint8_t method);
  ~TCFSAdvancedFileStream() override;

  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int32_t Write(const void* buffer, std::int32_t count) override;
  std::int64_t Seek(std::int64_t offset, int origin) override;
  std::int64_t GetSize() override;
  void SetSize(std::int64_t newSize) override;

  // The unpacked bytes of block index (checked against its header's size and checksum).
  std::vector<std::uint8_t> LoadBlock(std::int32_t index);
  // Fills header's UnpackedSize, Crc and PackedSize and returns the codec output in packed.
  void PrepareBufferForWriting(const std::uint8_t* data, std::int32_t count, TCFSBlockHeader& header,
                               std::vector<std::uint8_t>& packed);

  void SaveToStream(TStream& target);
  void LoadFromStream(TStream& source);
  void SaveToFile(const std::string& fileName);
  void LoadFromFile(const std::string& fileName);

  bool PassThrough() const { return passThrough_; }
  std::uint8_t Method() const { return method_; }
  std::int32_t BlockSize() const { return blockSize_; }
  std::int32_t BlockCount() const { return headers_.Count(); }
  const TCFSHeadersArray& Headers() const { return headers_; }
  const TCFSStreamHeader& Header() const { return header_; }
  std::int32_t CurrentBlock() const { return currentBlock_; }
  const std::string& FileName() const { return fileName_; }
  TCFSUserFileStream& Raw() { return *raw_; }

  TCFSStreamProgressEvent OnProgress;

 private:
  void Initialise(bool create);
  void LoadBlockIndex();
  void DoProgress(double percent);
  void WriteStreamHeader();
  std::int64_t RawSize();
  // Rewrites a pass-through file whose bytes now start with the block signature as a block
  // stream of stored (method 0) blocks, so that it cannot be mistaken for one when reopened.
  void EscapeSignature();
  // Writes a block header and its packed data at offset; raises "<operation> - error writing...".
  void WriteBlockAt(std::int64_t offset, const TCFSBlockHeader& header, const std::uint8_t* packed,
                    const char* operation);
  // Copies size bytes in chunks of copyBufferSize_ with progress after each chunk (by bytes
  // done when reading this stream, by the source's position when loading).
  void CopyChunks(TStream& from, TStream& to, std::int64_t size, bool fromSelf);

  std::int32_t copyBufferSize_ = 0x100000;
  double percent_ = 0;
  double blocksToDo_ = 1;
  TCFSHeadersArray headers_;
  std::int64_t size_ = 0;
  std::int32_t currentBlock_ = 0;
  std::int64_t position_ = 0;
  std::uint8_t method_ = 0;
  bool passThrough_ = true;
  std::int32_t blockSize_ = 0;
  bool internal_ = false;
  std::string fileName_;
  std::unique_ptr<TCFSUserFileStream> raw_;
  TCFSStreamHeader header_;
};
