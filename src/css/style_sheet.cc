// Style rules: the declaration parser shared by style sheets, style attributes and
// plain attributes; the style sheet parser; and the matching of rules to elements.
#include "css/style_sheet.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <new>

#include "base/append.h"
#include "base/text_match.h"
#include "css/font_color.h"

namespace velmorane {

namespace {

// Tokens are cut to this many bytes.
constexpr std::size_t kMaxToken = 41;
// A single selector keeps at most 39 characters; a class or id name at most 40.
constexpr std::size_t kMaxSelector = 39;
constexpr std::size_t kMaxRuleName = 40;
// Sizes are accepted above 0.5 and below 200 points; margins from 0 to 12500 twips.
constexpr double kMinPoints = 0.5;
constexpr double kMaxPoints = 200;
constexpr long long kMaxMargin = 12500;
// Pixels to twips after the factor 20 (a pixel is 15 twips).
constexpr double kPixelMarginFactor = 0.7500187504687618;

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
      if (IsElementType(rule.element_type)) {
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
  if (names.empty() && !IsElementType(type)) return -1;
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

void ParseStyleText(std::string_view css_text, StyleSheet& sheet, FontTable& fonts,
                    ColorTable& colors) {
  sheet = StyleSheet{};
  if (css_text.empty()) return;
  try {
    std::string text(css_text);
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
      ParseDeclarations(css, pos, declarations, fonts, colors);
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

}  // namespace velmorane
