// Lists: bullets and their fonts by depth and style, numbering styles, the shared item
// counter, indents, and lists in table cells.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "rtf/lists.h"
#include "rtf/handler_fixture.h"

namespace velmorane {
namespace {

using testing::HandlerFixture;

void OpenUl(Conversion& c) { HandleListStart(c, false); }
void OpenOl(Conversion& c) { HandleListStart(c, true); }
void CloseUl(Conversion& c) { HandleListEnd(c, false); }
void CloseOl(Conversion& c) { HandleListEnd(c, true); }

std::string Bulleted(std::string_view font, std::string_view text, std::string_view indent) {
  return R"({\*\pn\pnlvlblt\pnf)" + std::string(font) + R"(\pnindent0{\pntxtb)" +
         std::string(text) + R"(}}\fi-180\li)" + std::string(indent) + R"({\pntext)" +
         std::string(text) + R"(\tab})";
}

std::string Numbered(std::string_view decimal, std::string_view number, std::string_view indent) {
  return R"({\*\pn\pnlvlbody\pnf0\pnindent0\pnstart1)" + std::string(decimal) + R"({\pntxta )" +
         std::string(number) + R"(.}}\fi-240\li)" + std::string(indent) + R"({\pntext})";
}

TEST(ListStart, WritesSpacingAndMarksTheItemPending) {
  HandlerFixture f;
  f.WriteText("x");
  f.c.loop.after_paragraph_close = f.c.loop.after_div_close = true;
  EXPECT_EQ(f.Run("<ul class=a>", OpenUl), std::string(testing::kParagraphStart) + R"(\sb0\sa0 )");
  EXPECT_EQ(f.c.pos, 11u);
  EXPECT_EQ(f.c.lists.ul_depth, 1);
  EXPECT_TRUE(f.c.loop.list_par_pending);
  EXPECT_FALSE(f.c.loop.after_paragraph_close);
  EXPECT_FALSE(f.c.loop.after_div_close);
}

TEST(ListBullets, ByDepthAndStyle) {
  const struct {
    const char* name;
    std::string_view list_tag;
    int depth;
    std::string want;
  } kCases[] = {
      {"first level", "<ul>", 1, Bulleted("100", R"(\'B7)", "360")},
      {"second level", "<ul>", 2, Bulleted("102", " o", "720")},
      {"third level", "<ul>", 3, Bulleted("101", R"(\'A7)", "1080")},
      {"type=square", "<ul type=square>", 1, Bulleted("101", R"(\'A7)", "360")},
      {"style list-style-type: circle", R"(<ul style="list-style-type: circle">)", 1,
       Bulleted("102", " o", "360")},
      {"none keeps the font of its depth", "<ul type=\"NONE\">", 2, Bulleted("102", "", "720")},
      {"deeper than the stored levels uses the deepest", "<ul type=circle>", 40,
       Bulleted("102", " o", "14400")},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.name);
    HandlerFixture f;
    for (int level = 1; level < test.depth; ++level) f.Run("<ul>", OpenUl);
    f.Run(test.list_tag, OpenUl);
    f.c.loop.at_paragraph_start = true;
    EXPECT_EQ(f.Run("<li>", HandleListItem), test.want);
    EXPECT_EQ(f.c.pos, 3u);
    EXPECT_TRUE(f.c.loop.at_paragraph_start);
    EXPECT_TRUE(f.c.loop.list_par_pending);
  }
}

TEST(ListItems, LaterItemsBreakWithZeroSpacing) {
  HandlerFixture f;
  f.Run("<ul>", OpenUl);
  f.Run("<li>", HandleListItem);
  f.WriteText("a");
  EXPECT_EQ(f.Run("<li class=x>", HandleListItem),
            "\n" R"(\sb0\sa0\par )" + Bulleted("100", R"(\'B7)", "360"));
  f.WriteText("b");
  EXPECT_EQ(f.Run("</ul>", CloseUl), testing::kParagraphStart);
  EXPECT_FALSE(f.c.loop.list_par_pending);
  EXPECT_EQ(f.c.lists.ul_depth, 0);
}

TEST(ListNumbers, TypesAndTheSharedCounter) {
  HandlerFixture f;
  auto item = [&f] {
    f.c.loop.at_paragraph_start = true;
    return f.Run("<li>", HandleListItem);
  };
  f.Run("<ol type=I>", OpenOl);
  EXPECT_EQ(item(), Numbered("", "I", "400"));
  EXPECT_EQ(item(), Numbered("", "II", "400"));
  f.Run("<ol type=a>", OpenOl);
  EXPECT_EQ(item(), Numbered("", "a", "800"));
  f.Run("</ol>", CloseOl);
  // One counter for all levels: the outer list counts on from 1.
  EXPECT_EQ(item(), Numbered("", "I", "400"));
  f.Run("</ol>", CloseOl);

  f.Run("<ol>", OpenOl);
  EXPECT_EQ(item(), Numbered(R"(\pndec)", "", "400"));
  f.Run("</ol>", CloseOl);
  f.Run("<ol type=\"i\">", OpenOl);
  for (int i = 0; i < 20; ++i) item();
  EXPECT_EQ(item(), Numbered("", "i", "400")) << "past xx roman numbering starts again";
}

TEST(ListNumbers, UlInsideOlSharesTheLevelStyle) {
  HandlerFixture f;
  auto item = [&f] {
    f.c.loop.at_paragraph_start = true;
    return f.Run("<li>", HandleListItem);
  };
  f.Run("<ol type=A>", OpenOl);
  EXPECT_EQ(item(), Numbered("", "A", "400"));
  f.Run("<ul type=square>", OpenUl);
  EXPECT_EQ(item(), Bulleted("101", R"(\'A7)", "720"));
  f.Run("</ul>", CloseUl);
  // The ul wrote the same level and its end tag reset it.
  EXPECT_EQ(item(), Numbered(R"(\pndec)", "", "400"));
  EXPECT_EQ(f.c.lists.innermost_kind, 1);
}

TEST(ListItems, OutsideAnyListAndInCells) {
  HandlerFixture f;
  f.c.loop.at_paragraph_start = true;
  EXPECT_EQ(f.Run("<li>", HandleListItem), Bulleted("100", R"(\'B7)", "360"));

  HandlerFixture cell;
  cell.EnterCell(0, 1);
  cell.Run("<ol>", OpenOl);
  cell.c.loop.at_paragraph_start = true;
  EXPECT_EQ(cell.Run("<li>", HandleListItem), R"(\pard\intbl)" + Numbered(R"(\pndec)", "", "400"));
  cell.WriteText("a");
  EXPECT_EQ(cell.Run("<li>", HandleListItem),
            "\n" R"(\sb0\sa0\par\intbl\lang1033 \pard\intbl)" + Numbered(R"(\pndec)", "", "400"));

  HandlerFixture nested;
  nested.EnterCell(1, 2);
  nested.Run("<ul>", OpenUl);
  nested.WriteText("a");
  EXPECT_EQ(nested.Run("<li>", HandleListItem),
            "\n" R"(\sb0\sa0\par\intbl\lang1033 \itap2 \pard\intbl)" +
                Bulleted("100", R"(\'B7)", "360") + R"(\itap2 )");
}

TEST(ListEnd, StrayEndTagsKeepDepthsAtZero) {
  HandlerFixture f;
  f.c.loop.at_paragraph_start = true;
  EXPECT_EQ(f.Run("</ol>", CloseOl), "");
  f.Run("</ul>", CloseUl);
  EXPECT_EQ(f.c.lists.ul_depth, 0);
  EXPECT_EQ(f.c.lists.ol_depth, 0);
  EXPECT_TRUE(f.c.lists.kinds.empty());
}

// Whole documents (need the tag loop).
TEST(ListDocuments, TwoBulletedItems) {
  const std::string html = "<ul><li>a<li>b</ul>";
  const std::string out = testing::Convert(html, testing::DefaultOptions());
  if (testing::TagLoopPassesMarkupThrough(out, html)) GTEST_SKIP() << "no tag loop";
  const std::string bullet = Bulleted("100", R"(\'B7)", "360");
  // Each item refers to the bullet list of the list table as well.
  const std::string item = R"(\ls1\ilvl0 )";
  EXPECT_NE(out.find(R"(\sb0\sa0 )" + bullet + item + "a\n" + R"(\sb0\sa0\par )" + bullet +
                     item + "b"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(R"({\*\listoverridetable{\listoverride\listid1\listoverridecount0\ls1}})"),
            std::string::npos);
  EXPECT_LT(out.find(R"({\*\listtable)"), out.find(R"({\info)"));
}

// Which list of the table an item or a later paragraph of it refers to, and the levels.
TEST(ListDocuments, ItemsReferToListsByKindAndDepth) {
  constexpr struct {
    std::string_view name, html, want;
  } kCases[] = {
      {"second level bullet", "<ul><li>a<ul><li>b</ul></ul>", R"(\ls1\ilvl1 b)"},
      {"ol in ul is one level deeper", "<ul><li>a<ol><li>b</ol></ul>", R"(\ls3\ilvl1 b)"},
      {"each ol has its own list", "<ol><li>a</ol><ol><li>b</ol>", R"(\ls4\ilvl0 b)"},
      {"a ul without bullets is unnumbered", "<ul type=none><li>a</ul>", R"(\ls2\ilvl0 a)"},
      {"a later paragraph stays in the item", "<ul><li>a<p>b</ul>", R"(\ls2\ilvl0\fi0\li360 )"},
      {"the list's level formats", "<ol type=i><li>a<ol type=A><li>b</ol></ol>",
       R"(\levelnfc2\levelnfcn2)"},
      {"an inner ol's second level", "<ol type=i><li>a<ol type=A><li>b</ol></ol>",
       R"({\leveltext\'02\'01.;}{\levelnumbers\'01;}\fi-360\li720\lin720 })"},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.name);
    const std::string out = testing::Convert(std::string(test.html), testing::DefaultOptions());
    if (testing::TagLoopPassesMarkupThrough(out, std::string(test.html))) GTEST_SKIP();
    EXPECT_NE(out.find(test.want), std::string::npos) << out;
  }
}

TEST(ListDocuments, AMetafilePictureKeepsOnlyTheNumberingGroups) {
  // A rule is a metafile picture; the items keep their numbering groups, unchanged.
  const std::string out =
      testing::Convert("<hr><ul><li>a<p>b</ul><p>x\\ls1\\ilvl0 y", testing::DefaultOptions());
  EXPECT_EQ(out.find("listtable"), std::string::npos);
  EXPECT_NE(out.find(R"({\pntext\'B7\tab}a)"), std::string::npos) << out;
  EXPECT_EQ(out.find(R"(\ls2)"), std::string::npos) << out;
  EXPECT_NE(out.find(R"(x\\ls1\\ilvl0 y)"), std::string::npos) << out;  // text stays
}

TEST(ListDocuments, ItemsInCellsKeepOnlyTheNumberingGroups) {
  // Cell paragraphs that refer to the list table make some documents unreadable to AbiWord.
  const std::string out = testing::Convert(
      "<ul><li>out</ul><table><tr><td><ul><li>a<li>b<p>c</ul></td></tr></table>",
      testing::DefaultOptions());
  EXPECT_NE(out.find(R"(\ls1\ilvl0 out)"), std::string::npos) << out;
  EXPECT_NE(out.find(R"({\pntext\'B7\tab}a)"), std::string::npos) << out;
  const std::size_t table = out.find(R"(\intbl)");
  ASSERT_NE(table, std::string::npos);
  EXPECT_EQ(out.find(R"(\ls)", table), std::string::npos) << out;
}

TEST(ListDocuments, PagesWithoutItemsGetNoListTable) {
  for (const std::string html : {"<p>text</p>", "<ul></ul>x", "<p>a<p>b"}) {
    const std::string out = testing::Convert(html, testing::DefaultOptions());
    EXPECT_EQ(out.find("listtable"), std::string::npos) << html;
    EXPECT_EQ(out.find(R"(\ls)"), std::string::npos) << html;
  }
}

}  // namespace
}  // namespace velmorane
