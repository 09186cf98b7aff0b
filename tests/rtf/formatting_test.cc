// Character formatting tags: the counted groups, em, sub and sup, and the font tag
// with its stacks.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "loop_harness.h"

namespace velmorane {
namespace {

using testing::LoopRun;
using testing::LoopSetup;
using testing::RunLoop;

LoopSetup WithTables() {
  LoopSetup setup;
  setup.fonts = {"Arial", "Verdana"};   // \f2, \f3
  setup.colors = {"FF0000", "0000FF"};  // \cf3 (red), \cf4 (blue)
  return setup;
}

constexpr struct {
  std::string_view name, html, want;
} kGroupCases[] = {
    {"nested groups", "<b>a <i>b <u>c <s>d</s></u></i></b>",
     R"({\b a {\i b {\ul c {\strike d}}}})"},
    {"bold and italic", "<b><i>text</i></b>", R"({\b {\i text}})"},
    {"end tag without start writes nothing", "</b>x</i></u></s></strong>", "x"},
    {"s closed by strike", "<s>x</strike>y</s>", R"({\strike x}y)"},
    {"strong and b count apart", "<strong>a</b>b</strong>", R"({\b ab})"},
    {"attributes are skipped", "<b class=x>a</b>", R"({\b a})"},
    {"end tag with attributes is not recognised", "<b>a</b >b", R"({\b ab)"},
    {"em is italic", "<em>x</em>", R"({\i x})"},
    {"sub uses half the default size", "H<sub>2</sub>O", R"(H{\sub\dn5 2}O)"},
    {"sup", "x<sup>2</sup>", R"(x{\super\up5 2})"},
    {"sub end without start writes nothing", "a</sub>b</sup>", "ab"},
    {"upper-case tags", "<B>x</B>", R"({\b x})"},
    {"upper-case end tags of longer names", "<STRIKE>x</STRIKE><SUP>2</SUP>",
     R"({\strike x}{\super\up5 2})"},
    // Names that only begin or end like a group tag's are other elements.
    {"longer names are not group tags", "<bdi>a</bdi><strongest>b</strongest><sub2>c", "abc"},
    {"shorter names are not group tags", "<stron>a</stron><su>b</su><e>c</e>", "abc"},
    {"a digit ends no name", "<b1>a</b1>", "a"},
    {"small is a step smaller", "<small>a</small>b<smaller>c</smaller>", R"(\fs16 a\fs20 bc)"},
};

TEST(GroupTags, OpenAndCloseGroups) {
  for (const auto& c : kGroupCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RunLoop(c.html), c.want);
  }
}

TEST(GroupTags, EmAppliesItsStyleInsideTheGroup) {
  LoopSetup setup;
  setup.css = "em{color:red}";
  EXPECT_EQ(RunLoop("<em>x</em>", setup), R"({\cf3 \i x\cf1 })");
}

constexpr struct {
  std::string_view size;
  std::string_view want;
} kFontSizes[] = {
    // A browser's sizes (size 3 and 16px are its default text) against our 10-point body.
    {"1", R"(\fs12 )"},         {"+1", R"(\fs22 )"},   {"-1", R"(\fs16 )"},
    {"7", R"(\fs60 )"},         {"12", R"(\fs20 )"},   {"16px", R"(\fs20 )"},
    {"+9", R"(\fs60 )"},        {"-5", R"(\fs12 )"},   {"2em", R"(\fs40 )"},
    {"9pt", R"(\fs16 )"},       {"150%", R"(\fs30 )"}, {"medium", R"(\fs20 )"},
    {"'x-large'", R"(\fs30 )"},
};

TEST(FontTag, SizeAttribute) {
  for (const auto& c : kFontSizes) {
    SCOPED_TRACE(c.size);
    const std::string html = "<font size=" + std::string(c.size) + ">x</font>";
    EXPECT_EQ(RunLoop(html), std::string(c.want) + R"(x\cf1 \f0 \fs20 )");
  }
}

TEST(FontTag, StyleSizeInsideTheTag) {
  // 16px is a browser's default text: our body size.
  EXPECT_EQ(RunLoop(R"(<font style="font-size:16px">x</font>)"), R"(\fs20 x\cf1 \f0 \fs20 )");
}

TEST(FontTag, NestedFontsRestoreFaceColourAndSize) {
  EXPECT_EQ(RunLoop("<font face=\"Arial\" color=\"red\" size=5>a"
                    "<font face='Verdana, sans-serif' color=blue size=2>b</font>c</font>d",
                    WithTables()),
            R"(\f2 \cf3 \fs30 a\f3 \cf4 \fs16 b\cf3 \f2 \fs30 c\cf1 \f0 \fs20 d)");
}

TEST(FontTag, UnknownFaceOrColourChangesNothing) {
  EXPECT_EQ(RunLoop("<font face=Arial color=red>a<font face=Nope color=green>b</font></font>",
                    WithTables()),
            R"(\f2 \cf3 a\f2 \cf3 b\cf3 \f2 \fs20 \cf1 \f0 \fs20 )");
}

TEST(FontTag, BackgroundColour) {
  EXPECT_EQ(RunLoop(R"(<font style="background-color:blue">x</font>)", WithTables()),
            R"(\chcbpat4 x\chcbpat0 \cf1 \f0 \fs20 )");
}

TEST(FontTag, KeepFontFaceOffIgnoresFaces) {
  LoopSetup setup = WithTables();
  setup.options.keep_font_face = 0;
  LoopRun run(setup);
  EXPECT_EQ(run.Run("<font face=Arial>x</font>"), R"(x\cf1 \f0 \fs20 )");
  EXPECT_TRUE(run.conversion.loop.font_stack.empty());
}

TEST(FontTag, ColourFromAStyleRuleIsKeptInside) {
  // The span's colour is active but not on the stack: the font tag writes it again and
  // the stack is balanced when both elements have closed.
  LoopRun run(WithTables());
  const std::string out = run.Run(R"(<span style="color:blue">a<font size=3>b</font>c</span>)");
  EXPECT_EQ(out.rfind(R"(\cf4 a\cf4 \fs20 b)", 0), 0u) << out;
  EXPECT_TRUE(out.ends_with(R"(c\cf1 )")) << out;
  EXPECT_TRUE(run.conversion.loop.colour_stack.empty());
}

TEST(FontTag, StacksStayBounded) {
  std::string html;
  for (int i = 0; i < 40; ++i) html += "<font face=Arial color=red size=2>";
  html += "x";
  for (int i = 0; i < 45; ++i) html += "</font>";
  LoopRun run(WithTables());
  const std::string out = run.Run(html);
  EXPECT_LE(run.conversion.loop.font_stack.size(), kStackDepth);
  EXPECT_TRUE(run.conversion.loop.colour_stack.empty());
  EXPECT_EQ(out.substr(out.size() - 15), R"(\cf1 \f0 \fs20 )");
}

}  // namespace
}  // namespace velmorane
