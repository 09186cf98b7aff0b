// Tables nested in cells: levels, nested cell and row ends, widths from the enclosing cell.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "engine/engine.h"
#include "rtf/tables/table_driver.h"

namespace velmorane {
namespace {

using testing::CountOf;
using testing::RunTables;

constexpr std::string_view kNestedPrologue =
    "\n" R"({\*\nesttableprops\trgaph35\trautofit1\trleft-40\trautofit1\trpaddfr3\trpaddfl3\trpaddft3\trpaddfb3\trpaddr40\trpaddl40\trpaddb40\trpaddt40 )";

bool BracesBalance(std::string text) {
  const std::size_t before = text.size();
  BalanceBraces(text);
  if (text.size() != before) return false;
  int depth = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\') ++i;
    else if (text[i] == '{') ++depth;
    else if (text[i] == '}' && --depth < 0) return false;
  }
  return depth == 0;
}

TEST(NestedTables, OneCellTableInsideACell) {
  const std::string out = RunTables(
      "<table><tr><td><table><tr><td>x</td></tr></table>y</td></tr></table>");
  const std::string want_inner =
      "\n" R"(\pard \intbl\itap2 \ql x\itap2 \nestcell{\nonesttables\par})"
      "\n" R"(\pard \intbl\itap2 )" + std::string(kNestedPrologue) +
      "\n" R"(\cellx9425\nestrow}{\nonesttables\par}\itap1)" "\ny" R"(\cell)";
  EXPECT_NE(out.find(want_inner), std::string::npos) << out;
  EXPECT_TRUE(BracesBalance(out));
}

TEST(NestedTables, TextBeforeTheNestedTableEndsItsParagraph) {
  const std::string out = RunTables(
      "<table><tr><td>a<table><tr><td>x</td></tr></table></td></tr></table>");
  const std::string want = "a\n" R"(\par\pard\intbl\sb100\sa100\sbauto1\saauto1\fs20\lang1033 \itap1 )"
                           "\n" R"(\pard \intbl\itap2 )";
  EXPECT_NE(out.find(want), std::string::npos) << out;
}

TEST(NestedTables, ThreeLevels) {
  const std::string out = RunTables(
      "<table><tr><td><table><tr><td><table><tr><td>z</td></tr></table>w</td></tr></table>"
      "</td></tr></table>");
  // The innermost table fits its enclosing cell: 9500 - 75 - 75.
  EXPECT_NE(out.find("\n" R"(\pard \intbl\itap3 \ql z\itap3 \nestcell{\nonesttables\par})"), std::string::npos);
  EXPECT_NE(out.find(R"(\cellx9350\nestrow})"), std::string::npos);
  // Back in the level-2 cell the text continues at level 2.
  EXPECT_NE(out.find(R"(\nonesttables\par}\itap2)" "\nw" R"(\itap2 \nestcell{\nonesttables\par})"),
            std::string::npos) << out;
  EXPECT_EQ(CountOf(out, "\\nestrow"), 2u);
  EXPECT_EQ(CountOf(out, "\\row"), 1u);
  EXPECT_TRUE(BracesBalance(out));
}

TEST(NestedTables, TwoRowNestedTable) {
  const std::string out = RunTables(
      "<table><tr><td><table><tr><td>a</td><td>b</td></tr><tr><td>c</td><td>d</td></tr>"
      "</table></td></tr></table>");
  EXPECT_EQ(CountOf(out, "\\nestcell{\\nonesttables\\par}"), 4u);
  EXPECT_EQ(CountOf(out, "\\nestrow"), 2u);
  EXPECT_EQ(CountOf(out, "\\nesttableprops"), 2u);
  // After the first nested row the text stays at level 2; the last row is cut back.
  EXPECT_NE(out.find(R"(\nonesttables\par})" "\n" R"(\intbl\itap2 )"), std::string::npos);
  EXPECT_NE(out.find(R"(\nonesttables\par}\itap1)" "\n"), std::string::npos);
  EXPECT_TRUE(BracesBalance(out));
}

TEST(NestedTables, NestedRowSpanMarksCarryTheLevel) {
  const std::string out = RunTables(
      "<table><tr><td><table><tr><td rowspan=2>a</td><td>b</td></tr><tr><td>c</td></tr>"
      "</table></td></tr></table>");
  EXPECT_NE(out.find(R"(\itap2 \clvmgf)"), std::string::npos);
  EXPECT_NE(out.find(R"(\itap2 \clvmrg)"), std::string::npos);
  EXPECT_NE(out.find("\n" R"(\pard\intbl\itap2 \nestcell{\nonesttables\par})"), std::string::npos);
  EXPECT_TRUE(BracesBalance(out));
}

TEST(NestedTables, SeventeenLevelsKeepTheDeepestAsText) {
  std::string html;
  for (int i = 0; i < 17; ++i) html += "<table><tr><td>";
  html += "deep";
  for (int i = 0; i < 17; ++i) html += "</td></tr></table>";
  const std::string out = RunTables(html);
  EXPECT_NE(out.find(R"(\itap16 )"), std::string::npos);
  EXPECT_EQ(out.find(R"(\itap17)"), std::string::npos);
  EXPECT_NE(out.find("deep"), std::string::npos);
  EXPECT_TRUE(BracesBalance(out));
}

TEST(NestedTables, MalformedNestingStaysBalanced) {
  constexpr std::string_view kCases[] = {
      "<table><tr><td><table><tr><td>a<td>b</table>c</td></tr></table>",
      "<table><tr><td><table><td>a</td><tr><td>b</td></tr></table></td></tr></table>",
      "<table><tr><td><table><tr><td>a</td><td>b</td></tr><tr><td>c</td><td>d</td><td>e</td>"
      "</tr></table></td></tr></table>",
      "<table><tr><td><table><tr><td>a</td></tr></table></table></td></tr></table>",
      "<table><tr><td>a</td><table><tr><td>b</td></tr></table></tr></table>",
      "</table></td><td><tr></tr><table>",
  };
  for (std::string_view html : kCases) {
    SCOPED_TRACE(html);
    EXPECT_TRUE(BracesBalance(RunTables(html)));
  }
}

}  // namespace
}  // namespace velmorane
