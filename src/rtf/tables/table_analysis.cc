// Table analysis: measuring a table, reading cell attributes and computing the right
// edge of every cell before the first row is written; and the fallbacks for tables that
// cannot be analysed (flattening into text, dropping a table end).
#include <algorithm>
#include <string>
#include <vector>

#include "rtf/conversion.h"
#include "rtf/pictures.h"
#include "rtf/tables/cell_edges.h"
#include "rtf/tables/table_scan.h"
#include "rtf/tables/tables.h"

namespace velmorane {

namespace ts = table_scan;

namespace {

const GridCell kNoCell{};

// The current table width before any table was analysed in this process.
constexpr int kStartTableWidth = 9500;

std::string LowerCopy(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(ts::Lower(static_cast<unsigned char>(c)));
  return out;
}

int Clamp(long long value) {
  if (value > 1000000000LL) return 1000000000;
  if (value < -1000000000LL) return -1000000000;
  return static_cast<int>(value);
}

}  // namespace

int TableGrid::CellCount(int r) const {
  if (r < 0 || static_cast<std::size_t>(r) >= rows.size()) return 0;
  return static_cast<int>(rows[r].size()) - 1;
}

const GridCell& TableGrid::At(int r, int k) const {
  if (r < 0 || static_cast<std::size_t>(r) >= rows.size() || k < 1 ||
      static_cast<std::size_t>(k) >= rows[r].size()) {
    return kNoCell;
  }
  return rows[r][k];
}

void TableMatches::Build(std::string_view input) {
  built_ = true;
  input_size_ = input.size();
  opens_.clear();
  closes_.clear();
  std::vector<std::size_t> open_stack;  // indexes into opens_
  for (std::size_t i = input.find('<'); i != std::string_view::npos; i = input.find('<', i + 1)) {
    if (ts::AtTableStart(input, i)) {
      open_stack.push_back(opens_.size());
      opens_.push_back(i);
      closes_.push_back(std::string_view::npos);
    } else if (ts::AtTableEnd(input, i) && !open_stack.empty()) {
      closes_[open_stack.back()] = i + 7;
      open_stack.pop_back();
    }
  }
}

std::size_t TableMatches::CloseOf(std::string_view text, std::size_t pos,
                                  std::size_t unknown) const {
  if (!built_ || text.size() > input_size_) return unknown;
  const std::size_t base = input_size_ - text.size();
  const auto it = std::lower_bound(opens_.begin(), opens_.end(), base + pos);
  if (it == opens_.end() || *it != base + pos) return unknown;
  const std::size_t close = closes_[static_cast<std::size_t>(it - opens_.begin())];
  if (close == std::string_view::npos) return std::string_view::npos;
  // An end blanked since the matches were taken is looked for again.
  if (close < base + 7 || !ts::AtTableEnd(text, close - base - 7)) return unknown;
  return close - base;
}

std::size_t SkipNestedTable(std::string_view text, std::size_t pos,
                            const TableMatches* matches) {
  constexpr std::size_t kUnknown = std::string_view::npos - 1;
  if (matches != nullptr) {
    const std::size_t close = matches->CloseOf(text, pos, kUnknown);
    if (close != kUnknown) return close;
  }
  int depth = 0;
  std::size_t i = pos;
  while (i < text.size()) {
    if (text[i] != '<') {
      i = text.find('<', i);
      if (i == std::string_view::npos) break;
      continue;
    }
    if (ts::AtTableStart(text, i)) {
      ++depth;
      i += 6;
    } else if (ts::AtTableEnd(text, i)) {
      if (--depth == 0) return i + 7;
      i += 8;
    } else {
      ++i;
    }
  }
  return std::string_view::npos;
}

TableMeasure MeasureTable(std::string_view text, const TableMatches* matches) {
  TableMeasure m;
  int widest = 0;
  int cells = 0;
  int extra = 0;  // grid columns added by colspans in the current row
  bool head = false;
  bool in_row = false;
  bool counted = false;  // the cells being collected belong to a row already counted
  auto finish_row = [&] {
    widest = std::max(widest, cells + extra);
    cells = 0;
    extra = 0;
  };
  std::size_t i = 1;
  while (i < text.size()) {
    if (text[i] != '<') {
      i = text.find('<', i);
      if (i == std::string_view::npos) break;
      continue;
    }
    if (ts::AtTableEnd(text, i)) {
      m.grid_columns = std::max(cells, widest);
      m.found_end = true;
      return m;
    }
    if (ts::AtTableStart(text, i)) {
      const std::size_t close = SkipNestedTable(text, i, matches);
      if (close == std::string_view::npos) break;
      i = close + 1;
      continue;
    }
    if (ts::At(text, i, "<thead>")) {
      ++m.rows;
      finish_row();
      head = true;
      counted = true;
    } else if (ts::At(text, i, "</thead>")) {
      head = false;
    } else if (LooksAtTag(text, i, "<tr", ts::kBlankLfOrClose)) {
      if ((head || in_row) && cells == 0) {
        in_row = true;
        head = false;
      } else {
        // Cells met before any row tag form a row of their own.
        if (!counted && cells > 0) ++m.rows;
        ++m.rows;
        finish_row();
        in_row = true;
        head = false;
        counted = true;
      }
    } else if (ts::At(text, i, "</tr>")) {
      if (!in_row && !counted && cells > 0) ++m.rows;  // a row written without <tr>
      finish_row();
      in_row = false;
      counted = false;
    } else if (ts::AtCellStart(text, i, ts::kBlankLfOrClose)) {
      const CellAttributes cell = ParseCellAttributes(text.substr(i), nullptr, nullptr);
      if (cell.colspan > 1) extra = std::min(extra + cell.colspan - 1, 100000);
      ++cells;
    }
    const std::size_t close = ts::NextClose(text, i + 1);
    if (close == std::string_view::npos) break;
    i = close + 1;
  }
  m.grid_columns = std::max(cells, widest);
  return m;
}

CellAttributes ParseCellAttributes(std::string_view tag, const ColorTable* colors,
                                   const Conversion* conversion) {
  CellAttributes a;
  const std::size_t close = tag.find('>');
  const std::string_view t = close == std::string_view::npos ? tag : tag.substr(0, close);
  std::string selector;
  std::size_t i = 0;
  while (i < t.size()) {
    // Only the first letters of the names read below can start a match.
    switch (ts::Lower(static_cast<unsigned char>(t[i]))) {
      case 'a': case 'b': case 'c': case 'i': case 'r': case 'v': case 'w':
        break;
      default:
        ++i;
        continue;
    }
    const unsigned char prev = i > 0 ? static_cast<unsigned char>(t[i - 1]) : 0;
    if (ts::At(t, i, "width") && (prev == '\n' || prev == ' ' || prev == '"' || prev == '\'')) {
      // Both width=… and a width: declaration at the start of a quoted style.
      std::size_t j = i + 5;
      while (j < t.size() && t[j] != '=' && t[j] != ':') ++j;
      while (j < t.size() && !ts::IsDigit(ts::ByteAt(t, j))) ++j;
      if (j >= t.size()) break;  // the tag ends before any digit
      a.width = ts::ReadDigits(t, j);
      a.percent = ts::ByteAt(t, j) == '%';
      i = j;
      continue;
    }
    if (ts::At(t, i, "colspan") || ts::At(t, i, "rowspan")) {
      const bool is_col = ts::Lower(static_cast<unsigned char>(t[i])) == 'c';
      std::size_t j = i + 7;
      while (j < t.size() && t[j] != '=') ++j;
      while (j < t.size() && !ts::IsDigit(ts::ByteAt(t, j))) ++j;
      if (j < t.size()) {
        const int span = ts::ReadDigits(t, j);
        if (span >= 1) (is_col ? a.colspan : a.rowspan) = span;  // 0 keeps the default 1
        i = j;
      } else {
        i += 7;
      }
      continue;
    }
    const std::size_t colour_key = ts::At(t, i, "bgcolor=")            ? 8
                                   : ts::At(t, i, "background-color:") ? 17
                                                                       : 0;
    if (colour_key != 0) {
      std::size_t j = i + colour_key;
      std::string value;
      ParseColor(t, j, value);
      if (colors != nullptr) {
        const int index = colors->Find(value);
        a.shading = index >= 0 ? index + 3 : 0;
      }
      i = std::max(j, i + colour_key);
      continue;
    }
    const std::size_t name_key = ts::At(t, i, "class=") ? 6 : ts::At(t, i, "id=") ? 3 : 0;
    if (name_key != 0) {
      std::size_t j = i + name_key;
      selector = ReadAttributeValue(t, j);
      i = std::max(j, i + name_key);
      continue;
    }
    if (ts::At(t, i, "valign=")) {
      std::size_t j = i + 7;
      const std::string value = LowerCopy(ReadAttributeValue(t, j));
      a.vertical_align = (value == "center" || value == "middle") ? 1 : value == "bottom" ? 2 : 0;
      i = std::max(j, i + 7);
      continue;
    }
    if (ts::At(t, i, "align=")) {
      std::size_t j = i + 6;
      const std::string value = LowerCopy(ReadAttributeValue(t, j));
      if (value == "center") a.align = 1;
      if (value == "right") a.align = 2;
      i = std::max(j, i + 6);
      continue;
    }
    ++i;
  }
  CellRuleValues rule;
  if (!selector.empty() && conversion != nullptr && FindCellRule(*conversion, selector, rule)) {
    if (rule.has_background) a.shading = rule.background + 3;
    if (rule.has_width) {
      a.width = rule.width;
      a.percent = rule.width_percent;
    }
    if (rule.has_border) a.border = kBorderMark;
  }
  return a;
}

int PixelsToTwips(int value, bool table_is_percent, bool value_is_percent,
                  int current_table_width) {
  if (value_is_percent) return Clamp(static_cast<long long>(value) * current_table_width / 100);
  const long long twips = static_cast<long long>(value) * 16;
  if (!table_is_percent && twips > current_table_width) return current_table_width - 100;
  return Clamp(twips);
}

int ParentCellWidth(const TableState& enclosing, int printable_width) {
  const int r = std::max(enclosing.row_index - 1, 0);
  const int c = enclosing.cell_index;
  const int width = c < 1 ? enclosing.grid.At(r, 1).edge
                          : enclosing.grid.At(r, c + 1).edge - enclosing.grid.At(r, c).edge;
  return (width > 0 && width <= printable_width) ? width : printable_width;
}

namespace {

// "<col" alignment: the last of the words found in the tag decides.
char ColumnAlignmentLetter(std::string_view tag) {
  char letter = 0;
  for (std::size_t i = 0; i < tag.size() && tag[i] != '>'; ++i) {
    if (ts::At(tag, i, "center") || ts::At(tag, i, "middle")) letter = 'c';
    else if (ts::At(tag, i, "left")) letter = 'l';
    else if (ts::At(tag, i, "right")) letter = 'r';
    else if (ts::At(tag, i, "justify")) letter = 'j';
  }
  return letter;
}

}  // namespace

void AnalyzeTable(Conversion& c, std::string_view text, TableState& state, int available) {
  const CellAttributes table_tag = ParseCellAttributes(text, nullptr, nullptr);
  state.width_value = table_tag.width;
  state.width_is_percent = table_tag.percent;
  if (table_tag.align == 1 || table_tag.align == 2) state.alignment = table_tag.align;

  const int rows = std::max(state.rows, 0);
  TableGrid& grid = state.grid;
  // Room for the measured cells and for the placeholders of cells spanning rows.
  grid.capacity = 2 * std::max(state.columns, 1) + 1;
  grid.rows.assign(static_cast<std::size_t>(rows), std::vector<GridCell>(1));

  const int previous_width =
      c.carry_over.current_table_width > 0 ? c.carry_over.current_table_width : kStartTableWidth;

  // Phase 1: collect the attributes of every cell.
  int row = 0;
  int o = 0;  // cells of the current row
  bool row_open = false;
  bool column_group = false;
  std::vector<int> column_widths;
  std::vector<char> column_letters;
  struct {
    bool active = false;
    int row = 0, cell = 0;
    std::size_t start = 0;
  } probe;

  auto cell_at = [&](int r, int k) -> GridCell* {
    if (r < 0 || r >= rows || k < 1 || k > grid.capacity) return nullptr;
    std::vector<GridCell>& cells = grid.rows[static_cast<std::size_t>(r)];
    if (cells.size() <= static_cast<std::size_t>(k)) cells.resize(static_cast<std::size_t>(k) + 1);
    return &cells[static_cast<std::size_t>(k)];
  };
  auto set_count = [&](int r, int count) {
    if (r < 0 || r >= rows) return;
    grid.rows[static_cast<std::size_t>(r)].resize(
        static_cast<std::size_t>(std::min(count, grid.capacity)) + 1);
  };
  auto close_row = [&] {
    set_count(row, std::max(o, 1));
    ++row;
    o = 0;
  };
  // The picture probe of a cell sees the cell's text up to the next cell or row tag.
  auto flush_probe = [&](std::size_t end) {
    if (!probe.active) return;
    probe.active = false;
    const int width = ProbeCellPictureWidth(c, text.substr(probe.start, end - probe.start));
    if (GridCell* cell = cell_at(probe.row, probe.cell)) cell->picture = width;
  };

  std::size_t i = 1;
  while (i < text.size()) {
    if (text[i] != '<') {
      i = text.find('<', i);
      if (i == std::string_view::npos) break;
      continue;
    }
    if (ts::AtTableEnd(text, i)) {
      flush_probe(i);
      if (o >= 1) set_count(row, o);
      break;
    }
    if (ts::AtTableStart(text, i)) {
      // A nested table: its width (and that of tables nested in it) widens the cell.
      int depth = 0;
      std::size_t j = i;
      while (j < text.size()) {
        if (text[j] != '<') {
          j = text.find('<', j);
          if (j == std::string_view::npos) break;
          continue;
        }
        if (ts::AtTableStart(text, j)) {
          ++depth;
          if (ts::ByteAt(text, j + 6) == ' ' || ts::ByteAt(text, j + 6) == '\n') {
            const CellAttributes nested = ParseCellAttributes(text.substr(j), nullptr, nullptr);
            o = std::max(o, 1);
            GridCell* cell = cell_at(row, o);
            if (cell != nullptr && !nested.percent && nested.width > cell->width) {
              cell->width = nested.width;
              cell->percent = 0;
            }
          }
          j += 6;
        } else if (ts::AtTableEnd(text, j)) {
          j += 8;
          if (--depth == 0) break;
        } else {
          ++j;
        }
      }
      if (depth != 0 || j == std::string_view::npos) break;
      i = j;
      continue;
    }
    if (ts::At(text, i, "<thead>")) {
      flush_probe(i);
      if (row_open || o == state.columns) close_row();
      row_open = true;
    } else if (LooksAtTag(text, i, "<tr", ts::kBlankLfOrClose)) {
      flush_probe(i);
      // Cells collected so far (also those before the first <tr>) make a row.
      if (o > 0) close_row();
      row_open = true;
    } else if (ts::At(text, i, "</tr>")) {
      flush_probe(i);
      if (row_open || o > 0) close_row();
      row_open = false;
      if (row >= rows) break;
    } else if (ts::AtCellStart(text, i, ts::kBlankLfOrClose)) {
      flush_probe(i);
      if (ts::ByteAt(text, i + 3) != '>') {
        const CellAttributes a = ParseCellAttributes(text.substr(i), &c.colors, &c);
        if (GridCell* cell = cell_at(row, o + 1)) {
          cell->width = a.width;
          cell->percent = a.percent ? 1 : 0;
          cell->span = a.colspan;
          cell->rowspan = a.rowspan;
          cell->shading = a.shading;
          cell->vertical_align = a.vertical_align;
          if (a.border != 0) cell->border = a.border;
        }
      }
      const std::size_t close = ts::NextClose(text, i);
      if (close == std::string_view::npos) break;
      if (cell_at(row, o + 1) != nullptr) probe = {true, row, o + 1, close + 1};
      ++o;
      i = close + 1;
      continue;
    } else if (LooksAtTag(text, i, "<colgroup", ts::kBlankLfOrClose)) {
      column_group = true;
      column_widths.clear();
      column_letters.clear();
    } else if (ts::At(text, i, "<col ") && column_group &&
               column_widths.size() < static_cast<std::size_t>(kMaxColumnElements)) {
      const std::string_view tag = text.substr(i);
      const CellAttributes a = ParseCellAttributes(tag, nullptr, nullptr);
      column_widths.push_back(
          PixelsToTwips(a.width, state.width_is_percent, a.percent, previous_width));
      column_letters.push_back(ColumnAlignmentLetter(tag));
    }
    const std::size_t close = ts::NextClose(text, i + 1);
    if (close == std::string_view::npos) break;
    i = close + 1;
  }
  flush_probe(std::min(i, text.size()));
  for (std::size_t k = 0; k < column_letters.size() && k < state.column_alignments.size(); ++k) {
    state.column_alignments[k] = column_letters[k];
  }

  // Phase 2: the table width, then the widths and edges of the cells.
  const int v = available;
  int tw = v;
  if (state.width_is_percent && state.width_value >= 1 && state.width_value <= 100) {
    tw = Clamp(static_cast<long long>(v) * state.width_value / 100);
  } else if (!state.width_is_percent && state.width_value >= 1 &&
             static_cast<long long>(state.width_value) * 16 <= v) {
    tw = state.width_value * 16;
  }
  tw = std::max(tw, 1);
  state.table_width = tw;
  c.carry_over.current_table_width = tw;
  if (grid.rows.empty()) return;
  ComputeCellEdges(grid, tw, state.width_is_percent, column_widths);
}

void FlattenTable(std::string& input, std::size_t& pos, const TableMatches* matches) {
  const std::string_view text(input);
  const std::size_t tag_close = ts::NextClose(text, pos);
  if (tag_close == std::string_view::npos) {
    pos = input.empty() ? 0 : input.size() - 1;
    return;
  }
  pos = tag_close;
  std::size_t i = tag_close + 1;
  while (i < input.size()) {
    if (input[i] != '<') {
      i = input.find('<', i);
      if (i == std::string::npos) break;
      continue;
    }
    if (ts::AtTableEnd(text, i)) {
      std::fill(input.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                input.begin() + static_cast<std::ptrdiff_t>(i) + 7, ' ');
      return;
    }
    if (ts::AtTableStart(text, i)) {
      const std::size_t close = SkipNestedTable(text, i, matches);
      if (close == std::string_view::npos) return;
      i = close + 1;
      continue;
    }
    const bool row_or_cell_tag =
        LooksAtTag(text, i, "<tr", " \n\t>/") || LooksAtTag(text, i, "<td", " \n\t>/") ||
        LooksAtTag(text, i, "<th", " \n\t>/") ||
        LooksAtTag(text, i, "<thead", " \n\t>/") || ts::At(text, i, "</tr>") ||
        ts::At(text, i, "</td>") || ts::At(text, i, "</th>") || ts::At(text, i, "</thead>");
    const std::size_t close = ts::NextClose(text, i);
    if (close == std::string_view::npos) return;
    if (row_or_cell_tag && close >= i + 3) {
      // Blank the tag from after its "<" to before its last byte: "<tr>" becomes "< r>",
      // which the tag loop passes over as a tag it does not know.
      std::fill(input.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                input.begin() + static_cast<std::ptrdiff_t>(close) - 1, ' ');
    }
    i = close + 1;
  }
}

std::size_t FindUnmatchedTableEnd(std::string_view text, std::size_t from,
                                  const TableMatches* matches) {
  for (std::size_t i = from < text.size() ? text.find('<', from) : std::string_view::npos;
       i != std::string_view::npos; i = text.find('<', i + 1)) {
    if (ts::AtTableEnd(text, i)) return i;
    if (ts::AtTableStart(text, i)) {
      const std::size_t close = SkipNestedTable(text, i, matches);
      if (close == std::string_view::npos) return std::string_view::npos;
      i = close;
    }
  }
  return std::string_view::npos;
}

std::size_t DropTableEnd(std::string& input, std::size_t& pos, const TableMatches* matches) {
  const std::size_t tag_close = ts::NextClose(input, pos);
  if (tag_close == std::string_view::npos) {
    pos = input.empty() ? 0 : input.size() - 1;
    return std::string::npos;
  }
  pos = tag_close;
  const std::size_t end = FindUnmatchedTableEnd(input, tag_close + 1, matches);
  if (end != std::string_view::npos) {
    std::fill(input.begin() + static_cast<std::ptrdiff_t>(end),
              input.begin() + static_cast<std::ptrdiff_t>(end) + 8, ' ');
  }
  return end;
}

}  // namespace velmorane
