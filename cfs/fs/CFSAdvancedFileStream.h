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
#include "cfs/fs/DiskFileStream.h"
#include "cfs/fs/Stream.h"
#include "cfs/index/CFSHeadersArray.h"

class TCodecScratch;
class TExportAhead;
class TImportAhead;

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
  // LoadBlock in two halves: the codec output as stored, read through this stream, and its
  // unpacking and checks, which touch nothing but their arguments (any thread may run them).
  std::vector<std::uint8_t> ReadPackedBlock(std::int32_t index);
  static std::vector<std::uint8_t> UnpackBlock(const TCFSBlockHeader& header, const std::vector<std::uint8_t>& packed,
                                               std::uint8_t method, TCodecScratch* scratch);
  // Fills header's UnpackedSize, Crc and PackedSize and returns the codec output in packed.
  void PrepareBufferForWriting(const std::uint8_t* data, std::int32_t count, TCFSBlockHeader& header,
                               std::vector<std::uint8_t>& packed);

  void SaveToStream(TStream& target);
  void LoadFromStream(TStream& source);
  // The SaveToFile forms return the size of the disk file as its writer closed it, and stamp it
  // as given through the writer's own handle.
  std::int64_t SaveToFile(const std::string& fileName, const TDiskFileStamp& stamp = {});
  void LoadFromFile(const std::string& fileName);
  // Whether LoadFromAhead can fill this stream: a new, empty block stream whose method is the
  // one the blocks were compressed with.
  bool CanLoadFromAhead(const TImportAhead& ahead) const;
  // LoadFromFile for file `index` of an import whose blocks were read and compressed ahead: the
  // same writes, progress and failures, without the codec work. Returns the disk file's time
  // and attributes as its reader found them once it had read it.
  TDiskFileStamp LoadFromAhead(TImportAhead& ahead, std::size_t index);
  // SaveToFile, and a read of the whole stream that keeps nothing (a check), for file `index`
  // of an export whose blocks are read and unpacked ahead: the same writes, progress and
  // failures. The stream is the one ahead.Open gave for that index.
  std::int64_t SaveToFile(const std::string& fileName, TExportAhead& ahead, std::size_t index,
                          const TDiskFileStamp& stamp = {});
  std::int64_t ReadWhole(TExportAhead& ahead, std::size_t index);

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
  // The first block of an empty stream with the stream header, now counting that block, in
  // front of it, in one write: a small file's page is then written once, not once for each
  // part. The bytes, and the pages they take, are those of WriteBlockAt followed by
  // WriteStreamHeader (the header never reaches past the stream's first page). Raises as
  // WriteBlockAt does.
  void WriteFirstBlockWithHeader(const TCFSBlockHeader& header, const std::uint8_t* packed);
  // Whether a block written at offset is the first of an empty stream with nothing between
  // the stream header and it.
  bool FirstBlockAt(std::int64_t offset) const;
  // "TCFSAdvancedFileStream.<operation> - error writing to data stream, fileName = ...".
  [[noreturn]] void RaiseWriteError(const char* operation) const;
  // Write() of a whole block at the end of a stream of whole blocks, already compressed.
  void AppendPackedBlock(TCFSBlockHeader header, const std::vector<std::uint8_t>& packed);
  // Copies size bytes in chunks of copyBufferSize_ with progress after each chunk (by bytes
  // done when reading this stream, by the source's position when loading).
  void CopyChunks(TStream& from, TStream& to, std::int64_t size, bool fromSelf);
  // SaveToStream with the blocks taken from ahead; target may be null (the bytes are dropped).
  std::int64_t SaveFromAhead(TExportAhead& ahead, std::size_t index, TStream* target);
  // LoadBlock, kept for the next Read: reads smaller than a block unpack it once. Any block
  // write and SetSize forget it.
  const std::vector<std::uint8_t>& UnpackedBlock(std::int32_t index);

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
  std::int32_t unpackedIndex_ = -1;  // the block `unpacked_` holds; -1: none
  std::vector<std::uint8_t> unpacked_;
};
