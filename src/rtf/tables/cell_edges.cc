// The widths and right edges of the cells of an analysed table: given widths in
// twips, spans over rows, shares for unsized cells, rows scaled to the table width and
// edges aligned across rows.
#include "rtf/tables/cell_edges.h"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

namespace velmorane {

namespace {

int Clamp(long long value) {
  if (value > 1000000000LL) return 1000000000;
  if (value < -1000000000LL) return -1000000000;
  return static_cast<int>(value);
}

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

}  // namespace

void ComputeCellEdges(TableGrid& grid, int table_width, bool table_is_percent,
                      const std::vector<int>& column_widths) {
  if (grid.rows.empty()) return;
  EdgeBuilder(grid, table_width).Run(table_is_percent, column_widths);
}

}  // namespace velmorane
