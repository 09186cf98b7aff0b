// Control bytes and lengths of outside text in messages.
#include "html/shown_text.h"

#include "base/append.h"

namespace velmorane {

namespace {

bool StartsWithDataScheme(std::string_view text) {
  constexpr std::string_view kScheme = "data:";
  if (text.size() < kScheme.size()) return false;
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    if ((text[i] | 0x20) != kScheme[i]) return false;
  }
  return true;
}

}  // namespace

std::string ShownText(std::string_view text, std::size_t max_length) {
  std::string shown(text.substr(0, max_length));
  for (char& byte : shown) {
    const unsigned char b = static_cast<unsigned char>(byte);
    if (b < 0x20 || b == 0x7f) byte = '?';
  }
  if (text.size() > max_length) shown += "...";
  return shown;
}

std::string ShownAddress(std::string_view address) {
  if (address.size() <= kShownDataAddressLength || !StartsWithDataScheme(address)) {
    return ShownText(address);
  }
  return StringF("%s... (%zu bytes)",
                 ShownText(address.substr(0, kShownDataAddressLength), kShownDataAddressLength)
                     .c_str(),
                 address.size());
}

}  // namespace velmorane
