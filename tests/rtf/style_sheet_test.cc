// Style declarations, the style sheet parser and the RTF of opening and closing
// element styles.
#include "rtf/style_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "loop_harness.h"
#include "rtf/prologue.h"

namespace velmorane {
namespace {

using testing::LoopRun;
using testing::LoopSetup;
using testing::RunLoop;

StyleRule Parse(std::string_view text) {
  FontTable fonts;
  ColorTable colors;
  StyleRule rule;
  std::size_t pos = 0;
  ParseDeclarations(text, pos, rule, fonts, colors);
  return rule;
}

TEST(StyleDeclarations, FontSizes) {
  constexpr struct {
    std::string_view text;
    bool accepted;
    int half_points;
  } kCases[] = {
      {"font-size:12px", true, 18},    {"font-size:1.5em", true, 36},
      {"font-size:200px", true, 300},  // 150 points still fits
      {"font-size:300px", false, 0},   // 225 points is too large
      {"font-size:0.5pt", false, 0},   // not above half a point
      {"font-size:10.5pt", true, 21},  {"font-size:150%", true, 36},
      {"font-size:x-small", true, 15}, {"font-size:medium", true, 24},
      {"font-size:1in", true, 144},    {"font-size:smaller", true, 19},
      {"font-size:2rem", true, 48},    {"font-size:0%", false, 0},
      {"FONT-SIZE : 9pt", true, 18},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    const StyleRule rule = Parse(c.text);
    EXPECT_EQ(rule.has[kPropFontSize], c.accepted);
    if (c.accepted) {
      EXPECT_EQ(rule.size, c.half_points);
    }
  }
}

TEST(StyleDeclarations, MarginsAndPositions) {
  StyleRule rule = Parse("margin-top:10px; margin-bottom:1; margin-left:-5px; margin-right:700");
  EXPECT_TRUE(rule.has[kPropMarginTop]);
  EXPECT_EQ(rule.margin_top, 150u);
  EXPECT_EQ(rule.margin_bottom, 20u);
  EXPECT_FALSE(rule.has[kPropMarginLeft]);   // negative
  EXPECT_FALSE(rule.has[kPropMarginRight]);  // 14000 twips is out of range

  rule = Parse("td width=50% align=center");
  EXPECT_TRUE(rule.has[kPropWidth]);
  EXPECT_EQ(rule.width, 50);
  EXPECT_TRUE(rule.width_percent);
  EXPECT_EQ(rule.align, 'c');

  rule = Parse("top:0; left:12.7px");
  EXPECT_FALSE(rule.has[kPropTop]);
  EXPECT_EQ(rule.left, 12);
}

TEST(StyleDeclarations, Keywords) {
  StyleRule rule = Parse(
      "font-weight:BOLD; font-style:italic; text-decoration:line-through; "
      "vertical-align:super; page-break-before:avoid; page-break-after:always; "
      "list-style-type:upper-roman; border:1px solid");
  EXPECT_EQ(rule.bold, 1);
  EXPECT_EQ(rule.style, 'i');
  EXPECT_EQ(rule.decoration, 's');
  EXPECT_EQ(rule.vertical_align, 'r');
  EXPECT_TRUE(rule.has[kPropPageBreakBefore]);
  EXPECT_EQ(rule.page_break_before, 0);
  EXPECT_EQ(rule.page_break_after, 1);
  EXPECT_EQ(rule.list_style, kListStyleUpperRoman);
  EXPECT_EQ(rule.border, kBorderSet);
  EXPECT_FALSE(rule.has[kPropFont]);

  rule = Parse("font-weight:700; list-style-type:decimal; text-align:middle");
  EXPECT_TRUE(rule.has[kPropFontWeight]);
  EXPECT_EQ(rule.bold, 1);
  EXPECT_FALSE(rule.has[kPropListStyleType]);
  EXPECT_FALSE(rule.has[kPropTextAlign]);
}

TEST(StyleDeclarations, FontsAndColoursGoToTheTables) {
  FontTable fonts;
  fonts.Add("Arial");
  ColorTable colors;
  colors.Add("ff0000");
  StyleRule rule;
  std::size_t pos = 0;
  const std::string_view text =
      R"(font-family: "times new roman", serif; color:#FF0000; background:url(x.png) })";
  EXPECT_TRUE(ParseDeclarations(text, pos, rule, fonts, colors));
  EXPECT_EQ(fonts[rule.font], "times new roman");
  EXPECT_EQ(rule.color, 0);                 // found without regard to case
  EXPECT_FALSE(rule.has[kPropBackground]);  // not a colour: no black background
  EXPECT_EQ(colors.size(), 1u);

  rule = StyleRule{};
  pos = 0;
  ParseDeclarations("font-family:ARIAL", pos, rule, fonts, colors);
  EXPECT_EQ(rule.font, 0);
  EXPECT_EQ(fonts.size(), 2u);
}

// Names are read up to 41 bytes, case kept, blanks trimmed at their end; a longer name
// is cut there and its rest read as the next name. Long property names (beyond the short
// strings kept without the heap) and upper case must still be found.
TEST(StyleDeclarations, NameLengthsAndCase) {
  const std::string long_name(41, 'x');
  EXPECT_TRUE(Parse("PAGE-BREAK-BEFORE: always").has[kPropPageBreakBefore]);
  EXPECT_EQ(Parse("Text-Decoration : line-through").decoration, 's');
  EXPECT_EQ(Parse("list-style-type:square").has[kPropListStyleType], true);
  EXPECT_EQ(Parse("style=\"vertical-align: super\"").vertical_align, 'r');
  EXPECT_EQ(Parse(long_name + "font-style:italic").style, 'i');
  EXPECT_FALSE(Parse(long_name + "x:italic; font-style").has[kPropFontStyle]);
  const StyleRule family = [] {
    FontTable fonts;
    ColorTable colors;
    StyleRule rule;
    std::size_t pos = 0;
    ParseDeclarations("font-family: Courier New  ; color:red", pos, rule, fonts, colors);
    EXPECT_EQ(fonts[rule.font], "Courier New");
    return rule;
  }();
  EXPECT_TRUE(family.has[kPropFontFamily]);
}

TEST(StyleDeclarations, FontShorthand) {
  const StyleRule rule = Parse("font: italic bold 12px/1.5 Arial; color: red");
  EXPECT_EQ(rule.style, 'i');
  EXPECT_EQ(rule.bold, 1);
  EXPECT_EQ(rule.size, 18);
  EXPECT_TRUE(rule.has[kPropColor]);
}

TEST(StyleSheetParsing, SelectorsAndSpecialRules) {
  LoopSetup setup;
  setup.css =
      "/* a comment does not nest: /* */ body{color:red;font-size:10pt}\n"
      "P.note{font-style:italic} .note{font-weight:bold} #main{font-size:8pt}\n"
      "h1, .a, EM.x {text-decoration:underline} p{margin-top:1}\n"
      "@media print { td {color:blue} }\n"
      "body{font-size:12pt} div p{color:red} .p{color:red}";
  LoopRun run(setup);
  const StyleSheet& sheet = run.conversion.sheet;

  const StyleRule* body = BodyRule(sheet);
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(body->size, 24);           // the second body rule overrides the size
  EXPECT_TRUE(body->has[kPropColor]);  // and keeps the colour of the first

  auto find = [&](std::string_view name, int type) -> const StyleRule* {
    for (const StyleRule& rule : sheet.rules) {
      if (rule.name == name && rule.element_type == type) return &rule;
    }
    return nullptr;
  };
  ASSERT_NE(find("note", kElementP), nullptr);
  EXPECT_TRUE(find("note", kElementP)->has[kPropFontStyle]);
  EXPECT_FALSE(find("note", kElementP)->has[kPropFontWeight]);
  ASSERT_NE(find("note", kElementAny), nullptr);
  EXPECT_NE(find("main", kElementAny), nullptr);
  EXPECT_NE(find("", kElementH1), nullptr);
  EXPECT_NE(find("a", kElementAny), nullptr);
  EXPECT_NE(find("x", kElementEm), nullptr);
  EXPECT_EQ(find("", kElementCell), nullptr);  // in a group for print
  EXPECT_EQ(find("head", kElementAny), nullptr);
  EXPECT_NE(find("p", kElementAny), nullptr);  // a class named like an element
  ASSERT_GE(sheet.p_rule, 0);
  EXPECT_EQ(sheet.rules[sheet.p_rule].margin_top, 20u);
  EXPECT_TRUE(sheet.p_class_rules);
  EXPECT_TRUE(sheet.em_class_rules);
}

// Opens the element whose tag is `html` and returns what it wrote.
std::string Open(LoopRun& run, std::string_view html, int type) {
  run.conversion.input = std::string(html);
  run.conversion.pos = 0;
  run.conversion.output.clear();
  OpenElementStyle(run.conversion, 0, type, false);
  return run.conversion.output.text();
}

TEST(ElementStyles, ClassRulesMatchTheirElements) {
  LoopSetup setup;
  setup.css = "P.big{font-style:italic} .note{font-weight:bold}";
  LoopRun run(setup);
  EXPECT_EQ(Open(run, "<p class=big>", kElementP), R"({\i )");
  EXPECT_EQ(Open(run, "<span class=big>", kElementSpan), "");
  EXPECT_EQ(Open(run, "<span class='note'>", kElementSpan), R"({\b )");
  EXPECT_EQ(Open(run, "<div class=Note>", kElementDiv), "");  // case counts
  EXPECT_EQ(Open(run, "<div id=note>", kElementDiv), R"({\b )");
  EXPECT_EQ(Open(run, "<div valid=note>", kElementDiv), "");
}

TEST(ElementStyles, TheCascadeMergesEveryRuleThatApplies) {
  LoopSetup setup;
  setup.css =
      "span.k{color:red} .k{color:blue;font-style:italic} .k{font-weight:bold}"
      " .s1{text-decoration:underline} code{font-weight:bold} code{font-style:italic}"
      " th{font-style:italic}";
  LoopRun run(setup);
  struct Case {
    std::string_view name, tag;
    int type;
    std::string_view want;
  };
  const Case kCases[] = {
      // span.k wins the colour over .k, whatever the order; both .k rules add theirs.
      {"type.class over class", "<span class=k>", kElementSpan, R"(\cf3 {\b {\i )"},
      {"class alone", "<div class=k>", kElementDiv, R"(\cf4 {\b {\i )"},
      {"every name of the attribute", "<span class='s1 k'>", kElementSpan,
       R"(\cf3 {\b {\i {\ul )"},
      {"element rules merge", "<code>", kElementCode, R"({\b {\i )"},
      {"th rules leave data cells", "<td>", kElementCell, ""},
      {"th rules select header cells", "<th>", kElementCell, R"({\i )"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Open(run, c.tag, c.type), c.want);
  }
}

TEST(ElementStyles, SelectorsOfSeveralCompounds) {
  LoopSetup setup;
  setup.css =
      ".highlight .s1{color:red} div.note p{font-style:italic} code.a.b{font-weight:bold}"
      " body span.t{text-decoration:underline} a:hover span{color:blue} .x+.y{color:blue}";
  struct Case {
    std::string_view name, html, want;
  };
  const Case kCases[] = {
      {"descendant of a class", "<div class=highlight><pre><span class=s1>s</span></pre></div>",
       R"(\cf3 s\cf1 )"},
      {"not inside it", "<div><span class=s1>s</span></div>", "s"},
      {"after the ancestor closed", "<div class=highlight></div><span class=s1>s</span>", "s"},
      {"type.class ancestor", "<div class=note><p>t</p></div>", R"({\i t})"},
      {"every name of the compound", "<code class='b a'>c</code><code class=a>d</code>",
       R"({\b c}}{\fs16 d})"},
      {"body around everything", "<span class=t>u</span>", R"({\ul u})"},
      {"pseudo-classes and siblings select nothing", "<span class='x y'>v</span>", "v"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    LoopSetup each = setup;
    const std::string out = RunLoop(c.html, each);
    EXPECT_NE(out.find(c.want), std::string::npos) << out;
  }
}

TEST(ElementStyles, AnAncestorRuleHoldsOnlyInsideTheAncestor) {
  // Elements of one type outside and inside the ancestor in one document: what the
  // element outside found is not taken for the one inside, nor the other way round.
  LoopSetup setup;
  setup.css = "div.note p{font-style:italic}";
  const std::string out = RunLoop("<p>w</p><div class=note><p>x</p></div><p>y</p>", setup);
  EXPECT_NE(out.find(R"({\i x})"), std::string::npos) << out;
  EXPECT_EQ(out.find(R"(\i )"), out.rfind(R"(\i )")) << out;
}

TEST(ElementStyles, ManyRulesMatchThroughTheIndex) {
  // Rules are found by name, not by position: the last of many is matched, and merged
  // rules are made once per element kind.
  LoopSetup setup;
  for (int i = 0; i < 2000; ++i) setup.css += ".c" + std::to_string(i) + "{font-weight:bold}";
  setup.css += ".c1999{font-style:italic}";
  LoopRun run(setup);
  EXPECT_EQ(Open(run, "<p class=c1999>", kElementP), R"({\b {\i )");
  const std::size_t rules = run.conversion.sheet.rules.size();
  EXPECT_EQ(Open(run, "<p class=c1999>", kElementP), R"({\b {\i )");
  EXPECT_EQ(run.conversion.sheet.rules.size(), rules);
  EXPECT_EQ(Open(run, "<p class=c2000>", kElementP), "");
}

TEST(ElementStyles, ManyRulesWithConditionsStayBounded) {
  // Past the budget of rules with conditions tried per element, later ones are left out;
  // rules without conditions all count still.
  LoopSetup setup;
  setup.css = "div.d0 p{font-style:italic}";
  for (int i = 0; i < 300; ++i) setup.css += "div.d" + std::to_string(i) + " p{color:red}";
  setup.css += "div.d299 p{text-decoration:underline} p{font-weight:bold}";
  const std::string near = RunLoop("<div class=d0><p>a</p></div>", setup);
  EXPECT_NE(near.find(R"({\b {\i a)"), std::string::npos) << near;
  const std::string far = RunLoop("<div class=d299><p>a</p></div>", setup);
  EXPECT_NE(far.find(R"({\b a)"), std::string::npos) << far;
  EXPECT_EQ(far.find(R"(\ul)"), std::string::npos) << far;
}

TEST(ElementStyles, InlineDeclarationsAndAlignment) {
  LoopRun run;
  EXPECT_EQ(Open(run, R"(<span style="margin-top:10px">)", kElementSpan), R"(\sb150 )");
  EXPECT_EQ(Open(run, R"(<span style="margin-top:1">)", kElementSpan), R"(\sb20 )");
  Open(run, "<div align=center>", kElementDiv);
  EXPECT_EQ(run.conversion.loop.alignment_string, R"(\qc )");
  CloseElementStyle(run.conversion, kElementDiv, 10);
  EXPECT_EQ(run.conversion.loop.alignment_string, R"(\qj )");
  // A font tag's style attribute is read by the font tag, not as declarations.
  EXPECT_EQ(Open(run, R"(<font style="font-weight:bold">)", kElementFont), "");
}

TEST(ElementStyles, NestedAlignmentComesBack) {
  LoopRun run;
  Open(run, "<div align=right>", kElementDiv);
  Open(run, "<p align=center>", kElementP);
  EXPECT_EQ(run.conversion.loop.alignment_string, R"(\qc )");
  CloseElementStyle(run.conversion, kElementP, 10);
  EXPECT_EQ(run.conversion.loop.alignment_string, R"(\qr )");
  CloseElementStyle(run.conversion, kElementDiv, 10);
  EXPECT_EQ(run.conversion.loop.alignment_string, R"(\qj )");
}

constexpr struct {
  std::string_view name, css, html, want;
} kSpanCases[] = {
    {"span colour returns to black", "", R"(<span style="color:red">a</span>b)", R"(\cf3 a\cf1 b)"},
    {"nested spans return to the outer colour", "",
     R"(<span style="color:red">a<span style="color:blue">b</span>c</span>d)",
     R"(\cf3 a\cf4 b\cf3 c\cf1 d)"},
    {"span colour returns to the body colour", "body{color:blue}",
     R"(<span style="color:red">a</span>b)", R"(\cf4 a\cf3 b)"},
    {"span size returns to the default size", "", R"(<span style="font-size:12px">x</span>)",
     R"(\fs16 x\fs20 )"},
    {"bold and italic groups close", "",
     R"(<span style="font-weight:bold;font-style:italic">x</span>)", R"({\b {\i x}})"},
    {"normal weight is a group: the bold comes back after it", "",
     R"(<span style="font-weight:bold">a<span style="font-weight:normal">b</span>c</span>)",
     R"({\b a{\b0 b}c})"},
    {"font returns to the body font", "body{font-family:Verdana}",
     R"(<span style="font-family:Arial">x</span>)", R"(\f3 x\f2 )"},
    {"decoration and background", "",
     R"(<span style="text-decoration:underline;background:yellow">x</span>)",
     R"(\chcbpat3 {\ul x\chcbpat0 })"},
    {"positioned block with content", "", R"(<span style="top:10;left:20;width:100">x</span>)",
     R"({\pard\plain\posx320\posy160\absw11586\absh160 x\par})"},
    {"positioned block without content", "", R"(<span style="top:10;left:20;width:100"> </span>x)",
     "x"},
    {"page break before", "", R"(<span style="page-break-before:always">x</span>)",
     "\n"
     R"(\pard\page\par)"
     "\nx"},
    {"a size comes back to the one around it", "",
     R"(<span style="font-size:150%">a<span style="font-size:20pt">b</span>c</span>d)",
     R"(\fs30 a\fs34 b\fs30 c\fs20 d)"},
    {"small and big step the size", "", "<small>a<big>b</big>c</small>d",
     R"(\fs16 a\fs20 b\fs16 c\fs20 d)"},
    {"a size rule goes on after a paragraph break", "div{font-size:80%}",
     "<div>a<p>b</p></div>",
     "\\qj \\fs16 a\n\\par\\pard\\sb100\\sa100\\sbauto1\\saauto1\\fs20\\lang1033 \\fs16 \\qj b\\fs20 "},
    {"blank after a style control word is kept", "",
     R"(a<span style="text-decoration:underline"> b</span>)", R"(a{\ul  b})"},
};

TEST(ElementStyles, SpansWriteAndUndoTheirStyle) {
  for (const auto& c : kSpanCases) {
    SCOPED_TRACE(c.name);
    LoopSetup setup;
    setup.css = std::string(c.css);
    EXPECT_EQ(RunLoop(c.html, setup), c.want);
  }
}

TEST(ElementStyles, DocumentTextNeverReachesTheOutput) {
  LoopSetup setup;
  setup.css = R"(.a\}{ {color:red})";
  const std::string out =
      RunLoop(R"(<span class="a\}{" style="font-family:{\evil}; color:{\x}">t</span>)"
              R"(<font face="}{\rtf" color="\{">u</font>)",
              setup);
  EXPECT_EQ(out.find("evil"), std::string::npos) << out;
  EXPECT_EQ(out.find("rtf"), std::string::npos) << out;
  EXPECT_EQ(out.find("}{"), std::string::npos) << out;
  EXPECT_EQ(out.find("\\{"), std::string::npos) << out;
}

}  // namespace
}  // namespace velmorane
