// Nested tables: the nesting depth and levels, and the texts written where a nested
// row's cells and the row itself end (its definition follows its cells).
#include <algorithm>

#include "base/append.h"
#include "rtf/conversion.h"
#include "rtf/tables/table_writer.h"
#include "rtf/tables/tables.h"

namespace velmorane::table_writer {

TableState& Current(Conversion& c) {
  const int depth = std::clamp(c.loop.table_depth, 0, kMaxTableDepth - 1);
  return c.tables.records[static_cast<std::size_t>(depth)];
}

void AppendLevel(std::string& out, int level) { AppendF(out, R"(\itap%d )", level); }

void MoveToClose(Conversion& c) {
  const std::size_t close = c.pos < c.input.size() ? c.input.find('>', c.pos) : std::string::npos;
  c.pos = close != std::string::npos ? close : (c.input.empty() ? 0 : c.input.size() - 1);
}

namespace {

void ClearRecord(Conversion& c, int depth) {
  const auto d = static_cast<std::size_t>(depth);
  c.tables.records[d] = TableState{};
  c.loop.in_cell[d] = false;
  c.loop.cell_level[d] = 0;
}

}  // namespace

bool EnterTable(Conversion& c) {
  TagLoopState& loop = c.loop;
  TableState& state = Current(c);
  if (state.level == 0) {
    ClearRecord(c, loop.table_depth);
    Current(c).level = loop.table_depth + 1;
    if (loop.table_depth == 0 && !loop.at_paragraph_start) {
      c.output += c.templates.paragraph_start;
      loop.at_paragraph_start = true;
      loop.after_paragraph_close = false;
    }
    return true;
  }
  // The table starts inside a cell of the current one.
  if (loop.table_depth + 1 >= kMaxTableDepth) return false;
  ++loop.table_depth;
  ClearRecord(c, loop.table_depth);
  Current(c).level = loop.table_depth + 1;
  return true;
}

void UndoEnterTable(Conversion& c) {
  ClearRecord(c, c.loop.table_depth);
  if (c.loop.table_depth > 0) --c.loop.table_depth;
}

void EndTableEarly(Conversion& c) { UndoEnterTable(c); }

void LeaveTable(Conversion& c) {
  TagLoopState& loop = c.loop;
  ClearRecord(c, loop.table_depth);
  if (loop.table_depth > 0) {
    --loop.table_depth;
    // The text that follows belongs to the enclosing cell and its level.
    AppendF(c.output, "\\itap%d\n", Current(c).level);
  }
}

void WriteNestedPendingCells(Conversion& c, TableState& state) {
  for (; state.pending_cells > 0; --state.pending_cells) {
    AppendF(c.output, "\n" R"(\pard \intbl\itap%d )" "\n" R"(\nestcell{\nonesttables\par})", state.level);
  }
}

void WriteNestedRowEnd(Conversion& c, TableState& state) {
  AppendF(c.output, "\n" R"(\pard \intbl\itap%d )", state.level);
  c.output += state.row_properties;
  c.output += R"(\nestrow}{\nonesttables\par})" "\n";
  // After the last row the following text is at the enclosing level.
  if (state.row_index == state.rows) --state.level;
}

}  // namespace velmorane::table_writer
