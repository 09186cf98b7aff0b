// The style sheet read from style text alone, with tables of the caller's own: no
// conversion record is needed below the tag pass.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "css/font_color.h"
#include "css/style_sheet.h"

namespace velmorane {
namespace {

TEST(StyleText, EachTextReplacesTheSheetAndFillsTheGivenTables) {
  const struct {
    std::string_view name, first, second;
    std::size_t rules;         // after the second text
    std::string_view font;     // a font the tables must hold afterwards, or empty
    std::string_view colour;   // a colour the tables must hold afterwards, or empty
    bool body_rule;
  } kCases[] = {
      {"nothing at all", "", "", 0, "", "", false},
      {"an empty text clears what an earlier one set", "p{color:red} body{font-size:9pt}", "", 0,
       "", "FF0000", false},
      {"a second text replaces the first", "h1{color:red}", "body{font-family:Verdana}", 1,
       "Verdana", "FF0000", true},
      {"a group for print adds no rules", "", "@media print { p {color:#00ff00} }", 0, "", "",
       false},
      {"a group for the screen is read", "", "@media screen { p {color:#0000ff} }", 1, "",
       "0000ff", false},  // hexadecimal digits as written, in lower case
      {"comments only", "", "/* p{color:red} */", 0, "", "", false},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.name);
    StyleSheet sheet;
    FontTable fonts;
    ColorTable colors;
    ParseStyleText(test.first, sheet, fonts, colors);
    ParseStyleText(test.second, sheet, fonts, colors);
    EXPECT_EQ(sheet.rules.size(), test.rules);
    EXPECT_EQ(BodyRule(sheet) != nullptr, test.body_rule);
    if (!test.font.empty()) {
      EXPECT_GE(fonts.Find(test.font), 0);
    }
    if (!test.colour.empty()) {
      EXPECT_GE(colors.Find(test.colour), 0);
    }
  }
}

TEST(StyleText, BodySizeSetsThePointsTheSheetScalesBy) {
  const struct {
    std::string_view css;
    double body_points;
    bool absolute;
  } kCases[] = {
      {"", 12, false},  // a browser's default
      {"body{font-size:9pt}", 9, true},
      {"html{font-size:20px} body{font-size:50%}", 7.5, true},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.css);
    StyleSheet sheet;
    FontTable fonts;
    ColorTable colors;
    ParseStyleText(test.css, sheet, fonts, colors);
    EXPECT_DOUBLE_EQ(sheet.body_points, test.body_points);
    EXPECT_EQ(sheet.document_size_absolute, test.absolute);
  }
}

}  // namespace
}  // namespace velmorane
