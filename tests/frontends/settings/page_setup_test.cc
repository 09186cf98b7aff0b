// Unit display and input rules of the page-setup dialog, paper matching, and the
// conversion-type collection.
#include "frontends/settings/page_setup.h"

#include <gtest/gtest.h>

namespace velmorane {
namespace {

constexpr struct {
  int twips;
  bool millimetres;
  std::string_view want;
} kDisplayCases[] = {
    {727, false, "0.5"},    // 0.505: cut at the first 0 after the point
    {1440, false, "1"},     // 1.000: the point left at the end goes too
    {720, false, "0.5"},
    {683, true, "12"},      // 12,0 mm
    {720, true, "12,7"},    // comma as separator
    {11906, true, "210"},   // 210,0
    {16838, false, "11.693"},
    {0, true, "0"},
    {2147483647, true, "37874491"},  // cut to nine characters first: "37874491,"
};

TEST(PageSetupUnits, ShowsTwipsInTheChosenUnit) {
  for (const auto& c : kDisplayCases) {
    SCOPED_TRACE(c.twips);
    EXPECT_EQ(TwipsToDisplay(c.twips, c.millimetres), c.want);
  }
}

constexpr struct {
  std::string_view text;
  bool millimetres;
  int twips, paper;
} kInputCases[] = {
    {"10", true, 567, 567},
    {"12,5", true, 708, 708},       // comma read as the decimal point
    {"0.5", false, 720, 720},
    {"8.5", false, 12240, 12240},
    {"0", false, 0, 11907},         // below 100 twips
    {"abc", true, 0, 11907},        // no number
    {"", false, 0, 11907},
    {"18", false, 25920, 16840},    // above 25000 twips
    {" +1", false, 1440, 1440},
    {"1e400", false, 0, 11907},     // no finite number
    {"99999999999", false, 2147483647, 16840},
};

TEST(PageSetupUnits, ReadsTypedValues) {
  for (const auto& c : kInputCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(DisplayToTwips(c.text, c.millimetres), c.twips);
    EXPECT_EQ(PaperDimensionFromDisplay(c.text, c.millimetres), c.paper);
  }
}

TEST(PageSetupPapers, MatchesExactSizesOnly) {
  EXPECT_EQ(kPapers[PaperIndexFor(11907, 16839)].name, "A4");
  EXPECT_EQ(kPapers[PaperIndexFor(12240, 15840)].name, "Letter");
  EXPECT_EQ(PaperIndexFor(11906, 16838), kPapers.size());  // "Other"
  EXPECT_EQ(PaperIndexFor(16839, 11907), kPapers.size());
}

TEST(ConversionTypes, SetTheKeepFlags) {
  const KeepFlags boxes{true, false, true, false, true, false};
  ConversionOptions o{};
  ApplyConversionType(o, ConversionType::kPrecise, boxes);
  EXPECT_EQ(o.conversion_type, 1);
  EXPECT_EQ(o.keep_hyperlinks + o.keep_font_face + o.keep_font_size + o.keep_font_color +
                o.keep_alignment + o.keep_background_color, 6);
  ApplyConversionType(o, ConversionType::kStandard, boxes);
  EXPECT_EQ(o.conversion_type, 0);
  EXPECT_EQ(o.keep_hyperlinks + o.keep_font_face + o.keep_font_size + o.keep_font_color +
                o.keep_alignment + o.keep_background_color, 0);
  ApplyConversionType(o, ConversionType::kCustom, boxes);
  EXPECT_EQ(o.conversion_type, 2);
  EXPECT_EQ(o.keep_hyperlinks, 1);
  EXPECT_EQ(o.keep_font_face, 0);
  EXPECT_EQ(o.keep_font_size, 1);
  EXPECT_EQ(o.keep_background_color, 0);
}

}  // namespace
}  // namespace velmorane
