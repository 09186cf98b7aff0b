// Drawings rendered in the helper process: the same pixels as in our own process, and
// a drawing that asks for endless work or more memory than its limit only loses itself.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "pictures/picture_format.h"
#include "platform/picture_decoders.h"
#include "platform/svg_child.h"
#include "support/test_support.h"

namespace velmorane {
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitizedBuild = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitizedBuild = true;
#else
constexpr bool kSanitizedBuild = false;
#endif
#else
constexpr bool kSanitizedBuild = false;
#endif

namespace {

const std::string kFixtures = std::string(VELMORANE_FIXTURES) + "/images/";

// A filter whose noise has a million octaves: librsvg works on it for hours.
constexpr std::string_view kEndlessFilter =
    R"(<svg xmlns="http://www.w3.org/2000/svg" width="100" height="100"><filter id="f">)"
    R"(<feTurbulence baseFrequency="0.1" numOctaves="1000000"/></filter>)"
    R"svg(<rect width="100" height="100" filter="url(#f)"/></svg>)svg";

// Two hundred thousand elements: librsvg's tree of them outgrows a small address space,
// and librsvg aborts when an allocation fails.
std::string ManyElements() {
  std::string svg = R"(<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10">)";
  for (int i = 0; i < 200000; ++i) svg += R"(<rect x="1" y="1" width="1" height="1"/>)";
  return svg + "</svg>";
}

TEST(SvgChild, HelperIsFound) { EXPECT_FALSE(SvgHelperPath().empty()); }

TEST(SvgChild, GivesTheSamePixelsAsRenderingHere) {
  const struct {
    const char* file;
    int asked_width, asked_height;
  } kCases[] = {{"pic.svg", 0, 0}, {"pic.svg", 61, 0}, {"viewbox.svg", 0, 33}, {"huge.svg", 0, 0}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.asked_width) + "x" +
                 std::to_string(c.asked_height));
    const std::string svg = testing::ReadBytes(kFixtures + c.file);
    double own_width = 0, own_height = 0;
    ASSERT_TRUE(ReadSvgSize(svg, own_width, own_height));
    const RenderSize size = ChooseRenderSize(c.asked_width, c.asked_height, own_width, own_height);
    DecodedPicture here, there;
    ASSERT_TRUE(RenderSvg(svg, size.width, size.height, here));
    ASSERT_EQ(RenderSvgInChild(svg, c.asked_width, c.asked_height, SvgLimits{}, there),
              SvgOutcome::kDrawn);
    EXPECT_EQ(there.width, here.width);
    EXPECT_EQ(there.height, here.height);
    EXPECT_TRUE(there.bgr == here.bgr);
  }
}

TEST(SvgChild, LimitsEndTheHelperNotUs) {
  SvgLimits small_memory;
  small_memory.address_space_bytes = 128LL << 20;
  SvgLimits short_wait;
  short_wait.cpu_seconds = 30;
  short_wait.wall_milliseconds = 300;
  const struct {
    const char* name;
    std::string svg;
    SvgLimits limits;
    SvgOutcome want;
  } kCases[] = {
      {"endless filter work: processor time", std::string(kEndlessFilter), SvgLimits{},
       SvgOutcome::kTooSlow},
      {"endless filter work: real time", std::string(kEndlessFilter), short_wait,
       SvgOutcome::kTooSlow},
      {"more memory than the limit", ManyElements(), small_memory, SvgOutcome::kTooLarge},
      {"not a drawing", "<html>no</html>", SvgLimits{}, SvgOutcome::kUnreadable},
      {"nothing", "", SvgLimits{}, SvgOutcome::kUnreadable},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    // A helper built with the address sanitizer runs without the address-space limit.
    if (kSanitizedBuild && c.want == SvgOutcome::kTooLarge) continue;
    DecodedPicture out;
    EXPECT_EQ(RenderSvgInChild(c.svg, 0, 0, c.limits, out), c.want);
    EXPECT_TRUE(out.bgr.empty());
  }
}

class Collected : public MessageSink {
 public:
  void Message(MessageKind kind, std::string_view text) override {
    if (kind == MessageKind::kWarning) warnings.emplace_back(text);
  }
  std::vector<std::string> warnings;
};

TEST(SvgChild, ADrawingOverItsLimitIsSkippedWithAWarning) {
  const std::string folder = testing::MakeTempFolder();
  testing::WriteBytes(folder + "endless.svg", kEndlessFilter);
  const std::string work = testing::MakeTempFolder();
  ConvertRequest request;
  request.convert_images = true;
  Collected collected;
  request.messages = &collected;
  Engine engine;
  std::string out;
  const std::string html =
      R"(<p>a</p><svg width="100" height="100"><filter id="f">)"
      R"(<feTurbulence baseFrequency="0.1" numOctaves="1000000"/></filter>)"
      R"svg(<rect width="100" height="100" filter="url(#f)"/></svg>)svg"
      R"(<img src="endless.svg"><img src="pic.svg"><p>the end</p>)";
  testing::WriteBytes(folder + "pic.svg", testing::ReadBytes(kFixtures + "pic.svg"));
  EXPECT_EQ(engine.ConvertHtmlBytes(html, folder, work, request, testing::DefaultOptions(),
                                    testing::DefaultSettings(), out),
            ConvertResult::kDone);
  EXPECT_EQ(collected.warnings,
            (std::vector<std::string>{
                "picture skipped, drawing it took longer than its time limit: inline <svg>",
                "picture skipped, drawing it took longer than its time limit: " + folder +
                    "endless.svg"}));
  EXPECT_EQ(out.find("{\\pict"), out.rfind("{\\pict"));  // pic.svg's alone
  EXPECT_NE(out.find("{\\pict"), std::string::npos);
  EXPECT_NE(out.find("the end"), std::string::npos);
}

}  // namespace
}  // namespace velmorane
