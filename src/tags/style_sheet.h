// Style rules from style blocks, linked sheets and style attributes, and their
// application to elements.
#ifndef VELMORANE_TAGS_STYLE_SHEET_H_
#define VELMORANE_TAGS_STYLE_SHEET_H_

#include <string>
#include <vector>

namespace velmorane {

struct Conversion;

struct StyleRule {};

struct StyleSheet {
  std::vector<StyleRule> rules;
};

// Stage 6: builds conversion.sheet from conversion.style_text, adding the fonts and
// colours the rules name to the tables.
void ParseStyleSheet(Conversion& conversion);

}  // namespace velmorane

#endif  // VELMORANE_TAGS_STYLE_SHEET_H_
