// Whole documents through the in-memory entry: small pages in, the exact body of the
// RTF out. The body is everything the tag pass wrote, up to the closing brace.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "support/test_support.h"
#include "rtf/handler_fixture.h"

namespace velmorane {
namespace {

using testing::Join;
using testing::kParagraphStart;

// The text between the prologue (whose last line ends "\lang1033") and the final "}".
std::string Body(const std::string& rtf) {
  constexpr std::string_view kPrologueEnd = "\\lang1033\n";
  const std::size_t start = rtf.find(kPrologueEnd);
  if (start == std::string::npos || rtf.empty() || rtf.back() != '}') return "<no body>" + rtf;
  const std::size_t from = start + kPrologueEnd.size();
  return rtf.substr(from, rtf.size() - 1 - from);
}

ConversionOptions Options(bool hyperlinks = false) {
  ConversionOptions o = testing::DefaultOptions();
  o.keep_hyperlinks = hyperlinks ? 1 : 0;
  return o;
}

struct Case {
  std::string_view name, html;
  std::string want;
};

void RunCases(const Case* begin, const Case* end, const ConversionOptions& options) {
  for (const Case* c = begin; c != end; ++c) {
    SCOPED_TRACE(c->name);
    EXPECT_EQ(Body(testing::Convert(c->html, options)), c->want) << c->html;
  }
}

// Text, entities and whitespace.
const Case kTextCases[] = {
    {"entities", "a &amp; b &copy; &euro; &alpha; &#8364; &#x41; x&#10;y &nosuchname;",
     R"(a & b \'a9 \'80 \u945F \u8364F \'41 xy &nosuchname;)"},
    {"nbsp beside a blank is written", "a &nbsp;b", "a  b"},
    // The "#" of an over-long hexadecimal reference stays text like the rest of it.
    {"over-long hexadecimal reference", "&#x12345678901;", "&#x12345678901;"},
    {"specials escaped, a < b loses its tag", R"(x  {y}  \z a < b > c)",
     R"(x \{y\} \\z a c)"},
    {"text before html is dropped", "junk<html><body>text</body></html>", "text"},
    {"a blank after a group opener is kept", "a<b> b</b> <i>c</i>", R"(a{\b  b} {\i c})"},
    {"a blank after margin-top is not doubled", R"(x <span style="margin-top:10px"> y</span>)",
     R"(x \sb150 y)"},
};

TEST(DocumentText, Golden) { RunCases(std::begin(kTextCases), std::end(kTextCases), Options()); }

// Character formatting and style rules.
const Case kFormattingCases[] = {
    {"nested groups, stray end tag, shared strike counter",
     "<b>a<i>b</i></b></b><s>x</strike>", R"({\b a{\i b}}{\strike x})"},
    {"font sizes", "<font size=1>a</font><font size=+1>b</font><font size=16px>c</font>",
     R"(\fs12 a\cf1 \f0 \fs20 \fs22 b\cf1 \f0 \fs20 \fs20 c\cf1 \f0 \fs20 )"},
    {"sub and sup", "x<sub>2</sub>y<sup>3</sup>", R"(x{\sub\dn5 2}y{\super\up5 3})"},
    {"span colours restore", R"(<span style="color:red">a<span style="color:green">b</span>c</span>d)",
     R"(\cf3 a\cf4 b\cf3 c\cf1 d)"},
    {"margin-top of a paragraph", R"(<p style="margin-top:1">a</p>)", R"(\qj \sb20 a)"},
    {"css font sizes", R"(<span style="font-size:12px">a</span><span style="font-size:300px">b</span>)",
     R"(\fs16 a\fs20 b)"},  // 12px against a browser's 16px body text is 0.75 of ours
    {"class rules: .note for any element, P.x only for p",
     "<style>.note{font-style:italic} P.x{font-weight:bold}</style>"
     "<span class=x>a</span><span class=note>b</span><p class=x>c</p>",
     Join({R"(a{\i b})", kParagraphStart, R"(\qj {\b c})"})},
};

TEST(DocumentFormatting, Golden) {
  RunCases(std::begin(kFormattingCases), std::end(kFormattingCases), Options());
}

// The RTF number of a colour: its place in the colour table.
int ColourNumber(const std::string& rtf, std::string_view entry) {
  const std::size_t table = rtf.find("{\\colortbl");
  const std::size_t at = rtf.find(entry, table);
  if (table == std::string::npos || at == std::string::npos) return -1;
  int number = 0;
  for (std::size_t i = table; i < at; ++i) number += rtf[i] == ';';
  return number;
}

TEST(DocumentFormatting, ClosingASpanReturnsToTheBodyColour) {
  const std::string rtf = testing::Convert(
      "<style>body{color:blue}</style><span style=\"color:red\">a</span>b", Options());
  const int red = ColourNumber(rtf, R"(\red255\green0\blue0;)");
  const int blue = ColourNumber(rtf, R"(\red0\green0\blue255;)");
  ASSERT_GE(red, 3);
  ASSERT_GE(blue, 3);
  EXPECT_EQ(Body(rtf), "\\cf" + std::to_string(red) + " a\\cf" + std::to_string(blue) + " b");
}

// Blocks and lists: consecutive blocks get one paragraph mark each.
const Case kBlockCases[] = {
    {"two paragraphs", "<p>a</p><p>b</p>", Join({R"(\qj a)", kParagraphStart, R"(\qj b)"})},
    {"a reference after </p> begins the next paragraph", "<p>a</p>&amp;b",
     Join({R"(\qj a)", kParagraphStart, "&b"})},
    {"a line feed between paragraphs adds no mark", "<p>a</p>\n<p>b</p>",
     Join({R"(\qj a)", kParagraphStart, R"(\qj b)"})},
    {"division then paragraph; the line feed is a blank", "<div>a</div>\n<p>b</p>",
     Join({R"(\qj a )", kParagraphStart, R"(\qj b)"})},
    {"empty division", "<div></div>x", "\n" R"(\par\pard x)"},
    {"heading", "<h2>Title</h2>", "\n" R"({\b\fs20 \s2\outlinelevel1 \fs30 Title\par})"},
    {"heading without a size", "<h7>T</h7>", "\n" R"({\b\fs20 T\par})"},
    {"trailing br before </p> is removed", "a<br>b<br></p>", R"(a\par\sa0\sb0 \qj b\qj )"},
    {"centre and back to the page alignment", "<center>c</center>d",
     Join({R"(\qc c)", kParagraphStart, R"(\qj d)"})},
    {"nested quotations", "a<blockquote>b<blockquote>c</blockquote>d</blockquote>e",
     Join({"a", kParagraphStart, R"(\li450 b)", kParagraphStart, R"(\li450 \li900 c)",
           kParagraphStart, R"(\li450 d)", kParagraphStart, "e"})},
    {"bulleted list",
     "<ul><li>a<li>b</ul>",
     Join({R"(\sb0\sa0 {\*\pn\pnlvlblt\pnf100\pnindent0{\pntxtb\'B7}}\fi-180\li360{\pntext\'B7\tab}\ls1\ilvl0 a)",
           "\n" R"(\sb0\sa0\par {\*\pn\pnlvlblt\pnf100\pnindent0{\pntxtb\'B7}}\fi-180\li360{\pntext\'B7\tab}\ls1\ilvl0 b)",
           kParagraphStart})},
    {"upper roman numbering",
     "<ol type=I><li>a<li>b</ol>",
     Join({R"(\sb0\sa0 {\*\pn\pnlvlbody\pnf0\pnindent0\pnstart1{\pntxta I.}}\fi-240\li400{\pntext}\ls3\ilvl0 a)",
           "\n" R"(\sb0\sa0\par {\*\pn\pnlvlbody\pnf0\pnindent0\pnstart1{\pntxta II.}}\fi-240\li400{\pntext}\ls3\ilvl0 b)",
           kParagraphStart})},
};

TEST(DocumentBlocks, Golden) {
  RunCases(std::begin(kBlockCases), std::end(kBlockCases), Options());
}

// Links and form fields.
const Case kLinkCases[] = {
    {"external link", R"(<a href="http://x.com/">Home</a>)",
     R"({\field{\*\fldinst { HYPERLINK "http://x.com/" }}{\fldrslt {\ul\cf2 Home}}})"},
    {"internal link", "<a href='#top'>T</a>",
     R"({\field{\*\fldinst { HYPERLINK \\l "top" }}{\fldrslt {\ul\cf2 T}}})"},
    {"bookmark only", R"(<a name="x">B</a>)", R"({\*\bkmkstart x}{\*\bkmkend x}B)"},
    {"a target cannot leave its field", R"(<a href="x}{\object">i</a>)",
     R"({\field{\*\fldinst { HYPERLINK "x\}\{\\object" }}{\fldrslt {\ul\cf2 i}}})"},
    {"text field", "<input type=text name=q value=abc>",
     R"({\*\bkmkstart q}{\field{\*\fldinst { FORMTEXT }{{\*\formfield{\fftype0\fftypetxt0{\*\ffname q}{\*\ffdeftext abc}}}}}{\fldrslt {\noproof abc}}}{\*\bkmkend q})"
     "\n"},
};

TEST(DocumentLinks, Golden) {
  RunCases(std::begin(kLinkCases), std::end(kLinkCases), Options(/*hyperlinks=*/true));
}

}  // namespace
}  // namespace velmorane
