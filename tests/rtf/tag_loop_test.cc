// The tag loop's text path: entities, whitespace, RTF specials, high bytes, skipped
// tags, the html tag, comments and progress.
#include "rtf/tag_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "html/charset.h"
#include "loop_harness.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

using testing::LoopRun;
using testing::LoopSetup;
using testing::RunLoop;

constexpr struct {
  std::string_view name, html, want;
} kTextCases[] = {
    {"amp entity", "a &amp; b", "a & b"},
    {"copyright is a Windows-1252 byte", "&copy;", R"(\'a9)"},
    {"euro is byte 128", "&euro;", R"(\'80)"},
    {"greek letter is unicode", "&alpha;", R"(\u945F)"},
    {"capital greek", "&Alpha;", R"(\u913F)"},
    {"decimal reference above 255", "&#8364;", R"(\u8364F)"},
    {"hexadecimal reference", "&#x41;", R"(\'41)"},
    {"control character reference gives nothing", "x&#10;y", "xy"},
    {"decimal 160 is a blank", "x&#160;y", "x y"},
    {"unknown name stays text", "&nosuchname;", "&nosuchname;"},
    {"entity name is case-sensitive", "&COPY;", "&COPY;"},
    {"old and standard names", "&plusm;&plusmn;&fraq12;&frac12;", R"(\'b1\'b1\'bd\'bd)"},
    {"ampersand and blank", "a & b", "a & b"},
    {"lt and gt", "&lt;b&gt;", "<b>"},
    {"quot before a tag", "&quot<i>x", R"("{\i x)"},
    {"name ended by a blank eats the blank", "&copy 2020", R"(\'a92020)"},
    {"over-long name", "&abcdefghijklm;", "&abcdefghijklm;"},
    {"over-long number", "&#12345678901234;", "&#12345678901234;"},
    {"supplementary code point", "&#128512;", R"(\u55357F\u56832F)"},
    {"nbsp next to a blank is kept", "a &nbsp;b", "a  b"},
    {"runs of whitespace collapse", "a  \n\n \t b", "a b"},
    {"blanks at paragraph start vanish", "  \n a", "a"},
    {"braces and backslash are escaped", R"(x{y}\z)", R"(x\{y\}\\z)"},
    {"128-255 escaped", "\x80\x9f\xa0\xff", R"(\'80\'9f\'a0\'ff)"},
    {"control bytes are dropped",
     "a\r\x01"
     "b",
     "ab"},
    {"a < b loses the text up to >", "a < b > c", "a c"},
    {"unclosed < loses the rest", "a < b", "a "},
    {"stray > disappears", "a > b", "a b"},
    {"span without attributes is skipped", "<span>x</span>", "x"},
    {"address with attributes is skipped, ending the word", "a<address class=x>b", "a b"},
    {"start tag followed by a tab is unrecognised", "<b\t>x", "x"},
    {"nested comments are skipped", "a<!-- x <!-- y --> z -->b", "ab"},
    {"byte order mark", "\xEF\xBB\xBFhi", "hi"},
    {"text before html is dropped", "junk <b>x</b><html>\nbody", "body"},
    {"second html tag is unrecognised", "<html><html lang=en>x", "x"},
    {"groups opened before html are forgotten with their text", "<b>x<html>y</b>z", "yz"},
    {"blank after a control word is written", "a<b> b</b>", R"(a{\b  b})"},
    // Block boundaries a browser shows separate words even without a blank.
    {"block start after text", "a<section>b", "a b"},
    {"block end after text", "a</section>b", "a b"},
    {"block tag with attributes", "a<nav class=x>b", "a b"},
    {"block tag after a formatting group", "a<b>x</b><figure>y", R"(a{\b x} y)"},
    {"formatting between the block and the text", "a<aside><i>b", R"(a{\i  b)"},
    {"source whitespace is the only blank", "a</section>\n b", "a b"},
    {"blank before the block adds none", "a <section>b", "a b"},
    {"inline tags stay joined", "a<code>b</code>c<em2>d", R"(a{\fs16 b}cd)"},
    {"a name merely starting like a block", "a<pretty>b<divx>c", "abc"},
    // A pre is a paragraph of its own.
    {"preformatted text after text", "a<pre>b",
     "a\n" R"(\par\pard\sb100\sa100\sbauto1\saauto1\fs20\lang1033 {\fs16 b)"},
};

TEST(TextPath, WritesExpectedRtf) {
  for (const auto& c : kTextCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RunLoop(c.html), c.want);
  }
}

TEST(TextPath, NoBlankAfterAParagraphMarkAtABlockBoundary) {
  // The heading's paragraph mark and group end, and the font after them, separate already.
  EXPECT_TRUE(RunLoop("<h2>t</h2><section>x").ends_with(R"(\par}x)"));
  EXPECT_FALSE(RunLoop("<h2>t</h2><font face=Arial><section>x").ends_with(" x"));
}

TEST(TextPath, LinkOpenedBeforeHtmlIsForgottenWithItsText) {
  LoopSetup setup;
  setup.options.keep_hyperlinks = 1;
  // The field opening is dropped with the text, so its end tag must not close it.
  EXPECT_EQ(RunLoop(R"(<a href="u">x<html>y</a>z)", setup), "yz");
}

TEST(TextPath, DoubleByteLanguageEscapesEveryByte) {
  if (!IsDoubleByteLanguage("Japanese")) GTEST_SKIP() << "language table not built";
  LoopSetup setup;
  setup.language = "Japanese";
  EXPECT_EQ(RunLoop("Ab{\\", setup), R"(\'41\'62\'7b\'5c)");
}

TEST(TextPath, BytesOfAnotherCodePageCarryTheirUnicodeCharacter) {
  constexpr struct {
    int code_page;
    std::string_view html, want;
  } kCases[] = {
      {1251, "a\xC0\xFF b", R"(a\u1040\'c0\u1103\'ff b)"},       // Cyrillic letters
      {1251, "\x98", R"(\'98)"},                                   // undefined: the byte only
      {1250, "\x8A", R"(\u352\'8a)"},                              // Central European
      {1253, "<pre>\xE1</pre>", R"(\u945\'e1)"},                  // Greek, in pre too
      {1252, "\xE9", R"(\'e9)"},                                   // Windows-1252 as before
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.code_page);
    LoopRun run;
    run.conversion.charset.ansi_code_page = test.code_page;
    EXPECT_NE(run.Run(test.html).find(test.want), std::string::npos) << run.Run(test.html);
  }
}

TEST(TextPath, DisabledCharacterDataComesBackAfterATag) {
  LoopRun run;
  run.conversion.loop.char_data_allowed = false;
  // Blanks are dropped until the first byte that is neither a blank nor a tag; a blank
  // right behind a ">" other than a line feed also brings the text back.
  EXPECT_EQ(run.Run("\n \tz>{w"), R"(z\{w)");
  LoopRun after_tag;
  after_tag.conversion.loop.char_data_allowed = false;
  EXPECT_EQ(after_tag.Run("\n<b>\n\tz"), R"({\b z)");
}

TEST(TextPath, PendingParagraphStartsBeforeAnEntity) {
  LoopRun run;
  run.conversion.loop.after_paragraph_close = true;
  run.conversion.loop.at_paragraph_start = false;
  const std::string out = run.Run("&copy; x");
  EXPECT_EQ(out, run.conversion.templates.paragraph_start + R"(\'a9 x)");
}

TEST(TextPath, ClosedDivBreaksOnlyBeforeVisibleText) {
  LoopRun run;
  run.conversion.loop.after_div_close = true;
  run.conversion.loop.at_paragraph_start = false;
  EXPECT_EQ(run.Run(" \nx"),
            " \n"
            R"(\par\pard x)");
}

TEST(TextPath, CenterStateMovesOnWithText) {
  LoopRun run;
  run.conversion.loop.center_state = 1;
  run.Run("  x");
  EXPECT_EQ(run.conversion.loop.center_state, 2);
}

TEST(EntityDecoding, ReturnsTheLastConsumedOffset) {
  constexpr struct {
    std::string_view text;
    std::size_t want;
  } kCases[] = {
      {"&nbsp;", 5}, {"&nbspx", 4},  {"&amp;", 4},           {"&lt;", 3},  {"&quot;", 5},
      {"&quot ", 4}, {"& ", 0},      {"&#x41;", 5},          {"&#65;", 4}, {"&copy;", 5},
      {"&copy ", 5}, {"&bogus;", 0}, {"&#x12345678901;", 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    std::string out;
    EXPECT_EQ(DecodeEntity(c.text, 0, out), c.want);
  }
}

TEST(EntityDecoding, HexEscapeIsLowerCase) {
  EXPECT_EQ(HexEscape(0xAB), R"(\'ab)");
  EXPECT_EQ(HexEscape(0x05), R"(\'05)");
}

class CountingSink : public ProgressSink {
 public:
  void SetPosition(int position) override { last = position; }
  int last = 0;
};

// Tag names match in any case: the dispatch picks its tests by the byte after "<" or
// "</" in lower case. Each case writes something of its own (against the text alone).
constexpr struct {
  std::string_view lower, mixed, text;
} kCaseCases[] = {
    {"a<p>b</p>c", "a<P>b</P>c", "abc"},
    {"a<div>b</div>c", "a<DiV>b</dIV>c", "abc"},
    {"a<font color=red>b</font>c", "a<FONT color=red>b</Font>c", "abc"},
    {"a<span style=\"color:red\">b</span>c", "a<SPAN style=\"color:red\">b</SPAN>c", "abc"},
    {"a<br>b", "a<BR>b", "ab"},
    {"<ul><li>b</li></ul>", "<UL><Li>b</lI></UL>", "b"},
    {"<ol><li>b</ol>", "<OL><LI>b</oL>", "b"},
    {"<h2>b</h2>c", "<H2>b</H2>c", "bc"},
    {"a<b>b</b><i>c</i><u>d</u><em>e</em><s>f</s><sub>g</sub>",
     "a<B>b</B><I>c</I><U>d</U><EM>e</eM><S>f</S><SUB>g</Sub>", "abcdefg"},
    {"a<dl><dt>b<dd>c</dl>d", "a<DL><DT>b<DD>c</DL>d", "abcd"},
    {"<blockquote>b</blockquote>c", "<BLOCKQUOTE>b</BlockQuote>c", "bc"},
    {"a<form><input type=text value=x></form>", "a<FORM><INPUT type=text value=x></FORM>", "a"},
};

TEST(TagDispatch, TagNamesMatchInAnyCase) {
  for (const auto& c : kCaseCases) {
    SCOPED_TRACE(c.lower);
    const std::string lower = RunLoop(c.lower);
    EXPECT_EQ(RunLoop(c.mixed), lower);
    EXPECT_NE(lower, RunLoop(c.text));
  }
}

// A tag is taken only with the bytes its test allows after it, and a page may end in the
// middle of one.
constexpr struct {
  std::string_view name, html, same_as;
} kNotTakenCases[] = {
    {"a name that starts like p", "a<pre2>b", "a<x>b"},
    {"a name that starts like b", "a<bx>b</bx>", "a<x>b</x>"},
    {"a heading level that is not a digit", "<hx>b</hx>", "<x>b</x>"},
    // Block elements the dispatch leaves still end the word before them.
    {"a line break followed by a tab", "a<br\t>b", "a<section>b"},
    {"a list item end outside a styled item", "a</li>b", "a</section>b"},
    {"a definition end at a paragraph start", "</dd>b", "<x>b"},
    {"the page ends after a heading's name", "a<h1", "a<x"},
    {"the page ends after an end tag's name", "a</h", "a<x"},
    {"the page ends after the letter of a heading end", "a</h1", "a<x"},
    {"the page ends after a paragraph's name", "a<p", "a<x"},
    {"the page ends on a lone <", "a<", "a<x"},
    {"the page ends on </", "a</", "a<x"},
};

TEST(TagDispatch, LookalikesAndCutTagsAreNotTaken) {
  for (const auto& c : kNotTakenCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RunLoop(c.html), RunLoop(c.same_as));
  }
}

TEST(TagDispatch, LinksAndCentringNeedTheirOptions) {
  LoopSetup kept;
  kept.options.keep_hyperlinks = 1;
  kept.options.keep_alignment = 1;
  LoopSetup dropped;
  dropped.options.keep_hyperlinks = 0;
  dropped.options.keep_alignment = 0;
  for (const std::string_view html : {R"(a<a href="u">b</a>c)", "a<center>b</center>c"}) {
    SCOPED_TRACE(html);
    EXPECT_NE(RunLoop(html, kept), RunLoop(html, dropped));
  }
  EXPECT_EQ(RunLoop(R"(a<a href="u">b</a>c)", dropped), "abc");
}

TEST(TagLoopProgress, CheckpointsInsideATagAreStillReported) {
  // One long unrecognised tag covers most checkpoints.
  std::string html = "<x " + std::string(60000, 'a') + ">" + std::string(40000, 'b');
  LoopRun run;
  CountingSink sink;
  run.conversion.progress = &sink;
  run.conversion.schedule.Build(html.size());
  run.Run(html);
  EXPECT_EQ(sink.last, 50);
}

TEST(InMemoryEntry, TextReachesTheDocument) {
  const std::string out =
      testing::Convert("<html><body>a &amp; b {c}</body></html>", testing::DefaultOptions());
  EXPECT_NE(out.find(R"(a & b \{c\})"), std::string::npos) << out;
}

}  // namespace
}  // namespace velmorane

namespace velmorane {
namespace {

// Collapses whitespace runs to one blank.
std::string Squeeze(std::string_view text) {
  std::string out;
  for (char ch : text) {
    const bool blank = ch == ' ' || ch == '\n' || ch == '\r' || ch == '\t';
    if (blank && (out.empty() || out.back() == ' ')) continue;
    out += blank ? ' ' : ch;
  }
  return out;
}

// The text of an HTML export: tags removed, whitespace squeezed, "&amp;" decoded.
std::string VisibleText(std::string_view html) {
  std::string text;
  bool in_tag = false;
  for (char ch : html) {
    if (ch == '<') in_tag = true;
    if (!in_tag) text += ch;
    if (ch == '>') {
      in_tag = false;
      text += ' ';
    }
  }
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 5, "&amp;") == 0) {
      decoded += '&';
      i += 4;
    } else {
      decoded += text[i];
    }
  }
  return Squeeze(decoded);
}

TEST(ReadBack, LibreOfficeSeesTheWordsAndTheRuns) {
  constexpr std::string_view kPage =
      "<html><head><style>.loud{font-weight:bold} p{margin-top:6px}</style></head><body>\n"
      "<p>Alpha   beta\n gamma <b>bold run</b> delta <i>italic run</i> epsilon</p>\n"
      "<p class=x>Zeta <strong>strong words</strong> eta <em>emphasised words</em>\n"
      "theta <span class=loud>class bold</span> iota &amp; kappa &copy; lambda</p>\n"
      "<div>Mu <font face=Verdana color=red size=4>nu xi</font> omicron "
      "<span style=\"font-style:italic\">styled italic</span> pi</div>\n"
      "<p>Rho {braces} sigma <u>tau</u> <s>upsilon</s> H<sub>2</sub>O phi</p>\n"
      "</body></html>\n";
  constexpr std::string_view kWords[] = {
      "Alpha",   "beta",    "gamma",  "bold",   "run",   "delta",      "italic",   "run",
      "epsilon", "Zeta",    "strong", "words",  "eta",   "emphasised", "words",    "theta",
      "class",   "bold",    "iota",   "&",      "kappa", "lambda",     "Mu",       "nu",
      "xi",      "omicron", "styled", "italic", "pi",    "Rho",        "{braces}", "sigma",
      "tau",     "upsilon", "H",      "2",      "O",     "phi",
  };
  constexpr std::string_view kBold[] = {"bold run", "strong words", "class bold"};
  constexpr std::string_view kItalic[] = {"italic run", "emphasised words", "styled italic"};

  const std::string rtf = testing::Convert(kPage, testing::DefaultOptions());
  if (rtf.rfind(R"({\rtf1)", 0) != 0) GTEST_SKIP() << "the document prologue is not built";
  if (std::system("command -v soffice > /dev/null 2>&1") != 0) GTEST_SKIP() << "no LibreOffice";

  const std::string folder = testing::MakeTempFolder();
  {
    std::FILE* file = std::fopen((folder + "page.rtf").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(rtf.data(), 1, rtf.size(), file);
    std::fclose(file);
  }
  const std::string command = "cd '" + folder + "' && soffice -env:UserInstallation=file://" +
                              folder + "profile --headless --convert-to html page.rtf" +
                              " > /dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::string html;
  {
    std::FILE* file = std::fopen((folder + "page.html").c_str(), "rb");
    ASSERT_NE(file, nullptr) << "LibreOffice wrote no export";
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) html.append(buffer, n);
    std::fclose(file);
  }
  const std::string body = html.substr(std::min(html.find("<body"), html.size()));
  const std::string text = VisibleText(body);
  std::size_t at = 0;
  for (std::string_view word : kWords) {
    const std::size_t found = text.find(word, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << word << "\n" << text;
    at = found + word.size();
  }
  const std::string markup = Squeeze(body);
  for (std::string_view run : kBold) {
    EXPECT_NE(markup.find("<b>" + std::string(run) + "</b>"), std::string::npos) << run;
  }
  for (std::string_view run : kItalic) {
    EXPECT_NE(markup.find("<i>" + std::string(run) + "</i>"), std::string::npos) << run;
  }
}

}  // namespace
}  // namespace velmorane
