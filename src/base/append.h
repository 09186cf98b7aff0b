// printf-style appending to a byte string: every RTF fragment is written whole, as one
// format literal.
#ifndef VELMORANE_BASE_APPEND_H_
#define VELMORANE_BASE_APPEND_H_

#include <cstdarg>
#include <cstddef>
#include <cstring>
#include <string>

namespace velmorane {

// Writes the decimal digits of `value` at `w` (at most ten bytes) and returns their end;
// two digits a step, as this runs for every character of non-Latin text.
inline char* WriteDecimal(char* w, unsigned value) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  int count = 1;
  for (unsigned limit = 10; count < 10 && value >= limit; limit *= 10) ++count;
  char* const end = w + count;
  char* p = end;
  while (value >= 100) {
    const unsigned pair = 2 * (value % 100);
    value /= 100;
    *--p = kPairs[pair + 1];
    *--p = kPairs[pair];
  }
  if (value >= 10) {
    *--p = kPairs[2 * value + 1];
    *--p = kPairs[2 * value];
  } else {
    *--p = static_cast<char>('0' + value);
  }
  return end;
}

// Collects small pieces in a local block and appends the block to a string at once: one
// string append per character would cost more than the character's own work. Flush()
// must be called before the string is read or written otherwise.
class BlockAppender {
 public:
  // The most one Room() call may ask for.
  static constexpr std::size_t kMaxPiece = 64;

  explicit BlockAppender(std::string& out) : out_(out) {}
  BlockAppender(const BlockAppender&) = delete;
  BlockAppender& operator=(const BlockAppender&) = delete;

  // A place for up to kMaxPiece bytes; Advance() tells where the written bytes end.
  char* Room() {
    if (kSize - used_ < kMaxPiece) Flush();
    return block_ + used_;
  }
  void Advance(const char* end) { used_ = static_cast<std::size_t>(end - block_); }

  void Put(char byte) {
    *Room() = byte;
    ++used_;
  }
  void Append(const char* data, std::size_t size) {
    if (size > kSize - used_) {
      Flush();
      if (size > kSize / 2) {
        out_.append(data, size);
        return;
      }
    }
    std::memcpy(block_ + used_, data, size);
    used_ += size;
  }
  // The last byte written, in the block or before it in the string ('\0' for none).
  char Last() const {
    if (used_ > 0) return block_[used_ - 1];
    return out_.empty() ? '\0' : out_.back();
  }
  void Flush() {
    out_.append(block_, used_);
    used_ = 0;
  }

 private:
  static constexpr std::size_t kSize = 8192;
  std::string& out_;
  std::size_t used_ = 0;
  char block_[kSize];
};

[[gnu::format(printf, 2, 3)]] void AppendF(std::string& out, const char* format, ...);
[[gnu::format(printf, 2, 0)]] void AppendV(std::string& out, const char* format, va_list args);

[[gnu::format(printf, 1, 2)]] std::string StringF(const char* format, ...);

}  // namespace velmorane

#endif  // VELMORANE_BASE_APPEND_H_
