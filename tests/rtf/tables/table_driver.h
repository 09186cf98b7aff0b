// Drives the table handlers over a piece of HTML the way the tag loop does: table tags
// go to TryTableTag, other tags are skipped and text bytes are copied.
#ifndef VELMORANE_TESTS_RTF_TABLES_TABLE_DRIVER_H_
#define VELMORANE_TESTS_RTF_TABLES_TABLE_DRIVER_H_

#include <string>
#include <string_view>

#include "engine/engine.h"
#include "rtf/conversion.h"
#include "rtf/tables/tables.h"
#include "support/test_support.h"

namespace velmorane::testing {

struct TableRun {
  ConversionOptions options = DefaultOptions();
  int output_mode = kModeRtfTables;
  int center_state = 0;
  std::string alignment = "\\qj ";
  std::vector<std::string> colors;  // six-digit colours of the colour table
};

// Cell padding 2 points: 40 twips each side, rows start 40 twips to the left.
inline CarryOver PaddedCarryOver() {
  CarryOver carry;
  carry.cell_padding_left = carry.cell_padding_right = 40;
  carry.cell_padding_top = carry.cell_padding_bottom = 40;
  carry.row_left_offset = -40;
  return carry;
}

inline std::string RunTables(std::string_view html, const TableRun& run = {}) {
  CarryOver carry = PaddedCarryOver();
  ConvertRequest request;
  request.output_mode = run.output_mode;
  Conversion c(carry, request, run.options, DefaultSettings());
  c.input = std::string(html);
  c.printable_width = 9500;
  BuildParagraphTemplates(c.templates, 10, 1033, false);
  c.loop.alignment_string = run.alignment;
  c.loop.center_state = run.center_state;
  for (const std::string& color : run.colors) c.colors.Add(color);
  for (c.pos = 0; c.pos < c.input.size(); ++c.pos) {
    const char byte = c.input[c.pos];
    if (c.pos > 0 && c.input[c.pos - 1] == '>' && byte != '<' && byte != '\n') {
      c.loop.char_data_allowed = true;
    }
    if (byte == '<') {
      if (TryTableTag(c)) continue;
      const std::size_t close = c.input.find('>', c.pos);
      c.pos = close == std::string::npos ? c.input.size() - 1 : close;
      continue;
    }
    if (byte == '>' || byte == '\n' || !c.loop.char_data_allowed) continue;
    if (byte == '{' || byte == '}' || byte == '\\') c.output += '\\';
    c.output += byte;
    c.loop.at_paragraph_start = false;
    c.loop.cell_has_text = true;
    if (c.loop.center_state == 1) c.loop.center_state = 2;
  }
  return c.output.text();
}

inline std::size_t CountOf(std::string_view text, std::string_view what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string_view::npos;
       at = text.find(what, at + 1)) {
    ++n;
  }
  return n;
}

}  // namespace velmorane::testing

#endif  // VELMORANE_TESTS_RTF_TABLES_TABLE_DRIVER_H_
