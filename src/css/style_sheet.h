// Style rules from style blocks, linked sheets and style attributes, and the state of
// their application to elements.
#ifndef VELMORANE_CSS_STYLE_SHEET_H_
#define VELMORANE_CSS_STYLE_SHEET_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velmorane {

class FontTable;
class ColorTable;

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
inline constexpr int kElementPre = 20;
inline constexpr int kElementLi = 21;
inline constexpr int kElementCode = 22;
inline constexpr int kElementTt = 23;
inline constexpr int kElementKbd = 24;
inline constexpr int kElementSamp = 25;
inline constexpr int kElementVar = 26;
inline constexpr int kElementI = 27;
inline constexpr int kElementB = 28;
inline constexpr int kElementStrong = 29;
inline constexpr int kElementSmall = 30;
inline constexpr int kElementBig = 31;
inline constexpr int kElementTr = 32;
inline constexpr int kElementCite = 33;
inline constexpr int kElementAbbr = 34;
inline constexpr int kElementDfn = 35;
inline constexpr int kElementQ = 36;
inline constexpr int kElementLabel = 37;
inline constexpr int kElementBlockquote = 38;
inline constexpr int kElementTh = 39;  // selects header cells only; they open as kElementCell
inline constexpr int kElementDt = 40;
inline constexpr int kElementDd = 41;
inline constexpr int kElementTypeCount = 42;

inline bool IsElementType(int type) { return type >= 0 && type < kElementTypeCount; }

// Property indexes: the presence flag of property n is StyleRule::has[n].
enum StyleProperty : int {
  kPropFontFamily = 0,
  kPropColor = 1,
  kPropFontWeight = 2,
  kPropFontSize = 3,
  kPropTextAlign = 4,  // also the attribute "align"
  kPropFontStyle = 5,
  kPropMarginTop = 6,
  kPropBackground = 7,  // "background-color" and "background"
  kPropFont = 8,        // shorthand; its flag is never set
  kPropTop = 9,
  kPropLeft = 10,
  kPropWidth = 11,
  kPropTextDecoration = 12,
  kPropVerticalAlign = 13,
  kPropPageBreakBefore = 14,
  kPropPageBreakAfter = 15,
  kPropListStyleType = 16,
  kPropMarginBottom = 17,
  kPropBorder = 18,
  kPropMarginLeft = 19,
  kPropMarginRight = 20,
  kPropWhiteSpace = 21,  // "white-space": pre, pre-wrap, pre-line and break-spaces keep lines
  kPropertyCount = 22,
};

// List styles of "list-style-type".
inline constexpr int kListStyleNone = 1;
inline constexpr int kListStyleDisc = 2;
inline constexpr int kListStyleCircle = 3;
inline constexpr int kListStyleSquare = 4;
inline constexpr int kListStyleLowerRoman = 5;
inline constexpr int kListStyleUpperRoman = 6;
inline constexpr int kListStyleLowerAlpha = 7;
inline constexpr int kListStyleUpperAlpha = 8;
inline constexpr int kListStyleArabic = 9;

// The value "border" stores when set.
inline constexpr std::uint32_t kBorderSet = 7777;

// One parsed set of declarations. A value means something only when its flag is set.
struct StyleRule {
  std::string name;                // class or id name (at most 40 bytes); empty for an element rule
  std::array<bool, kPropertyCount> has{};  // presence flags by StyleProperty
  int element_type = 0;            // kElement*, 0 for any element
  int font = 0;                    // FontTable index
  int color = 0;                   // ColorTable index
  int bold = 0;                    // 1 bold, 0 normal
  int size = 0;                    // half-points
  int size_percent = 0;            // a percentage of the size in effect (0: none)
  char align = 0;                  // 'l', 'c', 'r' or 'j'
  char style = 0;                  // 'i' for italic, 'n' for normal
  bool keeps_lines = false;        // white-space keeps line breaks and blanks
  bool size_absolute = false;      // the size is in px, pt, ... (not a keyword, em or %)
  bool generic_monospace = false;  // font-family is exactly the generic "monospace"
  std::uint32_t margin_top = 0;    // twips
  int background = 0;              // ColorTable index
  std::int32_t top = 0, left = 0;  // as written
  std::int32_t width = 0;          // as written; see width_percent
  char decoration = 0;             // 'u' underline, 'n' none, 's' line-through
  char vertical_align = 0;         // 'b' sub, 'r' super
  std::int32_t page_break_before = 0;  // 1 break, 0 avoid
  std::int32_t page_break_after = 0;
  std::int32_t list_style = 0;  // kListStyle*
  std::uint32_t margin_bottom = 0, border = 0, margin_left = 0, margin_right = 0;
  bool width_percent = false;

  bool Any() const;
};

// A rule applied to an open element: its index in StyleSheet::rules and the element type.
struct AppliedRule {
  int rule = 0;
  int element_type = 0;
};

// Declarations of a tag's own attributes, kept until the element closes.
struct InlineSlot {
  StyleRule rule;
  int element_type = 0;
};

// An absolutely positioned block ("\posx"/"\posy") opened by a style with top, left and
// width.
struct PositionedBlock {
  bool open = false;
  int x = 0, y = 0, width = 0, height = 0;  // twips
};

// One compound of a selector ("div.note", ".k", "pre"): an element type (kElementAny for
// any) and the class or id names the element must all have.
struct SelectorCompound {
  int type = kElementAny;
  std::vector<std::string> names;
};

// What a rule of a selector such as ".highlight .s1" or "code.docutils.literal" asks
// beyond its element type and first name: more names of the element itself and open
// elements around it, outermost first.
struct SelectorConditions {
  std::vector<std::string> own_names;
  std::vector<SelectorCompound> ancestors;
};

// An element open around the text, for the conditions on ancestors.
struct OpenElement {
  int type = 0;           // as opened (kElementCell for header cells too)
  int selected_type = 0;  // as selectors see it (kElementTh for header cells)
  std::vector<std::string> names;
};

struct StyleSheet {
  std::vector<StyleRule> rules;
  int body_rule = -1;           // index of the "body" rule, -1 when none
  int p_rule = -1;              // index of the "p" rule, -1 when none
  bool p_class_rules = false;   // some selector starts with "p."
  bool em_class_rules = false;  // some selector starts with "em."

  std::array<bool, 22> last_class_flags{};  // presence flags of the last class rule applied

  // Groups opened by rules and not yet closed.
  int bold_groups = 0, italic_groups = 0, decoration_groups = 0, vertical_groups = 0;
  // Class rules applied per element type.
  std::array<int, kElementTypeCount> open_class_rules{};

  std::vector<AppliedRule> element_stack;  // at most kStackDepth; a full stack replaces its top
  std::vector<AppliedRule> class_stack;    // at most kStackDepth; a full stack replaces its top
  std::vector<InlineSlot> inline_stack;    // at most kStackDepth; a full stack reuses its last slot

  PositionedBlock positioned;

  // The body text's size as a browser has it, in points: the body rule's, else the
  // browser default. Absolute sizes are measured against it.
  double body_points = 12;
  int root_half_points = 0;  // an "html" rule's absolute size, 0 when none
  int body_text_colour = -1;  // ColorTable index of the body tag's text colour, -1 when none
  // Sizes in effect (points) before each open rule that set one.
  std::vector<int> size_stack;
  int step_sizes_open = 0;  // open <small> and <big> elements with a size on the stack

  // The rules by what selects them, each list in sheet order: element rules by element
  // type, class and id rules by name as written and in lower case. Built once the sheet
  // is read, so that matching an element looks at its own rules only.
  std::array<std::vector<int>, kElementTypeCount> by_type;
  std::unordered_map<std::string, std::vector<int>> by_name;
  std::unordered_map<std::string, std::vector<int>> by_lower_name;
  // The rules with conditions (see `conditions`), kept apart from the others.
  std::array<std::vector<int>, kElementTypeCount> conditional_by_type;
  std::unordered_map<std::string, std::vector<int>> conditional_by_name;
  // The rule found for an element, by its type and names (and the rules with conditions
  // that held); rules merged for elements that several rules select are appended to
  // `rules` under a name no element has.
  std::unordered_map<std::string, int> merged;
  // The entries of `merged` for elements without names, by element type (kNotMerged
  // where it has none): asked for every element, so found without a key.
  static constexpr int kNotMerged = -2;
  std::array<int, kElementTypeCount> merged_by_type = [] {
    std::array<int, kElementTypeCount> none;
    none.fill(kNotMerged);
    return none;
  }();

  // Conditions of rules from selectors with several compounds, by rule index; the open
  // elements are kept only when some rule has such conditions.
  std::unordered_map<int, SelectorConditions> conditions;
  std::vector<OpenElement> open_elements;
  int open_elements_dropped = 0;  // opened past the bound, not kept
  // The page gives its root or body an absolute size: browsers then size monospace text
  // like any other, not at their smaller monospace size.
  bool document_size_absolute = false;
  // What the rules applied to the element opened last set of its font.
  struct AppliedFont {
    bool family = false, generic_monospace = false, size = false, size_absolute = false;
    bool upright = false;  // font-style normal (an em asks it to know whether to be italic)
  } last_font;
};

// Whether a font-family list names a monospace family ("monospace", "Courier New",
// "Consolas", "DejaVu Sans Mono", ...): browsers show such text in a monospace font
// whichever of the list they have.
bool NamesMonospace(std::string_view families);

// The font table index of the monospace font that styles naming a monospace family get,
// added when missing (-1 when the table is full).
int MonospaceFontIndex(FontTable& fonts);

// Fills the indexes of `sheet` from its rules.
void IndexRules(StyleSheet& sheet);

// The rule to apply for an element of `type` with the class and id names `names`: the
// element rule (`names` empty) or the class and id rules, merged in cascade order when
// more than one applies. -1 when none applies.
int MatchRule(StyleSheet& sheet, int type, const std::vector<std::string>& names);

// The "body" rule, or nullptr. The prologue reads its font (has[kPropFontFamily], font),
// colour (has[kPropColor], color) and size (has[kPropFontSize], size in half-points).
const StyleRule* BodyRule(const StyleSheet& sheet);

// Reads declarations ("name: value; ..." or a tag's attribute text) from `pos` up to the
// first "}" or the end of `text` into `rule`; fonts and colours the values name are
// looked up in (and added to) the tables. Leaves `pos` behind the parsed text and
// returns whether any property was read.
bool ParseDeclarations(std::string_view text, std::size_t& pos, StyleRule& rule, FontTable& fonts,
                       ColorTable& colors);

// Builds `sheet` from the style text `css_text` (empty: no rules), adding the fonts and
// colours the rules name to the tables. Without memory for the rules `sheet` stays empty.
void ParseStyleText(std::string_view css_text, StyleSheet& sheet, FontTable& fonts,
                    ColorTable& colors);

}  // namespace velmorane

#endif  // VELMORANE_CSS_STYLE_SHEET_H_
