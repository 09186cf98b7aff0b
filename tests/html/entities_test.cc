// The one table of named references: what the tag pass and plain text look up.
#include "html/entities.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace velmorane {
namespace {

TEST(NamedEntities, CodesByExactName) {
  const struct {
    const char* name;
    int code;
  } kCases[] = {
      {"amp", 38},     {"nbsp", 160},  {"yuml", 255},  {"Yuml", 159},    // case matters
      {"hellip", 133}, {"euro", 128},  {"plusm", 177}, {"plusmn", 177},  // old and new
      {"fraq12", 189}, {"frac12", 189}, {"alpha", 945}, {"diams", 9830},
      {"AMP", 0},      {"ampx", 0},    {"", 0},        {"thetasymx", 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(NamedEntityCode(c.name), c.code);
  }
}

// Plain text reads the one-byte names from the same table: a dash between two words and
// an accented letter come through as their Windows-1252 bytes.
TEST(NamedEntities, PlainTextReadsTheOneByteNames) {
  const std::string text = testing::Convert("<p>a&mdash;b &eacute;&euro;</p>",
                                            testing::DefaultOptions(), kModePlainText);
  EXPECT_NE(text.find("a\x97" "b \xE9\x80"), std::string::npos) << text;
}

}  // namespace
}  // namespace velmorane
