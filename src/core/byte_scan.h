// Byte scans over whole pages, sixteen bytes a step where the processor has SSE2.
#ifndef VELMORANE_CORE_BYTE_SCAN_H_
#define VELMORANE_CORE_BYTE_SCAN_H_

#include <algorithm>
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
  // Each lane counts its high bytes (a signed byte below zero) up to 255 steps; the lane
  // sums are then added up.
  const __m128i zero = _mm_setzero_si128();
  while (i + 16 <= text.size()) {
    const std::size_t steps = std::min<std::size_t>(255, (text.size() - i) / 16);
    __m128i lanes = zero;
    for (std::size_t step = 0; step < steps; ++step, i += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
      lanes = _mm_sub_epi8(lanes, _mm_cmplt_epi8(bytes, zero));
    }
    const __m128i sums = _mm_sad_epu8(lanes, zero);
    count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
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
