// The named character references the writers know: one table for the tag pass and the
// plain-text conversion.
#ifndef VELMORANE_HTML_ENTITIES_H_
#define VELMORANE_HTML_ENTITIES_H_

#include <string_view>

namespace velmorane {

// The code of the named reference `name` (without "&" and ";", compared
// case-sensitively): a Windows-1252 byte (1..255) or a Unicode code point above 255;
// 0 for a name not in the table.
int NamedEntityCode(std::string_view name);

}  // namespace velmorane

#endif  // VELMORANE_HTML_ENTITIES_H_
