// printf-style appending to a byte string: every RTF fragment is written whole, as one
// format literal.
#ifndef VELMORANE_CORE_APPEND_H_
#define VELMORANE_CORE_APPEND_H_

#include <string>

namespace velmorane {

[[gnu::format(printf, 2, 3)]] void AppendF(std::string& out, const char* format, ...);

[[gnu::format(printf, 1, 2)]] std::string StringF(const char* format, ...);

}  // namespace velmorane

#endif  // VELMORANE_CORE_APPEND_H_
