// Table analysis: measuring a table, reading cell attributes and computing the right
// edge of every cell before the first row is written; and the fallbacks for tables that
// cannot be analysed (flattening into text, dropping a table end).
#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/conversion.h"
#include "tables/table_scan.h"
#include "tables/tables.h"

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
    } else if (ts::At(text, i, "</thead>")) {
      head = false;
    } else if (ts::AtFollowedBy(text, i, "<tr", ts::kBlankLfOrClose)) {
      if ((head || in_row) && cells == 0) {
        in_row = true;
        head = false;
      } else {
        // Cells met before any row tag form a row of their own.
        if (!in_row && !head && cells > 0) ++m.rows;
        ++m.rows;
        finish_row();
        in_row = true;
        head = false;
      }
    } else if (ts::At(text, i, "</tr>")) {
      if (!in_row && cells > 0) ++m.rows;  // a row written without <tr>
      finish_row();
      in_row = false;
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

// The width steps of the analysis, run on a grid whose cells hold the scanned values.
class EdgeBuilder {
 public:
  EdgeBuilder(TableGrid& grid, int table_width) : grid_(grid), tw_(table_width) {}

  void Run(bool table_is_percent, const std::vector<int>& column_widths) {
    ConvertPixelWidths(table_is_percent);
    InsertRowSpanPlaceholders();
    ComputeGridEnds();
    ApplyColumnWidths(column_widths);
    FillEmptyRows();
    GroupShapes();
    EqualiseGiven();
    ShareUnsized();
    PercentagesToTwips();
    EqualiseAgain();
    MarkComputed();
    FillZeroWidths();
    NoteAllZeroShapes();
    NormaliseRows();
    AlignColumns();
    Smooth();
  }

 private:
  int Count(std::size_t r) const { return static_cast<int>(grid_.rows[r].size()) - 1; }
  std::size_t RowCount() const { return grid_.rows.size(); }

  // Given pixel widths become twips.
  void ConvertPixelWidths(bool table_is_percent) {
    for (auto& row : grid_.rows) {
      for (std::size_t k = 1; k < row.size(); ++k) {
        GridCell& cell = row[k];
        if (cell.width > 0 && cell.percent == 0) {
          cell.width = PixelsToTwips(cell.width, table_is_percent, false, tw_);
        }
      }
    }
  }

  // A cell spanning n rows gets a placeholder in each covered row, at the grid column
  // where it starts, so that every later cell of the covered row keeps its own values.
  void InsertRowSpanPlaceholders() {
    const std::size_t rows = RowCount();
    for (std::size_t r = 0; r < rows; ++r) {
      int end = 0;
      for (int k = 1; k <= Count(r); ++k) {
        GridCell& cell = grid_.rows[r][k];
        end += cell.span;
        if (cell.rowspan <= 1 || cell.merge == kMergeContinue) continue;
        const int start = end - cell.span + 1;
        const std::size_t last =
            std::min(rows - 1, r + static_cast<std::size_t>(cell.rowspan) - 1);
        int covered = 0;
        for (std::size_t r2 = r + 1; r2 <= last; ++r2) {
          std::vector<GridCell>& row = grid_.rows[r2];
          // A full row ends the span here: rows cannot hold more cells than the grid.
          if (Count(r2) >= grid_.capacity) break;
          std::size_t p = 1;
          int before = 0;
          while (p < row.size() && before < start - 1) before += row[p++].span;
          GridCell placeholder = cell;
          placeholder.rowspan = 1;
          placeholder.merge = kMergeContinue;
          row.insert(row.begin() + static_cast<std::ptrdiff_t>(p), placeholder);
          ++covered;
        }
        if (covered > 0) cell.merge = kMergeStart;
        cell.rowspan = covered + 1;  // the rows really covered
      }
    }
  }

  void ComputeGridEnds() {
    for (auto& row : grid_.rows) {
      int end = 0;
      for (std::size_t k = 1; k < row.size(); ++k) {
        end = std::min(end + std::max(row[k].span, 1), 1000000);
        row[k].end = end;
      }
    }
  }

  // A column group applies to the rows with as many cells as it has columns.
  void ApplyColumnWidths(const std::vector<int>& column_widths) {
    if (column_widths.empty()) return;
    for (auto& row : grid_.rows) {
      if (row.size() - 1 != column_widths.size()) continue;
      for (std::size_t k = 1; k < row.size(); ++k) {
        if (column_widths[k - 1] > 0) {
          row[k].width = column_widths[k - 1];
          row[k].percent = 0;
        }
      }
    }
  }

  void FillEmptyRows() {
    for (auto& row : grid_.rows) {
      if (row.size() < 2) {
        row.resize(2);
        row[1].end = 1;
      }
    }
  }

  void GroupShapes() {
    shape_of_.assign(RowCount(), 0);
    first_of_shape_.clear();
    for (std::size_t r = 0; r < RowCount(); ++r) {
      const int count = Count(r);
      shape_of_[r] = count;
      shapes_[count].push_back(r);
      if (!first_of_shape_.count(count)) first_of_shape_[count] = r;
    }
  }

  // Among rows of one shape, cells without a percentage take the largest given width of
  // their position.
  void EqualiseGiven() {
    for (auto& [count, rows] : shapes_) {
      for (int k = 1; k <= count; ++k) {
        int largest = -1;
        for (std::size_t r : rows) {
          const GridCell& cell = grid_.rows[r][k];
          if (cell.percent == 0 && cell.width >= 0) largest = std::max(largest, cell.width);
        }
        if (largest < 0) continue;
        for (std::size_t r : rows) {
          GridCell& cell = grid_.rows[r][k];
          if (cell.percent == 0) cell.width = largest;
        }
      }
    }
  }

  // Cells still without a width share what the row's percentages leave.
  void ShareUnsized() {
    for (auto& row : grid_.rows) {
      long long percent_sum = 0;
      int unsized = 0;
      for (std::size_t k = 1; k < row.size(); ++k) {
        if (row[k].percent != 0) percent_sum += row[k].width;
        else if (row[k].width < 0) ++unsized;
      }
      if (unsized == 0) continue;
      const int share =
          percent_sum < 100 ? static_cast<int>((100 - percent_sum) / unsized) : 100 / unsized;
      for (std::size_t k = 1; k < row.size(); ++k) {
        if (row[k].percent == 0 && row[k].width < 0) {
          row[k].width = share;
          row[k].percent = 1;
        }
      }
    }
  }

  // Percentages share what the given widths leave of the table width.
  void PercentagesToTwips() {
    for (auto& row : grid_.rows) {
      long long percents = 0;
      long long given = 0;
      for (std::size_t k = 1; k < row.size(); ++k) {
        (row[k].percent != 0 ? percents : given) += row[k].width;
      }
      if (given >= tw_ || percents <= 0) continue;
      for (std::size_t k = 1; k < row.size(); ++k) {
        if (row[k].percent != 0) row[k].width = Clamp(row[k].width * (tw_ - given) / percents);
      }
    }
  }

  void EqualiseAgain() {
    for (auto& [count, rows] : shapes_) {
      for (int k = 1; k <= count; ++k) {
        int largest = 0;
        int smallest_derived = -1;
        for (std::size_t r : rows) {
          const GridCell& cell = grid_.rows[r][k];
          if (cell.percent == 0) {
            largest = std::max(largest, cell.width);
          } else if (smallest_derived < 0 || cell.width < smallest_derived) {
            smallest_derived = cell.width;
          }
        }
        for (std::size_t r : rows) {
          GridCell& cell = grid_.rows[r][k];
          if (largest > 0) {
            cell.width = largest;
          } else if (cell.percent != 0) {
            cell.width = smallest_derived;
          }
        }
      }
    }
  }

  // From here on the flag marks cells whose width is computed from the grid.
  void MarkComputed() {
    for (auto& row : grid_.rows) {
      for (std::size_t k = 1; k < row.size(); ++k) {
        row[k].width = std::max(row[k].width, 0);
        row[k].percent = row[k].width == 0 ? 1 : 0;
      }
    }
  }

  void FillZeroWidths() {
    int widest_end = 0;
    for (auto& row : grid_.rows) {
      for (std::size_t k = 1; k < row.size(); ++k) widest_end = std::max(widest_end, row[k].end);
    }
    widest_end = std::min(widest_end, grid_.capacity);
    // The width of grid column i, from rows whose first i cells are one column each.
    std::vector<int> column(static_cast<std::size_t>(widest_end) + 1, 0);
    for (auto& row : grid_.rows) {
      for (std::size_t k = 1; k < row.size(); ++k) {
        if (row[k].end == static_cast<int>(k) && row[k].end <= widest_end) {
          column[k] = std::max(column[k], row[k].width);
        }
      }
    }
    for (auto& row : grid_.rows) {
      for (std::size_t k = 1; k < row.size(); ++k) {
        const int end = row[k].end;
        if (row[k].width == 0 && end >= 1 && end <= widest_end && column[end] > 0) {
          row[k].width = column[end];
        }
      }
    }
    // A row-spanning cell hands its width to the cells it covers.
    for (std::size_t r = 0; r < RowCount(); ++r) {
      for (int k = 1; k <= Count(r); ++k) {
        const GridCell cell = grid_.rows[r][k];
        if (cell.merge != kMergeStart || cell.end <= 1) continue;
        const int start = cell.end - cell.span + 1;
        const std::size_t last =
            std::min(RowCount() - 1, r + static_cast<std::size_t>(cell.rowspan) - 1);
        for (std::size_t r2 = r + 1; r2 <= last; ++r2) {
          std::vector<GridCell>& row = grid_.rows[r2];
          long long others = 0;
          int zeros = 0;
          int in_range = 0;
          for (std::size_t k2 = 1; k2 < row.size(); ++k2) {
            if (row[k2].end < start || row[k2].end > cell.end) continue;
            ++in_range;
            if (row[k2].width == 0) ++zeros;
            else others += row[k2].width;
          }
          for (std::size_t k2 = 1; k2 < row.size(); ++k2) {
            if (row[k2].end < start || row[k2].end > cell.end) continue;
            if (zeros > 0 && others < cell.width) {
              if (row[k2].width == 0) row[k2].width = Clamp((cell.width - others) / zeros);
            } else {
              row[k2].width = in_range > 1 ? cell.width / (in_range - 1) : cell.width;
            }
          }
        }
      }
    }
  }

  void NoteAllZeroShapes() {
    for (auto& [count, rows] : shapes_) {
      bool all_zero = true;
      for (std::size_t r : rows) {
        for (int k = 1; k <= count && all_zero; ++k) all_zero = grid_.rows[r][k].width == 0;
      }
      all_zero_[count] = all_zero;
    }
  }

  // Scale each row to the table width; rows of a shape take the first one's widths.
  // The edges then run from the right: the last edge is the table width.
  void NormaliseRows() {
    for (std::size_t r = 0; r < RowCount(); ++r) {
      std::vector<GridCell>& row = grid_.rows[r];
      const std::size_t first = first_of_shape_[shape_of_[r]];
      if (first != r) {
        for (std::size_t k = 1; k < row.size(); ++k) row[k].width = grid_.rows[first][k].width;
      } else {
        NormaliseRow(row);
      }
      long long after = 0;
      for (std::size_t k = row.size() - 1; k >= 1; --k) {
        row[k].edge = Clamp(tw_ - after);
        after += row[k].width;
      }
      row.back().edge = tw_;
    }
  }

  void NormaliseRow(std::vector<GridCell>& row) {
    auto sum = [&row](bool flagged_only) {
      long long s = 0;
      for (std::size_t k = 1; k < row.size(); ++k) {
        if (!flagged_only || row[k].percent != 0) s += row[k].width;
      }
      return s;
    };
    auto scale = [&row](double factor, bool flagged_only) {
      for (std::size_t k = 1; k < row.size(); ++k) {
        if (!flagged_only || row[k].percent != 0) {
          row[k].width = Clamp(static_cast<long long>(row[k].width / factor));
        }
      }
    };
    bool pictures = false;
    for (std::size_t k = 1; k < row.size(); ++k) pictures = pictures || row[k].picture > 0;
    if (pictures) {
      for (std::size_t k = 1; k < row.size(); ++k) {
        row[k].width = std::max(row[k].width, row[k].picture);
      }
    }
    const long long total = sum(false);
    if (total <= 0) {
      // Nothing to scale: the cells share the table width equally.
      const int n = static_cast<int>(row.size()) - 1;
      for (std::size_t k = 1; k < row.size(); ++k) row[k].width = tw_ / n;
      return;
    }
    if (pictures) {
      scale(static_cast<double>(total) / tw_, false);
      const long long again = sum(false);
      if (again > 0 && (again < tw_ - 100 || again > tw_ + 1)) {
        scale(static_cast<double>(again) / tw_, false);
      }
      return;
    }
    const long long computed = sum(true);
    if (computed > 0 && computed < total && total - computed < tw_) {
      // Computed cells fill what the given widths leave.
      scale(static_cast<double>(computed) / static_cast<double>(tw_ - (total - computed)), true);
    } else {
      scale(static_cast<double>(total) / tw_, false);
    }
  }

  // Cells that end at the same grid column share one edge across the rows.
  void AlignColumns() {
    int widest_end = 0;
    for (auto& row : grid_.rows) widest_end = std::max(widest_end, row.back().end);
    std::vector<std::vector<std::pair<std::size_t, std::size_t>>> by_end(
        static_cast<std::size_t>(widest_end) + 1);
    for (std::size_t r = 0; r < RowCount(); ++r) {
      const std::vector<GridCell>& row = grid_.rows[r];
      if (row.size() == 2 && row[1].end == 1) continue;
      for (std::size_t k = 1; k < row.size(); ++k) {
        if (row[k].end >= 0 && row[k].end <= widest_end) by_end[row[k].end].emplace_back(r, k);
      }
    }
    for (std::size_t r = 0; r < RowCount(); ++r) {
      std::vector<GridCell>& row = grid_.rows[r];
      const std::size_t first = first_of_shape_[shape_of_[r]];
      if (first != r) {
        for (std::size_t k = 1; k < row.size(); ++k) row[k].edge = grid_.rows[first][k].edge;
        continue;
      }
      const std::size_t n = row.size() - 1;
      for (std::size_t k = 1; k <= n; ++k) {
        const GridCell& cell = row[k];
        if (n == 1 && (cell.end == 1 || (cell.span > 1 && cell.percent != 0))) continue;
        if (cell.end < 0 || cell.end > widest_end) continue;
        const auto& peers = by_end[cell.end];
        int choice = cell.edge == tw_ ? -1 : cell.edge;  // the table width is never chosen
        bool smaller_taken = false;
        for (const auto& [r2, k2] : peers) {
          const GridCell& other = grid_.rows[r2][k2];
          if (other.edge == tw_) continue;
          if (other.edge > choice) {
            if (!(other.percent != 0 && all_zero_[shape_of_[r2]])) choice = other.edge;
          } else if (other.edge < choice && !smaller_taken && cell.percent != 0 &&
                     other.percent == 0) {
            choice = other.edge;
            smaller_taken = true;
          }
        }
        if (choice < 0) continue;
        for (const auto& [r2, k2] : peers) {
          if (r2 >= r) grid_.rows[r2][k2].edge = choice;
        }
      }
    }
  }

  // An edge left of its predecessor moves to the middle of its neighbours; the last
  // edge of every row is the table width.
  void Smooth() {
    for (std::size_t r = 0; r < RowCount(); ++r) {
      std::vector<GridCell>& row = grid_.rows[r];
      const std::size_t first = first_of_shape_[shape_of_[r]];
      if (first != r) {
        for (std::size_t k = 1; k < row.size(); ++k) row[k].edge = grid_.rows[first][k].edge;
      } else {
        for (std::size_t k = 2; k + 1 < row.size(); ++k) {
          if (row[k].edge < row[k - 1].edge) {
            row[k].edge = Clamp((static_cast<long long>(row[k - 1].edge) + row[k + 1].edge) / 2);
          }
        }
      }
      row.back().edge = tw_;
    }
  }

  TableGrid& grid_;
  const int tw_;
  std::vector<int> shape_of_;
  std::map<int, std::vector<std::size_t>> shapes_;
  std::map<int, std::size_t> first_of_shape_;
  std::map<int, bool> all_zero_;
};

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
    } else if (ts::AtFollowedBy(text, i, "<tr", ts::kBlankLfOrClose)) {
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
    } else if (ts::AtFollowedBy(text, i, "<colgroup", ts::kBlankLfOrClose)) {
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
  EdgeBuilder(grid, tw).Run(state.width_is_percent, column_widths);
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
        ts::AtFollowedBy(text, i, "<tr", " \n\t>/") || ts::AtFollowedBy(text, i, "<td", " \n\t>/") ||
        ts::AtFollowedBy(text, i, "<th", " \n\t>/") ||
        ts::AtFollowedBy(text, i, "<thead", " \n\t>/") || ts::At(text, i, "</tr>") ||
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
