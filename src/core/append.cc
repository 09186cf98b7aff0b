// printf-style appending.
#include "core/append.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace velmorane {

namespace {

// True when every conversion of `format` is one FormatSimple writes: %d, %i, %u, %s, %c
// and %% without flags, width or precision, with at most an "l" or "ll" before d, i or u.
bool IsSimpleFormat(const char* format) {
  for (const char* p = std::strchr(format, '%'); p != nullptr; p = std::strchr(p, '%')) {
    ++p;
    if (*p == '%' || *p == 's' || *p == 'c') {
      ++p;
      continue;
    }
    if (*p == 'l') ++p;
    if (*p == 'l') ++p;
    if (*p != 'd' && *p != 'i' && *p != 'u') return false;
    ++p;
  }
  return true;
}

void AppendUnsigned(std::string& out, unsigned long long value, bool negative) {
  char digits[24];
  char* end = digits + sizeof digits;
  char* start = end;
  do {
    *--start = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  if (negative) *--start = '-';
  out.append(start, static_cast<std::size_t>(end - start));
}

// Formats a simple format (see IsSimpleFormat) without the general printf machinery: the
// RTF writers call this for nearly every control word they write.
void FormatSimple(std::string& out, const char* format, va_list args) {
  const char* p = format;
  while (*p != '\0') {
    const char* percent = std::strchr(p, '%');
    if (percent == nullptr) {
      out.append(p);
      return;
    }
    out.append(p, static_cast<std::size_t>(percent - p));
    p = percent + 1;
    int longs = 0;
    while (*p == 'l') {
      ++longs;
      ++p;
    }
    const char conversion = *p++;
    if (conversion == '%') {
      out += '%';
    } else if (conversion == 's') {
      const char* text = va_arg(args, const char*);
      out.append(text != nullptr ? text : "(null)");
    } else if (conversion == 'c') {
      out += static_cast<char>(va_arg(args, int));
    } else if (conversion == 'u') {
      unsigned long long value;
      if (longs == 0) {
        value = va_arg(args, unsigned);
      } else if (longs == 1) {
        value = va_arg(args, unsigned long);
      } else {
        value = va_arg(args, unsigned long long);
      }
      AppendUnsigned(out, value, false);
    } else {  // d or i
      long long value;
      if (longs == 0) {
        value = va_arg(args, int);
      } else if (longs == 1) {
        value = va_arg(args, long);
      } else {
        value = va_arg(args, long long);
      }
      // The magnitude in unsigned arithmetic, so the most negative value is no overflow.
      const unsigned long long magnitude =
          value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                    : static_cast<unsigned long long>(value);
      AppendUnsigned(out, magnitude, value < 0);
    }
  }
}

[[gnu::format(printf, 2, 0)]] void AppendV(std::string& out, const char* format, va_list args) {
  if (IsSimpleFormat(format)) {
    FormatSimple(out, format, args);
    return;
  }
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

std::string StringF(const char* format, ...) {
  std::string out;
  va_list args;
  va_start(args, format);
  AppendV(out, format, args);
  va_end(args);
  return out;
}

}  // namespace velmorane
