// What the row writer and the nesting bookkeeping share inside the tables module.
#ifndef VELMORANE_RTF_TABLES_TABLE_WRITER_H_
#define VELMORANE_RTF_TABLES_TABLE_WRITER_H_

#include <string>

#include "rtf/tables/tables.h"

namespace velmorane::table_writer {

// The record of the current nesting depth.
TableState& Current(Conversion& conversion);

// Appends the level text "\itap%d ".
void AppendLevel(std::string& out, int level);

// Leaves conversion.pos on the ">" that closes the tag it is in (or the last byte).
void MoveToClose(Conversion& conversion);

// Nesting step at an analysed "<table": the record at the current depth takes the table
// when it is free, otherwise the depth grows. False when no record is left (the table
// is then written as text).
[[nodiscard]] bool EnterTable(Conversion& conversion);

// Undoes EnterTable for a table that cannot be analysed.
void UndoEnterTable(Conversion& conversion);

// Nesting step at "</table>": clears the record and returns to the enclosing level.
void LeaveTable(Conversion& conversion);

// Ends the current table before its "</table>": clears the record, leaves its depth.
void EndTableEarly(Conversion& conversion);

// Cell ends still due in the current nested row.
void WriteNestedPendingCells(Conversion& conversion, TableState& state);

// The end of a nested row: its definition follows its cells.
void WriteNestedRowEnd(Conversion& conversion, TableState& state);

}  // namespace velmorane::table_writer

#endif  // VELMORANE_RTF_TABLES_TABLE_WRITER_H_
