// CRC-32 by table and Adler-32 with deferred reduction.
#include "codecs/png/checksums.h"

#include <array>

namespace velmorane {
namespace {

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

// Largest run of bytes whose sums cannot overflow 32 bits before the modulo.
constexpr std::size_t kAdlerRun = 5552;
constexpr std::uint32_t kAdlerBase = 65521;

}  // namespace

std::uint32_t UpdateCrc32(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
  crc = ~crc;
  for (std::uint8_t byte : bytes) crc = kCrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::uint32_t UpdateAdler32(std::uint32_t adler, std::span<const std::uint8_t> bytes) {
  std::uint32_t a = adler & 0xFFFF;
  std::uint32_t b = adler >> 16;
  while (!bytes.empty()) {
    const std::size_t run = bytes.size() < kAdlerRun ? bytes.size() : kAdlerRun;
    for (std::size_t i = 0; i < run; ++i) {
      a += bytes[i];
      b += a;
    }
    a %= kAdlerBase;
    b %= kAdlerBase;
    bytes = bytes.subspan(run);
  }
  return b << 16 | a;
}

}  // namespace velmorane
