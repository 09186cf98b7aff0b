// The application of style rules to elements: the RTF that opening and closing an
// element's rules writes, and the style sheet of one conversion.
#ifndef VELMORANE_RTF_STYLE_RULES_H_
#define VELMORANE_RTF_STYLE_RULES_H_

#include <cstddef>

#include "css/style_sheet.h"

namespace velmorane {

struct Conversion;

// Points for an absolute CSS size (half-points as a browser has them): the size stands to
// the body text as in the browser, where the body text is written at the base size.
int ScaledToBody(const Conversion& conversion, int css_half_points);

// Builds conversion.sheet from conversion.style_text (when style_present),
// adding the fonts and colours the rules name to the tables.
void ParseStyleSheet(Conversion& conversion);

// Applies the element rule, the class or id rule and the tag's own declarations of the
// element whose tag starts at `tag_pos` in conversion.input, writing their RTF. Leaves
// conversion.pos on the tag's ">" (it never moves it backwards).
void OpenElementStyle(Conversion& conversion, std::size_t tag_pos, int element_type, bool in_cell);

// Undoes what OpenElementStyle wrote for the innermost element of `element_type`.
void CloseElementStyle(Conversion& conversion, int element_type, int default_size);

// Writes the RTF of the properties `rule` sets, for an element of `element_type` whose
// tag ends at `tag_end` (the position of its ">").
void ApplyStyleRule(Conversion& conversion, const StyleRule& rule, int element_type,
                    std::size_t tag_end);

// Writes what undoes `rule`; a size goes back to the one in effect before the rule.
void CloseStyleRule(Conversion& conversion, const StyleRule& rule, int element_type,
                    bool from_class_stack, int default_size);

}  // namespace velmorane

#endif  // VELMORANE_RTF_STYLE_RULES_H_
