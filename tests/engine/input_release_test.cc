// The tag pass gives the input it has passed back to the system: the document must not
// change for it, however early and often that happens.
#include <gtest/gtest.h>

#include <string>

#include "html/charset.h"
#include "html/preprocess.h"
#include "rtf/conversion.h"
#include "rtf/prologue.h"
#include "rtf/tag_loop.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

// A page of every kind of markup the tag pass meets, a few MB long.
std::string MixedPage() {
  std::string page = "<html><head><style>p { color: red } .c { font-weight: bold }</style>"
                     "</head><body>\n";
  for (int i = 0; page.size() < (std::size_t{3} << 20); ++i) {
    const std::string n = std::to_string(i);
    page += "<h2>Part " + n + "</h2><p class=c>Text &amp; more &eacute; &#8364; <b>bold <i>both"
            "</i></b> <a href=\"http://example.test/" + n + "\">link</a> <a name=m" + n +
            ">mark</a><br>next line</p>\n<ol type=a><li>one<ul><li>inner<li>second</ul>"
            "<li>two</ol>\n<table border=1><tr><td colspan=2>" + n + "</td></tr><tr><td>a</td>"
            "<td><table><tr><td>nested</td></tr></table></td></tr></table>\n"
            "<pre>  kept\n  lines</pre><div align=center><font size=4 color=navy>centred"
            "</font></div><form><input type=checkbox name=b" + n + " checked></form>\n";
  }
  return page + "</body></html>\n";
}

// The RTF pass over `html`, releasing the input every `step` bytes, `margin` behind.
std::string TagPass(const std::string& html, std::size_t step, std::size_t margin,
                    std::size_t& released) {
  CarryOver carry;
  ConvertRequest request;
  Conversion c(carry, request, testing::DefaultOptions(), testing::DefaultSettings());
  c.loop.alignment_string = "\\qj";
  c.raw = html;
  EXPECT_TRUE(DecodeInput(c));
  BuildParagraphTemplates(c.templates, 10, 1033, false);
  PreprocessHtml(c);
  AnalyzeFontsAndColors(c);
  WritePrologue(c);
  c.input_release_step = step;
  c.input_release_margin = margin;
  c.next_input_release = step;
  c.pos = 0;
  TagLoop(c);
  released = c.input_released;
  return c.output.text();
}

TEST(InputRelease, LeavesTheDocumentAsItIs) {
  const std::string page = MixedPage();
  std::size_t never = 0, often = 0, usual = 0;
  const std::string kept = TagPass(page, std::string::npos, 0, never);
  // A page at a time, one line behind: far more than the pass ever needs.
  const std::string early = TagPass(page, 4096, 64, often);
  const std::string normal =
      TagPass(page, Conversion::kInputReleaseStep, Conversion::kInputReleaseMargin, usual);
  EXPECT_EQ(never, 0u);
  EXPECT_GT(often, page.size() / 2);
  EXPECT_GT(usual, 0u);
  EXPECT_TRUE(early == kept) << "the document changed when the input was released early";
  EXPECT_TRUE(normal == kept);
}

}  // namespace
}  // namespace velmorane
