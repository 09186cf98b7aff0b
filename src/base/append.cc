// printf-style appending.
#include "base/append.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace velmorane {

namespace {

// A small buffer in front of the output string: the pieces of one formatted fragment
// are gathered here and appended in one step.
class Gather {
 public:
  explicit Gather(std::string& out) : out_(out) {}
  void Add(const char* data, std::size_t size) {
    if (size > sizeof buffer_ - used_) {
      Flush();
      if (size > sizeof buffer_) {
        out_.append(data, size);
        return;
      }
    }
    char* to = buffer_ + used_;
    used_ += size;
    // Most pieces are a few bytes: two overlapping fixed-size copies instead of a call.
    if (size >= 8 && size <= 16) {
      std::memcpy(to, data, 8);
      std::memcpy(to + size - 8, data + size - 8, 8);
    } else if (size >= 4 && size < 8) {
      std::memcpy(to, data, 4);
      std::memcpy(to + size - 4, data + size - 4, 4);
    } else if (size < 4) {
      for (std::size_t i = 0; i < size; ++i) to[i] = data[i];
    } else {
      std::memcpy(to, data, size);
    }
  }
  // Writes the decimal digits of `value` into the buffer.
  void AddDecimal(unsigned value) {
    if (sizeof buffer_ - used_ < 10) Flush();
    used_ = static_cast<std::size_t>(WriteDecimal(buffer_ + used_, value) - buffer_);
  }
  void Flush() {
    out_.append(buffer_, used_);
    used_ = 0;
  }

 private:
  std::string& out_;
  char buffer_[256];
  std::size_t used_ = 0;
};

// The digits of `value` in `base` (10 or 16, in the case of `upper`), after the sign,
// padded to `width` with zeros or, without `zeros`, blanks before the sign.
void AddPaddedNumber(Gather& out, unsigned long long value, bool negative, unsigned base,
                     bool upper, std::size_t width, bool zeros) {
  char digits[128];  // twenty digits at most, plus the padding
  char* const end = digits + sizeof digits;
  char* start = end;
  const char* const kDigits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  do {
    *--start = kDigits[value % base];
    value /= base;
  } while (value != 0);
  const std::size_t length = static_cast<std::size_t>(end - start) + (negative ? 1 : 0);
  const std::size_t padding = width > length ? width - length : 0;  // width is below 100
  if (zeros) {
    for (std::size_t i = 0; i < padding; ++i) *--start = '0';
    if (negative) *--start = '-';
  } else {
    if (negative) *--start = '-';
    for (std::size_t i = 0; i < padding; ++i) *--start = ' ';
  }
  out.Add(start, static_cast<std::size_t>(end - start));
}

// Inlined into the formatter: a call per number would cost about as much as its digits.
[[gnu::always_inline]] inline void AddNumber(Gather& out, unsigned long long value,
                                             bool negative, unsigned base, bool upper,
                                             std::size_t width, bool zeros) {
  if (base == 10 && width == 0 && value <= 0xFFFFFFFFu) {
    // The common case, a control word's number.
    if (negative) out.Add("-", 1);
    out.AddDecimal(static_cast<unsigned>(value));
    return;
  }
  AddPaddedNumber(out, value, negative, base, upper, width, zeros);
}

// Formats `format` when each of its conversions is %d, %i, %u, %x, %X, %s, %c or %%, the
// numbers with at most a "0" flag, a width below 100 and an "l" or "ll", the others with
// neither flag nor width: the RTF writers call this for nearly every control word they
// write, and the general printf machinery costs several times the work. Returns false,
// having appended part of the text, at the first conversion of another kind.
bool FormatSimple(std::string& out_string, const char* format, va_list args) {
  Gather out(out_string);
  const char* p = format;
  while (*p != '\0') {
    const char* percent = strchrnul(p, '%');
    out.Add(p, static_cast<std::size_t>(percent - p));
    if (*percent == '\0') break;
    p = percent + 1;
    const bool zeros = *p == '0';
    if (zeros) ++p;
    std::size_t width = 0;
    for (int n = 0; n < 2 && *p >= '0' && *p <= '9'; ++n) width = width * 10 + (*p++ - '0');
    int longs = 0;
    while (*p == 'l' && longs < 2) {
      ++longs;
      ++p;
    }
    const char conversion = *p++;
    const bool plain = !zeros && width == 0 && longs == 0;
    if (conversion == '%' && plain) {
      out.Add("%", 1);
    } else if (conversion == 's' && plain) {
      const char* text = va_arg(args, const char*);
      if (text == nullptr) text = "(null)";
      out.Add(text, std::strlen(text));
    } else if (conversion == 'c' && plain) {
      const char byte = static_cast<char>(va_arg(args, int));
      out.Add(&byte, 1);
    } else if (conversion == 'u' || conversion == 'x' || conversion == 'X') {
      unsigned long long value;
      if (longs == 0) {
        value = va_arg(args, unsigned);
      } else if (longs == 1) {
        value = va_arg(args, unsigned long);
      } else {
        value = va_arg(args, unsigned long long);
      }
      AddNumber(out, value, false, conversion == 'u' ? 10 : 16, conversion == 'X', width, zeros);
    } else if (conversion == 'd' || conversion == 'i') {
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
      AddNumber(out, magnitude, value < 0, 10, false, width, zeros);
    } else {
      out.Flush();
      return false;
    }
  }
  out.Flush();
  return true;
}

}  // namespace

void AppendV(std::string& out, const char* format, va_list args) {
  const std::size_t start = out.size();
  va_list simple;
  va_copy(simple, args);
  const bool done = FormatSimple(out, format, simple);
  va_end(simple);
  if (done) return;
  out.resize(start);
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
  out.resize(start + static_cast<std::size_t>(needed) + 1);
  std::vsnprintf(out.data() + start, static_cast<std::size_t>(needed) + 1, format, args);
  out.resize(start + static_cast<std::size_t>(needed));
}

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
