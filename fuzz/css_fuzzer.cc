// The style-sheet parser on arbitrary style text, and the declaration reader on the same
// bytes as a tag's attribute text. Checks that the tables and rules stay in their bounds.
#include <cstdint>
#include <string>

#include "base/options.h"
#include "fuzz_support.h"
#include "rtf/conversion.h"
#include "rtf/style_rules.h"

namespace {

using velmorane::StyleRule;

void CheckRule(const StyleRule& rule, const velmorane::FontTable& fonts,
               const velmorane::ColorTable& colors) {
  if (rule.name.size() > 40) velmorane::fuzz::Fail("rule name longer than 40 bytes");
  if (rule.has[velmorane::kPropFontFamily] &&
      (rule.font < 0 || static_cast<std::size_t>(rule.font) >= fonts.size())) {
    velmorane::fuzz::Fail("font index outside the font table");
  }
  if (rule.has[velmorane::kPropColor] &&
      (rule.color < 0 || static_cast<std::size_t>(rule.color) >= colors.size())) {
    velmorane::fuzz::Fail("colour index outside the colour table");
  }
  if (rule.has[velmorane::kPropBackground] &&
      (rule.background < 0 || static_cast<std::size_t>(rule.background) >= colors.size())) {
    velmorane::fuzz::Fail("background index outside the colour table");
  }
}

void CheckTables(const velmorane::FontTable& fonts, const velmorane::ColorTable& colors) {
  if (fonts.size() > velmorane::FontTable::kMaxFonts) velmorane::fuzz::Fail("font table overfull");
  if (colors.size() > velmorane::ColorTable::kMaxColors) {
    velmorane::fuzz::Fail("colour table overfull");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  velmorane::CarryOver carry;
  velmorane::ConvertRequest request;
  velmorane::ConversionOptions options{};
  velmorane::EngineSettings settings;
  velmorane::InitEngineSettings(settings);

  {
    velmorane::Conversion conversion(carry, request, options, settings);
    conversion.style_text = text;
    conversion.style_present = true;
    velmorane::ParseStyleSheet(conversion);
    CheckTables(conversion.fonts, conversion.colors);
    const auto& sheet = conversion.sheet;
    const auto rules = static_cast<int>(sheet.rules.size());
    if (sheet.body_rule >= rules || sheet.p_rule >= rules) {
      velmorane::fuzz::Fail("body or p rule index outside the rules");
    }
    for (const StyleRule& rule : sheet.rules) CheckRule(rule, conversion.fonts, conversion.colors);
  }

  // The same bytes as attribute text, read declaration block by declaration block.
  velmorane::FontTable fonts;
  velmorane::ColorTable colors;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t before = pos;
    StyleRule rule;
    velmorane::ParseDeclarations(text, pos, rule, fonts, colors);
    if (pos > text.size()) velmorane::fuzz::Fail("position left the text");
    CheckRule(rule, fonts, colors);
    if (pos <= before) pos = before + 1;
  }
  CheckTables(fonts, colors);
  return 0;
}
