// The option normalisations and derived values.
#include <gtest/gtest.h>

#include "base/options.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

TEST(OptionNormalisation, MarginsOutsideHalfThePaperFallBack) {
  ConversionOptions o = testing::DefaultOptions();
  o.margin_left = 7000;   // more than 11906 / 2
  o.margin_bottom = -1;
  o.margin_top = 8419;    // exactly half of 16838 stays
  NormalizeMargins(o);
  EXPECT_EQ(o.margin_left, 720);
  EXPECT_EQ(o.margin_bottom, 1440);
  EXPECT_EQ(o.margin_top, 8419);
  EXPECT_EQ(o.margin_right, 1800);
}

TEST(OptionNormalisation, FontSizeText) {
  constexpr struct { std::string_view text; int want; } kCases[] = {
      {"0", 10}, {"", 10}, {"500", 10}, {"12pt", 12}, {"200", 200}, {"abc", 10},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    ConversionOptions o = testing::DefaultOptions();
    SetField(o.font_size, c.text);
    EXPECT_EQ(BaseFontSize(o), c.want);
  }
}

TEST(OptionNormalisation, PrintableWidth) {
  ConversionOptions o = testing::DefaultOptions();
  EXPECT_EQ(PrintableWidth(o), 11906 - 2520);
  o.orientation = 1;
  EXPECT_EQ(PrintableWidth(o), 14318);  // landscape uses the stored height
  o.orientation = 0;
  o.margin_left = 5000;
  o.margin_right = 6000;
  EXPECT_EQ(PrintableWidth(o), 9500);   // under 1000 twips left
}

TEST(OptionNormalisation, AlignmentWordTakesLowerCaseFirstLetter) {
  constexpr struct { std::string_view text, want; } kCases[] = {
      {"centre", "\\qc "}, {"Centre", "\\qj "}, {"right", "\\qr "},
      {"left", "\\ql "},   {"justify", "\\qj "}, {"", "\\qj "},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    ConversionOptions o = testing::DefaultOptions();
    SetField(o.page_alignment, c.text);
    EXPECT_EQ(DefaultAlignmentWord(o), c.want);
  }
}

TEST(OptionFields, SetFieldCutsAndTerminates) {
  char field[10];
  SetField(field, "0123456789abc");
  EXPECT_EQ(FieldText(field), "012345678");
}

}  // namespace
}  // namespace velmorane
