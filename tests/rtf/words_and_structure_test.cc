// Whole pages: words stay apart and the structure a reader relies on stays (definition
// lists, blanks around styled text and links, heading styles, link targets).
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "support/test_support.h"
#include "rtf/handler_fixture.h"

namespace velmorane {
namespace {

using testing::kParagraphStart;

struct DocumentCase {
  std::string_view name;
  std::string_view html;
  std::string want;     // must appear in the output
  std::string absent;   // must not appear (empty: no check)
  bool keep_links = false;
};

std::string Cat(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view p : parts) out += p;
  return out;
}

TEST(WordsAndStructure, Documents) {
  const DocumentCase kCases[] = {
      {"terms and definitions are paragraphs",
       "<dl><dt>Term one</dt><dt>Term two</dt><dd>Definition</dd></dl>",
       Cat({"Term one", kParagraphStart, "Term two", kParagraphStart, R"(\li450 Definition)"}),
       ""},
      {"a definition inside a quotation is further in",
       "<p>x</p><blockquote><dl><dt>T</dt><dd>D</dd></dl></blockquote>", R"(\li900 D)", ""},
      {"a line feed after a styled span is a blank",
       "<html><head><style>span{font-size:100%} .o{font-weight:bold}</style></head><p>Set "
       "<span class=o>use_bsmtp</span>\noption</p>",
       R"({\b use_bsmtp} option)", R"(\fs24)"},
      {"a line feed after text ending in a blank adds none",
       "<p><b>c:\\dir </b>\nnext</p>", R"({\b c:\\dir }next)", ""},
      {"a relative size scales the size in effect",
       "<html><head><style>span{font-size:150%}</style></head><p><span class=b>big</span></p>",
       R"(\fs30 big)", ""},
      {"a blank at the start of a link is kept", R"(<p>the<a href="x"> pages</a></p>)",
       R"({\ul\cf2  pages})", "", true},
      {"references in a link target are decoded", R"(<p><a href="a.cgi?x=1&amp;y=&#50;">l</a></p>)",
       R"(HYPERLINK "a.cgi?x=1&y=2" )", "", true},
      {"a quote in a link target adds no switch", R"(<p><a href='x" \l "y'>l</a></p>)",
       R"(HYPERLINK "x%22 \\l %22y" )", R"(HYPERLINK "x" )", true},
      {"a bookmark before a heading follows its style",
       R"(<p>a<p><a name="s"></a><h2>Title</h2>)",
       R"({\b\fs20 \s2\outlinelevel1 {\*\bkmkstart s}{\*\bkmkend s}\fs30 Title\par})", "", true},
      {"tags broken after their name",
       "<HTML\n><HEAD\n><TITLE\n>Title</TITLE\n></HEAD\n><BODY\n><H1\nCLASS=\"t\"\n>Head</H1\n>"
       "<P\n>one</P\n><P\n>two</P\n></BODY\n></HTML\n>",
       Cat({R"(\s1\outlinelevel0 \fs40 Head\par})", kParagraphStart, R"(\qj one)", kParagraphStart, R"(\qj two)"}),
       "Title"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ConversionOptions options = testing::DefaultOptions();
    options.keep_hyperlinks = c.keep_links ? 1 : 0;
    const std::string out = testing::Convert(std::string(c.html), options);
    EXPECT_NE(out.find(c.want), std::string::npos) << out;
    if (!c.absent.empty()) {
      EXPECT_EQ(out.find(c.absent), std::string::npos) << out;
    }
  }
}

}  // namespace
}  // namespace velmorane
