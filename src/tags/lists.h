// Bulleted and numbered lists: ul, ol and li.
#ifndef VELMORANE_TAGS_LISTS_H_
#define VELMORANE_TAGS_LISTS_H_

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
};

void HandleListStart(Conversion& conversion, bool ordered);  // <ul or <ol
void HandleListEnd(Conversion& conversion, bool ordered);    // </ul> or </ol>
void HandleListItem(Conversion& conversion);                 // <li

// The list-style-type of the first style rule named `class_name` (compared exactly) whose
// element type is `element_type` or any element; 0 when there is none or it sets no list
// style. Provided by the style sheet.
int RuleListStyle(const Conversion& conversion, std::string_view class_name,
                  int element_type);

}  // namespace velmorane

#endif  // VELMORANE_TAGS_LISTS_H_
