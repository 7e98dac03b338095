#pragma once
// The abstract byte stream the engine's streams derive from: read, write, seek and size, with
// 64-bit positions. Origins: 0 from the start, 1 from the current position, 2 from the end.
#include <cstdint>

enum TSeekOrigin : int { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
 public:
  virtual ~TStream() = default;
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  // Bytes actually transferred (0 at the end or on failure).
  virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;
  virtual std::int32_t Write(const void* buffer, std::int32_t count) = 0;
  // The new position.
  virtual std::int64_t Seek(std::int64_t offset, int origin) = 0;
  // Seeks to the end, notes the position and seeks back.
  virtual std::int64_t GetSize();
  virtual void SetSize(std::int64_t newSize) = 0;

  std::int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(std::int64_t position) { Seek(position, soBeginning); }
  // Transfer exactly count bytes or raise "Stream read error" / "Stream write error".
  void ReadBuffer(void* buffer, std::int32_t count);
  void WriteBuffer(const void* buffer, std::int32_t count);
};
