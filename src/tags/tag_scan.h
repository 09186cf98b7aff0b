// Bounded reading of the tag text at a position, shared by the block, list and link
// handlers.
#ifndef VELMORANE_TAGS_TAG_SCAN_H_
#define VELMORANE_TAGS_TAG_SCAN_H_

#include <cstddef>
#include <string_view>

namespace velmorane {

// True when `text` at `pos` starts with `keyword` (written in lower case): letters match
// in either case, other bytes exactly. False when the keyword runs past the end.
inline bool MatchesNoCase(std::string_view text, std::size_t pos, std::string_view keyword) {
  if (pos > text.size() || keyword.size() > text.size() - pos) return false;
  for (std::size_t i = 0; i < keyword.size(); ++i) {
    char c = text[pos + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != keyword[i]) return false;
  }
  return true;
}

// The byte at `pos`, or 0 past the end.
inline unsigned char ByteAt(std::string_view text, std::size_t pos) {
  return pos < text.size() ? static_cast<unsigned char>(text[pos]) : 0;
}

// The position of the first ">" at or after `pos`; the last byte of the text when there
// is none, so a handler never leaves its position past the end.
inline std::size_t TagEndFrom(std::string_view text, std::size_t pos) {
  if (text.empty()) return 0;
  const std::size_t close = text.find('>', pos);
  return close == std::string_view::npos ? text.size() - 1 : close;
}

inline bool IsBlankOrLineFeed(unsigned char c) { return c == ' ' || c == '\n'; }

}  // namespace velmorane

#endif  // VELMORANE_TAGS_TAG_SCAN_H_
