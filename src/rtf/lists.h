// Bulleted and numbered lists: ul, ol and li.
#ifndef VELMORANE_RTF_LISTS_H_
#define VELMORANE_RTF_LISTS_H_

#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

namespace velmorane {

struct Conversion;

// List styles of a level.
inline constexpr int kListDefault = 0;  // decimal for ol, a bullet by depth for ul
inline constexpr int kListNone = 1;
inline constexpr int kListDisc = 2;
inline constexpr int kListCircle = 3;
inline constexpr int kListSquare = 4;
inline constexpr int kListLowerRoman = 5;
inline constexpr int kListUpperRoman = 6;
inline constexpr int kListLowerAlpha = 7;
inline constexpr int kListUpperAlpha = 8;
inline constexpr int kListArabic = 9;  // only as a style rule value

// Levels whose style is stored; deeper lists share the deepest one.
inline constexpr std::size_t kListLevels = 25;

struct ListState {
  int ul_depth = 0;             // open ul elements, never below 0
  int ol_depth = 0;             // open ol elements, never below 0
  std::vector<int> kinds;       // 0 ul, 1 ol for each open list; at most kStackDepth
  int innermost_kind = 0;
  int item_counter = 0;         // number of the current ol item, shared by all levels
  // Style of each level; ul and ol write at their own depth, so the two share entries.
  std::array<int, kListLevels> level_styles{};

  int& LevelStyle(int depth);

  // Real RTF lists beside the numbering groups: list 1 holds the bullets, list 2 the
  // paragraphs of an item after its first (no number), each ol its own list from 3 on so
  // that its numbering starts at 1. The list table is written when the page is done.
  bool real_lists = false;            // the document gets a list table (not body only)
  bool any_item = false;              // an item paragraph referred to a list
  std::vector<int> ordered_styles;    // level style of each ol's list, from list 3 on
  std::vector<int> list_ids;          // the list of each open list element
  std::vector<int> item_indents;      // left indent of the current item of each open list
  std::vector<int> used_levels;       // highest level used of each list, -1 for none
  bool in_item = false;               // an item of the innermost open list has begun
  // Where the last continuation of an item was written (output offsets): a list end right
  // after it takes it back, so the paragraph after the list is not part of the item.
  std::size_t continuation_begin = 0, continuation_end = 0;
  // The document holds a picture that stops a reader on a list table: the items'
  // references come out as it is written, and the numbering groups stay.
  bool remove_references = false;
  // Whether the current item of each open list has the page's style open (its end tag
  // is often left out: the next item or the list's end closes it).
  std::vector<char> item_styled;
  std::vector<char> list_styled;  // whether each open list has the page's style open
};

// </li>: ends the style of the current item.
void HandleListItemEnd(Conversion& conversion);

void HandleListStart(Conversion& conversion, bool ordered);  // <ul or <ol
void HandleListEnd(Conversion& conversion, bool ordered);    // </ul> or </ol>
void HandleListItem(Conversion& conversion);                 // <li

// A paragraph begun inside a list item stays in the item: indented like its text, in the
// list without a number. Writes nothing outside items.
void ContinueListItem(Conversion& conversion);

// Inserts the list table and list override table into the document's prologue when
// items referred to them; the output of a page without lists is left as it is.
void WriteListTables(Conversion& conversion);

// The list-style-type of the first style rule named `class_name` (compared exactly) whose
// element type is `element_type` or any element; 0 when there is none or it sets no list
// style. Provided by the style sheet.
int RuleListStyle(const Conversion& conversion, std::string_view class_name,
                  int element_type);

}  // namespace velmorane

#endif  // VELMORANE_RTF_LISTS_H_
