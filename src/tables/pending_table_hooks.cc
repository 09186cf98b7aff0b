// Hooks served by other parts, until they are built: no picture widths in cells and no
// class or id rules for cells.
#include "tables/tables.h"

namespace velmorane {

int ProbeCellPictureWidth(Conversion&, std::string_view) { return 0; }

bool FindCellRule(const Conversion&, std::string_view, CellRuleValues&) { return false; }

}  // namespace velmorane
