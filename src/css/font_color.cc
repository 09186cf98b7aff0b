// The font and colour tables and the colour and value readers.
#include <algorithm>
#include <array>
#include <cctype>

#include "base/append.h"
#include "base/text_match.h"
#include "css/font_color.h"

namespace velmorane {

namespace {

struct NamedColor {
  std::string_view name;
  std::string_view value;
};

// The recognised colour names; "transparent" reads as white.
constexpr NamedColor kNamedColors[] = {
    {"aliceblue", "F0F8FF"}, {"antiquewhite", "FAEBD7"}, {"aqua", "00FFFF"},
    {"aquamarine", "7FFFD4"}, {"azure", "F0FFFF"}, {"transparent", "FFFFFF"},
    {"beige", "F5F5DC"}, {"bisque", "FFE4C4"}, {"black", "000000"},
    {"blanchedalmond", "FFEBCD"}, {"blue", "0000FF"}, {"blueviolet", "8A2BE2"},
    {"brown", "A52A2A"}, {"burlywood", "DEB887"}, {"cadetblue", "5F9EA0"},
    {"chocolate", "D2691E"}, {"coral", "FF7F50"}, {"cornflowerblue", "6495ED"},
    {"cornsilk", "FFF8DC"}, {"crimson", "DC143C"}, {"cyan", "00FFFF"}, {"darkblue", "00008B"},
    {"darkcyan", "008B8B"}, {"darkgoldenrod", "B8860B"}, {"darkgray", "A9A9A9"},
    {"darkgreen", "006400"}, {"darkkhaki", "BDB76B"}, {"darkmagenta", "8B008B"},
    {"darkolivegreen", "556B2F"}, {"darkorange", "FF8C00"}, {"darkorchid", "9932CC"},
    {"darkred", "8B0000"}, {"darksalmon", "E9967A"}, {"darkseagreen", "8FBC8F"},
    {"darkslateblue", "483D8B"}, {"darkslategray", "2F4F4F"}, {"darkturquoise", "00CED1"},
    {"darkviolet", "9400D3"}, {"deeppink", "FF1493"}, {"deepskyblue", "00BFFF"},
    {"dimgray", "696969"}, {"dodgerblue", "1E90FF"}, {"firebrick", "B22222"},
    {"floralwhite", "FFFAF0"}, {"forestgreen", "228B22"}, {"fuchsia", "FF00FF"},
    {"gainsboro", "DCDCDC"}, {"ghostwhite", "F8F8FF"}, {"gold", "FFD700"},
    {"goldenrod", "DAA520"}, {"gray", "808080"}, {"green", "008000"},
    {"greenyellow", "ADFF2F"}, {"honeydew", "F0FFF0"}, {"hotpink", "FF69B4"},
    {"indianred", "CD5C5C"}, {"indigo", "4B0082"}, {"ivory", "FFFFF0"}, {"khaki", "F0E68C"},
    {"lavender", "E6E6FA"}, {"lavenderblush", "FFF0F5"}, {"lemonchiffon", "FFFACD"},
    {"lightblue", "ADD8E6"}, {"lightcoral", "F08080"}, {"lightcyan", "E0FFFF"},
    {"lightgoldenrodyellow", "FAFAD2"}, {"lightgreen", "90EE90"}, {"lightpink", "FFB6C1"},
    {"lightsalmon", "FFA07A"}, {"lightseagreen", "20B2AA"}, {"lightskyblue", "87CEFA"},
    {"lightslategray", "778899"}, {"lightsteelblue", "B0C4DE"}, {"lightyellow", "FFFFE0"},
    {"lime", "00FF00"}, {"limegreen", "32CD32"}, {"linen", "FAF0E6"}, {"magenta", "FF00FF"},
    {"maroon", "800000"}, {"mediumaquamarine", "66CDAA"}, {"mediumblue", "0000CD"},
    {"mediumorchid", "BA55D3"}, {"mediumpurple", "9370DB"}, {"mediumseagreen", "3CB371"},
    {"mediumslateblue", "7B68EE"}, {"mediumspringgreen", "00FA9A"},
    {"mediumturquoise", "48D1CC"}, {"mediumvioletred", "C71585"}, {"midnightblue", "191970"},
    {"mintcream", "F5FFFA"}, {"mistyrose", "FFE4E1"}, {"moccasin", "FFE4B5"},
    {"navajowhite", "FFDEAD"}, {"navy", "000080"}, {"oldlace", "FDF5E6"}, {"olive", "808000"},
    {"olivedrab", "6B8E23"}, {"orange", "FFA500"}, {"orangered", "FF4500"},
    {"orchid", "DA70D6"}, {"palegoldenrod", "EEE8AA"}, {"palegreen", "98FB98"},
    {"paleturquoise", "AFEEEE"}, {"palevioletred", "DB7093"}, {"papayawhip", "FFEFD5"},
    {"peachpuff", "FFDAB9"}, {"peru", "CD853F"}, {"pink", "FFC0CB"}, {"plum", "DDA0DD"},
    {"powderblue", "B0E0E6"}, {"purple", "800080"}, {"red", "FF0000"}, {"rosybrown", "BC8F8F"},
    {"royalblue", "4169E1"}, {"salmon", "FA8072"}, {"sandybrown", "F4A460"},
    {"seagreen", "2E8B57"}, {"seashell", "FFF5EE"}, {"sienna", "A0522D"}, {"silver", "C0C0C0"},
    {"skyblue", "87CEEB"}, {"slateblue", "6A5ACD"}, {"slategray", "708090"},
    {"snow", "FFFAFA"}, {"springgreen", "00FF7F"}, {"steelblue", "4682B4"}, {"tan", "D2B48C"},
    {"teal", "008080"}, {"thistle", "D8BFD8"}, {"tomato", "FF6347"}, {"turquoise", "40E0D0"},
    {"violet", "EE82EE"}, {"wheat", "F5DEB3"}, {"white", "FFFFFF"}, {"whitesmoke", "F5F5F5"},
    {"yellow", "FFFF00"}, {"yellowgreen", "9ACD32"},
};
static_assert(std::size(kNamedColors) == 137);

// The names in byte order, for a binary search; every name occurs once, so the entry
// found is the one a scan of the list finds.
constexpr auto kSortedNamedColors = [] {
  std::array<NamedColor, std::size(kNamedColors)> sorted{};
  std::copy(std::begin(kNamedColors), std::end(kNamedColors), sorted.begin());
  std::sort(sorted.begin(), sorted.end(),
            [](const NamedColor& a, const NamedColor& b) { return a.name < b.name; });
  return sorted;
}();
static_assert(std::adjacent_find(kSortedNamedColors.begin(), kSortedNamedColors.end(),
                                 [](const NamedColor& a, const NamedColor& b) {
                                   return a.name == b.name;
                                 }) == kSortedNamedColors.end());

const NamedColor* FindNamedColor(std::string_view name) {
  const auto it = std::lower_bound(
      kSortedNamedColors.begin(), kSortedNamedColors.end(), name,
      [](const NamedColor& entry, std::string_view key) { return entry.name < key; });
  return it != kSortedNamedColors.end() && it->name == name ? &*it : nullptr;
}

// The hexadecimal digits of ASCII; no locale decides.
bool IsHexDigit(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

void FontTable::Add(std::string_view name) {
  name = name.substr(0, kMaxNameLength);
  if (name.empty() || names_.size() >= kMaxFonts || Find(name) >= 0) return;
  names_.emplace_back(name);
}

int FontTable::Find(std::string_view name) const {
  name = name.substr(0, kMaxNameLength);
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (names_[i] == name) return static_cast<int>(i);
  }
  return -1;
}

namespace {

std::size_t ColorSlot(std::string_view text) {
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (const char ch : text) hash = (hash ^ static_cast<unsigned char>(ch)) * 16777619u;
  return hash;
}

// The opacity in "rgba(r, g, b, a)" or "rgb(r g b / a)" at the start of `value`: the
// number after the three channels, from 0 to 1 or a percentage; 1 (opaque) when there is
// none. It may stand beyond the characters a colour value is read from, so it is looked
// for in the text itself, up to the ")" and at most 48 characters on.
double AlphaAfterChannels(std::string_view value) {
  constexpr std::size_t kMaxValue = 48;
  value = value.substr(0, std::min(value.find(')'), kMaxValue));
  std::size_t i = 0;
  for (int channel = 0; channel < 3; ++channel) {
    while (i < value.size() && !std::isdigit(static_cast<unsigned char>(value[i]))) ++i;
    while (i < value.size() && (std::isdigit(static_cast<unsigned char>(value[i])) ||
                                value[i] == '.' || value[i] == '%')) {
      ++i;
    }
  }
  while (i < value.size() && (value[i] == ' ' || value[i] == ',' || value[i] == '/')) ++i;
  double alpha = 0;
  bool digits = false;
  while (i < value.size() && std::isdigit(static_cast<unsigned char>(value[i]))) {
    alpha = std::min(1000.0, alpha * 10 + (value[i++] - '0'));
    digits = true;
  }
  if (i < value.size() && value[i] == '.') {
    double scale = 0.1;
    for (++i; i < value.size() && std::isdigit(static_cast<unsigned char>(value[i])); ++i) {
      alpha += (value[i] - '0') * scale;
      scale /= 10;
      digits = true;
    }
  }
  if (!digits) return 1.0;
  if (i < value.size() && value[i] == '%') alpha /= 100;
  return std::clamp(alpha, 0.0, 1.0);
}

}  // namespace

void ColorTable::Add(std::string_view six_digits) {
  if (colors_.size() >= kMaxColors || Find(six_digits) >= 0) return;
  if (slots_.empty()) slots_.assign(kSlots, 0);
  std::size_t slot = ColorSlot(six_digits) & (kSlots - 1);
  while (slots_[slot] != 0) slot = (slot + 1) & (kSlots - 1);
  colors_.emplace_back(six_digits);
  slots_[slot] = static_cast<std::uint8_t>(colors_.size());
}

int ColorTable::Find(std::string_view six_digits) const {
  if (slots_.empty()) return -1;
  for (std::size_t slot = ColorSlot(six_digits) & (kSlots - 1); slots_[slot] != 0;
       slot = (slot + 1) & (kSlots - 1)) {
    const std::size_t index = slots_[slot] - 1u;
    if (colors_[index] == six_digits) return static_cast<int>(index);
  }
  return -1;
}

bool ParseColor(std::string_view text, std::size_t& pos, std::string& out) {
  while (pos < text.size() &&
         (text[pos] == ' ' || text[pos] == '"' || text[pos] == '\'' || text[pos] == '=' ||
          text[pos] == '\\')) {
    ++pos;
  }
  // Copy at most 21 characters in lower case; blanks stop the copy until a "(" is seen.
  // The copy lives on the stack: colours are read for every coloured cell and run.
  constexpr std::size_t kMaxColorText = 21;
  const std::size_t start = pos;
  char buffer[kMaxColorText];
  std::size_t length = 0;
  bool saw_paren = false;
  while (pos < text.size() && length < kMaxColorText) {
    const unsigned char c = static_cast<unsigned char>(text[pos]);
    if (c == '\'' || c == '"' || c == ';' || c == '>' || c == '\\') break;
    if ((c == ' ' || c < 32) && !saw_paren) break;
    if (c == '(') saw_paren = true;
    buffer[length++] = AsciiLower(static_cast<char>(c));
    ++pos;
  }
  const std::string_view copy(buffer, length);
  if (!copy.empty() && copy[0] == '#') {
    std::size_t digits = 0;
    while (1 + digits < copy.size() && IsHexDigit(static_cast<unsigned char>(copy[1 + digits]))) {
      ++digits;
    }
    if (digits >= 6) {
      out.assign(copy.substr(1, 6));
      return true;
    }
    if (digits == 3) {
      // "#036" is short for "#003366".
      out.clear();
      for (std::size_t i = 1; i <= 3; ++i) out.append(2, copy[i]);
      return true;
    }
  } else {
    if (const NamedColor* named = FindNamedColor(copy); named != nullptr) {
      out.assign(named->value);
      return true;
    }
    if (copy.size() == 6 &&
        std::all_of(copy.begin(), copy.end(), [](char c) { return IsHexDigit(c); })) {
      out.assign(copy);
      return true;
    }
    if (copy.find("rgb") != std::string_view::npos) {
      // rgb(r, g, b) or rgba(...): numbers above 255 mean 255; "50%" is half of 255.
      int numbers[3];
      int found = 0;
      for (std::size_t i = 0; i < copy.size() && found < 3;) {
        if (!std::isdigit(static_cast<unsigned char>(copy[i]))) {
          ++i;
          continue;
        }
        int value = 0;
        while (i < copy.size() && std::isdigit(static_cast<unsigned char>(copy[i]))) {
          value = std::min(100000, value * 10 + (copy[i] - '0'));
          ++i;
        }
        while (i < copy.size() &&
               (copy[i] == '.' || std::isdigit(static_cast<unsigned char>(copy[i])))) {
          ++i;
        }
        if (i < copy.size() && copy[i] == '%') value = value * 255 / 100;
        numbers[found++] = std::min(255, value);
      }
      if (found == 3) {
        // A translucent colour shows as itself laid over the white page.
        const double alpha = AlphaAfterChannels(text.substr(start));
        if (alpha < 1.0) {
          for (int& channel : numbers) {
            channel = static_cast<int>(channel * alpha + 255.0 * (1.0 - alpha) + 0.5);
          }
        }
        out = StringF("%02x%02x%02x", numbers[0], numbers[1], numbers[2]);
        return true;
      }
    }
  }
  out = "000000";
  return false;
}

std::string ReadCssValue(std::string_view text, std::size_t& pos) {
  while (pos < text.size() &&
         (text[pos] == ' ' || text[pos] == '"' || text[pos] == '\'' || text[pos] == '=')) {
    ++pos;
  }
  constexpr std::size_t kMaxValue = 39;
  std::string value;
  while (pos < text.size() && value.size() < kMaxValue) {
    const unsigned char c = static_cast<unsigned char>(text[pos]);
    if (c == '\'' || c < 32 || c == '"' || c == ',' || c == '.' || c == ':' || c == ';' ||
        c == '=' || c == '>' || c == '}') {
      break;
    }
    value += static_cast<char>(c);
    ++pos;
  }
  return value;
}

std::string ReadAttributeValue(std::string_view text, std::size_t& pos) {
  while (pos < text.size() &&
         (text[pos] == ' ' || static_cast<unsigned char>(text[pos]) < 32 || text[pos] == '=')) {
    ++pos;
  }
  constexpr std::size_t kMaxValue = 39;
  std::string value;
  if (pos >= text.size() || text[pos] == '>') return value;
  const char quote = text[pos];
  if (quote == '"' || quote == '\'') {
    ++pos;
    while (pos < text.size() && text[pos] != quote && value.size() < kMaxValue) {
      value += text[pos++];
    }
    if (pos < text.size() && text[pos] == quote) ++pos;
    return value;
  }
  while (pos < text.size() && value.size() < kMaxValue) {
    const char c = text[pos];
    if (c == ' ' || c == '"' || c == '\'' || c == '>') break;
    value += c;
    ++pos;
  }
  return value;
}

std::string EscapeRtfText(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 32 || c == 127) continue;
    if (c == '\\' || c == '{' || c == '}') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

void ReadBodyTextColour(std::string_view tag, std::string& out) {
  for (std::size_t i = 1; i + 5 < tag.size(); ++i) {
    const char before = tag[i - 1];
    if ((before == ' ' || before == '\n' || before == '\t') && AtNoCase(tag, i, "text=")) {
      std::size_t pos = i + 5;
      std::string digits;
      if (ParseColor(tag, pos, digits)) out = digits;
      return;
    }
  }
}

}  // namespace velmorane
