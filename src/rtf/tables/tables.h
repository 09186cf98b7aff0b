// Tables: analysis before writing, rows and cells, nested tables, and the fallbacks
// (tab-separated lines, flattening).
#ifndef VELMORANE_RTF_TABLES_TABLES_H_
#define VELMORANE_RTF_TABLES_TABLES_H_

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "rtf/tag_loop.h"

namespace velmorane {

struct Conversion;
class ColorTable;

// An analysed table has at most this many grid columns; wider tables become text.
inline constexpr int kMaxGridColumns = 47;
// <col> elements read per column group, and column alignments kept per table.
inline constexpr int kMaxColumnElements = 49;
// Merge markers and the border mark kept in the grid.
inline constexpr int kMergeStart = 111;
inline constexpr int kMergeContinue = 777;
inline constexpr int kBorderMark = 7777;

// What ParseCellAttributes reads from a td, th, table or col tag.
struct CellAttributes {
  int width = -1;           // -1 when the tag gives none
  bool percent = false;     // the width ends with "%"
  int colspan = 1;
  int rowspan = 1;
  int shading = 0;          // colour number + 3, 0 none
  int vertical_align = 0;   // 0 top, 1 centre, 2 bottom
  int align = 0;            // 0 not given (or left), 1 centre, 2 right
  int border = 0;           // kBorderMark when a class or id rule sets a border
};

// The values a class or id style rule gives a cell.
struct CellRuleValues {
  bool has_background = false;
  int background = 0;       // colour number (index into the colour table)
  bool has_width = false;
  int width = 0;
  bool width_percent = false;
  bool has_border = false;
};

// One cell of an analysed table.
struct GridCell {
  int width = -1;     // scan: width attribute; then twips
  int edge = 0;       // right edge in twips (what "\cellx" gets)
  int span = 1;       // colspan
  int end = 0;        // grid column at which the cell ends
  int rowspan = 1;
  int merge = 0;      // kMergeStart, kMergeContinue or 0
  int picture = 0;    // widest picture of the cell, twips
  int percent = 0;    // scan: width is a percentage; later: width was computed
  int shading = 0;    // colour number + 3, 0 none
  int vertical_align = 0;
  int border = 0;     // kBorderMark or 0
};

// The analysed cells: one row per table row, cells numbered from 1 (index 0 unused).
struct TableGrid {
  std::vector<std::vector<GridCell>> rows;
  int capacity = 0;  // cells a row may hold

  bool empty() const { return rows.empty(); }
  int CellCount(int r) const;
  // The cell, or a default cell when (r, k) lies outside the grid.
  const GridCell& At(int r, int k) const;
};

// One table nesting level.
struct TableState {
  std::string row_properties;  // a nested row's definition, written after its cells
  int level = 0;               // 0 unused, 1 outermost, n nested n - 1 deep ("\itap")
  int cell_index = 0;          // cells of the current row already closed
  int row_index = 0;           // grid row used by the next row start
  int cells_in_row = 0;
  int pending_cells = 0;
  int row_shading = 0;         // colour number + 3 from the row's bgcolor
  int table_shading = 0;       // colour number + 3 from the table's background, for its rows
  int size_before = 0;         // points in effect before the table set its own size, or 0
  int definition_row = 0;      // grid row of the current row definition
  int cells_started = 0;       // cell start tags handled in the current row
  bool in_row = false;         // a row definition is written and the row is open
  bool row_started = false;    // a row start tag was handled, its end is due
  bool cell_open = false;      // a cell start tag was handled, its end is due
  bool borders = false;
  std::array<char, kMaxColumnElements + 1> column_alignments{};  // 'c', 'l', 'r', 'j'
  int rows = 0;                // measured
  int columns = 0;             // measured grid columns + 2
  int width_value = -1;        // the table's width attribute, -1 none
  int table_width = 0;         // TW in twips
  bool width_is_percent = false;
  int alignment = 0;           // 0 none, 1 centred, 2 right
  TableGrid grid;
};

// The matching "</table>" of every "<table" of the input, found by one pass, so that
// passing over a nested table costs no scan. Input changes made while converting
// (blanked tags) leave the matches of the tables still ahead unchanged.
class TableMatches {
 public:
  void Build(std::string_view input);
  bool built() const { return built_; }
  // `pos` is on "<table" in `text`, a suffix of the input: the position in `text` of the
  // ">" of its matching end, npos when it has none, or `unknown` when not recorded.
  std::size_t CloseOf(std::string_view text, std::size_t pos, std::size_t unknown) const;

 private:
  bool built_ = false;
  std::size_t input_size_ = 0;
  std::vector<std::size_t> opens_;   // ascending
  std::vector<std::size_t> closes_;  // ">" of the matching end, or npos
};

enum class TableHandling { kUnset, kNone, kTabs, kSimple, kAnalysed };

struct TableContext {
  std::array<TableState, kMaxTableDepth> records;
  TableHandling handling = TableHandling::kUnset;
  std::string row_prologue;
  std::string nested_row_prologue;
  bool default_borders = false;
  TableMatches matches;
  // The last search for the end of an abandoned table: from `anchor` no unmatched
  // "</table>" comes before `resume` (none at all when `exhausted`); the tables between
  // `anchor` and `clean_until` leave `depth` of them open.
  struct {
    bool valid = false;
    bool exhausted = false;
    std::size_t anchor = 0;
    std::size_t clean_until = 0;
    std::size_t resume = 0;
    int depth = 0;
  } drop_scan;
};

// Called by the tag loop (output modes 1 and 2) at a "<": handles <table, </table>,
// <tr, </tr>, <td, <th, </td>, </th> and </caption>. Returns false when none matched.
bool TryTableTag(Conversion& conversion);

// --- Analysis -----------------------------------------------------------------------

struct TableMeasure {
  int rows = 0;
  int grid_columns = 0;
  bool found_end = false;  // the table's own </table> was met
};

// Counts rows and grid columns of the table whose "<table" starts `text`.
TableMeasure MeasureTable(std::string_view text, const TableMatches* matches = nullptr);

// Reads a cell (or table, or col) tag from its "<" or name up to its first ">".
// `colors` and `conversion` (for the style rules) may be null.
CellAttributes ParseCellAttributes(std::string_view tag, const ColorTable* colors,
                                   const Conversion* conversion);

// A width value of a table's cell in twips, against the current table width.
int PixelsToTwips(int value, bool table_is_percent, bool value_is_percent,
                  int current_table_width);

// Width of the enclosing cell in which a nested table starts.
int ParentCellWidth(const TableState& enclosing, int printable_width);

// Fills the grid, TW, the alignment and the column alignments of `state` from the table
// text starting at "<table"; `available` is the width the table may take.
void AnalyzeTable(Conversion& conversion, std::string_view text, TableState& state,
                  int available);

// Turns the table at `pos` (on "<table") into text: blanks out its row and cell tags and
// its "</table>". Leaves `pos` on the ">" of the table tag.
void FlattenTable(std::string& input, std::size_t& pos, const TableMatches* matches = nullptr);

// Blanks out the "</table>" of the table whose tag `pos` is in; leaves `pos` on the ">"
// of the current tag. Returns the position of the blanked end, or npos.
std::size_t DropTableEnd(std::string& input, std::size_t& pos,
                         const TableMatches* matches = nullptr);

// The first "</table>" at or after `from` that closes no table opened after `from`.
std::size_t FindUnmatchedTableEnd(std::string_view text, std::size_t from,
                                  const TableMatches* matches = nullptr);

// Passes over a nested table: `pos` is on its "<table"; returns the position of the ">"
// of its matching "</table>", or npos when the text ends first.
std::size_t SkipNestedTable(std::string_view text, std::size_t pos,
                            const TableMatches* matches = nullptr);

// --- Rows -----------------------------------------------------------------------------

// True when the table text (from "<table") says its cells get borders.
bool ReadBorderAttribute(std::string_view table_text, const TableMatches* matches = nullptr);

// True when, after the table tag, a row tag comes before any cell and before </table>.
bool FirstRowIsExplicit(std::string_view text_after_tag);

// Edges of n equal cells over W twips: edge i = W * i / n, the last W.
std::vector<int> EqualColumnEdges(int n, int width);

// --- Hooks served by other parts ------------------------------------------------------

// The first style rule named `name` (case-insensitive) for cells or any element.
bool FindCellRule(const Conversion& conversion, std::string_view name, CellRuleValues& values);

// The background of a table or row tag (`tag` from "<" to ">", `element_type` kElementTable
// or kElementTr): its bgcolor or style attribute, else its style rules. The colour number
// (index + 3), or 0 when it has none.
int TagBackground(Conversion& conversion, std::string_view tag, int element_type);

// The size (points) a table tag's style attribute or rules give its text; 0 when none.
int TagFontSize(Conversion& conversion, std::string_view tag, int element_type);

// --- Read by block handlers -------------------------------------------------------------

// The current row of the current table has a cell open.
bool CurrentRowHasOpenCell(const Conversion& conversion);
// The current table's row start was handled and its end is still due.
bool CurrentRowStarted(const Conversion& conversion);
// Width in twips of the cell being written (the printable width outside tables).
int CurrentCellWidth(const Conversion& conversion);

}  // namespace velmorane

#endif  // VELMORANE_RTF_TABLES_TABLES_H_
