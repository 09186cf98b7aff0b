// Byte scans over whole pages, sixteen bytes a step where the processor has SSE2.
#ifndef VELMORANE_BASE_BYTE_SCAN_H_
#define VELMORANE_BASE_BYTE_SCAN_H_

#include <algorithm>
#include <cstddef>
#include <cstring>
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

// Where `needle` first occurs in `text` at or after `from`, as text.find(needle, from)
// gives, but sixteen places a step for a needle of two bytes or more: the places are
// tested on the needle's first two bytes at once, the rest only where both match. RTF
// holds a backslash every few bytes, so a search for a control word by its backslash
// alone would stop at nearly every step.
inline std::size_t FindText(std::string_view text, std::string_view needle,
                            std::size_t from = 0) {
  const std::size_t n = needle.size();
  if (n < 2 || from > text.size() || text.size() - from < n) return text.find(needle, from);
  const std::size_t last = text.size() - n;  // the last place the needle fits
  std::size_t i = from;
#if defined(__SSE2__)
  const __m128i first = _mm_set1_epi8(needle[0]);
  const __m128i second = _mm_set1_epi8(needle[1]);
  const auto places_at = [&](const char* at) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
    return _mm_and_si128(_mm_cmpeq_epi8(here, first), _mm_cmpeq_epi8(next, second));
  };
  // Places i..i+31 all fit the needle; the loads read up to byte i+32 <= last + 1. Two
  // steps are tested at once, since candidates are rare.
  for (; i + 32 <= last; i += 32) {
    const char* at = text.data() + i;
    const __m128i low = places_at(at);
    const __m128i high = places_at(at + 16);
    if (_mm_movemask_epi8(_mm_or_si128(low, high)) == 0) continue;
    auto places = static_cast<unsigned>(_mm_movemask_epi8(low)) |
                  static_cast<unsigned>(_mm_movemask_epi8(high)) << 16;
    while (places != 0) {
      const std::size_t place = i + static_cast<std::size_t>(__builtin_ctz(places));
      if (std::memcmp(text.data() + place + 2, needle.data() + 2, n - 2) == 0) return place;
      places &= places - 1;
    }
  }
  // Places i..i+15 all fit the needle; the loads read up to byte i+16 <= last + 1.
  for (; i + 16 <= last; i += 16) {
    auto places = static_cast<unsigned>(_mm_movemask_epi8(places_at(text.data() + i)));
    while (places != 0) {
      const std::size_t place = i + static_cast<std::size_t>(__builtin_ctz(places));
      if (std::memcmp(text.data() + place + 2, needle.data() + 2, n - 2) == 0) return place;
      places &= places - 1;
    }
  }
#endif
  for (; i <= last; ++i) {
    if (text[i] == needle[0] && text.compare(i, n, needle) == 0) return i;
  }
  return std::string_view::npos;
}

}  // namespace velmorane

#endif  // VELMORANE_BASE_BYTE_SCAN_H_
