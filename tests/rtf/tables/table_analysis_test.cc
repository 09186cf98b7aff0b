// Measuring tables, reading cell attributes and computing cell edges.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "rtf/conversion.h"
#include "rtf/tables/tables.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

using testing::DefaultOptions;
using testing::DefaultSettings;

// Measures and analyses one table as the <table handler does, in `available` twips.
struct Analysed {
  TableState state;
  std::vector<std::vector<int>> edges;
  std::vector<std::vector<int>> merges;
};

Analysed Analyse(std::string_view html, int available = 9500) {
  CarryOver carry;
  carry.current_table_width = 9500;
  ConvertRequest request;
  Conversion c(carry, request, DefaultOptions(), DefaultSettings());
  c.colors.Add("FF0000");
  Analysed a;
  const TableMeasure m = MeasureTable(html);
  a.state.rows = m.rows;
  a.state.columns = m.grid_columns + 2;
  AnalyzeTable(c, html, a.state, available);
  for (int r = 0; r < static_cast<int>(a.state.grid.rows.size()); ++r) {
    a.edges.emplace_back();
    a.merges.emplace_back();
    for (int k = 1; k <= a.state.grid.CellCount(r); ++k) {
      a.edges.back().push_back(a.state.grid.At(r, k).edge);
      a.merges.back().push_back(a.state.grid.At(r, k).merge);
    }
  }
  return a;
}

TEST(TableWidth, FollowsTheWidthAttributeWithinTheAvailableWidth) {
  constexpr struct { std::string_view tag; int want; } kCases[] = {
      {"<table width=300>", 4800},   // 300 pixels
      {"<table width=1000>", 9500},  // too wide: the available width
      {"<table width=50%>", 4750},
      {"<table width=150%>", 9500},
      {"<table>", 9500},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.tag);
    const std::string html = std::string(c.tag) + "<tr><td>a</td></tr></table>";
    EXPECT_EQ(Analyse(html).state.table_width, c.want);
  }
}

TEST(CellEdges, WorkedExamples) {
  constexpr struct {
    std::string_view name, html;
    int available;
  } kCases[] = {
      {"two 100-pixel cells are scaled to the table width",
       "<table width=300><tr><td width=100>a</td><td width=100>b</td></tr></table>", 9500},
      {"three unsized cells share the width",
       "<table><tr><td>a</td><td>b</td><td>c</td></tr></table>", 9000},
      {"a cell spanning two columns aligns with the row below",
       "<table><tr><td colspan=2>a</td><td>b</td></tr>"
       "<tr><td>c</td><td>d</td><td>e</td></tr></table>",
       9000},
      {"a column group sizes rows of as many cells",
       "<table><colgroup><col width=200><col width=100><col width=100></colgroup>"
       "<tr><td>a<td>b<td>c</tr><tr><td>d<td>e</tr></table>",
       9500},
      {"cells of width 0 share the row equally",
       "<table><tr><td width=0>a</td><td width=0>b</td></tr></table>", 9500},
      {"a width is given, the other cell takes the rest",
       "<table><tr><td width=100>a</td><td>b</td></tr></table>", 9500},
  };
  const std::vector<std::vector<std::vector<int>>> kWant = {
      {{2400, 4800}},
      {{3000, 6000, 9000}},
      {{6000, 9000}, {3000, 6000, 9000}},
      {{4750, 7125, 9500}, {4750, 9500}},
      {{4750, 9500}},
      {{1600, 9500}},
  };
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    SCOPED_TRACE(kCases[i].name);
    EXPECT_EQ(Analyse(kCases[i].html, kCases[i].available).edges, kWant[i]);
  }
}

TEST(CellEdges, RowSpanLeavesAPlaceholderInTheCoveredRow) {
  const Analysed a = Analyse(
      "<table><tr><td rowspan=2>a</td><td>b</td></tr><tr><td>c</td></tr></table>");
  const std::vector<std::vector<int>> want_merges = {{kMergeStart, 0}, {kMergeContinue, 0}};
  EXPECT_EQ(a.merges, want_merges);
  const std::vector<std::vector<int>> want_edges = {{4750, 9500}, {4750, 9500}};
  EXPECT_EQ(a.edges, want_edges);
}

TEST(CellEdges, PlaceholderGoesToTheGridColumnOfTheSpanningCell) {
  // The spanning cell is the third column; the row below has two one-column cells.
  const Analysed a = Analyse(
      "<table><tr><td colspan=2>a</td><td rowspan=2>b</td></tr>"
      "<tr><td>c</td><td>d</td></tr></table>");
  const std::vector<std::vector<int>> want_merges = {{0, kMergeStart}, {0, 0, kMergeContinue}};
  EXPECT_EQ(a.merges, want_merges);
}

TEST(CellEdges, RowSpanBeyondTheLastRowMarksNothing) {
  const Analysed a = Analyse("<table><tr><td rowspan=5>a</td><td>b</td></tr></table>");
  const std::vector<std::vector<int>> want = {{0, 0}};
  EXPECT_EQ(a.merges, want);
}

TEST(CellEdges, TheLastEdgeIsAlwaysTheTableWidth) {
  const Analysed a = Analyse(
      "<table width=400><tr><td width=300>a</td><td width=300>b</td><td>c</td></tr>"
      "<tr><td>d</td></tr><tr></tr></table>");
  for (const auto& row : a.edges) {
    ASSERT_FALSE(row.empty());
    EXPECT_EQ(row.back(), 6400);
  }
}

TEST(MeasureTable, CountsRowsAndGridColumns) {
  constexpr struct {
    std::string_view name, html;
    int rows, columns;
    bool found;
  } kCases[] = {
      {"plain", "<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>", 2, 2, true},
      {"nested table is passed over",
       "<table><tr><td><table><tr><td>x</td><td>y</td><td>z</td></tr></table></td></tr></table>",
       1, 1, true},
      {"no end", "<table><tr><td>a</td>", 1, 1, false},
      {"head row counts once",
       "<table><thead><tr><th>h</th></tr></thead><tr><td>a</td></tr></table>", 2, 1, true},
      {"cells before the first row tag are a row", "<table><td>a</td><tr><td>b</td></tr></table>",
       2, 1, true},
      {"head cells without a row tag",
       "<table><thead><th>h</th></thead><tr><td>a</td><td>b</td></tr></table>", 2, 2, true},
      {"a row ended without its start tag", "<table><td>a</td><td>b</td></tr></table>", 1, 2,
       true},
      {"colspan widens the grid",
       "<table><tr><td colspan=3>a</td></tr><tr><td>b</td></tr></table>", 2, 3, true},
      {"upper case tags", "<TABLE><TR><TD>a</TD></TR></TABLE>", 1, 1, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const TableMeasure m = MeasureTable(c.html);
    EXPECT_EQ(m.rows, c.rows);
    EXPECT_EQ(m.grid_columns, c.columns);
    EXPECT_EQ(m.found_end, c.found);
  }
}

TEST(CellAttributes, ReadsTheCellTag) {
  ColorTable colors;
  colors.Add("FF0000");
  constexpr struct {
    std::string_view tag;
    int width;
    bool percent;
    int colspan, rowspan, shading, valign, align;
  } kCases[] = {
      {"<td width=50%>", 50, true, 1, 1, 0, 0, 0},
      {"<td style=\"width:120px\">", 120, false, 1, 1, 0, 0, 0},
      {"<td colspan=3 rowspan=\"2\">", -1, false, 3, 2, 0, 0, 0},
      {"<td colspan=x rowspan=0>", -1, false, 1, 1, 0, 0, 0},
      {"<td width=>x", -1, false, 1, 1, 0, 0, 0},     // no digits in the tag
      {"<td data-width=5>", -1, false, 1, 1, 0, 0, 0},  // not the width attribute
      {"<td valign=bottom>", -1, false, 1, 1, 0, 2, 0},
      {"<td valign=MIDDLE align=center>", -1, false, 1, 1, 0, 1, 1},
      {"<td valign=top align=right>", -1, false, 1, 1, 0, 0, 2},
      {"<td bgcolor=red>", -1, false, 1, 1, 3, 0, 0},
      {"<td style=\"background-color:#ff0000\">", -1, false, 1, 1, 0, 0, 0},  // not in table
      {"<td bgcolor=blue>", -1, false, 1, 1, 0, 0, 0},
      {"<td>width=40", -1, false, 1, 1, 0, 0, 0},  // text after the tag is not read
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.tag);
    const CellAttributes a = ParseCellAttributes(c.tag, &colors, nullptr);
    EXPECT_EQ(a.width, c.width);
    EXPECT_EQ(a.percent, c.percent);
    EXPECT_EQ(a.colspan, c.colspan);
    EXPECT_EQ(a.rowspan, c.rowspan);
    EXPECT_EQ(a.shading, c.shading);
    EXPECT_EQ(a.vertical_align, c.valign);
    EXPECT_EQ(a.align, c.align);
  }
}

TEST(PixelsToTwips, ConvertsAgainstTheCurrentTableWidth) {
  EXPECT_EQ(PixelsToTwips(100, false, false, 9500), 1600);
  EXPECT_EQ(PixelsToTwips(1000, false, false, 9500), 9400);   // wider than the table
  EXPECT_EQ(PixelsToTwips(1000, true, false, 9500), 16000);   // the table is a percentage
  EXPECT_EQ(PixelsToTwips(50, false, true, 9000), 4500);
}

TEST(ParentCellWidth, IsTheEnclosingCellOrThePrintableWidth) {
  TableState s;
  s.grid.rows = {std::vector<GridCell>(3)};
  s.grid.rows[0][1].edge = 3000;
  s.grid.rows[0][2].edge = 9000;
  s.row_index = 1;
  s.cell_index = 0;
  EXPECT_EQ(ParentCellWidth(s, 9500), 3000);
  s.cell_index = 1;
  EXPECT_EQ(ParentCellWidth(s, 9500), 6000);
  EXPECT_EQ(ParentCellWidth(s, 5000), 5000);  // wider than printable
  s.cell_index = 5;                           // outside the row
  EXPECT_EQ(ParentCellWidth(s, 9500), 9500);
}

TEST(Fallbacks, FlattenBlanksRowAndCellTags) {
  std::string input = "<table><tr><td class=x>a</td></tr></table>b";
  std::size_t pos = 0;
  FlattenTable(input, pos);
  EXPECT_EQ(input, "<table>< r><         x>a<  d><  r><      >b");
  EXPECT_EQ(pos, 6u);
}

TEST(Fallbacks, FlattenLeavesNestedTables) {
  std::string input = "<table><tr><td><table><tr><td>x</td></tr></table></td></tr></table>";
  std::size_t pos = 0;
  FlattenTable(input, pos);
  EXPECT_EQ(input, "<table>< r>< d><table><tr><td>x</td></tr></table><  d><  r><      >");
}

TEST(Fallbacks, DropTableEndBlanksTheTablesOwnEnd) {
  std::string input = "<tr>x<table></table></table>y";
  std::size_t pos = 0;
  DropTableEnd(input, pos);
  EXPECT_EQ(input, "<tr>x<table></table>        y");
  EXPECT_EQ(pos, 3u);
}

}  // namespace
}  // namespace velmorane
