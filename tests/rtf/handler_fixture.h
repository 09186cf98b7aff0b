// A conversion set up as the tag loop finds it after the prologue, for calling tag
// handlers directly.
#ifndef VELMORANE_TESTS_RTF_HANDLER_FIXTURE_H_
#define VELMORANE_TESTS_RTF_HANDLER_FIXTURE_H_

#include <initializer_list>
#include <string>
#include <string_view>

#include "rtf/conversion.h"
#include "rtf/prologue.h"
#include "support/test_support.h"

namespace velmorane::testing {

// The prepared strings for Arial 10 in English.
inline constexpr std::string_view kParagraphStart =
    "\n" R"(\par\pard\sb100\sa100\sbauto1\saauto1\fs20\lang1033 )";
inline constexpr std::string_view kCellParagraphStart =
    "\n" R"(\par\pard\intbl\sb100\sa100\sbauto1\saauto1\fs20\lang1033 )";
inline constexpr std::string_view kFirstCellParagraph = "\n" R"(\pard\intbl\sb100\fs20\lang1033 )";

struct HandlerFixture {
  explicit HandlerFixture(const ConversionOptions& options = DefaultOptions())
      : c(carry, request, options, DefaultSettings()) {
    BuildParagraphTemplates(c.templates, 10, 1033, false);
    c.loop.alignment_string = std::string(DefaultAlignmentWord(options));
  }

  // Runs `handler` on `tag` as the only input and returns what it appended (nothing
  // when it took text away).
  template <typename Handler>
  std::string Run(std::string_view tag, Handler handler) {
    c.input = std::string(tag);
    c.pos = 0;
    const std::size_t before = c.output.size();
    handler(c);
    return c.output.size() > before ? c.output.text().substr(before) : std::string();
  }

  // Text written between tags: paragraph start is over.
  void WriteText(std::string_view text) {
    c.output += text;
    c.loop.at_paragraph_start = false;
    c.loop.cell_has_text = true;
  }

  // Opens a cell at table depth `depth` with nesting level `level`.
  void EnterCell(int depth, int level) {
    c.loop.table_depth = depth;
    c.loop.in_cell[depth] = true;
    c.loop.cell_level[depth] = level;
    c.loop.cell_has_text = false;
  }

  CarryOver carry;
  ConvertRequest request;
  Conversion c;
};

// Whole documents need the tag loop; while it only passes the input through, such
// tests are skipped.
inline bool TagLoopPassesMarkupThrough(const std::string& output, std::string_view html) {
  return output.find(html) != std::string::npos;
}

// The parts one after the other: expected outputs built from the shared fragments.
inline std::string Join(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view part : parts) text += part;
  return text;
}

}  // namespace velmorane::testing

#endif  // VELMORANE_TESTS_RTF_HANDLER_FIXTURE_H_
