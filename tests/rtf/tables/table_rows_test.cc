// Rows and cells written by the table handlers, in the analysed and the simple path and
// in output mode 1.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "engine/engine.h"
#include "rtf/tables/tables.h"
#include "rtf/tables/table_driver.h"

namespace velmorane {
namespace {

using testing::CountOf;
using testing::RunTables;
using testing::TableRun;

constexpr std::string_view kRowPrologue =
    "\n" R"(\trowd\trgaph35\trautofit1\trleft-40\trpaddfr3\trpaddfl3\trpaddft3\trpaddfb3\trpaddr40\trpaddl40\trpaddb40\trpaddt40 )";
constexpr std::string_view kBorders =
    "\n" R"(\clbrdrl\brdrs\brdrw5\clbrdrt\brdrs\brdrw5\clbrdrr\brdrs\brdrw5\clbrdrb\brdrs\brdrw5)";

// True when `parts` occur in `text` in this order.
bool InOrder(std::string_view text, std::initializer_list<std::string_view> parts) {
  std::size_t at = 0;
  for (std::string_view part : parts) {
    at = text.find(part, at);
    if (at == std::string_view::npos) return false;
    at += part.size();
  }
  return true;
}

TEST(AnalysedRows, TwoCellsAtTheStartOfTheBody) {
  const std::string want = std::string(kRowPrologue) +
                           "\n" R"(\cellx4750)" "\n" R"(\cellx9500)"
                           "\n" R"(\pard\intbl \ql a\cell)"
                           "\n" R"(\pard\intbl \ql b\cell\pard \intbl \row\pard)" "\n";
  EXPECT_EQ(RunTables("<table><tr><td>a</td><td>b</td></tr></table>"), want);
}

TEST(AnalysedRows, VisibleBordersPrecedeEachCellDefinition) {
  TableRun run;
  run.options.table_border = 1;
  const std::string out = RunTables("<table><tr><td>a</td><td>b</td></tr></table>", run);
  EXPECT_TRUE(InOrder(out, {kRowPrologue, kBorders, "\n\\cellx4750", kBorders, "\n\\cellx9500"}));
}

TEST(AnalysedRows, BordersAsInHtml) {
  TableRun run;
  run.options.table_border = 2;
  EXPECT_EQ(CountOf(RunTables("<table border=1><tr><td>a</td></tr></table>", run), kBorders), 1u);
  EXPECT_EQ(CountOf(RunTables("<table border=0><tr><td>a</td></tr></table>", run), kBorders), 0u);
}

TEST(AnalysedRows, RowSpanMergesCellsVertically) {
  const std::string out = RunTables(
      "<table><tr><td rowspan=2>a</td><td>b</td></tr><tr><td>c</td></tr></table>");
  EXPECT_TRUE(InOrder(out, {kRowPrologue, "\\clvmgf\n\\cellx4750", "\n\\cellx9500",
                            "a\\cell", "b\\cell", "\\row\n", kRowPrologue,
                            "\\clvmrg\n\\cellx4750\n\\cellx9500\\pard\\intbl\\cell",
                            "\n\\pard\\intbl \\ql c\\cell\\pard \\intbl \\row\\pard\n"}));
}

TEST(AnalysedRows, CoveredCellInTheMiddleIsWrittenEmpty) {
  const std::string out = RunTables(
      "<table><tr><td>a</td><td rowspan=2>b</td><td>c</td></tr>"
      "<tr><td>d</td><td>e</td></tr></table>");
  EXPECT_TRUE(InOrder(out, {"d\\cell\\pard \\intbl\\cell\n\\pard\\intbl \\ql e\\cell"}));
  EXPECT_EQ(CountOf(out, "\\cellx"), 6u);
  EXPECT_EQ(CountOf(out, "\\cell") - CountOf(out, "\\cellx"), 6u);
}

TEST(AnalysedRows, CellBackgroundFollowsTheOption) {
  TableRun run;
  run.colors = {"FF0000"};
  const std::string html = "<table><tr><td bgcolor=red>a</td></tr></table>";
  EXPECT_TRUE(InOrder(RunTables(html, run), {"\\clcbpat3\n\\cellx9500"}));
  run.options.keep_background_color = 0;
  EXPECT_EQ(CountOf(RunTables(html, run), "\\clcbpat"), 0u);
}

TEST(AnalysedRows, RowBackground) {
  TableRun run;
  run.colors = {"00FF00", "FF0000"};
  const std::string out = RunTables("<table><tr bgcolor=red><td>a</td></tr></table>", run);
  EXPECT_TRUE(InOrder(out, {"\\clcbpat4 \n\\cellx9500"}));
}

TEST(AnalysedRows, VerticalAlignment) {
  TableRun run;
  const std::string html = "<table><tr><td valign=bottom>a</td></tr></table>";
  EXPECT_TRUE(InOrder(RunTables(html, run), {"\\clvertalb\n\\cellx9500"}));
  run.options.keep_alignment = 0;
  EXPECT_EQ(CountOf(RunTables(html, run), "\\clvertal"), 0u);
}

TEST(AnalysedRows, TableRightAfterCenterIsCentred) {
  TableRun run;
  run.center_state = 1;
  const std::string out = RunTables("<table><tr><td>a</td></tr></table>", run);
  EXPECT_TRUE(InOrder(out, {std::string(kRowPrologue) + "\\trqc \n\\cellx9500"}));
}

TEST(AnalysedRows, CellAlignment) {
  constexpr struct { std::string_view html, want; } kCases[] = {
      {"<table><tr><td align=center>a</td></tr></table>", "\\qc a\\cell"},
      {"<table><tr><td align=right>a</td></tr></table>", "\\qr a\\cell"},
      {"<table><tr><td valign=middle>a</td></tr></table>", "\\ql a\\cell"},
      {"<table><colgroup><col align=right></colgroup><tr><td>a</td></tr></table>",
       "\\qr a\\cell"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.html);
    EXPECT_TRUE(InOrder(RunTables(c.html), {c.want}));
  }
}

TEST(AnalysedRows, UnanalysableTablesBecomeText) {
  std::string wide = "<table><tr>";
  std::string want_text;
  for (int i = 0; i < 48; ++i) {
    wide += "<td>c" + std::to_string(i) + "</td>";
    want_text += "c" + std::to_string(i);
  }
  wide += "</tr></table>";
  const std::string out = RunTables(wide);
  EXPECT_EQ(CountOf(out, "\\trowd"), 0u);
  EXPECT_NE(out.find(want_text), std::string::npos);

  const std::string unclosed = RunTables("<table><tr><td>a</td><td>b</td></tr>");
  EXPECT_EQ(CountOf(unclosed, "\\trowd"), 0u);
  EXPECT_NE(unclosed.find("ab"), std::string::npos);
}

TEST(AnalysedRows, RowsWithoutCellsGetOneEmptyCell) {
  const std::string out = RunTables("<table><tr></tr></table>");
  EXPECT_TRUE(InOrder(out, {kRowPrologue, "\n\\cellx9500\n\\pard \\intbl\\cell\\pard \\intbl \\row"}));
  EXPECT_EQ(CountOf(RunTables("<table></table>x"), "\\trowd"), 0u);
}

TEST(AnalysedRows, FortySevenColumnsAreStillATable) {
  std::string html = "<table><tr>";
  for (int i = 0; i < 47; ++i) html += "<td>c</td>";
  html += "</tr></table>";
  const std::string out = RunTables(html);
  EXPECT_EQ(CountOf(out, "\\trowd"), 1u);
  EXPECT_EQ(CountOf(out, "\\cellx"), 47u);
}

TEST(AnalysedRows, CellsBeforeTheFirstRowTagFormTheirOwnRow) {
  const std::string out = RunTables("<table><td>a</td><tr><td>b</td></tr></table>");
  EXPECT_EQ(CountOf(out, "\\trowd"), 2u);
  EXPECT_EQ(CountOf(out, "\\row"), 2u);
  EXPECT_TRUE(InOrder(out, {"a\\cell", "\\row", "\\trowd", "b\\cell", "\\row"}));
}

TEST(AnalysedRows, RowStartAfterAClosedCellStartsTheNextRow) {
  // </tr> is optional in HTML: the second row must not end the table.
  const std::string out = RunTables("<table><tr><td>a</td><tr><td>b</td></tr></table>");
  EXPECT_EQ(CountOf(out, "\\trowd"), 2u);
  EXPECT_TRUE(InOrder(out, {"a\\cell", "\\row", "b\\cell", "\\row"}));
}

TEST(AnalysedRows, HeadCellsWithoutARowTag) {
  const std::string out =
      RunTables("<table><thead><th>h</th></thead><tr><td>a</td><td>b</td></tr></table>");
  EXPECT_EQ(CountOf(out, "\\trowd"), 2u);
  EXPECT_TRUE(InOrder(out, {"\\cellx9500", "{\\b h}\\cell", "\\row", "\\cellx4750", "a\\cell",
                            "b\\cell", "\\row\\pard\n"}));
}

// Malformed tables still give rows whose cells match their definitions.
TEST(AnalysedRows, MissingEndTagsKeepRowsWellFormed) {
  constexpr std::string_view kCases[] = {
      "<table><tr><td>a<td>b<tr><td>c<td>d</table>",
      "<table><tr><td>a</td><tr><td>b</td></tr></table>",
      "<table><tr><td>a</td></tr><tr><td>b</td><td>c</td><td>d</td></tr></table>",
      "<table><tr><tr><td>a</td></tr></table>",
      "<table><tr><td>a</td></td></td></tr></table>",
  };
  for (std::string_view html : kCases) {
    SCOPED_TRACE(html);
    const std::string out = RunTables(html);
    EXPECT_EQ(CountOf(out, "\\trowd"), CountOf(out, "\\row"));
    EXPECT_EQ(CountOf(out, "\\cellx"), CountOf(out, "\\cell") - CountOf(out, "\\cellx"));
  }
}

TEST(SimpleRows, EqualColumnsWhateverTheCellsDeclare) {
  TableRun run;
  run.options.keep_nested_tables = 0;
  const std::string out = RunTables(
      "<table><tr><td width=10>a</td><td width=500>b</td><td>c</td><td>d</td></tr></table>", run);
  EXPECT_TRUE(InOrder(out, {std::string(kRowPrologue) +
                            "\n\\cellx2375\n\\cellx4750\n\\cellx7125\n\\cellx9500"}));
  EXPECT_TRUE(InOrder(out, {"\n\\pard \\intbl \\qj a\\cell\\qj ", "d\\cell\\qj \\pard \\intbl \\row"}));
  EXPECT_EQ(out.substr(out.size() - 6), "\\pard\n");
}

TEST(SimpleRows, KeepTableWidthWithoutNestedTablesTakesTheSimplePath) {
  TableRun run;
  run.options.keep_nested_tables = 0;
  run.options.keep_table_width = 1;
  EXPECT_EQ(CountOf(RunTables("<table><tr><td>a</td><td>b</td></tr></table>", run), "\\cellx"),
            2u);
}

TEST(SimpleRows, ManyCellsAllGetAnEdge) {
  TableRun run;
  run.options.keep_nested_tables = 0;
  std::string html = "<table><tr>";
  for (int i = 0; i < 60; ++i) html += "<td>x</td>";
  html += "</tr></table>";
  const std::string out = RunTables(html, run);
  EXPECT_EQ(CountOf(out, "\\cellx"), 60u);
  EXPECT_TRUE(InOrder(out, {"\\cellx158\n", "\\cellx9500"}));
}

TEST(SimpleRows, TableEndClosesAnOpenRow) {
  TableRun run;
  run.options.keep_nested_tables = 0;
  const std::string out = RunTables("<table><tr><td>a</td><td>b</table>after", run);
  EXPECT_TRUE(InOrder(out, {"b\n\\pard \\intbl\\cell\\pard \\intbl \\row\\pard\nafter"}));
}

TEST(EqualColumnEdges, SplitsTheWidth) {
  EXPECT_EQ(EqualColumnEdges(4, 9500), (std::vector<int>{2375, 4750, 7125, 9500}));
  EXPECT_EQ(EqualColumnEdges(3, 100), (std::vector<int>{33, 66, 100}));
  EXPECT_TRUE(EqualColumnEdges(0, 9500).empty());
}

TEST(TabSeparatedRows, OutputModeOne) {
  TableRun run;
  run.output_mode = kModeRtfNoTables;
  EXPECT_EQ(RunTables("<table><tr><td>a</td><td>b</td></tr></table>", run),
            "a\\tab\nb\\tab\n\\par\n");
}

TEST(BorderAttribute, DecidesFromTheFirstBorderOrASolidCell) {
  constexpr struct { std::string_view html; bool want; } kCases[] = {
      {"<table border=1>", true},
      {"<table border=\"2\">", true},
      {"<table border=0>", false},
      {"<table border>", false},
      {"<table><tr><td style=\"border:1px SOLID\">", true},
      {"<table><tr><td><table border=1></table></td></tr></table>", false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.html);
    EXPECT_EQ(ReadBorderAttribute(c.html), c.want);
  }
}

TEST(FirstRowIsExplicit, RowTagBeforeAnyCell) {
  EXPECT_TRUE(FirstRowIsExplicit("\n<tr><td>"));
  EXPECT_TRUE(FirstRowIsExplicit("<caption>x</caption><TR>"));
  EXPECT_FALSE(FirstRowIsExplicit("<td>a</td><tr>"));
  EXPECT_FALSE(FirstRowIsExplicit("</table><tr>"));
  EXPECT_FALSE(FirstRowIsExplicit("text"));
}

}  // namespace
}  // namespace velmorane
