// Style rules: the declaration parser shared by style sheets, style attributes and
// plain attributes; the style sheet parser; and the RTF that opening and closing an
// element's rules writes.
#include "tags/style_sheet.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <new>

#include "core/append.h"
#include "core/conversion.h"
#include "core/prologue.h"
#include "core/text_match.h"
#include "tags/monospace.h"
#include "tags/tag_loop.h"

namespace velmorane {

namespace {

// Tokens are cut to this many bytes.
constexpr std::size_t kMaxToken = 41;
// A single selector keeps at most 39 characters; a class or id name at most 40.
constexpr std::size_t kMaxSelector = 39;
constexpr std::size_t kMaxRuleName = 40;
// Class names read from a tag keep at most 30 bytes.
constexpr std::size_t kMaxClassName = 30;
// A tag's class and id attributes give at most this many names.
constexpr std::size_t kMaxNames = 8;
// The part of a tag that is searched for attributes and declarations.
constexpr std::size_t kMaxTagText = 499;
// Sizes are accepted above 0.5 and below 200 points; margins from 0 to 12500 twips.
constexpr double kMinPoints = 0.5;
constexpr double kMaxPoints = 200;
constexpr long long kMaxMargin = 12500;
// Pixels to twips after the factor 20 (a pixel is 15 twips).
constexpr double kPixelMarginFactor = 0.7500187504687618;
// A positioned block is this high, in twips; its position is 16 twips per pixel.
constexpr int kPositionedHeight = 160;
constexpr int kTwipsPerPixel = 16;

constexpr const char kPageBreak[] =
    "\n"
    R"(\pard\page\par)"
    "\n";

struct ElementName {
  std::string_view name;
  int type;
};
constexpr ElementName kElementNames[] = {
    {"div", kElementDiv},   {"span", kElementSpan},   {"p", kElementP},
    {"em", kElementEm},     {"font", kElementFont},   {"td", kElementCell},
    {"th", kElementTh},   {"table", kElementTable}, {"ul", kElementUl},
    {"ol", kElementOl},     {"h1", kElementH1},       {"h2", kElementH1 + 1},
    {"h3", kElementH1 + 2}, {"h4", kElementH1 + 3},   {"h5", kElementH1 + 4},
    {"h6", kElementH1 + 5}, {"hr", kElementHr},       {"br", kElementBr},
    {"pre", kElementPre},   {"li", kElementLi},       {"code", kElementCode},
    {"tt", kElementTt},     {"kbd", kElementKbd},     {"samp", kElementSamp},
    {"var", kElementVar},   {"i", kElementI},         {"b", kElementB},
    {"strong", kElementStrong}, {"small", kElementSmall}, {"big", kElementBig},
    {"tr", kElementTr},     {"cite", kElementCite},   {"abbr", kElementAbbr},
    {"dfn", kElementDfn},   {"q", kElementQ},         {"label", kElementLabel},
    {"blockquote", kElementBlockquote}, {"dt", kElementDt}, {"dd", kElementDd},
};

struct SizeKeyword {
  std::string_view name;
  double points;
};
constexpr SizeKeyword kSizeKeywords[] = {
    {"xx-small", 6.75}, {"x-small", 7.5}, {"small", 9.75},   {"medium", 12},
    {"large", 13.5},    {"x-large", 18},  {"xx-large", 24},  {"xxx-large", 36},
};

constexpr std::string_view kListStyles[] = {
    "none",        "disc",        "circle",      "square", "lower-roman",
    "upper-roman", "lower-alpha", "upper-alpha", "arabic",
};

bool IsOneOf(unsigned char c, std::string_view bytes) {
  return c != 0 && IsAnyOf(bytes, static_cast<char>(c));
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& ch : lower) ch = AsciiLower(ch);
  return lower;
}

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

void TrimTrailingBlanks(std::string_view& text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
}

// Bytes that end a name: control bytes, quotes and , . : ; = > }. A table, since names are
// read for every attribute of every styled tag.
constexpr auto kNameEnds = [] {
  std::array<bool, 256> ends{};
  for (int c = 0; c < 32; ++c) ends[static_cast<std::size_t>(c)] = true;
  for (const char c : std::string_view("\"',.:;=>}")) ends[static_cast<unsigned char>(c)] = true;
  return ends;
}();

// The name reader: skips blanks, quotes and "="; takes up to kMaxToken bytes until a
// control byte, quote, ",", ".", ":", ";", "=", ">" or "}" (or a blank unless blanks are
// allowed), case kept, as a view into `text`. Moves at least one byte.
std::string_view ReadName(std::string_view text, std::size_t& pos, bool allow_blanks) {
  const std::size_t start = pos;
  while (pos < text.size() && IsOneOf(static_cast<unsigned char>(text[pos]), " \"'=")) ++pos;
  const std::size_t name_start = pos;
  while (pos < text.size() && pos - name_start < kMaxToken) {
    const unsigned char c = static_cast<unsigned char>(text[pos]);
    if (kNameEnds[c] || (c == ' ' && !allow_blanks)) break;
    ++pos;
  }
  const std::string_view name = text.substr(name_start, pos - name_start);
  if (pos == start && pos < text.size()) ++pos;
  return name;
}

// The number reader: skips blanks, quotes and "="; copies up to kMaxToken bytes until a
// byte 0..32, quote, ",", ":", ";", ">" or "}", lower-cased ("10.5pt" is one token).
// Moves at least one byte.
std::string ReadNumberToken(std::string_view text, std::size_t& pos) {
  const std::size_t start = pos;
  while (pos < text.size() && IsOneOf(static_cast<unsigned char>(text[pos]), " \"'=")) ++pos;
  std::string token;
  while (pos < text.size() && token.size() < kMaxToken) {
    const unsigned char c = static_cast<unsigned char>(text[pos]);
    if (c <= 32 || IsOneOf(c, "\"',:;>}")) break;
    token += AsciiLower(static_cast<char>(c));
    ++pos;
  }
  if (pos == start && pos < text.size()) ++pos;
  return token;
}

// The leading decimal number of a token (sign, digits, fraction); 0 when none.
double LeadingNumber(std::string_view token) {
  std::size_t i = 0;
  bool negative = false;
  if (i < token.size() && (token[i] == '-' || token[i] == '+')) negative = token[i++] == '-';
  double value = 0;
  for (; i < token.size() && std::isdigit(static_cast<unsigned char>(token[i])); ++i) {
    value = std::min(1e9, value * 10 + (token[i] - '0'));
  }
  if (i < token.size() && token[i] == '.') {
    double scale = 0.1;
    for (++i; i < token.size() && std::isdigit(static_cast<unsigned char>(token[i])); ++i) {
      value += (token[i] - '0') * scale;
      scale /= 10;
    }
  }
  return negative ? -value : value;
}

// 1 for a bold weight ("bold", "bolder", 600..900), 0 for a normal one ("normal",
// "lighter", 100..500), -1 for anything else.
int FontWeight(std::string_view value) {
  if (value == "bold" || value == "bolder") return 1;
  if (value == "normal" || value == "lighter") return 0;
  if (value.size() == 3 && value[0] >= '1' && value[0] <= '9' && value.substr(1) == "00") {
    return value[0] >= '6' ? 1 : 0;
  }
  return -1;
}

bool AcceptSize(double points, StyleRule& rule) {
  if (!(points > kMinPoints && points < kMaxPoints)) return false;
  rule.size = static_cast<int>(points * 2);
  rule.size_percent = 0;
  rule.has[kPropFontSize] = true;
  return true;
}

// Reads a font-size value. Absolute sizes are kept in CSS points (a browser's default
// text is 12 points, "medium"); relative ones ("em", "%", "smaller", "larger") become a
// percentage of the size in effect, with the size they give against the default.
bool ReadFontSize(const std::string& token, StyleRule& rule) {
  struct Unit {
    std::string_view name;
    double points;  // per unit; 0 for a relative unit
  };
  // "rem" and "ex" before "em": the first unit the token contains counts.
  constexpr Unit kUnits[] = {{"px", 0.75}, {"pt", 1},        {"pc", 12},     {"in", 72},
                             {"cm", 28.35}, {"mm", 2.835},   {"rem", 12},    {"ex", 0},
                             {"em", 0},    {"%", 0}};
  for (const SizeKeyword& keyword : kSizeKeywords) {
    if (token == keyword.name) return AcceptSize(keyword.points, rule);
  }
  if (token == "smaller" || token == "larger") {
    const int percent = token == "smaller" ? 83 : 120;
    if (!AcceptSize(12.0 * percent / 100, rule)) return false;
    rule.size_percent = percent;
    return true;
  }
  const double value = LeadingNumber(token);
  for (const Unit& unit : kUnits) {
    if (!Contains(token, unit.name)) continue;
    if (unit.points > 0) {
      rule.size_absolute = true;
      return AcceptSize(value * unit.points, rule);
    }
    const double percent = unit.name == "%" ? value : unit.name == "ex" ? value * 50 : value * 100;
    if (!(percent >= 1 && percent <= 10000) || !AcceptSize(12.0 * percent / 100, rule)) return false;
    rule.size_percent = static_cast<int>(percent + 0.5);
    return true;
  }
  rule.size_absolute = true;
  return AcceptSize(value, rule);
}

// Reads a colour value and finds (or adds) it in the colour table, comparing without
// regard to case. A value that is no colour, or a full table, gives -1.
int ReadColorIndex(std::string_view text, std::size_t& pos, ColorTable& colors) {
  const std::size_t start = pos;
  std::string digits;
  const bool recognised = ParseColor(text, pos, digits);
  if (pos == start && pos < text.size()) ++pos;
  if (!recognised) return -1;
  for (std::size_t i = 0; i < colors.size(); ++i) {
    if (EqualsNoCase(colors[i], digits)) return static_cast<int>(i);
  }
  colors.Add(digits);
  return colors.Find(digits);
}

int FindFontIndex(std::string_view name, FontTable& fonts) {
  if (name.empty()) return -1;
  const std::string_view cut = name.substr(0, FontTable::kMaxNameLength);
  for (std::size_t i = 0; i < fonts.size(); ++i) {
    if (EqualsNoCase(fonts[i], cut)) return static_cast<int>(i);
  }
  fonts.Add(name);
  return fonts.Find(name);
}


// Margins: twips from the number (a pixel value is scaled), accepted from 0 to 12500.
bool ReadMargin(std::string_view text, std::size_t& pos, std::uint32_t& value) {
  const std::string token = ReadNumberToken(text, pos);
  long long twips = static_cast<long long>(LeadingNumber(token) * 20);
  if (Contains(token, "px")) twips = static_cast<long long>(twips * kPixelMarginFactor);
  if (twips < 0 || twips > kMaxMargin) return false;
  value = static_cast<std::uint32_t>(twips);
  return true;
}

// "top", "left" and "width": the integer part, accepted above 0.
bool ReadPositive(std::string_view text, std::size_t& pos, std::int32_t& value, bool* percent) {
  const std::string token = ReadNumberToken(text, pos);
  const double number = LeadingNumber(token);
  if (number < 1) return false;
  value = static_cast<std::int32_t>(std::min(number, 1e9));
  if (percent != nullptr) *percent = Contains(token, "%");
  return true;
}

// The "font" shorthand: up to ten words of its declaration.
void ReadFontShorthand(std::string_view text, std::size_t& pos, StyleRule& rule,
                       ColorTable& colors) {
  constexpr int kMaxWords = 10;
  for (int word = 0; word < kMaxWords && pos < text.size() && text[pos] != ';'; ++word) {
    const std::string token = ReadNumberToken(text, pos);
    if (token == "italic") {
      rule.style = 'i';
      rule.has[kPropFontStyle] = true;
    } else if (FontWeight(token) >= 0 && token != "normal") {
      rule.bold = FontWeight(token);
      rule.has[kPropFontWeight] = true;
    } else if (!token.empty() &&
               (std::isdigit(static_cast<unsigned char>(token[0])) || token[0] == '.') &&
               token.find_first_of("abcdefghijklmnopqrstuvwxyz%") != std::string::npos) {
      // "12px/1.5": the size before the line height.
      ReadFontSize(token.substr(0, token.find('/')), rule);
    } else if (token == "color") {
      while (pos < text.size() && (text[pos] == ' ' || text[pos] == ':')) ++pos;
      const int index = ReadColorIndex(text, pos, colors);
      if (index >= 0) {
        rule.color = index;
        rule.has[kPropColor] = true;
      }
    }
  }
}

// Copies every property `later` sets over `first`.
void MergeRule(StyleRule& first, const StyleRule& later) {
  const StyleRule& l = later;
  StyleRule& f = first;
  if (l.has[kPropFontFamily]) f.font = l.font;
  if (l.has[kPropColor]) f.color = l.color;
  if (l.has[kPropFontWeight]) f.bold = l.bold;
  if (l.has[kPropFontSize]) {
    f.size = l.size;
    f.size_percent = l.size_percent;
  }
  if (l.has[kPropTextAlign]) f.align = l.align;
  if (l.has[kPropFontStyle]) f.style = l.style;
  if (l.has[kPropWhiteSpace]) f.keeps_lines = l.keeps_lines;
  if (l.has[kPropFontSize]) f.size_absolute = l.size_absolute;
  if (l.has[kPropFontFamily]) f.generic_monospace = l.generic_monospace;
  if (l.has[kPropMarginTop]) f.margin_top = l.margin_top;
  if (l.has[kPropBackground]) f.background = l.background;
  if (l.has[kPropTop]) f.top = l.top;
  if (l.has[kPropLeft]) f.left = l.left;
  if (l.has[kPropWidth]) {
    f.width = l.width;
    f.width_percent = l.width_percent;
  }
  if (l.has[kPropTextDecoration]) f.decoration = l.decoration;
  if (l.has[kPropVerticalAlign]) f.vertical_align = l.vertical_align;
  if (l.has[kPropPageBreakBefore]) f.page_break_before = l.page_break_before;
  if (l.has[kPropPageBreakAfter]) f.page_break_after = l.page_break_after;
  if (l.has[kPropListStyleType]) f.list_style = l.list_style;
  if (l.has[kPropMarginBottom]) f.margin_bottom = l.margin_bottom;
  if (l.has[kPropBorder]) f.border = l.border;
  if (l.has[kPropMarginLeft]) f.margin_left = l.margin_left;
  if (l.has[kPropMarginRight]) f.margin_right = l.margin_right;
  for (std::size_t i = 0; i < f.has.size(); ++i) f.has[i] = f.has[i] || l.has[i];
}

// Blanks out /* ... */ comments. Comments do not nest: a "/*" inside one is text.
void BlankComments(std::string& text) {
  bool inside = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!inside && text.compare(i, 2, "/*") == 0) {
      inside = true;
      text[i] = text[i + 1] = ' ';
      ++i;
    } else if (inside && text.compare(i, 2, "*/") == 0) {
      inside = false;
      text[i] = text[i + 1] = ' ';
      ++i;
    } else if (inside) {
      text[i] = ' ';
    }
  }
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) text.remove_suffix(1);
  return text;
}

// Types a selector: an element name, an element name with ".name" or "#name", or a
// class or id name for any element.
void TypeSelector(std::string_view selector, StyleRule& rule) {
  for (const ElementName& element : kElementNames) {
    if (EqualsNoCase(selector, element.name)) {
      rule.name.clear();
      rule.element_type = element.type;
      return;
    }
    const std::size_t n = element.name.size();
    if (selector.size() > n + 1 && EqualsNoCase(selector.substr(0, n), element.name) &&
        (selector[n] == '.' || selector[n] == '#')) {
      rule.name = std::string(selector.substr(n + 1, kMaxRuleName));
      rule.element_type = element.type;
      return;
    }
  }
  rule.name = std::string(selector.substr(0, kMaxRuleName));
  rule.element_type = kElementAny;
}

// Reads one compound ("div.a.b", ".a", "*", "pre#x"). False for what is not understood
// (attribute selectors, pseudo-classes, element names not followed). `always` is set for
// "html", "body" and "*" without names, which every element is inside.
bool ReadCompound(std::string_view text, SelectorCompound& compound, bool& always) {
  always = false;
  if (text.empty() || text.find_first_of(":[()+~") != std::string_view::npos) return false;
  const std::size_t first_mark = std::min(text.find_first_of(".#"), text.size());
  const std::string_view element = text.substr(0, first_mark);
  compound = SelectorCompound{};
  bool root = false;
  if (element.empty() || element == "*") {
    compound.type = kElementAny;
    root = element == "*";
  } else if (EqualsNoCase(element, "html") || EqualsNoCase(element, "body")) {
    compound.type = kElementAny;
    root = true;
  } else {
    bool known = false;
    for (const ElementName& name : kElementNames) {
      if (EqualsNoCase(element, name.name)) {
        compound.type = name.type;
        known = true;
        break;
      }
    }
    if (!known) return false;
  }
  std::size_t pos = first_mark;
  while (pos < text.size()) {
    const std::size_t next = std::min(text.find_first_of(".#", pos + 1), text.size());
    const std::string_view name = text.substr(pos + 1, next - pos - 1);
    if (name.empty()) return false;
    compound.names.emplace_back(name.substr(0, kMaxRuleName));
    pos = next;
  }
  always = root && compound.names.empty();
  return true;
}

// A selector of several compounds or of several names in one compound: the rule for its
// last compound with the rest as conditions. 0 when the selector is a simple one, 1 when
// it was read, 2 when it is not understood (its rule can select nothing).
int ReadComplexSelector(std::string_view selector, StyleRule& rule,
                        SelectorConditions& conditions) {
  constexpr std::size_t kMaxComplexSelector = 200;
  std::vector<std::string_view> parts;
  std::size_t pos = 0;
  while (pos < selector.size()) {
    while (pos < selector.size() &&
           (static_cast<unsigned char>(selector[pos]) <= 32 || selector[pos] == '>')) {
      ++pos;
    }
    const std::size_t start = pos;
    while (pos < selector.size() && static_cast<unsigned char>(selector[pos]) > 32 &&
           selector[pos] != '>') {
      ++pos;
    }
    if (pos > start) parts.push_back(selector.substr(start, pos - start));
  }
  const bool several_names =
      !parts.empty() &&
      std::count_if(parts.back().begin(), parts.back().end(),
                    [](char ch) { return ch == '.' || ch == '#'; }) >= 2;
  if (parts.size() <= 1 && !several_names) return 0;
  if (selector.size() > kMaxComplexSelector) return 2;
  SelectorCompound key;
  bool always = false;
  if (!ReadCompound(parts.back(), key, always) || always) return 2;
  if (key.names.empty() && key.type == kElementAny) return 2;
  rule.element_type = key.type;
  rule.name = key.names.empty() ? std::string() : key.names.front();
  if (key.names.size() > 1) conditions.own_names.assign(key.names.begin() + 1, key.names.end());
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    SelectorCompound ancestor;
    if (!ReadCompound(parts[i], ancestor, always)) return 2;
    if (!always) conditions.ancestors.push_back(std::move(ancestor));
  }
  return 1;
}

bool HasNames(const std::vector<std::string>& have, const std::vector<std::string>& wanted) {
  for (const std::string& name : wanted) {
    if (std::find(have.begin(), have.end(), name) == have.end()) return false;
  }
  return true;
}

// Whether the element being opened (with `names`) meets the conditions, the open
// elements standing around it.
bool ConditionsHold(const StyleSheet& sheet, const SelectorConditions& conditions,
                    const std::vector<std::string>& names) {
  if (!HasNames(names, conditions.own_names)) return false;
  std::size_t open = sheet.open_elements.size();
  for (std::size_t i = conditions.ancestors.size(); i-- > 0;) {
    const SelectorCompound& wanted = conditions.ancestors[i];
    bool found = false;
    while (open > 0 && !found) {
      const OpenElement& element = sheet.open_elements[--open];
      found = (wanted.type == kElementAny || wanted.type == element.selected_type) &&
              HasNames(element.names, wanted.names);
    }
    if (!found) return false;
  }
  return true;
}

// Adds the rules of one block for its selector text (one selector or a group).
void AddRules(StyleSheet& sheet, std::string_view selectors, const StyleRule& declarations) {
  const bool group = Contains(selectors, ",");
  std::size_t start = 0;
  while (start <= selectors.size()) {
    std::size_t comma = selectors.find(',', start);
    if (comma == std::string_view::npos) comma = selectors.size();
    std::string_view selector = Trim(selectors.substr(start, comma - start));
    start = comma + 1;
    {
      StyleRule rule = declarations;
      SelectorConditions conditions;
      const int complex = ReadComplexSelector(selector, rule, conditions);
      if (complex == 2) continue;
      if (complex == 1) {
        const int index = static_cast<int>(sheet.rules.size());
        sheet.rules.push_back(std::move(rule));
        sheet.conditions.emplace(index, std::move(conditions));
        continue;
      }
    }
    selector = selector.substr(0, group ? kMaxRuleName : kMaxSelector);
    // ".name" and "#name" name a class or id, even when the name is also an element's.
    const bool class_or_id = !selector.empty() && (selector[0] == '.' || selector[0] == '#');
    if (class_or_id) selector.remove_prefix(1);
    if (selector.empty()) continue;

    if (!class_or_id && EqualsNoCase(selector, "html") && declarations.has[kPropFontSize] &&
        declarations.size_percent == 0) {
      sheet.root_half_points = declarations.size;  // the size body text inherits
    }
    if (!class_or_id && EqualsNoCase(selector, "body") && sheet.body_rule >= 0) {
      MergeRule(sheet.rules[sheet.body_rule], declarations);
      continue;
    }
    StyleRule rule = declarations;
    if (class_or_id) {
      rule.name = std::string(selector.substr(0, kMaxRuleName));
      rule.element_type = kElementAny;
    } else {
      TypeSelector(selector, rule);
    }
    const int index = static_cast<int>(sheet.rules.size());
    if (EqualsNoCase(selector.substr(0, 2), "p.")) sheet.p_class_rules = true;
    if (EqualsNoCase(selector.substr(0, 3), "em.")) sheet.em_class_rules = true;
    if (!class_or_id && EqualsNoCase(selector, "body")) sheet.body_rule = index;
    if (!class_or_id && EqualsNoCase(selector, "p") && sheet.p_rule < 0) sheet.p_rule = index;
    sheet.rules.push_back(std::move(rule));
  }
}

// The position behind the "}" that closes the block opened at `open`, braces nested.
std::size_t GroupEnd(std::string_view css, std::size_t open) {
  int depth = 0;
  for (std::size_t i = open; i < css.size(); ++i) {
    if (css[i] == '{') ++depth;
    if (css[i] == '}' && --depth == 0) return i + 1;
  }
  return css.size();
}

// Counts the selectors in front of every "{", for the size of the rule array.
std::size_t CountSelectors(std::string_view text) {
  std::size_t count = 0;
  std::size_t selector_start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '{') {
      count += 1 + static_cast<std::size_t>(
                       std::count(text.begin() + selector_start, text.begin() + i, ','));
    } else if (text[i] == '}' || text[i] == ';') {
      selector_start = i + 1;
    }
  }
  return count;
}

void PushBounded(std::vector<AppliedRule>& stack, AppliedRule entry) {
  if (stack.size() < kStackDepth) {
    stack.push_back(entry);
  } else {
    stack.back() = entry;
  }
}

// Removes the most recent entry of `type`; returns its rule index or -1.
int PopRuleOfType(std::vector<AppliedRule>& stack, int type) {
  for (std::size_t i = stack.size(); i-- > 0;) {
    if (stack[i].element_type == type) {
      const int rule = stack[i].rule;
      stack.erase(stack.begin() + static_cast<std::ptrdiff_t>(i));
      return rule;
    }
  }
  return -1;
}

bool TypeInRange(int type) { return type >= 0 && type < kElementTypeCount; }

char AlignmentLetter(const std::string& word) { return word.size() >= 3 ? word[2] : 'j'; }

void SetAlignment(TagLoopState& s, char letter) {
  s.alignment_string = StringF(R"(\q%c )", letter);
}

// Whether an element whose tag ends at `tag_end` has something to show: text outside
// tags or a picture before its end tag (nested elements of its kind are skipped).
bool HasVisibleContent(std::string_view in, std::size_t tag_end, int type) {
  std::string_view start_tag, end_tag;
  if (type == kElementSpan) {
    start_tag = "<span";
    end_tag = "</span>";
  } else if (type == kElementDiv) {
    start_tag = "<div";
    end_tag = "</div>";
  }
  int depth = 0;
  std::size_t p = tag_end + 1;
  while (p < in.size()) {
    if (in[p] != '<') {
      if (static_cast<unsigned char>(in[p]) > 32) return true;
      ++p;
      continue;
    }
    if (LooksAtNoCase(in, p, "<img") && p + 4 < in.size() &&
        (in[p + 4] == ' ' || in[p + 4] == '\n')) {
      return true;
    }
    if (!end_tag.empty() && LooksAtNoCase(in, p, end_tag)) {
      if (depth == 0) return false;
      --depth;
    } else if (!start_tag.empty() && LooksAtNoCase(in, p, start_tag) &&
               p + start_tag.size() < in.size() &&
               IsOneOf(static_cast<unsigned char>(in[p + start_tag.size()]), "> \n")) {
      ++depth;
    }
    const std::size_t close = in.find('>', p);
    if (close == std::string_view::npos) return false;
    p = close + 1;
  }
  return false;
}

// The font a closed rule goes back to: the most recent class rule that sets one, else
// the font tag's font, else the body font, else the default font.
void WriteFontToGoBackTo(Conversion& c) {
  const StyleSheet& sheet = c.sheet;
  for (std::size_t i = sheet.class_stack.size(); i-- > 0;) {
    const StyleRule& rule = sheet.rules[sheet.class_stack[i].rule];
    if (rule.has[kPropFontFamily] && rule.font < 25) {
      AppendF(c.output, R"(\f%d )", rule.font + 2);
      return;
    }
  }
  if (c.loop.font_active) {
    c.output += c.loop.font_string;
    return;
  }
  const StyleRule* body = BodyRule(sheet);
  if (body != nullptr && body->has[kPropFontFamily] && body->font < 25) {
    AppendF(c.output, R"(\f%d )", body->font + 2);
    return;
  }
  c.output += R"(\f0 )";
}

}  // namespace

bool NamesMonospace(std::string_view families) {
  const std::string lower = Lower(families.substr(0, 200));
  for (const std::string_view name : {"mono", "courier", "consolas", "menlo", "monaco"}) {
    if (Contains(lower, name)) return true;
  }
  return false;
}

int MonospaceFontIndex(FontTable& fonts) { return FindFontIndex("Courier New", fonts); }

void IndexRules(StyleSheet& sheet) {
  for (auto& list : sheet.by_type) list.clear();
  for (auto& list : sheet.conditional_by_type) list.clear();
  sheet.by_name.clear();
  sheet.conditional_by_name.clear();
  sheet.by_lower_name.clear();
  sheet.merged.clear();
  sheet.merged_by_type.fill(StyleSheet::kNotMerged);
  for (std::size_t i = 0; i < sheet.rules.size(); ++i) {
    const StyleRule& rule = sheet.rules[i];
    const int index = static_cast<int>(i);
    const bool conditional = sheet.conditions.count(index) != 0;
    if (rule.name.empty()) {
      if (TypeInRange(rule.element_type)) {
        (conditional ? sheet.conditional_by_type : sheet.by_type)[rule.element_type].push_back(
            index);
      }
      continue;
    }
    if (conditional) {
      sheet.conditional_by_name[rule.name].push_back(index);
      continue;
    }
    sheet.by_name[rule.name].push_back(index);
    sheet.by_lower_name[Lower(rule.name)].push_back(index);
  }
}

namespace {

// Appends the rules of `list` that select an element of `type`: element rules (`names`
// empty) or, for class and id rules, those for any element (`specific` false) or for
// this type. With `checks` (rules with conditions) only rules whose conditions hold count,
// and no more than the budget is tried.
void CollectMatches(const StyleSheet& sheet, const std::vector<int>& list, int type,
                    bool class_rules, bool specific, const std::vector<std::string>& names,
                    int* checks, std::vector<int>& matches) {
  for (const int index : list) {
    const int rule_type = sheet.rules[static_cast<std::size_t>(index)].element_type;
    if (class_rules &&
        !(specific ? rule_type == type && type != kElementAny : rule_type == kElementAny)) {
      continue;
    }
    if (checks != nullptr) {
      if (--*checks < 0) return;
      if (!ConditionsHold(sheet, sheet.conditions.at(index), names)) continue;
    }
    matches.push_back(index);
  }
}

}  // namespace

int MatchRule(StyleSheet& sheet, int type, const std::vector<std::string>& names) {
  // Results are kept for this many distinct elements (type and names); past that they are
  // worked out each time, and several matching rules give the first.
  constexpr std::size_t kMaxMerged = 4096;
  // Rules with conditions are tried up to this many per element, in sheet order: a sheet
  // of very many selectors ending alike ("div.cN p") cannot make every element try them all.
  constexpr int kMaxConditionChecks = 256;
  if (names.empty() && !TypeInRange(type)) return -1;
  const bool element_only = names.empty() && (sheet.conditions.empty() ||
                                              sheet.conditional_by_type[type].empty());
  if (element_only && sheet.merged_by_type[type] != StyleSheet::kNotMerged) {
    return sheet.merged_by_type[type];
  }

  std::string key = std::to_string(type);
  for (const std::string& name : names) (key += '\0') += name;
  // Whether rules with conditions can select the element.
  bool conditional = false;
  if (!sheet.conditions.empty()) {
    if (names.empty()) {
      conditional = !sheet.conditional_by_type[type].empty();
    } else {
      for (const std::string& name : names) {
        conditional = conditional || sheet.conditional_by_name.count(name) != 0;
      }
    }
  }
  if (!conditional) {
    if (const auto found = sheet.merged.find(key); found != sheet.merged.end()) return found->second;
  }

  std::vector<int> matches;
  int checks = kMaxConditionChecks;
  if (names.empty()) {
    CollectMatches(sheet, sheet.by_type[type], type, false, false, names, nullptr, matches);
    if (conditional) {
      CollectMatches(sheet, sheet.conditional_by_type[type], type, false, false, names, &checks,
                     matches);
    }
    std::sort(matches.begin(), matches.end());
  } else {
    // Rules for any element first, then those for this element type (more specific),
    // each in sheet order.
    for (const bool specific : {false, true}) {
      const std::size_t start = matches.size();
      for (const std::string& name : names) {
        if (const auto found = sheet.by_name.find(name); found != sheet.by_name.end()) {
          CollectMatches(sheet, found->second, type, true, specific, names, nullptr, matches);
        }
        if (!conditional) continue;
        if (const auto found = sheet.conditional_by_name.find(name);
            found != sheet.conditional_by_name.end()) {
          CollectMatches(sheet, found->second, type, true, specific, names, &checks, matches);
        }
      }
      std::sort(matches.begin() + static_cast<std::ptrdiff_t>(start), matches.end());
      matches.erase(std::unique(matches.begin() + static_cast<std::ptrdiff_t>(start), matches.end()),
                    matches.end());
    }
  }

  int result = matches.empty() ? -1 : matches[0];
  if (conditional) {
    // Which rules with conditions hold depends on the elements around.
    key += '\1';
    for (const int index : matches) {
      if (sheet.conditions.count(index) != 0) (key += std::to_string(index)) += ',';
    }
    if (matches.size() <= 1) return result;
    if (const auto found = sheet.merged.find(key); found != sheet.merged.end()) return found->second;
  }
  if (sheet.merged.size() >= kMaxMerged) return result;
  if (matches.size() >= 2) {
    StyleRule merged = sheet.rules[static_cast<std::size_t>(matches[0])];
    for (std::size_t i = 1; i < matches.size(); ++i) {
      MergeRule(merged, sheet.rules[static_cast<std::size_t>(matches[i])]);
    }
    merged.name = "\x01";  // no class or id is called so
    result = static_cast<int>(sheet.rules.size());
    sheet.rules.push_back(std::move(merged));
  }
  sheet.merged.emplace(std::move(key), result);
  if (element_only) sheet.merged_by_type[type] = result;
  return result;
}

int ScaledToBody(const Conversion& c, int css_half_points) {
  const double points = css_half_points / 2.0 * c.base_size / c.sheet.body_points;
  return std::max(1, static_cast<int>(points + 0.5));
}

bool StyleRule::Any() const { return std::find(has.begin(), has.end(), true) != has.end(); }

const StyleRule* BodyRule(const StyleSheet& sheet) {
  if (sheet.body_rule < 0 || static_cast<std::size_t>(sheet.body_rule) >= sheet.rules.size()) {
    return nullptr;
  }
  return &sheet.rules[sheet.body_rule];
}

bool ParseDeclarations(std::string_view text, std::size_t& pos, StyleRule& rule, FontTable& fonts,
                       ColorTable& colors) {
  const std::size_t block_end = std::min(text.find('}', pos), text.size());
  const std::string_view block = text.substr(0, block_end);
  while (pos < block.size() && block[pos] == '{') ++pos;
  bool allow_blanks = false;
  while (pos < block.size()) {
    std::string_view name = ReadName(block, pos, allow_blanks);
    TrimTrailingBlanks(name);
    while (pos < block.size() && (static_cast<unsigned char>(block[pos]) <= 32 ||
                                  block[pos] == ':' || block[pos] == ';')) {
      ++pos;
    }
    if (name.empty()) continue;
    // Lowered in place and compared as a view: a length that differs settles most
    // comparisons at once, and no name is copied to the heap.
    char lower_name[kMaxToken];
    for (std::size_t i = 0; i < name.size(); ++i) lower_name[i] = AsciiLower(name[i]);
    const std::string_view property(lower_name, name.size());

    if (property == "font-family") {
      const std::size_t value_start = pos;
      std::string_view family = ReadName(block, pos, true);
      TrimTrailingBlanks(family);
      const std::size_t value_end = std::min(block.find(';', value_start), block.size());
      const int index = NamesMonospace(block.substr(value_start, value_end - value_start))
                            ? MonospaceFontIndex(fonts)
                            : FindFontIndex(family, fonts);
      if (index >= 0) {
        rule.font = index;
        rule.has[kPropFontFamily] = true;
        // Only the bare generic name: a quoted "monospace" is a font's name.
        std::string_view value = block.substr(value_start, value_end - value_start);
        value = value.substr(0, value.find_first_of("}>"));
        value = Trim(value);
        while (!value.empty() && IsOneOf(static_cast<unsigned char>(value.back()), "\"' /")) {
          value.remove_suffix(1);
        }
        rule.generic_monospace = EqualsNoCase(value, "monospace");
      }
    } else if (property == "color") {
      const int index = ReadColorIndex(block, pos, colors);
      if (index >= 0) {
        rule.color = index;
        rule.has[kPropColor] = true;
      }
    } else if (property == "font-weight") {
      const std::string lowered = Lower(ReadName(block, pos, false));
      const std::string_view value = lowered;
      const int weight = FontWeight(value);
      if (weight >= 0) {
        rule.bold = weight;
        rule.has[kPropFontWeight] = true;
      }
    } else if (property == "font-size") {
      ReadFontSize(ReadNumberToken(block, pos), rule);
    } else if (property == "text-align" || property == "align") {
      const std::string lowered = Lower(ReadName(block, pos, false));
      const std::string_view value = lowered;
      if (!value.empty() && IsOneOf(static_cast<unsigned char>(value[0]), "cjlr")) {
        rule.align = value[0];
        rule.has[kPropTextAlign] = true;
      }
    } else if (property == "white-space") {
      const std::string value = Lower(ReadName(block, pos, false));
      if (!value.empty()) {
        rule.keeps_lines = value.compare(0, 3, "pre") == 0 || value == "break-spaces";
        rule.has[kPropWhiteSpace] = true;
      }
    } else if (property == "font-style") {
      const std::string value = Lower(ReadName(block, pos, false));
      if (value == "italic" || value == "oblique" || value == "normal") {
        rule.style = value[0] == 'n' ? 'n' : 'i';
        rule.has[kPropFontStyle] = true;
      }
    } else if (property == "margin-top") {
      rule.has[kPropMarginTop] =
          ReadMargin(block, pos, rule.margin_top) || rule.has[kPropMarginTop];
    } else if (property == "margin-bottom") {
      rule.has[kPropMarginBottom] =
          ReadMargin(block, pos, rule.margin_bottom) || rule.has[kPropMarginBottom];
    } else if (property == "margin-left") {
      rule.has[kPropMarginLeft] =
          ReadMargin(block, pos, rule.margin_left) || rule.has[kPropMarginLeft];
    } else if (property == "margin-right") {
      rule.has[kPropMarginRight] =
          ReadMargin(block, pos, rule.margin_right) || rule.has[kPropMarginRight];
    } else if (property == "background-color" || property == "background") {
      const int index = ReadColorIndex(block, pos, colors);
      if (index >= 0) {
        rule.background = index;
        rule.has[kPropBackground] = true;
      }
    } else if (property == "font") {
      ReadFontShorthand(block, pos, rule, colors);
    } else if (property == "top") {
      rule.has[kPropTop] = ReadPositive(block, pos, rule.top, nullptr) || rule.has[kPropTop];
    } else if (property == "left") {
      rule.has[kPropLeft] = ReadPositive(block, pos, rule.left, nullptr) || rule.has[kPropLeft];
    } else if (property == "width") {
      rule.has[kPropWidth] =
          ReadPositive(block, pos, rule.width, &rule.width_percent) || rule.has[kPropWidth];
    } else if (property == "text-decoration") {
      const std::string lowered = Lower(ReadName(block, pos, false));
      const std::string_view value = lowered;
      const char letter = value == "underline"      ? 'u'
                          : value == "none"         ? 'n'
                          : value == "line-through" ? 's'
                                                    : 0;
      if (letter != 0) {
        rule.decoration = letter;
        rule.has[kPropTextDecoration] = true;
      }
    } else if (property == "vertical-align") {
      const std::string lowered = Lower(ReadName(block, pos, false));
      const std::string_view value = lowered;
      if (value == "sub" || value == "super") {
        rule.vertical_align = value == "sub" ? 'b' : 'r';
        rule.has[kPropVerticalAlign] = true;
      }
    } else if (property == "page-break-before" || property == "page-break-after") {
      const std::string lowered = Lower(ReadName(block, pos, false));
      const std::string_view value = lowered;
      if (!value.empty()) {
        const int index =
            property == "page-break-before" ? kPropPageBreakBefore : kPropPageBreakAfter;
        (index == kPropPageBreakBefore ? rule.page_break_before : rule.page_break_after) =
            value == "avoid" ? 0 : 1;
        rule.has[index] = true;
      }
    } else if (property == "list-style-type") {
      const std::string lowered = Lower(ReadName(block, pos, false));
      const std::string_view value = lowered;
      for (std::size_t i = 0; i < std::size(kListStyles); ++i) {
        if (value == kListStyles[i]) {
          rule.list_style = static_cast<int>(i) + kListStyleNone;
          rule.has[kPropListStyleType] = true;
        }
      }
    } else if (property == "border") {
      const std::string value = ReadNumberToken(block, pos);
      if (Contains(value, "solid") || LeadingNumber(value) > 0) {
        rule.border = kBorderSet;
        rule.has[kPropBorder] = true;
      }
    } else if (property == "style") {
      allow_blanks = true;
      while (pos < block.size() && IsOneOf(static_cast<unsigned char>(block[pos]), " :=")) ++pos;
    }
  }
  return rule.Any();
}

void ParseStyleSheet(Conversion& c) {
  StyleSheet& sheet = c.sheet;
  sheet = StyleSheet{};
  if (!c.style_present || c.style_text.empty()) return;
  try {
    std::string text = c.style_text;
    BlankComments(text);
    sheet.rules.reserve(CountSelectors(text));
    const std::string_view css = text;
    std::size_t selector_start = 0;
    std::size_t open;
    while ((open = css.find('{', selector_start)) != std::string_view::npos) {
      // The selector is what follows the last "}" or ";" before the block.
      std::string_view selectors = css.substr(selector_start, open - selector_start);
      const std::size_t cut = selectors.find_last_of("};");
      if (cut != std::string_view::npos) selectors.remove_prefix(cut + 1);
      selectors = Trim(selectors);
      for (std::string_view marker : {"<!--", "-->"}) {
        if (selectors.substr(0, marker.size()) == marker)
          selectors = Trim(selectors.substr(marker.size()));
      }
      if (!selectors.empty() && selectors[0] == '@') {
        // A conditional group such as @media: its rules are read as ordinary ones,
        // unless the group is for media other than the screen (such as print).
        const bool media = EqualsNoCase(selectors.substr(0, 6), "@media");
        if (media && !Contains(Lower(selectors), "screen") && !Contains(Lower(selectors), "all")) {
          selector_start = GroupEnd(css, open);
          continue;
        }
        selector_start = open + 1;
        continue;
      }
      StyleRule declarations;
      std::size_t pos = open;
      ParseDeclarations(css, pos, declarations, c.fonts, c.colors);
      AddRules(sheet, selectors, declarations);
      const std::size_t close = css.find('}', open);
      if (close == std::string_view::npos) break;
      selector_start = close + 1;
    }
    IndexRules(sheet);
    const double root_points = sheet.root_half_points > 0 ? sheet.root_half_points / 2.0 : 12;
    sheet.body_points = root_points;
    sheet.document_size_absolute = sheet.root_half_points > 0;
    if (const StyleRule* body = BodyRule(sheet); body != nullptr && body->has[kPropFontSize]) {
      sheet.body_points =
          body->size_percent > 0 ? root_points * body->size_percent / 100 : body->size / 2.0;
      sheet.document_size_absolute = sheet.document_size_absolute || body->size_absolute;
    }
  } catch (const std::bad_alloc&) {
    // Without memory for the rules the document is converted without them.
    sheet = StyleSheet{};
  }
}

namespace {

// Whether the rule keeps the element's line breaks and blanks. Paragraphs are left out:
// their end tag is often missing, and kept lines would then run on to the end of the page.
bool KeepsLines(const StyleRule& rule, int type) {
  return rule.has[kPropWhiteSpace] && rule.keeps_lines && type != kElementP;
}

void ApplySpacing(ParagraphSpacing& spacing, const StyleRule& rule, std::string& out,
                  bool& after_control_word) {
  const auto& has = rule.has;
  if (has[kPropMarginTop]) {
    spacing.space_before = static_cast<int>(rule.margin_top);
    AppendF(out, R"(\sb%d )", spacing.space_before);
    after_control_word = false;
  }
  if (has[kPropMarginBottom]) spacing.space_after = static_cast<int>(rule.margin_bottom);
  if (has[kPropMarginLeft]) spacing.left_indent = static_cast<int>(rule.margin_left);
  if (has[kPropMarginRight]) spacing.right_indent = static_cast<int>(rule.margin_right);
}

}  // namespace

void ApplyStyleRule(Conversion& c, const StyleRule& rule, int type, std::size_t tag_end) {
  TagLoopState& s = c.loop;
  StyleSheet& sheet = c.sheet;
  const ConversionOptions& o = c.options;
  std::string& out = c.output.text();
  const auto& has = rule.has;

  if (!sheet.positioned.open && has[kPropTop] && has[kPropLeft] && has[kPropWidth]) {
    PositionedBlock& block = sheet.positioned;
    const long long page = o.orientation == 1 ? o.paper_height : o.paper_width;
    block.x = static_cast<int>(std::min<long long>(1LL * rule.left * kTwipsPerPixel, 1 << 30));
    block.y = static_cast<int>(std::min<long long>(1LL * rule.top * kTwipsPerPixel, 1 << 30));
    block.width = static_cast<int>(page - block.x);
    block.height = kPositionedHeight;
    if (HasVisibleContent(c.input, tag_end, type)) {
      AppendF(out, R"({\pard\plain\posx%d\posy%d\absw%d\absh%d )", block.x, block.y, block.width,
              block.height);
      block.open = true;
      s.after_control_word = true;
    }
  }
  if ((has[kPropPageBreakBefore] && rule.page_break_before == 1) ||
      (has[kPropPageBreakAfter] && rule.page_break_after == 1 &&
       (type == kElementHr || type == kElementBr))) {
    out += kPageBreak;
    s.after_control_word = false;
  }
  // A line break or a rule has no text of its own: its font, colours and decoration would
  // only leak into the text after it, since they are never closed.
  if (type == kElementHr || type == kElementBr) {
    if (o.keep_alignment && has[kPropTextAlign]) SetAlignment(s, rule.align);
    ApplySpacing(s.paragraph_spacing, rule, out, s.after_control_word);
    return;
  }
  if (KeepsLines(rule, type)) {
    ++s.kept_lines_depth;
    UpdatePreservedWhiteSpace(s);
  }
  if (has[kPropFontFamily]) {
    sheet.last_font.family = true;
    sheet.last_font.generic_monospace = rule.generic_monospace;
  }
  if (has[kPropFontSize]) {
    sheet.last_font.size = true;
    sheet.last_font.size_absolute = rule.size_percent == 0 && rule.size_absolute;
  }
  if (o.keep_font_face && has[kPropFontFamily] && rule.font < 25) {
    AppendF(out, R"(\f%d )", rule.font + 2);
    s.after_control_word = true;
  }
  if (o.keep_font_color && has[kPropColor]) {
    if (s.colour_active && s.colour_stack.size() < kStackDepth) {
      const std::string& word = s.colour_string;
      const bool numbered = word.size() > 3 && std::isdigit(static_cast<unsigned char>(word[3]));
      s.colour_stack.push_back(numbered ? std::atoi(word.c_str() + 3) : 1);
    }
    s.colour_string = StringF(R"(\cf%d )", rule.color + 3);
    s.colour_active = true;
    out += s.colour_string;
    s.after_control_word = true;
  }
  if (has[kPropFontWeight]) {
    // A group either way, so that the weight around the element comes back after it.
    out += rule.bold == 1 ? R"({\b )" : R"({\b0 )";
    sheet.bold_groups = sheet.bold_groups < 0 ? 1 : sheet.bold_groups + 1;
    s.after_control_word = true;
  }
  if (o.keep_font_size && has[kPropFontSize]) {
    // The size in effect comes back when the element closes (lines and rules never do).
    if (type != kElementBr && type != kElementHr) {
      if (sheet.size_stack.size() < kStackDepth) {
        sheet.size_stack.push_back(s.current_size);
      } else {
        sheet.size_stack.back() = s.current_size;
      }
    }
    // A percentage scales the size in effect ("100%" keeps it); an absolute size stands
    // to the body text as it does in a browser.
    s.current_size = rule.size_percent > 0
                         ? std::max(1, (s.current_size * rule.size_percent + 50) / 100)
                         : ScaledToBody(c, rule.size);
    s.size_string = StringF(R"(\fs%d )", s.current_size * 2);
    out += s.size_string;
    s.after_control_word = true;
  }
  if (o.keep_alignment && has[kPropTextAlign]) SetAlignment(s, rule.align);
  if (has[kPropFontStyle]) {
    // "normal" is a group too: it ends the italic of an em or a class around the element.
    out += rule.style == 'i' ? R"({\i )" : R"({\i0 )";
    sheet.italic_groups = sheet.italic_groups < 0 ? 1 : sheet.italic_groups + 1;
    if (rule.style != 'i') sheet.last_font.upright = true;
    s.after_control_word = true;
  }
  ApplySpacing(s.paragraph_spacing, rule, out, s.after_control_word);
  if (o.keep_background_color && has[kPropBackground] && type != kElementCell) {
    AppendF(out, R"(\chcbpat%d )", rule.background + 3);
    s.after_control_word = true;
  }
  if (has[kPropTextDecoration]) {
    out += rule.decoration == 'u'   ? R"({\ul )"
           : rule.decoration == 'n' ? R"({\ul0 )"
                                    : R"({\strike )";
    sheet.decoration_groups = sheet.decoration_groups < 0 ? 1 : sheet.decoration_groups + 1;
    s.after_control_word = true;
  }
  if (has[kPropVerticalAlign]) {
    out += rule.vertical_align == 'b' ? R"({\sub )" : R"({\super )";
    sheet.vertical_groups = sheet.vertical_groups < 0 ? 1 : sheet.vertical_groups + 1;
    s.after_control_word = true;
  }
}

void CloseStyleRule(Conversion& c, const StyleRule& rule, int type, bool /*from_class_stack*/,
                    int default_size) {
  TagLoopState& s = c.loop;
  StyleSheet& sheet = c.sheet;
  const ConversionOptions& o = c.options;
  std::string& out = c.output.text();
  const auto& has = rule.has;
  // Closing braces end no control word; control words end in the blank that ends them.
  auto close_group = [&](int& counter) {
    if (counter > 0) {
      out += "}";
      --counter;
      s.after_control_word = false;
    }
  };

  if (sheet.positioned.open && has[kPropTop] && has[kPropLeft] && has[kPropWidth]) {
    out += R"(\par})";
    sheet.positioned.open = false;
    s.after_control_word = false;
  }
  if (KeepsLines(rule, type) && s.kept_lines_depth > 0) {
    --s.kept_lines_depth;
    UpdatePreservedWhiteSpace(s);
  }
  if (has[kPropFontWeight] || type == kElementCell) {
    close_group(sheet.bold_groups);
  }
  if (o.keep_font_face && has[kPropFontFamily]) {
    WriteFontToGoBackTo(c);
    s.after_control_word = true;
  }
  if (o.keep_font_size && has[kPropFontSize]) {
    int size = default_size;
    if (!sheet.size_stack.empty()) {
      size = sheet.size_stack.back();
      sheet.size_stack.pop_back();
    }
    if (size != s.current_size) {
      s.current_size = size;
      s.size_string = StringF(R"(\fs%d )", 2 * size);
      out += s.size_string;
      s.after_control_word = true;
    }
  }
  if (has[kPropFontStyle] || type == kElementCell) {
    close_group(sheet.italic_groups);
  }
  if (o.keep_font_color && has[kPropColor]) {
    if (s.colour_stack.empty()) {
      const StyleRule* body = BodyRule(sheet);
      s.colour_string = body != nullptr && body->has[kPropColor]
                            ? StringF(R"(\cf%d )", body->color + 3)
                        : sheet.body_text_colour >= 0
                            ? StringF(R"(\cf%d )", sheet.body_text_colour + 3)
                            : std::string(R"(\cf1 )");
      s.colour_active = false;
    } else {
      s.colour_string = StringF(R"(\cf%d )", s.colour_stack.back());
      s.colour_stack.pop_back();
    }
    out += s.colour_string;
    s.after_control_word = true;
  }
  if (o.keep_background_color && has[kPropBackground] && type != kElementCell) {
    out += R"(\chcbpat0 )";
    s.after_control_word = true;
  }
  if (has[kPropTextDecoration]) close_group(sheet.decoration_groups);
  if (has[kPropVerticalAlign]) close_group(sheet.vertical_groups);
  if (has[kPropPageBreakAfter] && rule.page_break_after == 1) {
    out += kPageBreak;
    s.after_control_word = false;
  }
}

void OpenElementStyle(Conversion& c, std::size_t tag_pos, int type, bool in_cell) {
  TagLoopState& s = c.loop;
  StyleSheet& sheet = c.sheet;
  const ConversionOptions& o = c.options;
  const std::string_view in = c.input;
  if (in.empty()) return;

  if (type == kElementDiv || type == kElementP || type == kElementCell) {
    if (s.alignment_stack.size() < kStackDepth)
      s.alignment_stack.push_back(AlignmentLetter(s.alignment_string));
    if (!in_cell) s.alignment_string = std::string(DefaultAlignmentWord(o));
  }

  sheet.last_font = StyleSheet::AppliedFont{};

  // The tag's own text, behind "<" up to ">".
  const std::size_t close = in.find('>', tag_pos);
  const std::size_t tag_end = close == std::string_view::npos ? in.size() - 1 : close;
  const std::size_t text_start = std::min(tag_pos + 1, tag_end);
  const std::string_view tag = in.substr(text_start, std::min(tag_end - text_start, kMaxTagText));
  c.pos = std::max(c.pos, tag_end);

  // class, id and align attributes.
  std::vector<std::string> names;
  for (std::size_t i = 0; i < tag.size(); ++i) {
    const bool boundary = i == 0 || IsOneOf(static_cast<unsigned char>(tag[i - 1]), " \"'\n\t");
    std::size_t value_pos;
    if (boundary && (LooksAtNoCase(tag, i, "class=") || LooksAtNoCase(tag, i, "class "))) {
      value_pos = i + 5;
    } else if (boundary && LooksAtNoCase(tag, i, "id=")) {
      value_pos = i + 2;
    } else if (o.keep_alignment && i > 0 && tag[i - 1] == ' ' && LooksAtNoCase(tag, i, "align=")) {
      std::size_t p = i + 6;
      while (p < tag.size() && IsOneOf(static_cast<unsigned char>(tag[p]), "\"' ")) ++p;
      std::string value;
      while (p < tag.size() && !IsOneOf(static_cast<unsigned char>(tag[p]), "\"' >")) {
        value += AsciiLower(tag[p++]);
      }
      if (value == "center" || value == "middle") SetAlignment(s, 'c');
      if (value == "left") SetAlignment(s, 'l');
      if (value == "right") SetAlignment(s, 'r');
      if (value == "justify") SetAlignment(s, 'j');
      i = p > i ? p - 1 : i;
      continue;
    } else {
      continue;
    }
    std::size_t p = value_pos;
    while (p < tag.size() && IsOneOf(static_cast<unsigned char>(tag[p]), " \"'=")) ++p;
    // A quoted class value holds names separated by blanks.
    const bool quoted = p > value_pos && IsOneOf(static_cast<unsigned char>(tag[p - 1]), "\"'");
    while (p < tag.size()) {
      std::string name;
      while (p < tag.size() && name.size() < kMaxClassName) {
        const unsigned char ch = static_cast<unsigned char>(tag[p]);
        if (ch < 32 || IsOneOf(ch, " \"'>")) break;
        name += static_cast<char>(ch);
        ++p;
      }
      while (p < tag.size() && static_cast<unsigned char>(tag[p]) >= 32 &&
             !IsOneOf(static_cast<unsigned char>(tag[p]), " \"'>")) {
        ++p;  // the rest of a name too long to keep
      }
      if (!name.empty() && names.size() < kMaxNames) names.push_back(std::move(name));
      if (!quoted) break;
      while (p < tag.size() && (tag[p] == ' ' || tag[p] == '\t' || tag[p] == '\n')) ++p;
      if (p >= tag.size() || IsOneOf(static_cast<unsigned char>(tag[p]), "\"'>")) break;
    }
    i = p > i ? p - 1 : i;
  }

  // Line breaks and rules are never closed; their styles are applied, not kept.
  const bool kept = type != kElementBr && type != kElementHr;

  // The element rule, then the class and id rules. Header cells have rules of their own.
  const int selected_type =
      type == kElementCell && tag.size() >= 2 && AsciiLower(tag[1]) == 'h' ? kElementTh : type;
  if (const int element_rule = MatchRule(sheet, selected_type, {}); element_rule >= 0) {
    if (kept) PushBounded(sheet.element_stack, {element_rule, type});
    ApplyStyleRule(c, sheet.rules[static_cast<std::size_t>(element_rule)], type, tag_end);
  }
  if (!names.empty()) {
    if (const int class_rule = MatchRule(sheet, selected_type, names); class_rule >= 0) {
      const StyleRule& rule = sheet.rules[static_cast<std::size_t>(class_rule)];
      if (kept) PushBounded(sheet.class_stack, {class_rule, type});
      sheet.last_class_flags = rule.has;
      ApplyStyleRule(c, rule, type, tag_end);
      if (kept && TypeInRange(type)) ++sheet.open_class_rules[type];
    }
  }
  if (kept && !sheet.conditions.empty()) {
    constexpr std::size_t kMaxOpenElements = 256;
    if (sheet.open_elements.size() < kMaxOpenElements) {
      sheet.open_elements.push_back({type, selected_type, std::move(names)});
    } else {
      ++sheet.open_elements_dropped;
    }
  }
  if (type == kElementFont) return;  // the font tag reads its own attributes

  // The tag's own declarations.
  InlineSlot slot;
  std::size_t p = 0;
  if (ParseDeclarations(tag, p, slot.rule, c.fonts, c.colors)) {
    slot.element_type = type;
    ApplyStyleRule(c, slot.rule, type, tag_end);
    if (kept) {
      if (sheet.inline_stack.size() < kStackDepth) {
        sheet.inline_stack.push_back(std::move(slot));
      } else {
        sheet.inline_stack.back() = std::move(slot);
      }
    }
  }
}

void CloseElementStyle(Conversion& c, int type, int default_size) {
  TagLoopState& s = c.loop;
  StyleSheet& sheet = c.sheet;

  // The element leaves the open elements, with those left open inside it.
  if (sheet.open_elements_dropped > 0) {
    --sheet.open_elements_dropped;
  } else {
    for (std::size_t i = sheet.open_elements.size(); i-- > 0;) {
      if (sheet.open_elements[i].type != type) continue;
      sheet.open_elements.resize(i);
      break;
    }
  }

  const int element_rule = PopRuleOfType(sheet.element_stack, type);
  if (element_rule >= 0) CloseStyleRule(c, sheet.rules[element_rule], type, false, default_size);

  // The element's own declarations; those of elements left open inside it close first.
  for (std::size_t i = sheet.inline_stack.size(); i-- > 0;) {
    if (sheet.inline_stack[i].element_type != type) continue;
    while (sheet.inline_stack.size() > i) {
      const InlineSlot slot = std::move(sheet.inline_stack.back());
      sheet.inline_stack.pop_back();
      CloseStyleRule(c, slot.rule, slot.element_type, false, default_size);
    }
    break;
  }

  if (type == kElementDiv || type == kElementP || type == kElementCell) {
    // Back to the alignment saved when the element opened.
    if (!s.alignment_stack.empty()) {
      SetAlignment(s, s.alignment_stack.back());
      s.alignment_stack.pop_back();
    }
  }

  if (type != kElementCell) {
    if (!TypeInRange(type) || sheet.open_class_rules[type] <= 0) return;
    --sheet.open_class_rules[type];
  }
  const int class_rule = PopRuleOfType(sheet.class_stack, type);
  if (class_rule >= 0) {
    CloseStyleRule(c, sheet.rules[class_rule], type, true, default_size);
  } else if (type == kElementCell) {
    CloseStyleRule(c, StyleRule{}, type, true, default_size);  // closes open bold and italic groups
  }
}

}  // namespace velmorane
