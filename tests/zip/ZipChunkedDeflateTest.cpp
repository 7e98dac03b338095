// Entries larger than one chunk: deflated in chunks on worker threads, with archive bytes that
// do not depend on the thread count.
#include <gtest/gtest.h>
#include <zlib.h>

#include <thread>

#include "tests/zip/ZipTestUtil.h"
#include "zip/ChunkedDeflate.h"
#include "zip/ZipWriter.h"

using namespace ziptest;

namespace {

constexpr std::size_t kChunk = zipdeflate::kChunkSize;

std::u16string Wide(const std::string& cp936) { return platform::Cp936ToUtf16(cp936); }

// Text and noise in alternating runs that straddle chunk edges, so chunks hold both
// compressed and stored blocks and matches reach back across the edges.
std::string MixedBytes(std::size_t n) {
  std::string out;
  std::uint32_t seed = 3;
  while (out.size() < n) {
    out += TextBytes(300000 + out.size() % 7919);
    out += NoiseBytes(90000, ++seed);
  }
  out.resize(n);
  return out;
}

// The one entry of an archive written by the component: method, CRC-32 and the data inflated.
struct Entry {
  std::uint16_t method = 0;
  std::uint32_t crc = 0;
  std::string deflated, data;
};

Entry OnlyEntry(const std::string& zip) {
  Entry e;
  e.method = U16(zip, 8);
  e.crc = U32(zip, 14);
  const std::size_t start = 30 + U16(zip, 26) + U16(zip, 28);
  e.deflated = zip.substr(start, U32(zip, 18));
  e.data.resize(U32(zip, 22) + 1);
  z_stream zs{};
  EXPECT_EQ(inflateInit2(&zs, -15), Z_OK);
  zs.next_in = reinterpret_cast<Bytef*>(e.deflated.data());
  zs.avail_in = static_cast<uInt>(e.deflated.size());
  zs.next_out = reinterpret_cast<Bytef*>(e.data.data());
  zs.avail_out = static_cast<uInt>(e.data.size());
  EXPECT_EQ(inflate(&zs, Z_FINISH), Z_STREAM_END);
  EXPECT_EQ(zs.avail_in, 0u) << "bytes after the end of the deflate stream";
  e.data.resize(zs.total_out);
  inflateEnd(&zs);
  return e;
}

std::uint32_t Crc(const std::string& d) {
  return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(d.data()), static_cast<uInt>(d.size())));
}

class ZipChunkedDeflate : public ::testing::Test {
 protected:
  ScratchDir dir;

  // Zips `source` alone into `name` with the given thread count and returns the archive.
  std::string ZipWith(const std::string& source, const std::string& name, int threads) {
    TZipWriter zip;
    zip.SetThreadCount(threads);
    zip.FilesList.Add(Wide(source));
    zip.SetZipName(Wide(dir / name));
    EXPECT_EQ(zip.Zip(), 1);
    return ReadFile(dir / name);
  }
};

TEST_F(ZipChunkedDeflate, ArchiveBytesAreTheSameForEveryThreadCount) {
  const std::string data = MixedBytes(4 * kChunk + 54321);
  const std::string source = dir / "big.bin";
  ASSERT_TRUE(WriteFile(source, data));

  const std::string one = ZipWith(source, "t1.zip", 1);
  EXPECT_TRUE(ZipWith(source, "t2.zip", 2) == one);
  EXPECT_TRUE(ZipWith(source, "t8.zip", 8) == one);

  const Entry e = OnlyEntry(one);
  EXPECT_EQ(e.method, 8);
  EXPECT_TRUE(e.data == data);
  EXPECT_EQ(e.crc, Crc(data));
}

TEST_F(ZipChunkedDeflate, ChunkEdgesGiveCompleteStreams) {
  // One chunk exactly stays one stream, byte for byte what zlib makes of it in one go.
  const std::string exact = MixedBytes(kChunk);
  ASSERT_TRUE(WriteFile(dir / "exact.bin", exact));
  const Entry single = OnlyEntry(ZipWith(dir / "exact.bin", "exact.zip", 2));
  {
    std::string expected(compressBound(static_cast<uLong>(exact.size())) + 64, '\0');
    z_stream zs{};
    ASSERT_EQ(deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(exact.data()));
    zs.avail_in = static_cast<uInt>(exact.size());
    zs.next_out = reinterpret_cast<Bytef*>(expected.data());
    zs.avail_out = static_cast<uInt>(expected.size());
    ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    expected.resize(zs.total_out);
    deflateEnd(&zs);
    EXPECT_TRUE(single.deflated == expected);
  }
  EXPECT_TRUE(single.data == exact);

  // One byte over (a last chunk of one byte) and two full chunks (nothing follows the second).
  for (const std::size_t size : {kChunk + 1, 2 * kChunk}) {
    const std::string data = MixedBytes(size);
    ASSERT_TRUE(WriteFile(dir / "edge.bin", data));
    const Entry e = OnlyEntry(ZipWith(dir / "edge.bin", "edge.zip", 2));
    EXPECT_TRUE(e.data == data) << size;
    EXPECT_EQ(e.crc, Crc(data));
    platform::DeleteFile(dir / "edge.zip");
  }
}

TEST_F(ZipChunkedDeflate, FilesShrinkingWhileReadAreRecordedAsRead) {
  // Measured at several chunks, then cut (in OnStartZip, before any data is read) to a chunk
  // and a bit, and to nothing.
  const std::string later = MixedBytes(kChunk + 100);
  for (const std::string& now : {later, std::string()}) {
    const std::string file = dir / "shrink.bin";
    ASSERT_TRUE(WriteFile(file, MixedBytes(3 * kChunk + 5)));
    TZipWriter zip;
    zip.SetThreadCount(2);
    zip.OnStartZip = [&](TZipReader*, const std::u16string&, TZipHeaderInfo&, bool&) { WriteFile(file, now); };
    std::vector<int> messages;
    zip.OnHandleMessage = [&](TZipReader*, int id, const std::string&, const std::string&, unsigned, int&) {
      messages.push_back(id);
    };
    zip.FilesList.Add(Wide(file));
    zip.SetZipName(Wide(dir / "shrink.zip"));
    EXPECT_EQ(zip.Zip(), 1);
    EXPECT_EQ(messages, std::vector<int>{208});
    const Entry e = OnlyEntry(ReadFile(dir / "shrink.zip"));
    EXPECT_TRUE(e.data == now) << now.size();
    EXPECT_EQ(e.crc, Crc(now));
    if (now.empty()) {
      EXPECT_EQ(e.deflated, std::string("\x03\x00", 2));
    }
    platform::DeleteFile(dir / "shrink.zip");
  }
}

TEST_F(ZipChunkedDeflate, ZlibFailureInAWorkerIsTheSingleThreadError) {
  // Level 10 is refused by zlib when a stream is made: on the calling thread for a small file,
  // in a worker for a large one.
  ASSERT_TRUE(WriteFile(dir / "small.bin", MixedBytes(5000)));
  ASSERT_TRUE(WriteFile(dir / "large.bin", MixedBytes(3 * kChunk + 1)));
  for (const auto& [file, threads] : {std::pair{"small.bin", 1}, std::pair{"large.bin", 1}, std::pair{"large.bin", 4}}) {
    TZipWriter zip;
    zip.SetThreadCount(threads);
    zip.PackLevel = 10;
    zip.FilesList.Add(Wide(dir / file));
    zip.SetZipName(Wide(dir / "bad.zip"));
    try {
      zip.Zip();
      ADD_FAILURE() << file << " " << threads;
    } catch (const EZCompressionError& e) {
      EXPECT_EQ(e.Message(), "error");
    }
    EXPECT_FALSE(platform::FileExists(dir / "bad.zip"));
  }
}

TEST_F(ZipChunkedDeflate, MessagesAndProgressStayOnTheCallingThreadAndCancelStopsTheWorkers) {
  ASSERT_TRUE(WriteFile(dir / "large.bin", MixedBytes(6 * kChunk)));
  struct Host : TZipMessageHost {
    TZipWriter* zip = nullptr;
    int pumps = 0, cancelAt = 0;
    std::thread::id caller = std::this_thread::get_id();
    bool elsewhere = false;
    void ProcessMessages() override {
      elsewhere |= std::this_thread::get_id() != caller;
      if (++pumps == cancelAt) zip->Cancel();
    }
  } host;
  TZipWriter zip;
  host.zip = &zip;
  zip.SetMessageHost(&host);
  zip.SetThreadCount(4);
  zip.OnFilePercentDone = [&](TZipReader*, int) { host.elsewhere |= std::this_thread::get_id() != host.caller; };
  zip.FilesList.Add(Wide(dir / "large.bin"));
  zip.SetZipName(Wide(dir / "p.zip"));
  EXPECT_EQ(zip.Zip(), 1);
  EXPECT_FALSE(host.elsewhere);
  EXPECT_GT(host.pumps, 6);  // at least once per chunk written

  // Cancelled while later chunks are still being compressed.
  host.cancelAt = 3;
  host.pumps = 0;
  platform::DeleteFile(dir / "p.zip");
  zip.FilesList.Add(Wide(dir / "large.bin"));
  try {
    zip.Zip();
    ADD_FAILURE();
  } catch (const EUserCanceled& e) {
    EXPECT_EQ(e.Message(), "User Aborted Operation");
  }
  EXPECT_FALSE(platform::FileExists(dir / "p.zip"));
}

}  // namespace
