// What a conversion tells its caller about pictures that stay out of the document.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/engine.h"
#include "platform/files.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

const std::string kFixtures = std::string(VELMORANE_FIXTURES) + "/images/";
const std::string kSuite = std::string(VELMORANE_FIXTURES) + "/pngsuite/";

class Collected : public MessageSink {
 public:
  void Message(MessageKind kind, std::string_view text) override {
    (kind == MessageKind::kWarning ? warnings
     : kind == MessageKind::kNote  ? notes
                                   : stages)
        .emplace_back(text);
  }
  bool WantsStages() const override { return true; }
  std::vector<std::string> warnings;
  std::vector<std::string> notes;
  std::vector<std::string> stages;  // the trace lines, as -v shows them
};

Collected Convert(const std::string& html, bool convert_images, int output_mode = kModeRtfTables) {
  ConvertRequest request;
  request.convert_images = convert_images;
  request.output_mode = output_mode;
  Collected collected;
  request.messages = &collected;
  Engine engine;
  std::string out;
  (void)engine.ConvertHtmlBytes(html, kFixtures, testing::MakeTempFolder(), request,
                                testing::DefaultOptions(), testing::DefaultSettings(), out);
  return collected;
}

TEST(PictureWarnings, OneLinePerSkippedPicture) {
  const struct {
    std::string_view name, html;
    bool images;
    std::vector<std::string> want;
  } kCases[] = {
      {"pictures that convert say nothing", R"(<img src="pic.png"><img src="pic.gif">)", true, {}},
      {"a missing file", R"(<img src="gone.png">)", true,
       {"picture skipped, not found: " + kFixtures + "gone.png"}},
      {"a remote picture with downloads off", R"(<img src="http://example.invalid/a.png">)",
       true, {"picture skipped, remote and downloads are off: http://example.invalid/a.png"}},
      {"a format the converter does not know", R"(<img src="../pngsuite/PngSuite.README">)",
       true, {"picture skipped, format not supported: " + kSuite + "PngSuite.README"}},
      {"a damaged signature: no known format", R"(<img src="../pngsuite/xs1n0g01.png">)", true,
       {"picture skipped, format not supported: " + kSuite + "xs1n0g01.png"}},
      {"every skipped picture, in page order", R"(<img src="a.png"><p>x<img src="b.png">)",
       true,
       {"picture skipped, not found: " + kFixtures + "a.png",
        "picture skipped, not found: " + kFixtures + "b.png"}},
      {"pictures off: one summary", R"(<img src="pic.png"><IMG
src="pic.gif"><imgx>)", false, {"2 pictures left out: converting pictures is off"}},
      {"pictures off, one picture", R"(<p><img src="pic.png"></p>)", false,
       {"1 picture left out: converting pictures is off"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Convert(std::string(c.html), c.images).warnings, c.want);
  }
  // Plain text never holds pictures: nothing to warn about.
  EXPECT_TRUE(Convert(R"(<img src="pic.png">)", false, kModePlainText).warnings.empty());
}

TEST(PictureWarnings, PageBytesAreShownSafely) {
  const struct {
    std::string_view name;
    std::string html;
    std::string want;
  } kCases[] = {
      {"escape, bell and line ends in an address", "<img src=\"x\x1b[2J\a\r\ny.png\">",
       "picture skipped, not found: " + kFixtures + "x?[2J??y.png"},  // CR LF reads as one line end,
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Convert(c.html, true).warnings, std::vector<std::string>{c.want});
  }
}

TEST(PictureWarnings, SayWhyAPictureIsLeftOut) {
  const std::string folder = testing::MakeTempFolder();
  ASSERT_EQ(::mkfifo((folder + "pipe.png").c_str(), 0600), 0);
  const std::string huge_data = "data:image/png;base64," + std::string(std::size_t{65} << 20, 'A');
  const struct {
    std::string_view name;
    std::string html;
    std::string want;
  } kCases[] = {
      {"a data: address over its limit", "<img src=\"" + huge_data + "\">",
       "picture skipped, data: address too large (more than 48 MiB of data)"},
      {"a data: address that does not decode", "<img src=\"data:image/png;base64,!!\">",
       "picture skipped, malformed data: address"},
      {"a FIFO is never read", "<img src=\"" + folder + "pipe.png\">",
       "picture skipped, not a regular file: " + folder + "pipe.png"},
      {"a folder", "<img src=\"" + folder + "\">", "picture skipped, not a regular file: " + folder},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Convert(c.html, true).warnings, std::vector<std::string>{c.want});
  }
}

TEST(PictureWarnings, TraceLinesShowPageBytesSafely) {
  const std::string data = "data:image/png;base64," + std::string(100000, '!');
  const Collected c = Convert("<img src=\"x\x1b]0;title\a.png\"><img src=\"" + data + "\">", true);
  std::string all;
  for (const std::string& line : c.stages) {
    EXPECT_LE(line.size(), 1200u) << line.substr(0, 200);
    all += line + "\n";
  }
  EXPECT_EQ(all.find('\x1b'), std::string::npos);
  EXPECT_EQ(all.find('\a'), std::string::npos);
  EXPECT_NE(all.find("x?]0;title?.png"), std::string::npos) << all;
  // A data: address is named by its start and its length.
  EXPECT_NE(all.find("data:image/png;base64,!!!!!!!!!!!!!!!!!!... (100022 bytes)"),
            std::string::npos)
      << all;
}

TEST(PictureWarnings, GifDiagnosticsAreNotes) {
  // The decoder's words about a file go to the caller, never to stderr.
  ::testing::internal::CaptureStderr();
  const Collected c = Convert(R"(<img src="../gif/animated.gif">)", true);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(c.warnings.empty());
  ASSERT_FALSE(c.notes.empty());
  EXPECT_NE(c.notes[0].find("animated.gif: got a 'Application Extension' extension"),
            std::string::npos);
}

}  // namespace
}  // namespace velmorane
