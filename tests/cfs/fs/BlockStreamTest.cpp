// The block stream over stored files: block chains of any length, growth that moves later
// blocks, zero fill, shrinking, repair of a cut-off chain, damaged blocks and headers, and the
// pass-through mode of uncompressed files.
#include <gtest/gtest.h>

#include <memory>

#include "cfs/codecs/compress/CFSCompress.h"
#include "cfs/fs/CFSFileStream.h"
#include "tests/cfs/fs/FSTestUtil.h"

using namespace storagetest;
using namespace fstest;

namespace {

std::unique_ptr<TContainerFS> NewContainer(const std::string& name, std::uint8_t method, const std::string& pw = "") {
  return std::make_unique<TContainerFS>(name, kModeCreate, pw, "", "", method);
}

std::unique_ptr<TCFSAdvancedFileStream> NewStream(TContainerFS& fs, const std::string& name, std::uint8_t method = 0) {
  return std::make_unique<TCFSAdvancedFileStream>(&fs, name, kModeCreate, "", "", "", method);
}

std::unique_ptr<TCFSAdvancedFileStream> OpenStream(TContainerFS& fs, const std::string& name) {
  return std::make_unique<TCFSAdvancedFileStream>(&fs, name, 2, "", "", "", 0);
}

Bytes ReadStream(TStream& s) {
  Bytes out(static_cast<std::size_t>(s.GetSize()));
  s.Seek(0, soBeginning);
  if (!out.empty()) {
    EXPECT_EQ(s.Read(out.data(), std::int32_t(out.size())), std::int32_t(out.size()));
  }
  return out;
}

// Every block starts where the one before it ends and says so; the last one ends the stored file.
void ExpectChainBackToBack(TCFSAdvancedFileStream& s) {
  const TCFSHeadersArray& h = s.Headers();
  ASSERT_GT(h.Count(), 0);
  EXPECT_EQ(h.Key(0), 128);
  for (std::int32_t k = 0; k < h.Count(); ++k) {
    const std::int64_t end = h.Key(k) + 16 + h.Record(k).PackedSize;
    EXPECT_EQ(h.Record(k).Next, std::uint32_t(end)) << "block " << k;
    if (k + 1 < h.Count()) {
      EXPECT_EQ(h.Key(k + 1), end) << "block " << k + 1;
    }
  }
  EXPECT_EQ(s.Raw().GetSize(), h.Key(h.Count() - 1) + 16 + h.Record(h.Count() - 1).PackedSize);
}

// Writes bytes straight into the stored file (under the block stream).
void PatchStored(TContainerFS& fs, const std::string& name, std::int64_t offset, const Bytes& data) {
  const std::int32_t h = fs.FileOpen(name, 2, "", "", "");
  ASSERT_GE(h, 0);
  fs.FileSeek(h, 0, offset);
  ASSERT_EQ(fs.FileWrite(h, data.data(), std::int32_t(data.size())), std::int32_t(data.size()));
  fs.FileClose(h);
}

void CutStored(TContainerFS& fs, const std::string& name, std::int64_t size) {
  const std::int32_t h = fs.FileOpen(name, 2, "", "", "");
  ASSERT_GE(h, 0);
  ASSERT_EQ(fs.FileSetSize(h, size), size);
  fs.FileClose(h);
}

constexpr std::int32_t BS1 = 0x80000;  // block size of method 1

}  // namespace

TEST(BlockStream, NewStreamHoldsHeaderThenOneBlockPerWrite) {
  ScratchDir dir;
  auto fs = NewContainer(dir / "c.cfs", 9);
  {
    auto s = NewStream(*fs, "a");
    EXPECT_FALSE(s->PassThrough());
    EXPECT_EQ(s->Method(), 9);  // the container's default
    EXPECT_EQ(s->Raw().GetSize(), 128);
    const std::uint8_t one = 'x';
    EXPECT_EQ(s->Write(&one, 1), 1);
    EXPECT_EQ(s->BlockCount(), 1);
    EXPECT_EQ(s->Headers().Record(0).UnpackedSize, 1);
    EXPECT_EQ(s->Header().BlockCount(), 1);
  }
  Bytes stored = ReadWhole(*fs, "a");
  ASSERT_GE(stored.size(), 128u);
  EXPECT_EQ(Bytes(stored.begin(), stored.begin() + 4), Text("AACS"));
  EXPECT_EQ(stored[20], 9);
  EXPECT_EQ(stored[16] | stored[17] << 8 | stored[18] << 16 | stored[19] << 24, 0x40000000);
  auto s = OpenStream(*fs, "a");
  EXPECT_EQ(ReadStream(*s), Text("x"));
}

// Streams of 1, 2, 3 and 10 blocks, written in one call and in many small ones, keep their
// blocks back to back and read back after reopening.
TEST(BlockStream, ChainsOfManyBlocksReadBack) {
  ScratchDir dir;
  auto fs = NewContainer(dir / "c.cfs", 1);
  const std::int64_t sizes[] = {1000, BS1, BS1 + 1, 2 * BS1 + 5, 9 * std::int64_t(BS1) + 7};
  int n = 0;
  for (std::int64_t size : sizes) {
    const Bytes data = Compressible(static_cast<std::size_t>(size), std::uint32_t(size));
    for (int chunked = 0; chunked < 2; ++chunked) {
      const std::string name = std::to_string(n++) + ".f";
      {
        auto s = NewStream(*fs, name);
        if (chunked) {
          for (std::size_t at = 0; at < data.size(); at += 100000) {
            const auto k = static_cast<std::int32_t>(std::min<std::size_t>(100000, data.size() - at));
            ASSERT_EQ(s->Write(data.data() + at, k), k);
          }
        } else {
          ASSERT_EQ(s->Write(data.data(), std::int32_t(data.size())), std::int32_t(data.size()));
        }
      }
      auto s = OpenStream(*fs, name);
      EXPECT_EQ(s->GetSize(), size) << name;
      EXPECT_EQ(s->BlockCount(), (size + BS1 - 1) / BS1) << name;
      ExpectChainBackToBack(*s);
      EXPECT_TRUE(ReadStream(*s) == data) << name;
    }
  }
  ExpectPagesConsistent(*fs);
}

TEST(BlockStream, GrowingBlockMovesLaterBlocks) {
  ScratchDir dir;
  auto fs = NewContainer(dir / "c.cfs", 1);
  Bytes data = Compressible(3 * BS1 - 100, 7);
  {
    auto s = NewStream(*fs, "g");
    ASSERT_EQ(s->Write(data.data(), std::int32_t(data.size())), std::int32_t(data.size()));
    const std::int64_t oldSecond = s->Headers().Key(1);
    // Random bytes compress far worse: block 0 grows and blocks 1 and 2 must move behind it.
    const Bytes noise = Pattern(60000, 3);
    s->Seek(1000, soBeginning);
    ASSERT_EQ(s->Write(noise.data(), std::int32_t(noise.size())), std::int32_t(noise.size()));
    std::copy(noise.begin(), noise.end(), data.begin() + 1000);
    EXPECT_GT(s->Headers().Key(1), oldSecond);
    // Rewriting bytes of block 1 with what is there already keeps block 2 in place.
    const std::int64_t third = s->Headers().Key(2);
    const Bytes same(data.begin() + BS1 + 5, data.begin() + BS1 + 15);
    s->Seek(BS1 + 5, soBeginning);
    ASSERT_EQ(s->Write(same.data(), 10), 10);
    std::copy(same.begin(), same.end(), data.begin() + BS1 + 5);
    EXPECT_EQ(s->Headers().Key(2), third);
    EXPECT_TRUE(ReadStream(*s) == data);
  }
  auto s = OpenStream(*fs, "g");
  EXPECT_TRUE(ReadStream(*s) == data);
}

TEST(BlockStream, SizeChangesAndPositions) {
  ScratchDir dir;
  auto fs = NewContainer(dir / "c.cfs", 7);
  const std::int32_t bs = BlockSizeForMethod(7);
  {
    auto s = NewStream(*fs, "z");
    const Bytes head = Text("head");
    ASSERT_EQ(s->Write(head.data(), 4), 4);
    // Writing ten bytes past the end fills the gap with zeros.
    s->Seek(14, soBeginning);
    ASSERT_EQ(s->Write(head.data(), 4), 4);
    Bytes expect = Text("head");
    expect.resize(14, 0);
    expect.insert(expect.end(), head.begin(), head.end());
    EXPECT_TRUE(ReadStream(*s) == expect);
    // Growing across block boundaries by SetSize gives zeros too.
    s->SetSize(2 * std::int64_t(bs) + 3);
    EXPECT_EQ(s->BlockCount(), 3);
    expect.resize(2 * std::size_t(bs) + 3, 0);
    EXPECT_TRUE(ReadStream(*s) == expect);
    // Shrinking to an exact multiple drops whole blocks; to an odd size cuts the last one.
    s->SetSize(bs);
    EXPECT_EQ(s->BlockCount(), 1);
    EXPECT_EQ(s->Position(), bs);
    s->SetSize(9);
    EXPECT_EQ(s->BlockCount(), 1);
    EXPECT_EQ(s->Raw().GetSize(), 128 + 16 + s->Headers().Record(0).PackedSize);
    expect.resize(9);
    EXPECT_TRUE(ReadStream(*s) == expect);
    EXPECT_EQ(s->Seek(-5, soBeginning), 0);
    EXPECT_EQ(s->Seek(-2, soEnd), 7);
  }
  auto s = OpenStream(*fs, "z");
  EXPECT_EQ(s->GetSize(), 9);
  s->SetSize(0);
  EXPECT_EQ(s->BlockCount(), 0);
  EXPECT_EQ(s->Raw().GetSize(), 128);
}

TEST(BlockStream, CutOffChainIsRepairedOnOpening) {
  ScratchDir dir;
  auto fs = NewContainer(dir / "c.cfs", 1);
  const Bytes data = Compressible(2 * BS1 + 500, 5);
  std::int64_t third = 0;
  for (int where = 0; where < 2; ++where) {
    {
      auto s = NewStream(*fs, "r");
      ASSERT_EQ(s->Write(data.data(), std::int32_t(data.size())), std::int32_t(data.size()));
      third = s->Headers().Key(2);
    }
    // Cut inside the last block's header, then inside its data.
    CutStored(*fs, "r", where == 0 ? third + 9 : third + 20);
    auto s = OpenStream(*fs, "r");
    EXPECT_EQ(s->BlockCount(), 2);
    EXPECT_EQ(s->GetSize(), 2 * BS1);
    EXPECT_EQ(s->Raw().GetSize(), third);
    EXPECT_TRUE(ReadStream(*s) == Bytes(data.begin(), data.begin() + 2 * BS1));
    s.reset();
    auto again = OpenStream(*fs, "r");
    EXPECT_EQ(again->Header().BlockCount(), 2);
  }
}

// A reader takes the blocks only when they account for the whole stored file, ending where it
// ends and as many as the header says; anything less would hand out a shorter file as whole.
// A stream whose last block shrank in place still ends with that block.
TEST(BlockStream, ChainThatDoesNotAccountForTheStoredFileIsDamageToAReader) {
  ScratchDir dir;
  auto fs = NewContainer(dir / "c.cfs", 1);
  const Bytes data = Compressible(2 * BS1 + 500, 21);
  {
    auto s = NewStream(*fs, "good");
    ASSERT_EQ(s->Write(data.data(), std::int32_t(data.size())), std::int32_t(data.size()));
  }
  const Bytes good = ReadWhole(*fs, "good");
  auto le = [](std::uint32_t v) {
    return Bytes{std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
  };
  const struct {
    std::int64_t at;
    Bytes bytes;
    const char* what;
  } damage[] = {
      {128 + 12, le(0xFFFFFFFF), "next of the first block -1"},
      {12, le(1), "block count 1 of 3"},
      {12, le(0), "block count 0 of 3"},
      {std::int64_t(good.size()), Text("tail"), "bytes after the last block"},
  };
  for (const auto& d : damage) {
    WriteWhole(*fs, "bad", good);
    PatchStored(*fs, "bad", d.at, d.bytes);
    const std::string error = ErrorOf([&] { TCFSAdvancedFileStream(fs.get(), "bad", 0, "", "", "", 0); });
    EXPECT_NE(error.find("damaged block chain"), std::string::npos) << d.what << ": " << error;
  }

  // The last block rewritten smaller: the stored file is cut behind it and reads as it is.
  auto s = OpenStream(*fs, "good");
  const Bytes same(500, 'z');
  s->Seek(2 * BS1, soBeginning);
  ASSERT_EQ(s->Write(same.data(), 500), 500);
  ExpectChainBackToBack(*s);
  s.reset();
  Bytes expected = data;
  std::copy(same.begin(), same.end(), expected.begin() + 2 * BS1);
  TCFSAdvancedFileStream reader(fs.get(), "good", 0, "", "", "", 0);
  EXPECT_TRUE(ReadStream(reader) == expected);
}

TEST(BlockStream, DamagedBlockFailsOnlyItself) {
  ScratchDir dir;
  auto fs = NewContainer(dir / "c.cfs", 1);
  const Bytes data = Compressible(3 * BS1, 11);
  std::int64_t second = 0;
  {
    auto s = NewStream(*fs, "d");
    ASSERT_EQ(s->Write(data.data(), std::int32_t(data.size())), std::int32_t(data.size()));
    second = s->Headers().Key(1);
  }
  const Bytes stored = ReadWhole(*fs, "d");
  PatchStored(*fs, "d", second + 16 + 40, {std::uint8_t(stored[second + 16 + 40] ^ 0x55)});
  auto s = OpenStream(*fs, "d");
  Bytes buf(BS1);
  const std::string error = ErrorOf([&] { s->Seek(BS1, soBeginning), s->Read(buf.data(), 10); });
  EXPECT_TRUE(error == "TCFSAdvancedFileStream.LoadBlock - decompression error." ||
              error == "TCFSAdvancedFileStream.LoadBlock - decompression crc error." ||
              error == "TCFSAdvancedFileStream.LoadBlock - decompression error, invalid size.")
      << error;
  s->Seek(0, soBeginning);
  ASSERT_EQ(s->Read(buf.data(), BS1), BS1);
  EXPECT_TRUE(std::equal(buf.begin(), buf.end(), data.begin()));
  s->Seek(2 * BS1, soBeginning);
  ASSERT_EQ(s->Read(buf.data(), BS1), BS1);
  EXPECT_TRUE(std::equal(buf.begin(), buf.end(), data.begin() + 2 * BS1));
}

// Garbage in the stream header or a block header is refused with a message, never followed.
TEST(BlockStream, DamagedHeadersAreRefused) {
  ScratchDir dir;
  auto fs = NewContainer(dir / "c.cfs", 1);
  const Bytes data = Compressible(2 * BS1 + 10, 13);
  {
    auto s = NewStream(*fs, "good");
    ASSERT_EQ(s->Write(data.data(), std::int32_t(data.size())), std::int32_t(data.size()));
  }
  const Bytes good = ReadWhole(*fs, "good");
  auto le = [](std::uint32_t v) {
    return Bytes{std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
  };
  const std::int64_t b0 = 128;
  const std::uint32_t b1 = good[b0 + 12] | good[b0 + 13] << 8 | good[b0 + 14] << 16 | good[b0 + 15] << 24;
  const struct {
    std::int64_t at;
    Bytes bytes;
    const char* what;
  } damage[] = {
      {4, le(12345), "block size not in the table"},
      {4, le(0x100000), "block size of another method"},
      {12, le(0x7FFFFFFF), "block count beyond the stored file"},
      {12, le(0xFFFFFFFF), "negative block count"},
      {23, le(0x7FFFFFF0), "extra size beyond the stored file"},
      {b0, le(0x7FFFFFFF), "packed size far beyond a block"},
      {b0, le(0), "packed size zero"},
      {b0 + 4, le(0), "unpacked size zero"},
      {b0 + 4, le(BS1 + 1), "unpacked size above the block size"},
      {b0 + 4, le(BS1 - 1), "a short block in the middle"},
      {b0 + 12, le(b0), "next pointing back at itself"},
      {b1 + 12, le(std::uint32_t(b0)), "next pointing back to the first block"},
  };
  for (const auto& d : damage) {
    WriteWhole(*fs, "bad", good);
    PatchStored(*fs, "bad", d.at, d.bytes);
    const std::string error = ErrorOf([&] { OpenStream(*fs, "bad"); });
    EXPECT_NE(error.find("TCFSAdvancedFileStream.LoadBlockIndex - damaged"), std::string::npos)
        << d.what << ": " << error;
  }
}

TEST(BlockStream, PassThroughFilesAreReadAsPlainBytes) {
  ScratchDir dir;
  auto fs = NewContainer(dir / "c.cfs", 9);
  WriteWhole(*fs, "short", Text("AACS but too short"));
  const Bytes plain = Pattern(5000, 1);
  WriteWhole(*fs, "plain", plain);
  for (const auto& [name, content] : {std::pair{"short", Text("AACS but too short")}, std::pair{"plain", plain}}) {
    auto s = OpenStream(*fs, name);
    EXPECT_TRUE(s->PassThrough()) << name;
    EXPECT_TRUE(ReadStream(*s) == content) << name;
  }
  // Method 0 on creation writes no header at all.
  auto fs0 = NewContainer(dir / "zero.cfs", 0);
  {
    auto s = NewStream(*fs0, "raw");
    EXPECT_TRUE(s->PassThrough());
    ASSERT_EQ(s->Write(plain.data(), 5000), 5000);
  }
  EXPECT_TRUE(ReadWhole(*fs0, "raw") == plain);
}

// An uncompressed file whose content starts like a block stream must still read back as
// written, whether it arrives in one write, in pieces, or from a disk file.
TEST(BlockStream, UncompressedContentStartingWithSignatureReadsBack) {
  ScratchDir dir;
  auto fs = NewContainer(dir / "c.cfs", 0);
  Bytes content = Text("AACS");
  const Bytes rest = Pattern(3000, 2);
  content.insert(content.end(), rest.begin(), rest.end());
  {
    auto s = NewStream(*fs, "one");
    ASSERT_EQ(s->Write(content.data(), std::int32_t(content.size())), std::int32_t(content.size()));
  }
  {
    auto s = NewStream(*fs, "pieces");
    ASSERT_EQ(s->Write(content.data(), 2), 2);
    ASSERT_EQ(s->Write(content.data() + 2, 200), 200);
    ASSERT_EQ(s->Write(content.data() + 202, std::int32_t(content.size()) - 202), std::int32_t(content.size()) - 202);
  }
  Bytes big = content;
  const Bytes more = Pattern(0x180000, 4);
  big.insert(big.end(), more.begin(), more.end());
  ASSERT_TRUE(WriteAll(dir / "big.bin", big));
  {
    TCFSFileStream s(fs.get(), "big", kModeCreate, "", "", "", 0);
    s.LoadFromFile(dir / "big.bin");
  }
  for (const auto& [name, expected] : {std::pair{"one", &content}, std::pair{"pieces", &content}, std::pair{"big", &big}}) {
    auto s = OpenStream(*fs, name);
    EXPECT_TRUE(ReadStream(*s) == *expected) << name;
  }
  TCFSFileStream s(fs.get(), "big", 0, "", "", "", 0);
  s.SaveToFile(dir / "back.bin");
  EXPECT_TRUE(ReadAll(dir / "back.bin") == big);
  // A short file stored without the stream, grown past the header size.
  WriteWhole(*fs, "grown", Text("AACSx"));
  {
    TCFSFileStream g(fs.get(), "grown", 2, "", "", "", 0);
    g.SetSize(300);
  }
  Bytes grown = Text("AACSx");
  grown.resize(300, 0);
  auto g = OpenStream(*fs, "grown");
  EXPECT_TRUE(ReadStream(*g) == grown);
}

TEST(BlockStream, FileStreamModesAndProgress) {
  ScratchDir dir;
  auto fs = NewContainer(dir / "c.cfs", 1);
  const Bytes data = Compressible(3 * BS1, 17);
  std::vector<double> seen;
  TCFSStreamProgressEvent progress;
  progress.UserData = &seen;
  progress.Handler = [](void* user, TStream&, double p) { static_cast<std::vector<double>*>(user)->push_back(p); };
  {
    TCFSFileStream s(fs.get(), "p", kModeCreate, "", "", "", 0, progress);
    ASSERT_EQ(s.Write(data.data(), std::int32_t(data.size())), std::int32_t(data.size()));
  }
  seen.clear();
  TCFSFileStream r(fs.get(), "p", 0, "", "", "", 0, progress);
  EXPECT_TRUE(r.ReadOnly());
  Bytes back(data.size());
  ASSERT_EQ(r.Read(back.data(), std::int32_t(back.size())), std::int32_t(back.size()));
  EXPECT_TRUE(back == data);
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen.front(), 0);
  EXPECT_EQ(seen.back(), 100);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(ErrorOf([&] { r.Write(data.data(), 1); }), "TCFSFileStream.Write - file is in read only mode.");
  EXPECT_EQ(ErrorOf([&] { r.SetSize(1); }), "TCFSFileStream.SetSize - file is in read only mode.");
  EXPECT_EQ(ErrorOf([&] { TCFSAdvancedFileStream(nullptr, "x", 0, "", "", "", 0); }),
            "TCFSAdvancedFileStream.Create - ContainerFS = nil.");
}
