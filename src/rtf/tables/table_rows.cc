// The table tag handlers: which handling a conversion uses, the analysed path (row
// definitions from the measured grid, nested tables included), the simple path (equal
// columns, rows written as they come) and the tab-separated lines of output mode 1.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "base/append.h"
#include "rtf/conversion.h"
#include "rtf/style_rules.h"
#include "rtf/tables/table_scan.h"
#include "rtf/tables/table_writer.h"
#include "rtf/tables/tables.h"

namespace velmorane {

namespace ts = table_scan;
using table_writer::AppendLevel;
using table_writer::Current;
using table_writer::MoveToClose;

namespace {

constexpr char kBorderGroup[] =
    "\n" R"(\clbrdrl\brdrs\brdrw5\clbrdrt\brdrs\brdrw5\clbrdrr\brdrs\brdrw5\clbrdrb\brdrs\brdrw5)";
// The simple path spreads its columns over this width.
constexpr int kSimpleTableWidth = 9500;
// An alignment value after " align" is compared when at most this long.
constexpr std::size_t kMaxAlignValue = 30;

void Prepare(Conversion& c) {
  TableContext& t = c.tables;
  if (t.handling != TableHandling::kUnset) return;
  if (c.output_mode == kModeRtfNoTables) {
    t.handling = TableHandling::kTabs;
  } else if (c.output_mode == kModeRtfTables) {
    // Without nested tables every table takes the simple path, whatever the width option.
    t.handling = c.options.keep_nested_tables != 0 ? TableHandling::kAnalysed
                                                   : TableHandling::kSimple;
  } else {
    t.handling = TableHandling::kNone;
  }
  const CarryOver& k = c.carry_over;
  t.row_prologue = StringF(
      "\n" R"(\trowd\trgaph35\trautofit1\trleft%d\trpaddfr3\trpaddfl3\trpaddft3\trpaddfb3\trpaddr%d\trpaddl%d\trpaddb%d\trpaddt%d )",
      k.row_left_offset, k.cell_padding_right, k.cell_padding_left, k.cell_padding_bottom,
      k.cell_padding_top);
  t.nested_row_prologue = StringF(
      "\n" R"({\*\nesttableprops\trgaph35\trautofit1\trleft%d\trautofit1\trpaddfr3\trpaddfl3\trpaddft3\trpaddfb3\trpaddr%d\trpaddl%d\trpaddb%d\trpaddt%d )",
      k.row_left_offset, k.cell_padding_right, k.cell_padding_left, k.cell_padding_bottom,
      k.cell_padding_top);
  t.default_borders = c.options.table_border == 1;
  if (t.handling == TableHandling::kAnalysed || t.handling == TableHandling::kSimple) {
    t.matches.Build(c.input);
  }
}

bool KeepAlignment(const Conversion& c) { return c.options.keep_alignment != 0; }
bool KeepBackground(const Conversion& c) { return c.options.keep_background_color != 0; }

std::string_view Rest(const Conversion& c) { return std::string_view(c.input).substr(c.pos); }

// A blank that follows a line feed at the end of the output goes.
void RemoveTrailingBlankAfterLf(std::string& out) {
  if (out.size() >= 2 && out.back() == ' ' && out[out.size() - 2] == '\n') out.pop_back();
}

void RemoveTrailingSpace(std::string& out) {
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
}

// The last "\par" control word (not "\pard") of the output goes, with picture positions
// behind it moved back.
void RemoveLastParagraphMark(Conversion& c) {
  const std::string_view out = c.output.From(0);
  std::size_t at = out.size();
  while (at > 0) {
    at = out.rfind("\\par", at - 1);
    if (at == std::string::npos) return;
    const unsigned char next = ts::ByteAt(out, at + 4);
    if (!((next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z'))) {
      c.output.Erase(c.output.TailStart() + at, 4);
      return;
    }
  }
}

// The position of the next "</table>" at or after `from`, or npos.
std::size_t FindTableEnd(std::string_view text, std::size_t from) {
  for (std::size_t i = text.find('<', from); i != std::string_view::npos;
       i = text.find('<', i + 1)) {
    if (ts::AtTableEnd(text, i)) return i;
  }
  return std::string_view::npos;
}

const char* AlignmentWord(char letter) {
  switch (letter) {
    case 'c': return R"(\qc )";
    case 'r': return R"(\qr )";
    case 'j': return R"(\qj )";
    default: return R"(\ql )";
  }
}

// A control word at the end of the output would take in a letter or digit written right
// after the tag ("\cell" and "x" read "\cellx", "\cellx9500" and "5" read "\cellx95005"):
// a blank ends the word first. Assumes conversion.pos is on the tag's ">".
void EndControlWordBeforeText(Conversion& c) {
  const std::string& out = c.output.text();
  const unsigned char next = ts::ByteAt(c.input, c.pos + 1);
  const bool next_is_letter = (next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z');
  if (!next_is_letter && !ts::IsDigit(next) && next != '-') return;
  std::size_t i = out.size();
  while (i > 0 && ts::IsDigit(static_cast<unsigned char>(out[i - 1]))) --i;
  const bool has_number = i < out.size();
  if (has_number && !ts::IsDigit(next)) return;
  if (has_number && i > 0 && out[i - 1] == '-') --i;
  const std::size_t word_end = i;
  auto is_letter = [](char b) { return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z'); };
  while (i > 0 && is_letter(out[i - 1])) --i;
  if (i == word_end) return;
  // The word follows an odd run of backslashes: the last one starts it.
  std::size_t slashes = 0;
  while (i > slashes && out[i - 1 - slashes] == '\\') ++slashes;
  if (slashes % 2 == 1) c.output += ' ';
}

// --- Analysed path ----------------------------------------------------------------------

// One cell of the current row's definition, into the output or (nested) the row buffer.
void WriteCellDefinition(const Conversion& c, const TableState& s, int r, int k,
                         bool implicit_row, std::string& dest) {
  const GridCell& cell = s.grid.At(r, k);
  if (s.borders || cell.border == kBorderMark) dest += kBorderGroup;
  if (!implicit_row && KeepBackground(c) && s.row_shading != 0) {
    AppendF(dest, R"(\clcbpat%d )", s.row_shading);
  }
  if (cell.merge == kMergeContinue || cell.merge == kMergeStart) {
    if (s.level >= 2) AppendLevel(dest, s.level);
    dest += cell.merge == kMergeContinue ? R"(\clvmrg)" : R"(\clvmgf)";
  }
  if (!implicit_row && KeepBackground(c) && cell.shading >= 1 &&
      static_cast<std::size_t>(cell.shading) < c.colors.size() + 5) {
    AppendF(dest, R"(\clcbpat%d)", cell.shading);
  }
  if (!implicit_row && KeepAlignment(c)) {
    if (cell.vertical_align == 1) dest += R"(\clvertalc)";
    if (cell.vertical_align == 2) dest += R"(\clvertalb)";
  }
  AppendF(dest, "\n" R"(\cellx%d)", std::min(cell.edge, s.table_width));
}

// An empty cell written for an implied cell end or a covered cell.
void WriteEmptyCell(Conversion& c, TableState& s, const char* top_level_text) {
  if (s.level >= 2) {
    AppendF(c.output, "\n" R"(\pard \intbl\itap%d \nestcell{\nonesttables\par})", s.level);
  } else {
    c.output += top_level_text;
  }
  s.pending_cells = std::max(s.pending_cells - 1, 0);
  ++s.cell_index;
}

// The row definition: prologue, alignment, cell definitions, then the empty cells of
// leading merge continuations. An implicit row (no row tag) gets no alignment or shading.
void StartRow(Conversion& c, TableState& s, bool implicit_row) {
  RemoveTrailingBlankAfterLf(c.output.text());
  const bool nested = s.level >= 2;
  if (nested) s.row_properties = c.tables.nested_row_prologue;
  else c.output += c.tables.row_prologue;
  std::string& dest = nested ? s.row_properties : c.output.text();
  if (!implicit_row) {
    if (s.alignment == 1) dest += R"(\trqc )";
    if (s.alignment == 2) dest += R"(\trqr )";
  }
  const int r = std::clamp(s.row_index, 0, std::max(s.rows - 1, 0));
  const int count = s.grid.CellCount(r);
  s.definition_row = r;
  s.cells_in_row = count;
  s.pending_cells = count;
  s.cell_index = 0;
  s.cells_started = 0;
  s.in_row = true;
  for (int k = 1; k <= count; ++k) WriteCellDefinition(c, s, r, k, implicit_row, dest);

  if (s.grid.At(r, 1).merge == kMergeContinue) {
    if (nested) {
      AppendF(c.output, "\n" R"(\pard\intbl\itap%d \nestcell{\nonesttables\par})", s.level);
      s.pending_cells = std::max(s.pending_cells - 1, 0);
      ++s.cell_index;
    } else {
      WriteEmptyCell(c, s, R"(\pard\intbl\cell)");
    }
    while (s.cell_index < s.columns && s.grid.At(r, s.cell_index + 1).merge == kMergeContinue) {
      if (nested) {
        AppendF(c.output, "\n" R"(\pard\intbl\itap%d \nestcell{\nonesttables\par})", s.level);
        s.pending_cells = std::max(s.pending_cells - 1, 0);
        ++s.cell_index;
      } else {
        WriteEmptyCell(c, s, R"(\pard \intbl\cell)");
      }
    }
  }
  s.cell_open = false;
  // Rows of a one-row table all take its single definition.
  if (s.rows >= 2) ++s.row_index;
  if (!implicit_row) s.row_started = true;
}

// Ends a row of the top level (analysed or simple path): its missing cells, then the row.
void CloseTopLevelRow(Conversion& c, TableState& s) {
  for (; s.pending_cells > 0; --s.pending_cells) c.output += "\n" R"(\pard \intbl\cell)";
  c.output += R"(\pard \intbl \row)" "\n";
  s.in_row = false;
}

// True when the output ends (blanks aside) with the end of a top-level table.
bool EndsWithTableEnd(std::string_view out) {
  std::size_t end = out.size();
  while (end > 0 && (out[end - 1] == '\n' || out[end - 1] == ' ')) --end;
  return out.substr(0, end).ends_with(R"(\row\pard)");
}

// True when the output ends (blanks aside) with the end of a nested table whose
// enclosing level is `level`.
bool EndsWithNestedTableEnd(std::string_view out, int level) {
  std::size_t end = out.size();
  while (end > 0 && (out[end - 1] == '\n' || out[end - 1] == ' ')) --end;
  const std::string tail = StringF(R"(\nestrow}{\nonesttables\par}\itap%d)", level);
  return out.substr(0, end).ends_with(tail);
}

void AnalysedTableStart(Conversion& c) {
  TagLoopState& loop = c.loop;
  const std::size_t tag = c.pos;
  {
    TableState& s = Current(c);
    if (s.level != 0 && s.in_row && s.pending_cells == 0 && s.row_started) {
      // The last cell of a row was closed and the row end never came: the table ends.
      if (s.level >= 2) {
        table_writer::WriteNestedRowEnd(c, s);
      } else {
        c.output += R"(\pard \intbl \row)" "\n";
        s.in_row = false;
      }
      table_writer::EndTableEarly(c);
    }
  }
  if (!table_writer::EnterTable(c)) {
    // No nesting level left: the table's text stays in the enclosing cell.
    FlattenTable(c.input, c.pos, &c.tables.matches);
    return;
  }
  TableState& s = Current(c);
  if (KeepBackground(c)) {
    const std::string_view text(c.input);
    const std::size_t end = std::min(text.find('>', tag), text.size());
    s.table_shading = TagBackground(c, text.substr(tag, end - tag), kElementTable);
  }
  // A size the table sets reaches the text of its cells.
  s.size_before = 0;
  if (c.options.keep_font_size) {
    const std::string_view text(c.input);
    const std::size_t end = std::min(text.find('>', tag), text.size());
    const int points = TagFontSize(c, text.substr(tag, end - tag), kElementTable);
    if (points >= 1 && points != loop.current_size) {
      s.size_before = loop.current_size;
      loop.current_size = points;
      loop.size_string = StringF(R"(\fs%d )", 2 * points);
      c.output += loop.size_string;
    }
  }
  const char letter = loop.alignment_string.size() >= 3 ? loop.alignment_string[2] : 0;
  s.alignment = letter == 'r' ? 2 : (letter == 'c' || loop.center_state == 1) ? 1 : 0;

  const std::string_view text = std::string_view(c.input).substr(tag);
  const TableMeasure m = MeasureTable(text, &c.tables.matches);
  s.rows = m.rows;
  s.columns = m.grid_columns + 2;
  if (!m.found_end || s.columns >= kMaxGridColumns + 3 || m.rows == 0) {
    FlattenTable(c.input, c.pos, &c.tables.matches);
    table_writer::UndoEnterTable(c);
    return;
  }
  int available = c.printable_width;
  if (s.level >= 2) {
    const TableState& enclosing =
        c.tables.records[static_cast<std::size_t>(loop.table_depth - 1)];
    available = ParentCellWidth(enclosing, c.printable_width) - c.carry_over.cell_padding_left - 35;
  }
  // A nested table keeps some width even in the narrowest cell.
  available = std::max(available, 100);
  AnalyzeTable(c, text, s, available);

  s.borders = c.tables.default_borders;
  const unsigned char after_name = ts::ByteAt(text, 6);
  if ((after_name == ' ' || after_name == '\n') && c.options.table_border == 2) {
    s.borders = ReadBorderAttribute(text, &c.tables.matches);
  }
  MoveToClose(c);

  if (s.level >= 2) {
    if (loop.cell_has_text || EndsWithNestedTableEnd(c.output.text(), s.level - 1)) {
      // End the paragraph of the enclosing cell before the nested table (also right
      // after another nested table, which a reader would join to this one).
      c.output += c.templates.cell_paragraph_start;
      AppendLevel(c.output.text(), s.level - 1);
    }
  } else if ((loop.cell_has_text && !loop.at_paragraph_start) || EndsWithTableEnd(c.output.text())) {
    // Also between two tables: with no paragraph between them a reader joins their rows
    // into one table.
    c.output += "\n" R"(\pard\par)" "\n";
  }
  if (FirstRowIsExplicit(std::string_view(c.input).substr(std::min(c.pos + 1, c.input.size())))) {
    return;
  }
  StartRow(c, s, /*implicit_row=*/true);
  EndControlWordBeforeText(c);
}

// DropTableEnd for the row tags of a table that is not written. Rows of one abandoned
// table follow each other: while only whole tables come between, a search resumes
// where the previous one stopped, so that many such rows cost one pass over the input.
void DropEndOfAbandonedTable(Conversion& c) {
  auto& d = c.tables.drop_scan;
  MoveToClose(c);
  const std::size_t from = c.pos + 1;
  const std::string_view text(c.input);
  std::size_t start = from;
  if (d.valid && from >= d.anchor && from >= d.clean_until) {
    for (std::size_t i = text.find('<', d.clean_until); i != std::string_view::npos && i < from;
         i = text.find('<', i + 1)) {
      if (ts::AtTableStart(text, i)) ++d.depth;
      if (ts::AtTableEnd(text, i) && --d.depth < 0) break;
    }
    d.clean_until = from;
    if (d.depth < 0) {
      d.valid = false;
    } else if (d.depth == 0) {
      if (d.exhausted) return;
      if (from < d.resume) start = d.resume;
    }
  }
  const std::size_t end = FindUnmatchedTableEnd(text, start, &c.tables.matches);
  if (start == from) {
    d.anchor = from;
    d.depth = 0;
  }
  d.valid = true;
  d.clean_until = from;
  d.exhausted = end == std::string_view::npos;
  if (!d.exhausted) {
    std::fill(c.input.begin() + static_cast<std::ptrdiff_t>(end),
              c.input.begin() + static_cast<std::ptrdiff_t>(end) + 8, ' ');
    d.resume = end + 8;
  }
}

void AnalysedRowStart(Conversion& c) {
  TableState& s = Current(c);
  if (KeepBackground(c)) {
    // The row's own background, else the table's.
    const std::string_view text(c.input);
    std::size_t end = c.pos + 1;
    while (end < text.size() && text[end] != '>' && text[end] != '<') ++end;
    const int shading = TagBackground(c, text.substr(c.pos, end - c.pos), kElementTr);
    s.row_shading = shading != 0 ? shading : s.table_shading;
  }
  if (s.level == 0 || s.rows == 0 || s.columns == 0) {
    // A row of a table that is not being written: its end tag must not end another.
    DropEndOfAbandonedTable(c);
    return;
  }
  // Two row starts with no cell between them count once.
  if (s.row_started && !s.cell_open && s.cells_started == 0) {
    MoveToClose(c);
    return;
  }
  if (s.level >= 2) {
    if (s.in_row) {
      table_writer::WriteNestedPendingCells(c, s);
      table_writer::WriteNestedRowEnd(c, s);
    }
  } else if (s.in_row) {
    for (; s.pending_cells > 0; --s.pending_cells) c.output += "\n" R"(\pard\intbl\cell)";
    c.output += R"(\pard\intbl\row)" "\n";
  }
  c.loop.in_cell[static_cast<std::size_t>(c.loop.table_depth)] = false;
  MoveToClose(c);
  StartRow(c, s, /*implicit_row=*/false);
  EndControlWordBeforeText(c);
}

// " align" in a cell tag: "center" or "middle", "left", "right".
const char* CellAlignmentFromTag(std::string_view tag, const char* fallback) {
  for (std::size_t i = 1; i < tag.size() && tag[i] != '>'; ++i) {
    if ((tag[i - 1] != ' ' && tag[i - 1] != '\n') || !ts::At(tag, i, "align")) continue;
    std::size_t j = i + 5;
    if (ts::ByteAt(tag, j) == ':') ++j;
    std::string value = ReadAttributeValue(tag.substr(0, tag.find('>')), j);
    if (value.size() > kMaxAlignValue) value.resize(kMaxAlignValue);
    if (value == "center" || value == "middle") return R"(\qc )";
    if (value == "left") return R"(\ql )";
    if (value == "right") return R"(\qr )";
    return fallback;
  }
  return fallback;
}

bool AnalysedCellStart(Conversion& c) {
  TagLoopState& loop = c.loop;
  TableState* s = &Current(c);
  // A cell outside any table being written is an unknown tag.
  if (s->level == 0 || s->grid.empty()) return false;
  const std::size_t tag = c.pos;
  loop.trailing_break = false;
  // Cells before any row tag form an implicit row.
  if (!s->in_row) StartRow(c, *s, /*implicit_row=*/true);
  if (s->cell_open) {
    // The previous cell had no end tag.
    WriteEmptyCell(c, *s, R"(\pard \intbl\cell)");
    s->cell_open = false;
  }
  // Cells covered by a cell spanning rows from above.
  if (s->row_index >= 1) {
    const int r = s->definition_row;
    while (s->cell_index < s->columns && s->grid.At(r, s->cell_index + 1).merge == kMergeContinue) {
      WriteEmptyCell(c, *s, R"(\pard \intbl\cell)");
    }
  }
  if (s->pending_cells <= 0 && (s->row_started || s->cells_started > 0)) {
    // More cells than the row definition: the table ends here and the rest of its
    // content is text of the enclosing level.
    if (s->level >= 2) {
      table_writer::WriteNestedRowEnd(c, *s);
    } else {
      c.output += R"(\pard\intbl\row)" "\n";
      s->in_row = false;
    }
    table_writer::EndTableEarly(c);
    DropTableEnd(c.input, c.pos, &c.tables.matches);
    return true;
  }
  if (s->level >= 2) {
    AppendF(c.output, "\n" R"(\pard \intbl\itap%d )", s->level);
  } else {
    c.output += "\n" R"(\pard\intbl )";
  }
  const char* alignment = R"(\ql )";
  if (s->cell_index >= 0 && s->cell_index < kMaxColumnElements) {
    const char letter = s->column_alignments[static_cast<std::size_t>(s->cell_index)];
    if (letter != 0) alignment = AlignmentWord(letter);
  }
  // Header cells are centred and bold unless the page says otherwise.
  const bool header = LooksAtTag(c.input, tag, "<th", " \n\t>/");
  if (header && alignment == std::string_view(R"(\ql )")) alignment = R"(\qc )";
  if (KeepAlignment(c)) alignment = CellAlignmentFromTag(Rest(c), alignment);
  MoveToClose(c);
  const std::size_t close = c.pos;
  if (KeepAlignment(c)) {
    c.output += alignment;
    loop.alignment_string = alignment;
  }
  s->cell_open = true;
  ++s->cells_started;
  loop.char_data_allowed = false;
  loop.cell_has_text = false;
  loop.cell_paragraph_mode = true;
  loop.cell_paragraph_count = 0;
  const auto depth = static_cast<std::size_t>(loop.table_depth);
  loop.in_cell[depth] = true;
  loop.cell_level[depth] = s->level;
  if (header) {
    c.output += R"({\b )";
    c.sheet.bold_groups = std::max(0, c.sheet.bold_groups) + 1;
    loop.after_control_word = true;
  }
  OpenElementStyle(c, tag, kElementCell, true);
  c.pos = close;
  return true;
}

bool AnalysedCellEnd(Conversion& c) {
  TagLoopState& loop = c.loop;
  TableState& s = Current(c);
  if (s.level == 0 || !s.in_row || !s.cell_open) return false;
  for (; loop.groups.bold > 0; --loop.groups.bold) c.output += '}';
  for (; loop.groups.strong > 0; --loop.groups.strong) c.output += '}';
  if (loop.trailing_break) {
    RemoveLastParagraphMark(c);
    loop.trailing_break = false;
  }
  CloseElementStyle(c, kElementCell, c.base_size);
  if (s.level >= 2) {
    AppendF(c.output, R"(\itap%d \nestcell{\nonesttables\par})", s.level);
  } else {
    c.output += R"(\cell)";
  }
  s.pending_cells = std::max(s.pending_cells - 1, 0);
  ++s.cell_index;
  s.cell_open = false;
  loop.in_cell[static_cast<std::size_t>(loop.table_depth)] = false;
  loop.cell_paragraph_mode = false;
  loop.cell_paragraph_count = 0;
  loop.after_paragraph_close = false;
  loop.after_div_close = false;
  MoveToClose(c);
  EndControlWordBeforeText(c);
  return true;
}

bool AnalysedRowEnd(Conversion& c) {
  TableState& s = Current(c);
  if (s.level == 0 || !s.in_row) return false;
  if (s.level >= 2) {
    table_writer::WriteNestedPendingCells(c, s);
    table_writer::WriteNestedRowEnd(c, s);
    // The text that follows: the enclosing level after the last row.
    AppendF(c.output, R"(\intbl\itap%d )", s.rows == 1 ? s.level - 1 : s.level);
    s.in_row = false;
  } else {
    CloseTopLevelRow(c, s);
  }
  s.cell_open = false;
  c.loop.in_cell[static_cast<std::size_t>(c.loop.table_depth)] = false;
  if (KeepBackground(c)) s.row_shading = 0;
  s.row_started = false;
  if (s.row_index >= s.rows) {
    // The last row: whatever stands before the table end is passed over.
    const std::size_t end = FindTableEnd(c.input, c.pos + 1);
    c.pos = end != std::string_view::npos ? end - 1 : c.input.size() - 1;
    return true;
  }
  MoveToClose(c);
  return true;
}

// Also a table end with no table open: at the top level it still ends the paragraph
// formatting.
void AnalysedTableEnd(Conversion& c) {
  TagLoopState& loop = c.loop;
  TableState& s = Current(c);
  if (s.in_row) {
    if (s.level >= 2) {
      table_writer::WriteNestedPendingCells(c, s);
      table_writer::WriteNestedRowEnd(c, s);
    } else {
      CloseTopLevelRow(c, s);
    }
  }
  if (loop.table_depth == 0) {
    RemoveTrailingSpace(c.output.text());
    c.output += "\\pard\n";
  } else {
    s.in_row = false;
    // Cut the level text written after the nested table's last row.
    const std::size_t lf = c.output.RFind("\n");
    if (lf != std::string::npos) {
      const std::string_view tail = c.output.From(lf + 1);
      if (tail.empty() || tail.substr(0, 11) == R"(\intbl\itap)") c.output.Resize(lf);
    }
  }
  MoveToClose(c);
  const int size_before = s.size_before;
  table_writer::LeaveTable(c);
  if (size_before >= 1) {
    loop.current_size = size_before;
    loop.size_string = StringF(R"(\fs%d )", 2 * size_before);
    c.output += loop.size_string;
  }
  loop.cell_has_text = false;
  loop.cell_paragraph_mode = false;
  loop.cell_paragraph_count = 0;
  loop.at_paragraph_start = true;
}

void CaptionEnd(Conversion& c) {
  TableState& s = Current(c);
  if (s.in_row) {
    c.output += c.templates.cell_paragraph_start;
    if (c.loop.table_depth >= 1) AppendLevel(c.output.text(), s.level);
  } else {
    c.output += c.templates.paragraph_start;
  }
  c.loop.at_paragraph_start = true;
  MoveToClose(c);
}

bool TryAnalysedTag(Conversion& c) {
  const std::string_view text(c.input);
  const std::size_t i = c.pos;
  if (ts::AtTableStart(text, i)) {
    AnalysedTableStart(c);
    return true;
  }
  if (ts::AtTableEnd(text, i)) {
    AnalysedTableEnd(c);
    return true;
  }
  if (LooksAtTag(text, i, "<tr", ts::kBlankOrClose)) {
    AnalysedRowStart(c);
    return true;
  }
  if (ts::At(text, i, "</tr>")) return AnalysedRowEnd(c);
  if (ts::AtCellStart(text, i, ts::kBlankLfOrClose)) return AnalysedCellStart(c);
  if (ts::At(text, i, "</td>") || ts::At(text, i, "</th>")) return AnalysedCellEnd(c);
  if (ts::At(text, i, "</caption>")) {
    CaptionEnd(c);
    return true;
  }
  return false;
}

// --- Simple path --------------------------------------------------------------------------

TableState& SimpleRecord(Conversion& c) { return c.tables.records[0]; }

void SimpleTableStart(Conversion& c) {
  TagLoopState& loop = c.loop;
  TableState& s = SimpleRecord(c);
  const std::string_view text = Rest(c);
  const bool attributes = ts::ByteAt(text, 6) == ' ';
  s.borders = c.tables.default_borders;
  if (attributes && c.options.table_border == 2) {
    s.borders = ReadBorderAttribute(text, &c.tables.matches);
  }
  if (attributes) {
    const CellAttributes a = ParseCellAttributes(text, nullptr, nullptr);
    s.width_value = a.width;
    s.width_is_percent = a.percent;
  }
  MoveToClose(c);
  ++s.level;  // tables open, for their end tags
  if (s.in_row) {
    for (; s.pending_cells > 0; --s.pending_cells) c.output += "\n" R"(\pard \intbl\cell)";
    c.output += "\n" R"(\pard \intbl \row)";
    s.in_row = false;
  }
  loop.char_data_allowed = false;
  if (loop.cell_has_text && !loop.at_paragraph_start) c.output += "\n" R"(\pard\par)" "\n";
}

void SimpleRowStart(Conversion& c) {
  TableState& s = SimpleRecord(c);
  MoveToClose(c);
  if (s.in_row) CloseTopLevelRow(c, s);
  RemoveTrailingBlankAfterLf(c.output.text());
  c.output += c.tables.row_prologue;
  s.in_row = true;
  // Count the cells of this row, up to the next row or table tag.
  const std::string_view text(c.input);
  int count = 0;
  for (std::size_t i = text.find('<', c.pos + 1); i != std::string_view::npos;
       i = text.find('<', i + 1)) {
    if (ts::At(text, i, "</tr>") || LooksAtTag(text, i, "<tr", ts::kBlankOrClose) ||
        LooksAtTag(text, i, "<table", ts::kBlankOrClose)) {
      break;
    }
    if (ts::AtCellStart(text, i, ts::kBlankOrClose)) ++count;
  }
  // A row without cells still gets one, so that the row is well formed.
  count = std::max(count, 1);
  s.pending_cells = count;
  s.cells_in_row = count;
  for (int edge : EqualColumnEdges(count, kSimpleTableWidth)) {
    if (s.borders) {
      c.output += kBorderGroup;
      c.output += R"(\cellx)";
    } else {
      c.output += "\n" R"(\cellx)";
    }
    AppendF(c.output, "%d", edge);
  }
  EndControlWordBeforeText(c);
}

void SimpleCellStart(Conversion& c) {
  TagLoopState& loop = c.loop;
  c.output += "\n" R"(\pard \intbl )";
  const std::string_view text(c.input);
  std::size_t i = c.pos + 3;
  for (; i < text.size() && text[i] != '>' && text[i] != '<'; ++i) {
    if (KeepAlignment(c)) {
      char letter = 0;
      if (ts::At(text, i, "center") || ts::At(text, i, "middle")) letter = 'c';
      else if (ts::At(text, i, "left")) letter = 'l';
      else if (ts::At(text, i, "right")) letter = 'r';
      if (letter != 0) loop.alignment_string = AlignmentWord(letter);
    }
    if (KeepBackground(c) && ts::At(text, i, "bgcolor=")) {
      std::size_t j = i + 8;
      std::string value;
      ParseColor(text.substr(0, text.find('>', i)), j, value);
      i = std::max(j, i + 8) - 1;
    }
  }
  // A "<" inside the tag starts the next tag: stop before it.
  c.pos = i < text.size() && text[i] == '>' ? i : (i > 0 ? i - 1 : 0);
  if (KeepAlignment(c)) c.output += loop.alignment_string;
  loop.char_data_allowed = false;
  loop.in_cell[0] = true;
  loop.cell_level[0] = 1;
}

bool TrySimpleTag(Conversion& c) {
  const std::string_view text(c.input);
  const std::size_t i = c.pos;
  TableState& s = SimpleRecord(c);
  if (LooksAtTag(text, i, "<table", ts::kBlankOrClose)) {
    SimpleTableStart(c);
    return true;
  }
  if (ts::AtTableEnd(text, i)) {
    if (s.level > 0) --s.level;
    // A row left open by a missing </tr> is closed with the table.
    if (s.in_row) CloseTopLevelRow(c, s);
    RemoveTrailingSpace(c.output.text());
    c.output += "\\pard\n";
    c.loop.in_cell[0] = false;
    MoveToClose(c);
    return true;
  }
  if (LooksAtTag(text, i, "<tr", ts::kBlankOrClose)) {
    SimpleRowStart(c);
    return true;
  }
  if (ts::At(text, i, "</tr>")) {
    if (!s.in_row) return false;
    CloseTopLevelRow(c, s);
    c.loop.in_cell[0] = false;
    MoveToClose(c);
    return true;
  }
  if (ts::AtCellStart(text, i, ts::kBlankLfOrClose)) {
    SimpleCellStart(c);
    return true;
  }
  if (ts::At(text, i, "</td>") || ts::At(text, i, "</th>")) {
    if (!s.in_row) return false;
    c.output += R"(\cell)";
    s.pending_cells = std::max(s.pending_cells - 1, 0);
    if (KeepAlignment(c)) c.output += c.loop.alignment_string;
    c.loop.after_paragraph_close = false;
    c.loop.after_div_close = false;
    c.loop.in_cell[0] = false;
    MoveToClose(c);
    EndControlWordBeforeText(c);
    return true;
  }
  return false;
}

// --- Output mode 1 ---------------------------------------------------------------------

bool TryTabTag(Conversion& c) {
  const std::string_view text(c.input);
  const std::size_t i = c.pos;
  if (ts::At(text, i, "</td>") || ts::At(text, i, "</th>")) {
    c.output += R"(\tab)" "\n";
  } else if (ts::At(text, i, "</tr>")) {
    c.output += R"(\par)" "\n";
  } else {
    return false;
  }
  c.pos = i + 4;
  return true;
}

}  // namespace

bool TryTableTag(Conversion& c) {
  Prepare(c);
  if (c.pos >= c.input.size() || c.input[c.pos] != '<') return false;
  switch (c.tables.handling) {
    case TableHandling::kAnalysed: return TryAnalysedTag(c);
    case TableHandling::kSimple: return TrySimpleTag(c);
    case TableHandling::kTabs: return TryTabTag(c);
    case TableHandling::kUnset:
    case TableHandling::kNone: return false;
  }
  return false;
}

bool ReadBorderAttribute(std::string_view text, const TableMatches* matches) {
  std::size_t i = 1;
  while (i < text.size()) {
    if (ts::AtTableEnd(text, i)) return false;
    if (ts::AtTableStart(text, i)) {
      const std::size_t close = SkipNestedTable(text, i, matches);
      if (close == std::string_view::npos) return false;
      i = close + 1;
      continue;
    }
    if (LooksAtTag(text, i, "border", " =")) {
      std::size_t j = text.find('=', i + 6);
      if (j == std::string_view::npos) return false;
      ++j;
      while (j < text.size() && (text[j] == ' ' || text[j] == '"' || text[j] == '\'')) ++j;
      // At most 20 digits are read; any non-zero digit makes the number positive.
      for (std::size_t k = 0; k < 20 && ts::IsDigit(ts::ByteAt(text, j + k)); ++k) {
        if (text[j + k] != '0') return true;
      }
      return false;
    }
    if (ts::AtCellStart(text, i, ts::kBlankOrLf)) {
      const std::size_t close = ts::NextClose(text, i);
      const std::string_view tag = text.substr(i, close == std::string_view::npos ? text.size() - i : close - i);
      for (std::size_t k = 0; k < tag.size(); ++k) {
        if (ts::At(tag, k, "solid")) return true;
      }
      if (close == std::string_view::npos) return false;
      i = close + 1;
      continue;
    }
    ++i;
  }
  return false;
}

bool FirstRowIsExplicit(std::string_view text) {
  for (std::size_t i = text.find('<'); i != std::string_view::npos; i = text.find('<', i + 1)) {
    if (LooksAtTag(text, i, "<tr", ts::kBlankOrClose)) return true;
    if (ts::AtCellStart(text, i, ts::kBlankOrClose) || ts::AtTableEnd(text, i)) return false;
  }
  return false;
}

std::vector<int> EqualColumnEdges(int n, int width) {
  std::vector<int> edges;
  if (n <= 0) return edges;
  edges.reserve(static_cast<std::size_t>(n));
  for (int i = 1; i < n; ++i) {
    edges.push_back(static_cast<int>(static_cast<long long>(width) * i / n));
  }
  edges.push_back(width);
  return edges;
}

bool CurrentRowHasOpenCell(const Conversion& c) {
  const int depth = std::clamp(c.loop.table_depth, 0, kMaxTableDepth - 1);
  return c.tables.records[static_cast<std::size_t>(depth)].cell_open ||
         c.loop.in_cell[static_cast<std::size_t>(depth)];
}

bool CurrentRowStarted(const Conversion& c) {
  const int depth = std::clamp(c.loop.table_depth, 0, kMaxTableDepth - 1);
  return c.tables.records[static_cast<std::size_t>(depth)].row_started;
}

int CurrentCellWidth(const Conversion& c) {
  const int depth = std::clamp(c.loop.table_depth, 0, kMaxTableDepth - 1);
  const TableState& s = c.tables.records[static_cast<std::size_t>(depth)];
  if (s.level == 0 || s.grid.empty()) return c.printable_width;
  const int r = s.definition_row;
  const int k = s.cell_index + 1;
  const int width = s.grid.At(r, k).edge - (k > 1 ? s.grid.At(r, k - 1).edge : 0);
  return width > 0 ? width : c.printable_width;
}

}  // namespace velmorane
