// Tables: analysis before writing, rows and cells, nested tables, and the fallbacks
// (tab-separated lines, flattening).
#ifndef VELMORANE_TABLES_TABLES_H_
#define VELMORANE_TABLES_TABLES_H_

namespace velmorane {

struct Conversion;

struct TableContext {};

// Called by the tag loop (output modes 1 and 2) at a "<": handles <table, </table>,
// <tr, </tr>, <td, <th, </td>, </th> and </caption>. Returns false when none matched.
bool TryTableTag(Conversion& conversion);

}  // namespace velmorane

#endif  // VELMORANE_TABLES_TABLES_H_
