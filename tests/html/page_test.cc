// The stages before the tag pass work on the page record alone: decoding and cleaning
// need nothing of the tag pass's conversion record.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "html/charset.h"
#include "html/page.h"
#include "html/preprocess.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

// Keeps the messages a page gives.
class RecordingSink : public MessageSink {
 public:
  void Message(MessageKind kind, std::string_view text) override {
    heard.emplace_back(kind, std::string(text));
  }
  std::vector<std::pair<MessageKind, std::string>> heard;
};

// A page of its own, with no trace log.
struct TestPage final : HtmlPage {
  explicit TestPage(const ConvertRequest& request)
      : HtmlPage(request, testing::DefaultOptions(), testing::DefaultSettings()) {}
  void Trace(std::string_view, std::string_view = {}, std::string_view = {}) const override {}
};

TEST(PageRecord, DecodesAndCleansWithoutTheTagPass) {
  const std::string folder = testing::MakeTempFolder();
  testing::WriteBytes(folder + "/linked.css", "h1{color:blue}");
  const struct {
    std::string_view name, raw, input, style_text, body_colour;
  } kCases[] = {
      // A body that starts in a head left open: its tag goes, its text colour is kept.
      {"style block and body text colour",
       "<html><head><style>p{color:red}</style><body text=\"#00FF00\">hi</body>",
       "<html>hi</body>", "p{color:red}", "00ff00"},
      {"a linked sheet from the page's folder",
       "<head><link rel=stylesheet href=\"linked.css\"></head><p>x", "<p>x",
       "h1{color:blue}", ""},
      // Characters of the document's code page become its bytes.
      {"UTF-8 after a byte-order mark", "\xEF\xBB\xBF<p>caf\xC3\xA9</p>", "<p>caf\xE9</p>", "",
       ""},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.name);
    TestPage page{ConvertRequest{}};
    page.input_folder = folder + "/";
    page.raw = std::string(test.raw);
    page.input_size = page.raw.size();
    ASSERT_TRUE(DecodeInput(page));
    PreprocessHtml(page);
    EXPECT_EQ(page.input, test.input);
    EXPECT_NE(page.style_text.find(test.style_text), std::string::npos) << page.style_text;
    EXPECT_EQ(page.style_present, !test.style_text.empty());
    EXPECT_EQ(page.body_text_colour, test.body_colour);
  }
}

TEST(PageRecord, NotesReachTheMessageSinkShownSafely) {
  RecordingSink sink;
  ConvertRequest request;
  request.messages = &sink;
  TestPage page(request);
  page.Note("GIF a.gif: bad\x1b[2Jblock\n");
  ASSERT_EQ(sink.heard.size(), 1u);
  EXPECT_EQ(sink.heard[0].first, MessageKind::kNote);
  EXPECT_EQ(sink.heard[0].second, "GIF a.gif: bad?[2Jblock?");
  // Without a sink a note goes nowhere (and does not fail).
  TestPage quiet{ConvertRequest{}};
  quiet.Note("x");
}

}  // namespace
}  // namespace velmorane
