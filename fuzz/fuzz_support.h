// Helpers shared by the fuzz harnesses.
#ifndef VELMORANE_FUZZ_FUZZ_SUPPORT_H_
#define VELMORANE_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace velmorane::fuzz {

// Takes option bytes from the front of the input.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size)
      : text_(reinterpret_cast<const char*>(data), size) {}
  std::uint8_t TakeByte() {
    if (text_.empty()) return 0;
    const std::uint8_t b = static_cast<std::uint8_t>(text_[0]);
    text_.remove_prefix(1);
    return b;
  }
  std::string_view rest() const { return text_; }

 private:
  std::string_view text_;
};

// Aborts with a message: a broken invariant is a finding.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

// True when every "{" has its "}" (a backslash escapes the next byte) and the count
// never goes below zero.
inline bool BracesBalance(std::string_view text) {
  long depth = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
    } else if (text[i] == '{') {
      ++depth;
    } else if (text[i] == '}') {
      if (--depth < 0) return false;
    }
  }
  return depth == 0;
}

}  // namespace velmorane::fuzz

#endif  // VELMORANE_FUZZ_FUZZ_SUPPORT_H_
