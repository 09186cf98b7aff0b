// Monospace elements through the in-memory entry: the groups they write, their sizes, the
// lines of preformatted blocks, and the font table entry they need.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "rtf/monospace.h"
#include "support/test_support.h"
#include "rtf/handler_fixture.h"

namespace velmorane {
namespace {

using testing::Join;
using testing::kParagraphStart;

ConversionOptions Options(bool keep_face = true, bool keep_size = true) {
  ConversionOptions o = testing::DefaultOptions();
  o.keep_font_face = keep_face ? 1 : 0;
  o.keep_font_size = keep_size ? 1 : 0;
  return o;
}

TEST(Monospace, Sizes) {
  const struct {
    int half_points, mono;
  } kMono[] = {{20, 16}, {24, 20}, {30, 24}, {1, 1}};
  for (const auto& test : kMono) {
    EXPECT_EQ(MonospaceHalfPoints(test.half_points), test.mono) << test.half_points;
  }
  const struct {
    int level, half_points, want;
  } kHeadings[] = {{1, 20, 40}, {2, 20, 30}, {3, 20, 23}, {4, 20, 20},
                   {5, 20, 17}, {6, 20, 13}, {1, 24, 48}, {7, 20, 20}};
  for (const auto& test : kHeadings) {
    EXPECT_EQ(HeadingHalfPoints(test.level, test.half_points), test.want) << test.level;
  }
}

TEST(Monospace, TagsRecognised) {
  const struct {
    std::string_view text;
    int kind;
  } kCases[] = {
      {"<pre>", kMonoPre},          {"<PRE class=x>", kMonoPre},  {"<pre\nstyle=y>", kMonoPre},
      {"<code/>", kMonoCode},       {"<tt>", kMonoTt},            {"<kbd\t>", kMonoKbd},
      {"<samp>", kMonoSamp},        {"<xmp>", kMonoXmp},          {"<listing>", kMonoListing},
      {"<codex>", -1},              {"<pref>", -1},               {"<cite>", -1},
      {"<p>", -1},                  {"<code", -1},                {"</code>", -1},
      {"<XMP>", kMonoXmp},          {"<LiStInG>", kMonoListing},  {"<Tt>", kMonoTt},
      {"<KBD>", kMonoKbd},          {"<SAMP\n>", kMonoSamp},      {"<Code>", kMonoCode},
      {"<tt", -1},                  {"<t", -1},                   {"<", -1},
      {"<li>", -1},                 {"<col>", -1},                {"<sa>", -1},
      {"<\xd0\xd2" "e>", -1},       {"<p\xd2" "e>", -1},           {"<\x10tt>", -1},
  };
  for (const auto& test : kCases) {
    EXPECT_EQ(MonospaceStartTagAt(test.text, 0), test.kind) << test.text;
    EXPECT_EQ(MonospaceStartTagAtEachTag(test.text, 0), test.kind) << test.text;
    // The same names as end tags.
    if (test.text.size() > 1 && test.text[1] != '/') {
      const std::string end = "</" + std::string(test.text.substr(1));
      EXPECT_EQ(EndsMonospaceBlock(end, 0), test.kind >= 0 && IsMonospaceBlock(test.kind)) << end;
    }
  }
}

// The text the tag pass wrote for `html` contains `want` (and not `absent`, when given).
struct Case {
  const char* name;
  std::string_view html;
  std::string want;
  std::string absent;
  ConversionOptions options = Options();
};

TEST(Monospace, Documents) {
  const Case kCases[] = {
      {"inline code at 13/16 of the body size", "<p>a <code>x</code> b</p>",
       R"(a {\f104\fs16 x} b)", ""},
      {"nested monospace keeps its size", "<p><code>a<kbd>b</kbd>c</code></p>",
       R"({\f104\fs16 a{\f104 b}c})", ""},
      {"in a heading: 13/16 of the heading's size", "<h2>T <tt>x</tt></h2>",
       R"(T {\f104\fs24 x}\par})", ""},
      {"an end tag without its start closes nothing", "<p>a</code>b</p>", "ab", "}b"},
      {"pre with attributes keeps lines, blanks and tabs",
       "<pre class=\"x\">\na\n  b\tc\n</pre>d",
       Join({R"({\f104\fs16 a\line)" "\n" R"(  b\tab)" "\n" R"(c})", kParagraphStart, "d"}),
       ""},
      {"empty lines of a block stay; outside one line feeds fold",
       "<pre>a\n\n\nb</pre>\n\n\n<p>c\n\n\nd</p>",
       Join({R"(a\line)" "\n" R"(\line)" "\n" R"(\line)" "\n" R"(b})", kParagraphStart,
             R"(\qj c d)"}),
       ""},
      {"a block starts its own paragraph after text", "<p>t<pre>x</pre></p>",
       Join({"t", kParagraphStart, R"({\f104\fs16 x})"}), ""},
      {"the end of a block closes what it holds", "<pre><code>x</pre>y",
       Join({R"({\f104\fs16 {\f104 x}})", kParagraphStart, "y"}), ""},
      {"a paragraph mark inside monospace writes its size again",
       "<p><code>a</p>b</code>", Join({kParagraphStart, R"(\f104 \fs16 b)"}), ""},
      {"xmp and listing are blocks too", "<xmp>a\nb</xmp><listing>c</listing>",
       Join({R"({\f104\fs16 a\line)" "\n" R"(b})", kParagraphStart, R"({\f104\fs16 c})"}), ""},
      {"font face off: the size only", "<p><code>x</code></p>", R"({\fs16 x})", R"(\f104)",
       Options(false, true)},
      {"font size off: the font only", "<p><code>x</code></p>", R"({\f104 x})", R"(\fs16)",
       Options(true, false)},
      {"both off: no group", "<p>a<code>x</code>b</p>", "axb", "{", Options(false, false)},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.name);
    const std::string out = testing::Convert(test.html, test.options);
    const std::size_t body = out.find("\\lang1033\n");
    ASSERT_NE(body, std::string::npos) << out;
    const std::string text = out.substr(body);
    EXPECT_NE(text.find(test.want), std::string::npos) << text;
    if (!test.absent.empty()) {
      EXPECT_EQ(text.find(test.absent), std::string::npos) << text;
    }
  }
}

TEST(Monospace, FontTableEntry) {
  const std::string kEntry = R"({\f104\fmodern\fcharset0\fprq1 Courier New;}})";
  EXPECT_NE(testing::Convert("<p><tt>x</tt></p>", Options()).find(kEntry), std::string::npos);
  // Pages without monospace keep their font table as it was.
  EXPECT_EQ(testing::Convert("<p>x</p>", Options()).find(R"(\f104)"), std::string::npos);
  EXPECT_EQ(testing::Convert("<p><tt>x</tt></p>", Options(false)).find(R"(\f104)"),
            std::string::npos);
  // The entry reads in the document's code page, as the page's own fonts do.
  const std::string cyrillic = testing::Convert(
      "<html><head><meta charset=windows-1251></head><body><pre>\xEF\xF0\xE8</pre></body></html>",
      Options());
  EXPECT_NE(cyrillic.find(R"({\f104\fmodern\fcharset204\fprq1 Courier New;})"),
            std::string::npos)
      << cyrillic.substr(0, 600);
}

}  // namespace
}  // namespace velmorane
