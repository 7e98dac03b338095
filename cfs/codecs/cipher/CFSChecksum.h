#pragma once
// Page and block checksums.
//   type 0: XOR of the little-endian 32-bit words; a trailing 1 to 3 bytes take no part.
//   type 1: CRC-16/ARC (reflected polynomial 0xA001, initial 0, no final XOR), zero-extended.
//   any other type computes 0 and always verifies.
#include <cstddef>
#include <cstdint>

constexpr int kChecksumXor32 = 0;
constexpr int kChecksumCrc16 = 1;

std::uint32_t Checksum(const void* data, std::size_t length, int type);
bool VerifyChecksum(const void* data, std::size_t length, int type, std::uint32_t value);
