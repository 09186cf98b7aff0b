// Computing the right edge of every cell of an analysed table from its scanned values.
#ifndef VELMORANE_RTF_TABLES_CELL_EDGES_H_
#define VELMORANE_RTF_TABLES_CELL_EDGES_H_

#include <vector>

#include "rtf/tables/tables.h"

namespace velmorane {

// Turns the scanned widths, spans and picture widths of `grid` into twips and right
// edges for a table `table_width` twips wide; `column_widths` are the twips of a column
// group (empty without one). Merge markers are set for cells spanning rows.
void ComputeCellEdges(TableGrid& grid, int table_width, bool table_is_percent,
                      const std::vector<int>& column_widths);

}  // namespace velmorane

#endif  // VELMORANE_RTF_TABLES_CELL_EDGES_H_
