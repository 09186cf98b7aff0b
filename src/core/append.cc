// printf-style appending.
#include "core/append.h"

#include <cstdarg>
#include <cstdio>

namespace velmorane {

namespace {

void AppendV(std::string& out, const char* format, va_list args) {
  char small[256];
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (needed < 0) return;
  if (static_cast<std::size_t>(needed) < sizeof small) {
    out.append(small, static_cast<std::size_t>(needed));
    return;
  }
  const std::size_t start = out.size();
  out.resize(start + static_cast<std::size_t>(needed) + 1);
  std::vsnprintf(out.data() + start, static_cast<std::size_t>(needed) + 1, format, args);
  out.resize(start + static_cast<std::size_t>(needed));
}

}  // namespace

void AppendF(std::string& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  AppendV(out, format, args);
  va_end(args);
}

void AppendDecimal(std::string& out, long long value) {
  char digits[24];
  std::size_t n = sizeof digits;
  // Negate through unsigned arithmetic so the smallest value has no overflow.
  unsigned long long magnitude =
      value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                : static_cast<unsigned long long>(value);
  do {
    digits[--n] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[--n] = '-';
  out.append(digits + n, sizeof digits - n);
}

std::string StringF(const char* format, ...) {
  std::string out;
  va_list args;
  va_start(args, format);
  AppendV(out, format, args);
  va_end(args);
  return out;
}

}  // namespace velmorane
