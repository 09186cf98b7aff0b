// The C library's character-set converters (iconv) turning page text into UTF-8.
#include "platform/iconv_decoder.h"

#include <iconv.h>

#include <cerrno>
#include <string>
#include <string_view>

namespace velmorane {

namespace {

constexpr std::string_view kUtf8Replacement = "\xEF\xBF\xBD";

}  // namespace

bool IconvToUtf8(const std::string& from, std::string& text) {
  iconv_t cd = iconv_open("UTF-8", from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string out;
  out.resize(text.size() * 2 + 16);
  char* in = text.data();
  std::size_t in_left = text.size();
  std::size_t used = 0;
  while (in_left > 0) {
    if (out.size() - used < 16) out.resize(out.size() * 2);
    char* w = out.data() + used;
    std::size_t out_left = out.size() - used;
    const std::size_t done = iconv(cd, &in, &in_left, &w, &out_left);
    used = static_cast<std::size_t>(w - out.data());
    if (done != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
    } else {
      // An invalid or cut-off sequence: one replacement character, then the next byte.
      if (out.size() - used < kUtf8Replacement.size()) out.resize(out.size() * 2);
      out.replace(used, kUtf8Replacement.size(), kUtf8Replacement);
      used += kUtf8Replacement.size();
      ++in;
      --in_left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  out.resize(used);
  text.swap(out);
  return true;
}

bool IconvDecodes(const std::string& from) {
  const iconv_t cd = iconv_open("UTF-8", from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

}  // namespace velmorane
