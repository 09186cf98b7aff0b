// Text from a page or a folder (picture addresses, file names) as messages show it: on a
// terminal, in the run log and in the trace log it must never act as a control sequence,
// end a line or bury the message under megabytes.
#ifndef VELMORANE_HTML_SHOWN_TEXT_H_
#define VELMORANE_HTML_SHOWN_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace velmorane {

// A message line is cut after this many bytes of such text.
inline constexpr std::size_t kMaxShownLength = 1024;
// A data: address is shown by its first bytes (scheme, media type, start of the data).
inline constexpr std::size_t kShownDataAddressLength = 40;

// `text` with every control byte (below 0x20, and 0x7f) shown as "?", cut after
// `max_length` bytes with "..." added.
std::string ShownText(std::string_view text, std::size_t max_length = kMaxShownLength);

// A picture address as messages show it: a data: address as its first
// kShownDataAddressLength bytes and its length ("data:image/png;base64,iVBO... (5242880
// bytes)"), any other as ShownText gives it.
std::string ShownAddress(std::string_view address);

}  // namespace velmorane

#endif  // VELMORANE_HTML_SHOWN_TEXT_H_
