// Decompression of zlib streams (deflate data with the zlib header and Adler-32).
#ifndef VELMORANE_CODECS_PNG_INFLATE_H_
#define VELMORANE_CODECS_PNG_INFLATE_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace velmorane {

// Hands the compressed stream to the inflater in pieces.
class InflateSource {
 public:
  virtual ~InflateSource() = default;
  // The next piece, never empty; throws EPngError when the stream has no more input.
  virtual std::span<const std::uint8_t> Next() = 0;
};

// Inflates one zlib stream from `source` into `out` (replacing its content). Output
// beyond `max_output` bytes is refused. Throws EPngError with the failing check's text;
// stops reading input right after the Adler-32 checksum.
void InflateZlib(InflateSource& source, std::size_t max_output, std::vector<std::uint8_t>& out);

// The same over bytes held in memory.
std::vector<std::uint8_t> InflateZlib(std::span<const std::uint8_t> stream, std::size_t max_output);

}  // namespace velmorane

#endif  // VELMORANE_CODECS_PNG_INFLATE_H_
