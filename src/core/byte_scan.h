// Byte scans over whole pages, sixteen bytes a step where the processor has SSE2.
#ifndef VELMORANE_CORE_BYTE_SCAN_H_
#define VELMORANE_CORE_BYTE_SCAN_H_

#include <cstddef>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velmorane {

// The number of bytes above 127.
inline std::size_t CountHighBytes(std::string_view text) {
  std::size_t count = 0;
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; i + 16 <= text.size(); i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
    count += static_cast<std::size_t>(
        __builtin_popcount(static_cast<unsigned>(_mm_movemask_epi8(bytes))));
  }
#endif
  for (; i < text.size(); ++i) count += static_cast<unsigned char>(text[i]) >> 7;
  return count;
}

// The end of the run of bytes below 128 that starts at `i`.
inline std::size_t AsciiRunEnd(std::string_view text, std::size_t i) {
#if defined(__SSE2__)
  for (; i + 16 <= text.size(); i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
    const auto high = static_cast<unsigned>(_mm_movemask_epi8(bytes));
    if (high != 0) return i + static_cast<std::size_t>(__builtin_ctz(high));
  }
#endif
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  return i;
}

}  // namespace velmorane

#endif  // VELMORANE_CORE_BYTE_SCAN_H_
