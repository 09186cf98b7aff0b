// Character formatting: the group tags (b, strong, i, em, u, s, strike, sub, sup), span
// and the font tag with its face, size, colour and background stacks.
#include "rtf/formatting.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "base/append.h"
#include "base/text_match.h"
#include "rtf/conversion.h"
#include "rtf/prologue.h"
#include "rtf/style_rules.h"
#include "rtf/tag_loop.h"

namespace velmorane {

namespace {

// Half-points a browser gives the HTML font sizes 0..7 (10, 13, 16, 18, 24, 32 and 48
// pixels; 0 is taken as 1), 3 being its default text.
constexpr int kHtmlSizes[] = {15, 15, 20, 24, 27, 36, 48, 72};

struct SizeKeyword {
  std::string_view name;
  int half_points;
};
constexpr SizeKeyword kSizeKeywords[] = {
    {"xx-small", 14}, {"x-small", 15}, {"small", 20},    {"medium", 24},
    {"large", 27},    {"x-large", 36}, {"xx-large", 48},
};

// The simple group tags: start tag name, opening text and the counter they share.
struct GroupTag {
  std::string_view name;
  const char* opening;
  int GroupCounters::*counter;
  int element_type;  // for style rules; kElementAny when none select the tag
};
constexpr GroupTag kGroupTags[] = {
    {"strong", R"({\b )", &GroupCounters::strong, kElementStrong},
    {"b", R"({\b )", &GroupCounters::bold, kElementB},
    {"i", R"({\i )", &GroupCounters::italic, kElementI},
    {"u", R"({\ul )", &GroupCounters::underline, kElementAny},
    {"strike", R"({\strike )", &GroupCounters::strike, kElementAny},
    {"s", R"({\strike )", &GroupCounters::strike, kElementAny},
};

// Inline elements with no formatting of their own in RTF that style rules may select.
struct StyledTag {
  std::string_view name;
  int element_type;
};
constexpr StyledTag kStyledTags[] = {
    {"code", kElementCode}, {"tt", kElementTt},       {"kbd", kElementKbd},
    {"samp", kElementSamp}, {"var", kElementVar},     {"cite", kElementCite},
    {"abbr", kElementAbbr}, {"dfn", kElementDfn},     {"q", kElementQ},
    {"label", kElementLabel}, {"small", kElementSmall}, {"big", kElementBig},
    {"acronym", kElementAbbr},
};

// Browsers underline an abbreviation with a title (dotted), to show it explains itself.
bool TitledAbbreviation(std::string_view in, std::size_t tag_pos, int element_type) {
  if (element_type != kElementAbbr) return false;
  const std::size_t end = std::min(in.find('>', tag_pos), in.size());
  const std::string_view tag = in.substr(tag_pos, end - tag_pos);
  for (std::size_t i = tag.find_first_of(" \n\t"); i != std::string_view::npos && i < tag.size();
       i = tag.find_first_of(" \n\t", i + 1)) {
    if (AtNoCase(tag, i + 1, "title") && (ByteAt(tag, i + 6) == '=' || ByteAt(tag, i + 6) == ' ')) {
      return true;
    }
  }
  return false;
}

// Browsers show <small> and <big> a step smaller or larger than the text around them.
constexpr int kSmallPercent = 83;
constexpr int kBigPercent = 120;

// The position of the ">" that ends the tag at `pos` (or the last byte).
std::size_t TagEnd(std::string_view input, std::size_t pos) {
  const std::size_t close = input.find('>', pos);
  return close == std::string_view::npos ? input.size() - 1 : close;
}

// Opening a group: a counter that went negative or would overflow starts again at 1.
void CountOpen(int& counter) {
  counter = (counter < 0 || counter == std::numeric_limits<int>::max()) ? 1 : counter + 1;
}

// "<name" followed by ">" or a blank.
bool IsStartTag(std::string_view in, std::size_t pos, std::string_view name) {
  return ByteAt(in, pos) == '<' && LooksAtNoCase(in, pos + 1, name) &&
         IsOneOf(ByteAt(in, pos + 1 + name.size()), "> ");
}

// "</name>".
bool IsEndTag(std::string_view in, std::size_t pos, std::string_view name) {
  return LooksAtNoCase(in, pos, "</") && LooksAtNoCase(in, pos + 2, name) &&
         ByteAt(in, pos + 2 + name.size()) == '>';
}

// A lower-case tag name of up to seven letters packed into one number (its letters and
// its length), so that names compare as numbers.
constexpr std::uint64_t PackedName(std::string_view name) {
  std::uint64_t key = name.size();
  for (std::size_t i = 0; i < name.size() && i < 7; ++i) {
    key |= static_cast<std::uint64_t>(static_cast<unsigned char>(name[i])) << (8 * (i + 1));
  }
  return key;
}

template <typename Entry, std::size_t kCount>
constexpr std::array<std::uint64_t, kCount> PackedNames(const Entry (&table)[kCount]) {
  std::array<std::uint64_t, kCount> keys{};
  for (std::size_t i = 0; i < kCount; ++i) keys[i] = PackedName(table[i].name);
  return keys;
}
template <typename Entry, std::size_t kCount>
constexpr bool NamesFitPacking(const Entry (&table)[kCount]) {
  for (const Entry& entry : table) {
    if (entry.name.size() > 7) return false;
  }
  return true;
}
static_assert(NamesFitPacking(kGroupTags) && NamesFitPacking(kStyledTags),
              "a tag name longer than seven letters does not pack");
constexpr auto kGroupKeys = PackedNames(kGroupTags);
constexpr auto kStyledKeys = PackedNames(kStyledTags);

// The letters of the tag name at `pos` (on a "<"), behind "<" or "</", in lower case,
// packed. The group and styled tags are tested for every tag the earlier tests pass
// over: comparing this one name with each of theirs settles most tags with no further
// reading. A name longer than any of theirs packs to 0, as no name does.
class TagLetters {
 public:
  TagLetters(std::string_view in, std::size_t pos) {
    std::size_t at = pos + 1;
    if (ByteAt(in, at) == '/') ++at;
    char letters[8];  // one more than the longest name ("acronym")
    std::size_t size = 0;
    while (at < in.size() && size < sizeof letters) {
      const char ch = AsciiLower(in[at]);
      if (ch < 'a' || ch > 'z') break;
      letters[size++] = ch;
      ++at;
    }
    key_ = size < sizeof letters ? PackedName(std::string_view(letters, size)) : 0;
  }
  // False when no tag named `name` (lower-case letters) can stand at the position.
  bool May(std::string_view name) const { return key_ == PackedName(name); }
  bool May(std::uint64_t packed_name) const { return key_ == packed_name; }

 private:
  std::uint64_t key_ = 0;
};

// The number behind the control word of a font or colour string ("\f3 " gives 3).
int ControlNumber(const std::string& word, std::size_t prefix, int fallback) {
  if (word.size() <= prefix || !std::isdigit(static_cast<unsigned char>(word[prefix]))) {
    return fallback;
  }
  return std::atoi(word.c_str() + prefix);
}

// The number reader of the size attribute: blanks, quotes, "=" and ":" skipped, then up
// to a blank, control byte, quote, ",", ":", ";", ">" or "}", lower-cased.
std::string ReadSizeToken(std::string_view in, std::size_t& pos) {
  while (pos < in.size() && IsOneOf(ByteAt(in, pos), " \"'=:")) ++pos;
  constexpr std::size_t kMaxToken = 41;
  std::string token;
  while (pos < in.size() && token.size() < kMaxToken) {
    const unsigned char c = ByteAt(in, pos);
    if (c <= 32 || IsOneOf(c, "\"',:;>}")) break;
    token += AsciiLower(static_cast<char>(c));
    ++pos;
  }
  return token;
}

// The leading integer of a token (optional sign), held to a sane range; false when
// the token holds no digit there.
bool LeadingInteger(const std::string& token, int& value) {
  constexpr int kLimit = 1000000;
  std::size_t i = 0;
  const bool negative = !token.empty() && token[0] == '-';
  if (!token.empty() && (token[0] == '-' || token[0] == '+')) i = 1;
  if (i >= token.size() || !std::isdigit(static_cast<unsigned char>(token[i]))) return false;
  value = 0;
  for (; i < token.size() && std::isdigit(static_cast<unsigned char>(token[i])); ++i) {
    value = std::min(kLimit, value * 10 + (token[i] - '0'));
  }
  if (negative) value = -value;
  return true;
}

// Half-points a browser gives a size attribute value; 0 when it gives no usable size.
int FontTagSize(const std::string& token) {
  for (const SizeKeyword& keyword : kSizeKeywords) {
    if (token == keyword.name) return keyword.half_points;
  }
  int value = 0;
  if (!LeadingInteger(token, value)) return 0;
  if (token.find("px") != std::string::npos) return static_cast<int>(value * 1.5);
  if (token.find("em") != std::string::npos) return value * 24;
  if (token.find("pt") != std::string::npos) return value * 2;
  if (token.find('%') != std::string::npos) return value * 24 / 100;
  if (!token.empty() && token[0] == '+') {
    return value + 3 >= 8 ? kHtmlSizes[7] : kHtmlSizes[value + 3];
  }
  if (!token.empty() && token[0] == '-') {
    return -value >= 4 ? kHtmlSizes[0] : kHtmlSizes[3 + value];
  }
  if (value >= 0 && value <= 7) return kHtmlSizes[value];
  return value * 2;
}

void HandleEmStart(Conversion& c) {
  c.output += "{";
  OpenElementStyle(c, c.pos, kElementEm, InCell(c));
  if (!c.sheet.last_font.upright) {
    c.output += R"(\i )";
    c.loop.after_control_word = true;
  }
  CountOpen(c.loop.groups.em);
}

void HandleEmEnd(Conversion& c) {
  CloseElementStyle(c, kElementEm, c.base_size);
  if (c.loop.groups.em >= 1) {
    c.output += "}";
    --c.loop.groups.em;
  }
  c.loop.after_control_word = false;
  c.pos = TagEnd(c.input, c.pos);
}

}  // namespace

bool TryGroupTag(Conversion& c) {
  const std::string_view in = c.input;
  const std::size_t p = c.pos;
  TagLoopState& s = c.loop;
  const TagLetters letters(in, p);
  for (std::size_t i = 0; i < std::size(kGroupTags); ++i) {
    if (!letters.May(kGroupKeys[i])) continue;
    const GroupTag& tag = kGroupTags[i];
    if (IsStartTag(in, p, tag.name)) {
      c.output += tag.opening;
      s.after_control_word = true;
      if (tag.element_type != kElementAny) OpenElementStyle(c, p, tag.element_type, InCell(c));
      c.pos = std::max(c.pos, TagEnd(in, p));
      CountOpen(s.groups.*tag.counter);
      return true;
    }
    if (IsEndTag(in, p, tag.name)) {
      if (tag.element_type != kElementAny) CloseElementStyle(c, tag.element_type, c.base_size);
      int& counter = s.groups.*tag.counter;
      if (counter >= 1) {
        c.output += "}";
        --counter;
      }
      s.after_control_word = false;
      c.pos = TagEnd(in, p);
      return true;
    }
  }
  if (letters.May("em") && IsStartTag(in, p, "em")) {
    HandleEmStart(c);
    return true;
  }
  if (letters.May("em") && IsEndTag(in, p, "em")) {
    HandleEmEnd(c);
    return true;
  }
  if (!letters.May("sub") && !letters.May("sup")) return false;
  const bool sub = IsStartTag(in, p, "sub");
  if (sub || IsStartTag(in, p, "sup")) {
    c.pos = TagEnd(in, p);
    c.output += sub ? c.templates.subscript : c.templates.superscript;
    ReemitCharacterState(c);
    CountOpen(sub ? s.groups.sub : s.groups.sup);
    return true;
  }
  const bool sub_end = IsEndTag(in, p, "sub");
  if (sub_end || IsEndTag(in, p, "sup")) {
    // Without its start tag the brace would close a group it does not own.
    int& counter = sub_end ? s.groups.sub : s.groups.sup;
    if (counter >= 1) {
      c.output += "}";
      --counter;
    }
    c.pos = TagEnd(in, p);
    return true;
  }
  return false;
}

bool TryStyledTag(Conversion& c) {
  const std::string_view in = c.input;
  const std::size_t p = c.pos;
  TagLoopState& s = c.loop;
  StyleSheet& sheet = c.sheet;
  const TagLetters letters(in, p);
  for (std::size_t i = 0; i < std::size(kStyledTags); ++i) {
    if (!letters.May(kStyledKeys[i])) continue;
    const StyledTag& tag = kStyledTags[i];
    const bool small_or_big = tag.element_type == kElementSmall || tag.element_type == kElementBig;
    if (IsStartTag(in, p, tag.name)) {
      if (small_or_big && c.options.keep_font_size) {
        const int percent = tag.element_type == kElementSmall ? kSmallPercent : kBigPercent;
        if (sheet.size_stack.size() < kStackDepth) {
          sheet.size_stack.push_back(s.current_size);
          ++sheet.step_sizes_open;
        }
        s.current_size = std::max(1, (s.current_size * percent + 50) / 100);
        s.size_string = StringF(R"(\fs%d )", 2 * s.current_size);
        c.output += s.size_string;
        s.after_control_word = true;
      }
      if (TitledAbbreviation(in, p, tag.element_type)) {
        c.output += R"({\uld )";
        s.after_control_word = true;
        CountOpen(s.groups.dotted);
      }
      OpenElementStyle(c, p, tag.element_type, InCell(c));
      c.pos = std::max(c.pos, TagEnd(in, p));
      return true;
    }
    if (IsEndTag(in, p, tag.name)) {
      CloseElementStyle(c, tag.element_type, c.base_size);
      if (tag.element_type == kElementAbbr && s.groups.dotted >= 1) {
        c.output += "}";
        --s.groups.dotted;
        s.after_control_word = false;
      }
      if (small_or_big && sheet.step_sizes_open > 0 && !sheet.size_stack.empty()) {
        --sheet.step_sizes_open;
        const int size = sheet.size_stack.back();
        sheet.size_stack.pop_back();
        if (size != s.current_size) {
          s.current_size = size;
          s.size_string = StringF(R"(\fs%d )", 2 * size);
          c.output += s.size_string;
          s.after_control_word = true;
        }
      }
      c.pos = TagEnd(in, p);
      return true;
    }
  }
  return false;
}

void HandleSpanStart(Conversion& c) { OpenElementStyle(c, c.pos, kElementSpan, InCell(c)); }

void HandleSpanEnd(Conversion& c) {
  CloseElementStyle(c, kElementSpan, c.base_size);
  c.pos = TagEnd(c.input, c.pos);
}

void HandleFontStart(Conversion& c) {
  TagLoopState& s = c.loop;
  const ConversionOptions& o = c.options;
  const std::string_view in = c.input;
  std::string& out = c.output.text();
  const std::size_t tag_pos = c.pos;

  if (o.keep_font_face && s.font_active && s.font_stack.size() < kStackDepth) {
    s.font_stack.push_back(ControlNumber(s.font_string, 2, 0));
  }
  if (o.keep_font_size && s.size_stack.size() < kStackDepth) {
    s.size_stack.push_back(s.current_size);
  }

  // The attributes. A face or colour missing from its table changes nothing.
  int tag_colour = -1;
  std::size_t p = tag_pos + 5;
  while (p < in.size() && in[p] != '>') {
    if (o.keep_font_face && LooksAtNoCase(in, p, "face") && IsOneOf(ByteAt(in, p + 4), "= ")) {
      p += 4;
      std::string face = ReadAttributeValue(in, p);
      face = face.substr(0, face.find(','));
      const int n = face.empty() ? -1 : c.fonts.Find(face);
      if (n >= 0) {
        s.font_string = StringF(R"(\f%d )", n + 2);
        s.font_active = true;
        s.after_control_word = true;
      }
    } else if (o.keep_font_size && LooksAtNoCase(in, p, "size") && IsOneOf(ByteAt(in, p + 4), "=: ")) {
      p += 4;
      // Measured against the body text as the browser has it, like style sizes.
      const int half_points = FontTagSize(ReadSizeToken(in, p));
      const int points = half_points >= 1 ? ScaledToBody(c, half_points) : 0;
      if (points >= 1) {
        s.current_size = points;
        s.size_string = StringF(R"(\fs%d )", 2 * points);
        s.size_active = true;
        s.after_control_word = true;
      }
    } else if (o.keep_background_color && LooksAtNoCase(in, p, "background-color:")) {
      p += 17;
      std::string digits;
      (void)ParseColor(in, p, digits);
      const int n = c.colors.Find(digits);
      if (n >= 0) {
        AppendF(out, R"(\chcbpat%d )", n + 3);
        s.background_active = true;
        s.after_control_word = true;
      }
    } else if (o.keep_font_color && LooksAtNoCase(in, p, "color") && IsOneOf(ByteAt(in, p + 5), "=:")) {
      p += 5;
      std::string digits;
      (void)ParseColor(in, p, digits);
      const int n = c.colors.Find(digits);
      if (n >= 0) {
        tag_colour = n + 3;
        s.colour_string = StringF(R"(\cf%d )", tag_colour);
        s.colour_active = true;
        s.after_control_word = true;
      }
    } else {
      ++p;
    }
  }

  if (s.font_active) out += s.font_string;
  // The colour stack holds the colour in force inside each open font tag.
  if (s.colour_active) {
    out += s.colour_string;
    if (s.colour_stack.size() < kStackDepth) {
      if (tag_colour >= 0) {
        s.colour_stack.push_back(tag_colour);
      } else if (!s.colour_stack.empty()) {
        s.colour_stack.push_back(s.colour_stack.back());
      } else {
        // A colour set by a style rule: keep that one.
        s.colour_stack.push_back(ControlNumber(s.colour_string, 3, 1));
      }
    }
  } else {
    if (s.colour_stack.size() < kStackDepth) s.colour_stack.push_back(1);
    s.colour_active = true;
  }
  if (s.size_active) out += s.size_string;

  OpenElementStyle(c, tag_pos, kElementFont, InCell(c));
  c.pos = std::max(c.pos, TagEnd(in, tag_pos));
}

void HandleFontEnd(Conversion& c) {
  TagLoopState& s = c.loop;
  const ConversionOptions& o = c.options;
  std::string& out = c.output.text();

  if (o.keep_background_color && s.background_active) {
    out += R"(\chcbpat0 )";
    s.background_active = false;
  }
  if (!s.font_stack.empty()) {
    s.font_string = StringF(R"(\f%d )", s.font_stack.back());
    s.font_stack.pop_back();
  } else {
    s.font_string = R"(\f0 )";
    s.font_active = false;
  }
  if (!s.colour_stack.empty()) s.colour_stack.pop_back();
  if (s.colour_stack.empty()) {
    s.colour_string = R"(\cf1 )";
    s.colour_active = false;
  } else {
    s.colour_string = StringF(R"(\cf%d )", s.colour_stack.back());
  }
  if (!s.size_stack.empty()) {
    s.current_size = s.size_stack.back();
    s.size_stack.pop_back();
    s.size_string = StringF(R"(\fs%d )", 2 * s.current_size);
  } else {
    s.current_size = c.base_size;
    s.size_string = StringF(R"(\fs%d )", 2 * c.base_size);
    s.size_active = false;
  }
  out += s.colour_string;
  out += s.font_string;
  out += s.size_string;
  s.after_control_word = true;

  CloseElementStyle(c, kElementFont, c.base_size);
  c.pos = TagEnd(c.input, c.pos);
}

}  // namespace velmorane
