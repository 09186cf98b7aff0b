// The chunk CRC-32 and the zlib Adler-32 checksums.
#ifndef VELMORANE_CODECS_PNG_CHECKSUMS_H_
#define VELMORANE_CODECS_PNG_CHECKSUMS_H_

#include <cstdint>
#include <span>

namespace velmorane {

// Continues a CRC-32 (reflected polynomial 0xEDB88320); start with 0.
std::uint32_t UpdateCrc32(std::uint32_t crc, std::span<const std::uint8_t> bytes);
// Continues an Adler-32; start with 1.
std::uint32_t UpdateAdler32(std::uint32_t adler, std::span<const std::uint8_t> bytes);

}  // namespace velmorane

#endif  // VELMORANE_CODECS_PNG_CHECKSUMS_H_
