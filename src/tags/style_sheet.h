// Style rules from style blocks, linked sheets and style attributes, and their
// application to elements.
#ifndef VELMORANE_TAGS_STYLE_SHEET_H_
#define VELMORANE_TAGS_STYLE_SHEET_H_

#include <cstddef>
#include <string>
#include <vector>

namespace velmorane {

struct Conversion;

// Element types that tie a style rule to an element.
inline constexpr int kElementAny = 0;
inline constexpr int kElementDiv = 1;
inline constexpr int kElementSpan = 2;
inline constexpr int kElementOtherHeading = 3;
inline constexpr int kElementP = 4;
inline constexpr int kElementEm = 5;
inline constexpr int kElementFont = 7;
inline constexpr int kElementCell = 8;  // td and th
inline constexpr int kElementTable = 9;
inline constexpr int kElementUl = 10;
inline constexpr int kElementOl = 11;
inline constexpr int kElementH1 = 12;  // h1..h6 are 12..17
inline constexpr int kElementHr = 18;
inline constexpr int kElementBr = 19;

struct StyleRule {};

struct StyleSheet {
  std::vector<StyleRule> rules;
};

// Stage 6: builds conversion.sheet from conversion.style_text, adding the fonts and
// colours the rules name to the tables.
void ParseStyleSheet(Conversion& conversion);

// Applies the element rule, the class or id rule and the tag's own declarations of the
// element whose tag starts at `tag_pos` in conversion.input, writing their RTF.
void OpenElementStyle(Conversion& conversion, std::size_t tag_pos, int element_type,
                      bool in_cell);

// Undoes what OpenElementStyle wrote for the innermost element of `element_type`.
void CloseElementStyle(Conversion& conversion, int element_type, int default_size);

}  // namespace velmorane

#endif  // VELMORANE_TAGS_STYLE_SHEET_H_
