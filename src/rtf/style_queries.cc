// What other stages ask of the parsed style sheet: the body rule for the prologue and a
// class's list style for the list handlers.
#include "base/text_match.h"
#include "rtf/conversion.h"
#include "rtf/lists.h"
#include "rtf/prologue.h"
#include "rtf/style_rules.h"
#include "rtf/tables/tables.h"

#include <algorithm>
#include <string>
#include <vector>

namespace velmorane {

std::optional<BodyStyle> BodyStyleOf(const Conversion& c) {
  const StyleRule* rule = BodyRule(c.sheet);
  // The body tag's text attribute gives the colour when no rule does.
  BodyStyle body;
  body.color = c.sheet.body_text_colour;
  if (rule == nullptr) {
    if (body.color < 0) return std::nullopt;
    return body;
  }
  if (rule->has[kPropFontFamily]) body.font = rule->font;
  if (rule->has[kPropColor]) body.color = rule->color;
  if (rule->has[kPropFontSize]) body.size_half_points = rule->size;
  return body;
}

int RuleListStyle(const Conversion& c, std::string_view class_name, int element_type) {
  const auto found = c.sheet.by_name.find(std::string(class_name));
  if (found == c.sheet.by_name.end()) return 0;
  for (const int index : found->second) {
    const StyleRule& rule = c.sheet.rules[static_cast<std::size_t>(index)];
    if (rule.element_type != element_type && rule.element_type != kElementAny) continue;
    return rule.has[kPropListStyleType] ? rule.list_style : 0;
  }
  return 0;
}

namespace {

// The class names of a tag's class attribute (at most eight).
std::vector<std::string> TagClassNames(std::string_view tag) {
  std::vector<std::string> names;
  for (std::size_t i = 1; i < tag.size(); ++i) {
    if (!IsAnyOf(" \n\t\"'", tag[i - 1]) || !AtNoCase(tag, i, "class=")) continue;
    std::size_t pos = i + 6;
    const std::string value = ReadAttributeValue(tag, pos);
    std::size_t start = 0;
    while (start < value.size()) {
      std::size_t end = value.find(' ', start);
      if (end == std::string::npos) end = value.size();
      if (end > start && names.size() < 8) names.push_back(value.substr(start, end - start));
      start = end + 1;
    }
    break;
  }
  return names;
}

// The tag's class rules, else its element rule, that set `property`; nullptr when none.
const StyleRule* TagRuleWith(Conversion& c, std::string_view tag, int element_type,
                             int property) {
  const std::vector<std::string> names = TagClassNames(tag);
  for (const bool by_name : {true, false}) {
    if (by_name && names.empty()) continue;
    const int rule = MatchRule(c.sheet, element_type, by_name ? names : std::vector<std::string>{});
    if (rule < 0) continue;
    const StyleRule& found = c.sheet.rules[static_cast<std::size_t>(rule)];
    if (found.has[property]) return &found;
  }
  return nullptr;
}

}  // namespace

int TagBackground(Conversion& c, std::string_view tag, int element_type) {
  for (std::size_t i = 1; i < tag.size(); ++i) {
    if (!IsAnyOf(" \n\t\"';", tag[i - 1])) continue;
    const std::size_t key = AtNoCase(tag, i, "bgcolor=")            ? 8
                            : AtNoCase(tag, i, "background-color:") ? 17
                            : AtNoCase(tag, i, "background:")       ? 11
                                                                    : 0;
    if (key == 0) continue;
    std::size_t pos = i + key;
    std::string digits;
    if (ParseColor(tag, pos, digits)) {
      const int index = c.colors.Find(digits);
      if (index >= 0) return index + 3;
    }
  }
  const StyleRule* rule = TagRuleWith(c, tag, element_type, kPropBackground);
  return rule != nullptr ? rule->background + 3 : 0;
}

int TagFontSize(Conversion& c, std::string_view tag, int element_type) {
  StyleRule own;
  for (std::size_t i = 1; i < tag.size(); ++i) {
    if (!IsAnyOf(" \n\t\"'", tag[i - 1]) || !AtNoCase(tag, i, "style=")) continue;
    std::size_t pos = i + 6;
    const std::string value = ReadAttributeValue(tag, pos);
    std::size_t at = 0;
    ParseDeclarations(value, at, own, c.fonts, c.colors);
    break;
  }
  const StyleRule* rule =
      own.has[kPropFontSize] ? &own : TagRuleWith(c, tag, element_type, kPropFontSize);
  if (rule == nullptr) return 0;
  if (rule->size_percent > 0) {
    return std::max(1, (c.loop.current_size * rule->size_percent + 50) / 100);
  }
  return ScaledToBody(c, rule->size);
}

bool FindCellRule(const Conversion& c, std::string_view name, CellRuleValues& values) {
  std::string lower(name);
  for (char& ch : lower) ch = AsciiLower(ch);
  const auto found = c.sheet.by_lower_name.find(lower);
  if (found == c.sheet.by_lower_name.end()) return false;
  for (const int index : found->second) {
    const StyleRule& rule = c.sheet.rules[static_cast<std::size_t>(index)];
    if (rule.element_type != kElementCell && rule.element_type != kElementTh &&
        rule.element_type != kElementAny) {
      continue;
    }
    values.has_background = rule.has[kPropBackground];
    values.background = rule.background;
    values.has_width = rule.has[kPropWidth];
    values.width = rule.width;
    values.width_percent = rule.width_percent;
    values.has_border = rule.has[kPropBorder];
    return true;
  }
  return false;
}

}  // namespace velmorane
