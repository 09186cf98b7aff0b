// Bounded reading of the tag text at a position, shared by the block, list and link
// handlers.
#ifndef VELMORANE_RTF_TAG_SCAN_H_
#define VELMORANE_RTF_TAG_SCAN_H_

#include <cstddef>
#include <string_view>

#include "base/text_match.h"

namespace velmorane {

// The position of the first ">" at or after `pos`; the last byte of the text when there
// is none, so a handler never leaves its position past the end.
inline std::size_t TagEndFrom(std::string_view text, std::size_t pos) {
  if (text.empty()) return 0;
  const std::size_t close = text.find('>', pos);
  return close == std::string_view::npos ? text.size() - 1 : close;
}

inline bool IsBlankOrLineFeed(unsigned char c) { return c == ' ' || c == '\n'; }

}  // namespace velmorane

#endif  // VELMORANE_RTF_TAG_SCAN_H_
