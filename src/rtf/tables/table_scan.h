// Byte tests shared by the table analysis and the table handlers. Every read is checked
// against the end of the text.
#ifndef VELMORANE_RTF_TABLES_TABLE_SCAN_H_
#define VELMORANE_RTF_TABLES_TABLE_SCAN_H_

#include <cstddef>
#include <string_view>

#include "base/text_match.h"

namespace velmorane::table_scan {

// The byte at `i`, or 0 past the end.
using velmorane::ByteAt;

inline unsigned char Lower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

// `keyword` (lower case) at `i`, letters in any case, other bytes exactly.
inline bool At(std::string_view text, std::size_t i, std::string_view keyword) {
  return AtNoCase(text, i, keyword);
}

inline constexpr std::string_view kBlankLfOrClose = " \n>";
inline constexpr std::string_view kBlankOrClose = " >";
inline constexpr std::string_view kBlankOrLf = " \n";

// "<table" that opens a table (followed by a blank, a line feed or ">").
inline bool AtTableStart(std::string_view text, std::size_t i) {
  return LooksAtTag(text, i, "<table", kBlankLfOrClose);
}
inline bool AtTableEnd(std::string_view text, std::size_t i) { return At(text, i, "</table>"); }

// "<td" or "<th" followed by one of `next`.
inline bool AtCellStart(std::string_view text, std::size_t i, std::string_view next) {
  return LooksAtTag(text, i, "<td", next) || LooksAtTag(text, i, "<th", next);
}

// Position of the next ">" at or after `i`, or npos.
inline std::size_t NextClose(std::string_view text, std::size_t i) {
  return i < text.size() ? text.find('>', i) : std::string_view::npos;
}

inline bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// Reads decimal digits at `i` (advanced past them); values are capped so that they never
// overflow.
inline int ReadDigits(std::string_view text, std::size_t& i) {
  long long value = 0;
  while (i < text.size() && IsDigit(ByteAt(text, i))) {
    if (value < 100000000) value = value * 10 + (text[i] - '0');
    ++i;
  }
  return static_cast<int>(value);
}

}  // namespace velmorane::table_scan

#endif  // VELMORANE_RTF_TABLES_TABLE_SCAN_H_
