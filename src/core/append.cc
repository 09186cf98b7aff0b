// printf-style appending.
#include "core/append.h"

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
    std::memcpy(buffer_ + used_, data, size);
    used_ += size;
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

void AddUnsigned(Gather& out, unsigned long long value, bool negative) {
  char digits[24];
  char* end = digits + sizeof digits;
  char* start = end;
  do {
    *--start = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  if (negative) *--start = '-';
  out.Add(start, static_cast<std::size_t>(end - start));
}

// Formats `format` when each of its conversions is %d, %i, %u, %s, %c or %% without
// flags, width or precision, with at most an "l" or "ll" before d, i or u: the RTF
// writers call this for nearly every control word they write, and the general printf
// machinery costs several times the work. Returns false, having appended part of the
// text, at the first conversion of another kind.
bool FormatSimple(std::string& out_string, const char* format, va_list args) {
  Gather out(out_string);
  const char* p = format;
  while (*p != '\0') {
    const char* percent = std::strchr(p, '%');
    if (percent == nullptr) {
      out.Add(p, std::strlen(p));
      break;
    }
    out.Add(p, static_cast<std::size_t>(percent - p));
    p = percent + 1;
    int longs = 0;
    while (*p == 'l' && longs < 2) {
      ++longs;
      ++p;
    }
    const char conversion = *p++;
    if (conversion == '%' && longs == 0) {
      out.Add("%", 1);
    } else if (conversion == 's' && longs == 0) {
      const char* text = va_arg(args, const char*);
      if (text == nullptr) text = "(null)";
      out.Add(text, std::strlen(text));
    } else if (conversion == 'c' && longs == 0) {
      const char byte = static_cast<char>(va_arg(args, int));
      out.Add(&byte, 1);
    } else if (conversion == 'u') {
      unsigned long long value;
      if (longs == 0) {
        value = va_arg(args, unsigned);
      } else if (longs == 1) {
        value = va_arg(args, unsigned long);
      } else {
        value = va_arg(args, unsigned long long);
      }
      AddUnsigned(out, value, false);
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
      AddUnsigned(out, magnitude, value < 0);
    } else {
      out.Flush();
      return false;
    }
  }
  out.Flush();
  return true;
}

[[gnu::format(printf, 2, 0)]] void AppendV(std::string& out, const char* format, va_list args) {
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
