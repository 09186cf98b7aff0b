// Plain-text output: markup removal, whitespace, folding, links, tables and references.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "base/options.h"
#include "engine/engine.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

std::string ToText(std::string_view html, const ConversionOptions& options,
                   bool convert_images = false) {
  return testing::Convert(html, options, kModePlainText, convert_images);
}

ConversionOptions Folded(std::string_view width) {
  ConversionOptions o = testing::DefaultOptions();
  o.line_folding = 1;
  SetField(o.max_line_width, width);
  return o;
}

struct Case {
  std::string_view name, html, want;
};

constexpr Case kMarkupCases[] = {
    {"text before the html tag is dropped", "junk<b>x</b><html lang=en><body>Hello</body></html>",
     "Hello"},
    {"a second html tag is only a tag", "<html>a<html>b</html>", "a b"},
    {"block tags keep words apart without breaking lines",
     "<html>a</div><div class=x>b</pre>c<b>d</b><p id=1>e</p></html>", "a b cd e\n"},
    {"tags written with line feeds before their end", "<html\n><p\n>one</p\n><h1\n>two</h1\n>",
     "\none\ntwo\n"},
    {"a head tag written with a line feed", "<html><head\n><title>T</title></head\n>x", "x"},
    {"a head tag with attributes is not the head", "<html><head id=h><title>T</title></head>x",
     "T x"},
    {"byte-order mark", "\xEF\xBB\xBFHi", "Hi"},
    {"blanks, tabs and line feeds collapse", "<html>a  \t\n  b\n\nc</html>", "a b c"},
    {"no blank follows a line feed", "<html><p>one</p>\n   two</html>", "\none\ntwo"},
    {"heading end and br and li break lines",
     "<html><h1>T</h1>x<br>y<br/>z<ul><li>p</li><li>q</li></ul></html>", "T\nx\ny\nz\np\nq"},
    {"head, script, style and comments are removed",
     "<head><title>T</title><style>p{}</style></head><script>s()</script>"
     "a<!-- x <!-- y --> z -->b<STYLE>q</STYLE>c",
     "abc"},
    {"server blocks are removed", "<html>a<% x %>b</html>", "ab"},
    {"an option without end tag ends at the next option or the select end",
     "<html><select><option>a<option value=2>b</select> rest</html>", "rest"},
    {"a head without end ends at the first cell", "<head><title>T</title><td>cell", "cell"},
};

TEST(PlainText, Markup) {
  const ConversionOptions o = testing::DefaultOptions();
  for (const auto& c : kMarkupCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ToText(c.html, o), c.want);
  }
}

constexpr Case kEntityCases[] = {
    {"a number the code page holds becomes its byte", "&#8364;", "\x80"},
    {"hexadecimal number", "&#x41;b", "Ab"},
    {"unknown name vanishes with its semicolon", "a&foo;b", "ab"},
    {"e acute", "caf&eacute;", "caf\xE9"},
    {"first and last rows of the table", "&quot;&yuml;&fraq12;&times;", "\"\xFF\xBD\xD7"},
    {"names are case-sensitive", "&Eacute;&EACUTE;", "\xC9"},
    {"Windows-1252 names keep their byte", "1&euro; 2008&ndash;2019&hellip;&frac12;",
     "1\x80 2008\x96" "2019\x85\xBD"},
    {"names above 8 bits vanish", "a&alpha;b", "ab"},
    {"single and double quotes", "it&rsquo;s &ldquo;ok&rdquo; &lsquo;x&rsquo; y",
     "it's \"ok\" 'x' y"},
    {"quote name before a blank keeps the blank", "a&rsquo b", "a' b"},
    {"markup references", "&lt;b&gt; &amp; &quot;", "<b> & \""},
    {"a blank reference does not start the text", "&nbsp;x&nbsp;&nbsp;y", "x  y"},
    {"control values give nothing", "a&#10;b&#9;c", "abc"},
    {"characters the code page lacks make the text UTF-8", "&#321;&#1090;&#x2026;",
     "\xEF\xBB\xBF\xC5\x81\xD1\x82\xE2\x80\xA6"},
    {"then every character is UTF-8, whatever its low byte",
     "don&#8217;t&#8212;&#256; x &#266; y&eacute;",
     "\xEF\xBB\xBF" "don\xE2\x80\x99t\xE2\x80\x94\xC4\x80 x \xC4\x8A y\xC3\xA9"},
    {"a number without end stays text", "&#12345678901;", "&#12345678901;"},
    {"ten digits with an end are a number", "&#0000000065;&#x0000000041;", "AA"},
    {"a bare ampersand stays", "AT & T", "AT & T"},
    {"an unknown word after an ampersand stays", "Q&A session", "Q&A session"},
    {"a known name closed by a blank", "&copy 2024", "\xA9" "2024"},
};

TEST(PlainText, CharacterReferences) {
  const ConversionOptions o = testing::DefaultOptions();
  for (const auto& c : kEntityCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ToText(std::string("<html>") + std::string(c.html), o), c.want);
  }
}

// Text that fits the output's 8-bit code page stays in it; other text is never cut to
// the low byte of its characters.
TEST(PlainText, CharactersOutsideTheCodePage) {
  const ConversionOptions o = testing::DefaultOptions();
  const struct {
    std::string_view name, html, want;
  } kCases[] = {
      {"UTF-8 Cyrillic under Windows-1252",
       "<html><head><meta charset=utf-8></head><p>\xD0\x9F\xD1\x80\xD0\xB8 caf\xC3\xA9</p>",
       "\xEF\xBB\xBF\n\xD0\x9F\xD1\x80\xD0\xB8 caf\xC3\xA9\n"},
      {"UTF-8 Cyrillic under a declared Windows-1251 stays 8-bit",
       "<html><head><meta charset=windows-1251></head><p>&#1055;&#1088;\xE8</p>",
       "\n\xCF\xF0\xE8\n"},
      {"a Latin reference under Windows-1251 is looked up",
       "<html><head><meta charset=windows-1251></head><p>&copy;&eacute;</p>",
       "\xEF\xBB\xBF\n\xC2\xA9\xC3\xA9\n"},
      // A UTF-16 page's mark reads as U+FEFF; the file has its own mark and needs no second.
      {"a UTF-16 page gets one byte-order mark",
       std::string_view("\xFF\xFE<\0p\0>\0h\0\xE9\0\x16\x04<\0/\0p\0>\0", 22),
       "\xEF\xBB\xBF\nh\xC3\xA9\xD0\x96\n"},
      {"a UTF-16 page of ASCII text too", std::string_view("\xFF\xFE<\0p\0>\0h\0i\0", 12),
       "\xEF\xBB\xBF\nhi"},
      {"a zero-width no-break space inside the text is kept", "<p>a&#65279;b</p>",
       "\xEF\xBB\xBF\na\xEF\xBB\xBF" "b\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ToText(c.html, o), c.want);
  }
}

TEST(PlainText, FoldsAtTheFirstBlankPastEachWidth) {
  const std::string sentence =
      "<html><p>aaaaa bbbbb ccccc ddddd eeeee fffff ggggg hhhhh iiiii jjjjj kkkkk lllll "
      "mmmmm nnnnn ooooo ppppp qqqqq</p></html>";
  // Breaks follow the blank after output lengths 20, 40, 60, 80 and 100 (the line feeds
  // count towards the length).
  EXPECT_EQ(ToText(sentence, Folded("20")),
            "aaaaa bbbbb ccccc ddddd \neeeee fffff ggggg \nhhhhh iiiii jjjjj \n"
            "kkkkk lllll mmmmm \nnnnnn ooooo ppppp qqqqq");
  // Without a width the lines are 80 long.
  const std::string folded = ToText(sentence, Folded("0"));
  EXPECT_EQ(folded.find('\n'), 84u);
}

constexpr Case kFoldedCases[] = {
    {"paragraphs and breaks give blanks, not line feeds",
     "<html><p>one</p><p>two<br>three</p><h2>four</h2></html>", "one two three four"},
    {"source line feeds and tabs separate words", "<html>one\ntwo\tthree</html>",
     "one two three"},
    {"leading whitespace writes nothing", "<html>\n  one</html>", "one"},
};

TEST(PlainText, FoldedTextKeepsWordsApart) {
  for (const auto& c : kFoldedCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ToText(c.html, Folded("80")), c.want);
  }
}

TEST(PlainText, Links) {
  ConversionOptions o = testing::DefaultOptions();
  o.keep_hyperlinks = 1;
  constexpr Case kCases[] = {
      {"address follows the text", "<a href=\"http://example.com/\">Example</a> page",
       "Example[\"http://example.com/\"] page"},
      {"script address is not shown", "<a class=x href=\"JavaScript:go()\">Go</a>!", "Go!"},
      {"single-quoted address stops at its quote",
       "<a href='a.html' title=\"t\">A</a> \"b\"", "A['a.html'] \"b\""},
      {"unquoted address stops at the tag end", "<a href=a.html>A</a> \"b\"",
       "A[a.html] \"b\""},
      {"href in text is text", "see href=x <a name=n>href=y</a>", "see href=x href=y"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ToText(std::string("<html>") + std::string(c.html), o), c.want);
  }
  // A link around a picture shows no address when pictures are converted.
  const std::string_view picture_link = "<html><a href=\"p.html\"><img src=\"x.png\">P</a></html>";
  EXPECT_EQ(ToText(picture_link, o, /*convert_images=*/true), "P");
  EXPECT_EQ(ToText(picture_link, o, /*convert_images=*/false), "P[\"p.html\"]");
  o.keep_hyperlinks = 0;
  EXPECT_EQ(ToText("<html><a href=\"http://example.com/\">Example</a></html>", o), "Example");
}

constexpr Case kTableCases[] = {
    {"two rows of three cells",
     "<table border=1><tr><td>a</td><td>b</td><td>c</td></tr>\n"
     "<tr\n><th>d</th><td>e</td><td>f</td\n></tr\n></table\n>",
     "a\t\tb\t\tc\t\t\nd\t\te\t\tf\t\t\n"},
    {"a last cell without end tag gets its tabs at the row end",
     "<table><tr><td>a</td><td>b</td><td>c</tr></table>", "a\t\tb\t\tc\t\t\n"},
    {"a row without end tag is finished by the next row",
     "<table><tr><td>a</td><td>b<tr><td>c</td><td>d</td></tr></table>",
     "a\t\tb\t\t\nc\t\td\t\t\n"},
    {"text after the table starts on its own line",
     "<p>x</p><table><tr><td>a</td></tr></table> y", "\nx\na\t\t\ny"},
};

TEST(PlainText, Tables) {
  const ConversionOptions o = testing::DefaultOptions();
  for (const auto& c : kTableCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ToText(std::string("<html>") + std::string(c.html), o), c.want);
  }
}

// Records every progress position reported.
class PositionLog : public ProgressSink {
 public:
  void SetPosition(int position) override { positions.push_back(position); }
  std::vector<int> positions;
};

TEST(PlainText, ProgressPassesCheckpointsInsideSkippedTags) {
  // Most checkpoints fall inside one long tag that the walk skips in one step.
  const std::string html = "<html><table " + std::string(4000, 'x') + ">text</table></html>";
  PositionLog log;
  ConvertRequest request;
  request.output_mode = kModePlainText;
  request.progress = &log;
  Engine engine;
  std::string output;
  const std::string folder = testing::MakeTempFolder();
  ASSERT_EQ(engine.ConvertHtmlBytes(html, folder, folder, request, testing::DefaultOptions(),
                                    testing::DefaultSettings(), output),
            ConvertResult::kDone);
  EXPECT_EQ(output, "text\n");
  // Start at 0, the pre-pass sets 1, the walk reports steps 1 to 50, the end sets 50.
  std::vector<int> want = {0, 1};
  for (int step = 1; step <= 50; ++step) want.push_back(step);
  want.push_back(50);
  EXPECT_EQ(log.positions, want);
}

}  // namespace
}  // namespace velmorane
