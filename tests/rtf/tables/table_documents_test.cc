// Whole pages through the in-memory entry: what the tag loop, the block handlers and the
// table handlers write together for tables, from the row prologue to the document end.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "engine/engine.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

using testing::Convert;
using testing::DefaultOptions;

constexpr std::string_view kRowPrologue =
    "\n" R"(\trowd\trgaph35\trautofit1\trleft-40\trpaddfr3\trpaddfl3\trpaddft3\trpaddfb3\trpaddr40\trpaddl40\trpaddb40\trpaddt40 )";
constexpr std::string_view kNestedPrologue =
    "\n" R"({\*\nesttableprops\trgaph35\trautofit1\trleft-40\trautofit1\trpaddfr3\trpaddfl3\trpaddft3\trpaddfb3\trpaddr40\trpaddl40\trpaddb40\trpaddt40 )";
constexpr std::string_view kBorders =
    "\n" R"(\clbrdrl\brdrs\brdrw5\clbrdrt\brdrs\brdrw5\clbrdrr\brdrs\brdrw5\clbrdrb\brdrs\brdrw5)";

// The command line defaults on a page whose printable width is `printable` twips.
ConversionOptions PageOptions(int printable = 9500) {
  ConversionOptions o = DefaultOptions();
  o.margin_left = 720;
  o.margin_right = o.paper_width - 720 - printable;
  return o;
}

// The document from its first row definition on (the page setup and the paragraph start
// before it are not the tables' business).
std::string FromFirstRow(std::string_view html, const ConversionOptions& options = PageOptions()) {
  const std::string out = Convert(html, options);
  const std::size_t at = out.find(std::string(kRowPrologue));
  return at == std::string::npos ? "(no row) " + out : out.substr(at);
}

std::string Page(std::string_view body) {
  return "<html><body>" + std::string(body) + "</body></html>";
}

std::string Cat(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view p : parts) out += p;
  return out;
}

struct DocumentCase {
  std::string_view name;
  std::string_view body;
  std::string want;  // from the first row prologue to the end of the document
};

TEST(TableDocuments, RowsAndCellsByteForByte) {
  const DocumentCase kCases[] = {
      {"two cells at the start of the body",
       "<table><tr><td>a</td><td>b</td></tr></table>",
       Cat({kRowPrologue, "\n\\cellx4750", "\n\\cellx9500", "\n\\pard\\intbl \\ql a\\cell",
            "\n\\pard\\intbl \\ql b\\cell", "\\pard \\intbl \\row", "\\pard\n}"})},
      {"a cell spanning two rows and the empty covered cell",
       "<table><tr><td rowspan=2>a</td><td>b</td></tr><tr><td>c</td></tr></table>",
       Cat({kRowPrologue, "\\clvmgf\n\\cellx4750", "\n\\cellx9500",
            "\n\\pard\\intbl \\ql a\\cell", "\n\\pard\\intbl \\ql b\\cell",
            "\\pard \\intbl \\row\n", kRowPrologue, "\\clvmrg\n\\cellx4750", "\n\\cellx9500",
            "\\pard\\intbl\\cell", "\n\\pard\\intbl \\ql c\\cell", "\\pard \\intbl \\row",
            "\\pard\n}"})},
      {"cell background", "<table><tr><td bgcolor=red>a</td></tr></table>",
       Cat({kRowPrologue, "\\clcbpat3\n\\cellx9500", "\n\\pard\\intbl \\ql a\\cell",
            "\\pard \\intbl \\row", "\\pard\n}"})},
      {"bottom alignment", "<table><tr><td valign=bottom>a</td></tr></table>",
       Cat({kRowPrologue, "\\clvertalb\n\\cellx9500", "\n\\pard\\intbl \\ql a\\cell",
            "\\pard \\intbl \\row", "\\pard\n}"})},
      {"a table right after center", "<center><table><tr><td>a</td></tr></table></center>",
       Cat({kRowPrologue, "\\trqc ", "\n\\cellx9500", "\n\\pard\\intbl \\ql a\\cell",
            "\\pard \\intbl \\row", "\\pard\n"})},
      {"width 300 pixels", "<table width=300><tr><td>a</td></tr></table>",
       Cat({kRowPrologue, "\n\\cellx4800", "\n\\pard\\intbl \\ql a\\cell",
            "\\pard \\intbl \\row", "\\pard\n}"})},
      {"two 100-pixel cells in a 300-pixel table",
       "<table width=300><tr><td width=100>a</td><td width=100>b</td></tr></table>",
       Cat({kRowPrologue, "\n\\cellx2400", "\n\\cellx4800", "\n\\pard\\intbl \\ql a\\cell",
            "\n\\pard\\intbl \\ql b\\cell", "\\pard \\intbl \\row", "\\pard\n}"})},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string got = FromFirstRow(Page(c.body));
    if (c.want.back() != '}') got = got.substr(0, c.want.size());
    EXPECT_EQ(got, c.want);
  }
}

TEST(TableDocuments, TableWidths) {
  constexpr struct { std::string_view tag, want; } kCases[] = {
      {"<table width=300>", "\n\\cellx4800\n"},
      {"<table width=1000>", "\n\\cellx9500\n"},
      {"<table width=50%>", "\n\\cellx4750\n"},
      {"<table width=150%>", "\n\\cellx9500\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.tag);
    const std::string out = FromFirstRow(Page(std::string(c.tag) + "<tr><td>a</td></tr></table>"));
    EXPECT_EQ(out.substr(kRowPrologue.size(), c.want.size()), c.want);
  }
}

TEST(TableDocuments, EdgesInANineThousandTwipPage) {
  constexpr struct { std::string_view name, body, want; } kCases[] = {
      {"three unsized cells", "<table><tr><td>a</td><td>b</td><td>c</td></tr></table>",
       "\n\\cellx3000\n\\cellx6000\n\\cellx9000\n"},
      {"a colspan aligns with the row below",
       "<table><tr><td colspan=2>a</td><td>b</td></tr>"
       "<tr><td>c</td><td>d</td><td>e</td></tr></table>",
       "\n\\cellx6000\n\\cellx9000\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string out = FromFirstRow(Page(c.body), PageOptions(9000));
    EXPECT_EQ(out.substr(kRowPrologue.size(), c.want.size()), c.want);
  }
  const std::string two_rows = FromFirstRow(
      Page("<table><tr><td colspan=2>a</td><td>b</td></tr>"
           "<tr><td>c</td><td>d</td><td>e</td></tr></table>"),
      PageOptions(9000));
  EXPECT_NE(two_rows.find(Cat({kRowPrologue, "\n\\cellx3000\n\\cellx6000\n\\cellx9000\n"})),
            std::string::npos);
}

TEST(TableDocuments, BordersPrecedeEachCellDefinition) {
  ConversionOptions o = PageOptions();
  o.table_border = 1;
  const std::string out = FromFirstRow(Page("<table><tr><td>a</td><td>b</td></tr></table>"), o);
  EXPECT_EQ(out.substr(0, kRowPrologue.size() + 2 * (kBorders.size() + 11)),
            Cat({kRowPrologue, kBorders, "\n\\cellx4750", kBorders, "\n\\cellx9500"}));
}

TEST(TableDocuments, BackgroundOptionOff) {
  ConversionOptions o = PageOptions();
  o.keep_background_color = 0;
  const std::string out = FromFirstRow(Page("<table><tr><td bgcolor=red>a</td></tr></table>"), o);
  EXPECT_EQ(out.find("\\clcbpat"), std::string::npos);
  EXPECT_EQ(out.substr(kRowPrologue.size(), 12), "\n\\cellx9500\n");
}

TEST(TableDocuments, SimplePathSpreadsFourCellsEqually) {
  ConversionOptions o = PageOptions();
  o.keep_nested_tables = 0;
  o.keep_table_width = 0;
  const std::string out = FromFirstRow(
      Page("<table><tr><td width=10>a</td><td width=700>b</td><td>c</td><td>d</td></tr></table>"),
      o);
  EXPECT_EQ(out.substr(0, kRowPrologue.size() + 44),
            Cat({kRowPrologue, "\n\\cellx2375\n\\cellx4750\n\\cellx7125\n\\cellx9500"}));
}

TEST(TableDocuments, OutputModeOneWritesTabsAndParagraphs) {
  const std::string out = Convert(Page("<table><tr><td>a</td><td>b</td></tr></table>"),
                                  PageOptions(), kModeRtfNoTables);
  EXPECT_NE(out.find("a\\tab\nb\\tab\n\\par\n"), std::string::npos) << out;
}

TEST(TableDocuments, UnanalysableTablesAreRunningText) {
  std::string wide = "<table><tr>";
  std::string cells;
  for (int i = 0; i < 48; ++i) {
    wide += "<td>c" + std::to_string(i) + "</td>";
    cells += "c" + std::to_string(i);
  }
  wide += "</tr></table>";
  for (const std::string& body : {wide, std::string("<table><tr><td>c0</td><td>c1</td></tr>")}) {
    const std::string out = Convert(Page(body), PageOptions());
    EXPECT_EQ(out.find("\\trowd"), std::string::npos);
    EXPECT_EQ(out.find("\\cell"), std::string::npos);
    EXPECT_NE(out.find(body.size() > 100 ? cells : "c0c1"), std::string::npos) << out;
  }
}

// Text that opens a cell on a line of its own, or behind a block or inline start tag
// on a line of its own, is written; blanks between the table's own tags write nothing.
TEST(TableDocuments, TextAtTheStartOfACell) {
  const struct {
    std::string_view name;
    std::string_view body;
    std::string_view want;  // the text as it stands in the cell
  } kCases[] = {
      {"line feed after the cell tag", "<table><tr><td>\nname</td></tr></table>",
       "\\ql name\\cell"},
      {"indented on its own line", "<table><tr>\n  <td>\n    a b\n  </td>\n</tr></table>",
       "\\ql a b"},
      {"cell with attributes", "<table><tr><td align=center>\nname</td></tr></table>",
       " name\\cell"},
      {"after a paragraph tag", "<table><tr><td><p>\ntext</p></td></tr></table>", "text"},
      {"after an inline tag", "<table><tr><td><b>\nbold</b></td></tr></table>", "bold"},
      {"reference first", "<table><tr><td>\n&amp; more</td></tr></table>", "& more\\cell"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string out = FromFirstRow(Page(c.body));
    EXPECT_NE(out.find(c.want), std::string::npos) << out;
    EXPECT_EQ(out.find("\\cell \\cell"), std::string::npos) << out;
  }
}

TEST(TableDocuments, TextAfterATableWhoseLastCellStartsOnANewLine) {
  const std::string out =
      Convert(Page("<table><tr><td>\nlast</td></tr></table>\n<p>\nafter</p>"), PageOptions());
  EXPECT_NE(out.find("last\\cell"), std::string::npos) << out;
  EXPECT_NE(out.find("after"), std::string::npos) << out;
  EXPECT_NE(out.find("last\\cell\\pard \\intbl \\row"), std::string::npos) << out;
}

// A reader joins the rows of two tables with nothing between them into one table.
TEST(TableDocuments, AdjacentTablesStaySeparate) {
  const std::string out = Convert(
      Page("<table><tr><td>a</td></tr></table>\n<table><tr><td>b</td></tr></table>"),
      PageOptions());
  EXPECT_NE(out.find("\\row\\pard\n\n\\pard\\par\n"), std::string::npos) << out;
  // After text the one paragraph end is enough.
  const std::string after_text = Convert(
      Page("<table><tr><td>a</td></tr></table><p>x</p><table><tr><td>b</td></tr></table>"),
      PageOptions());
  EXPECT_EQ(after_text.find("\\pard\\par\n"), std::string::npos) << after_text;
  // Two nested tables in one cell: a paragraph of the enclosing level between them.
  const std::string nested = Convert(
      Page("<table><tr><td><table><tr><td>a</td></tr></table>\n"
           "<table><tr><td>b</td></tr></table></td></tr></table>"),
      PageOptions());
  EXPECT_NE(nested.find("{\\nonesttables\\par}\\itap1\n\n\\par\\pard\\intbl"), std::string::npos)
      << nested;
}

TEST(TableDocuments, OneCellTableInsideACell) {
  const std::string out = FromFirstRow(
      Page("<table><tr><td><table><tr><td>x</td></tr></table>y</td></tr></table>"));
  const std::string want = Cat({"\n\\pard \\intbl\\itap2 \\ql x\\itap2 \\nestcell{\\nonesttables\\par}",
                                "\n\\pard \\intbl\\itap2 ", kNestedPrologue, "\n\\cellx9425",
                                "\\nestrow}{\\nonesttables\\par}", "\\itap1\n", "y\\cell"});
  EXPECT_NE(out.find(want), std::string::npos) << out;
}

TEST(TableDocuments, NestedTableAfterTextEndsTheCellParagraph) {
  const std::string out = FromFirstRow(
      Page("<table><tr><td>a<table><tr><td>x</td></tr></table></td></tr></table>"));
  EXPECT_NE(out.find("a\n\\par\\pard\\intbl\\sb100\\sa100\\sbauto1\\saauto1\\fs20\\lang1033 "
                     "\\itap1 \n\\pard \\intbl\\itap2 "),
            std::string::npos)
      << out;
}

TEST(TableDocuments, ThreeLevels) {
  const std::string out = FromFirstRow(
      Page("<table><tr><td><table><tr><td><table><tr><td>z</td></tr></table></td></tr></table>"
           "</td></tr></table>"));
  EXPECT_NE(out.find("\n\\pard \\intbl\\itap3 \\ql z\\itap3 \\nestcell{\\nonesttables\\par}"), std::string::npos)
      << out;
  // The innermost table fills its enclosing cell less padding and 35: 9425 - 75.
  EXPECT_NE(out.find("\n\\cellx9350\\nestrow}"), std::string::npos) << out;
  EXPECT_NE(out.find("\n\\cellx9425\\nestrow}"), std::string::npos) << out;
}

// A table end with no table open ends the paragraph formatting like any table end:
// trailing blanks go and "\pard" follows.
TEST(TableDocuments, TableEndWithoutATable) {
  ConversionOptions simple = PageOptions();
  simple.keep_nested_tables = 0;
  for (const ConversionOptions& o : {PageOptions(), simple}) {
    const std::string out = Convert(Page("a </table>b"), o);
    EXPECT_NE(out.find("a\\pard\nb"), std::string::npos) << out;
  }
}

// Text right after a table tag must not run into the control word written before it.
TEST(TableDocuments, TextAfterATableTagKeepsTheControlWordWhole) {
  ConversionOptions simple = PageOptions();
  simple.keep_nested_tables = 0;
  simple.keep_alignment = 0;
  const struct {
    std::string_view name, body;
    ConversionOptions options;
    std::string_view want;
  } kCases[] = {
      {"letter after a cell end", "<table><tr><td>a</td>x<td>b</td></tr></table>",
       PageOptions(), "a\\cell x"},
      {"digit after a row definition", "<table><tr>5<td>a</td></tr></table>", PageOptions(),
       "\\cellx9500 5"},
      {"digit after an implicit row definition",
       "<table>5<td>a</td><tr><td>b</td></tr></table>", PageOptions(),
       "\\cellx9500 5"},
      {"letter after a nested cell end",
       "<table><tr><td><table><tr><td>a</td>x</tr></table></td></tr></table>", PageOptions(),
       "a\\itap2 \\nestcell{\\nonesttables\\par}x"},
      {"simple path", "<table><tr><td>a</td>x<td>b</td></tr></table>", simple, "a\\cell x"},
      {"simple path row definition", "<table><tr>5<td>a</td></tr></table>", simple,
       "\\cellx9500 5"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string out = Convert(Page(c.body), c.options);
    EXPECT_NE(out.find(c.want), std::string::npos) << out;
  }
  // An escaped backslash before letters is text, not a control word.
  const std::string out = Convert(Page("<table><tr><td>a\\b</td>x</tr></table>"), PageOptions());
  EXPECT_NE(out.find("\\cell x"), std::string::npos) << out;
}

}  // namespace
}  // namespace velmorane
