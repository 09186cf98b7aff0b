// Helpers shared by the fuzz harnesses.
#ifndef VELMORANE_FUZZ_FUZZ_SUPPORT_H_
#define VELMORANE_FUZZ_FUZZ_SUPPORT_H_

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

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

// A new folder under the temporary directory, named from `prefix`, removed with its
// content when the process exits normally. Ends with "/".
inline std::string TempFolder(const char* prefix) {
  static std::vector<std::string> made;
  std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return "/tmp/";
  if (made.empty()) {
    std::atexit([] {
      std::error_code ignored;
      for (const std::string& folder : made) std::filesystem::remove_all(folder, ignored);
    });
  }
  made.push_back(pattern);
  return pattern + "/";
}

// Aborts with a message: a broken invariant is a finding. Writes to the descriptor, not
// the stdio stream, which a harness may have silenced.
[[noreturn]] inline void Fail(const char* what) {
  const char prefix[] = "invariant broken: ";
  (void)!::write(2, prefix, sizeof prefix - 1);
  (void)!::write(2, what, std::strlen(what));
  (void)!::write(2, "\n", 1);
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

// The control words of an RTF text ("\\" and other escaped symbols are not words).
inline std::vector<std::string_view> ControlWords(std::string_view text) {
  std::vector<std::string_view> words;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') continue;
    std::size_t end = i + 1;
    while (end < text.size() && ((text[end] >= 'a' && text[end] <= 'z') ||
                                 (text[end] >= 'A' && text[end] <= 'Z'))) {
      ++end;
    }
    if (end > i + 1) words.push_back(text.substr(i + 1, end - i - 1));
    i = end > i + 1 ? end - 1 : i + 1;  // an escaped symbol is passed over whole
  }
  return words;
}

}  // namespace velmorane::fuzz

#endif  // VELMORANE_FUZZ_FUZZ_SUPPORT_H_
