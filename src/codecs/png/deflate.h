// A small deflate compressor for the PNG writer: one block of fixed Huffman codes over
// greedy LZ77 matches, wrapped in a zlib stream.
#ifndef VELMORANE_CODECS_PNG_DEFLATE_H_
#define VELMORANE_CODECS_PNG_DEFLATE_H_

#include <cstdint>
#include <span>
#include <vector>

namespace velmorane {

// The zlib stream (two-byte header, one final deflate block, Adler-32) of `data`.
std::vector<std::uint8_t> ZlibCompress(std::span<const std::uint8_t> data);

}  // namespace velmorane

#endif  // VELMORANE_CODECS_PNG_DEFLATE_H_
