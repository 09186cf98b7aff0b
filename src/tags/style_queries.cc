// What other stages ask of the parsed style sheet: the body rule for the prologue and a
// class's list style for the list handlers.
#include "core/conversion.h"
#include "core/prologue.h"
#include "tags/lists.h"
#include "tags/style_sheet.h"

namespace velmorane {

std::optional<BodyStyle> BodyStyleOf(const Conversion& c) {
  const StyleRule* rule = BodyRule(c.sheet);
  if (rule == nullptr) return std::nullopt;
  BodyStyle body;
  if (rule->has[kPropFontFamily]) body.font = rule->font;
  if (rule->has[kPropColor]) body.color = rule->color;
  if (rule->has[kPropFontSize]) body.size_half_points = rule->size;
  return body;
}

int RuleListStyle(const Conversion& c, std::string_view class_name, int element_type) {
  for (const StyleRule& rule : c.sheet.rules) {
    if (rule.name != class_name) continue;
    if (rule.element_type != element_type && rule.element_type != kElementAny) continue;
    return rule.has[kPropListStyleType] ? rule.list_style : 0;
  }
  return 0;
}

}  // namespace velmorane
