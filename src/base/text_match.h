// Keyword and byte tests at a text position, bounded by the text: every stage matches
// HTML and CSS keywords byte by byte with these.
#ifndef VELMORANE_BASE_TEXT_MATCH_H_
#define VELMORANE_BASE_TEXT_MATCH_H_

#include <cstddef>
#include <string_view>

namespace velmorane {

inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// True when `keyword` (written in lower case) stands at `pos`, letters in any case and
// other characters exactly. False when the text ends first.
inline bool AtNoCase(std::string_view text, std::size_t pos, std::string_view keyword) {
  if (pos > text.size() || keyword.size() > text.size() - pos) return false;
  for (std::size_t i = 0; i < keyword.size(); ++i) {
    if (AsciiLower(text[pos + i]) != keyword[i]) return false;
  }
  return true;
}

// True when `keyword` stands at `pos` exactly as written.
inline bool AtExact(std::string_view text, std::size_t pos, std::string_view keyword) {
  return pos <= text.size() && text.substr(pos, keyword.size()) == keyword;
}

// True when `c` is one of the few bytes of `set`. A plain loop: a library search call
// costs more than the whole test for the two or three bytes a tag test allows.
inline bool IsAnyOf(std::string_view set, char c) {
  for (const char b : set) {
    if (b == c) return true;
  }
  return false;
}

// True when `c` is a byte of `bytes` other than 0: the test for the byte ByteAt gives,
// where 0 stands for the end of the text.
inline bool IsOneOf(unsigned char c, std::string_view bytes) {
  return c != 0 && IsAnyOf(bytes, static_cast<char>(c));
}

// The byte at `pos`, or 0 past the end.
inline unsigned char ByteAt(std::string_view text, std::size_t pos) {
  return pos < text.size() ? static_cast<unsigned char>(text[pos]) : 0;
}

// True when `keyword` (lower case) stands at `pos` in any case and the byte after it is
// one of `followers`; the end of the text follows nothing.
inline bool LooksAtTag(std::string_view text, std::size_t pos, std::string_view keyword,
                       std::string_view followers) {
  return AtNoCase(text, pos, keyword) && IsOneOf(ByteAt(text, pos + keyword.size()), followers);
}

// Names compared without regard to case.
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace velmorane

#endif  // VELMORANE_BASE_TEXT_MATCH_H_
