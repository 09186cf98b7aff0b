// Outside text in messages: control bytes, long texts and data: addresses.
#include "html/shown_text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace velmorane {
namespace {

TEST(ShownText, ControlBytesAndLength) {
  const struct {
    std::string_view name;
    std::string text;
    std::size_t max_length;
    std::string want;
  } kCases[] = {
      {"plain text is kept", "page one.html", 1024, "page one.html"},
      {"escape, bell, CR, LF, tab and DEL", "a\x1b[2Jb\a\r\n\t\x7f" "c", 1024, "a?[2Jb?????c"},
      {"a NUL byte", std::string("a\0b", 3), 1024, "a?b"},
      {"bytes from 0x80 up are text", "caf\xC3\xA9", 1024, "caf\xC3\xA9"},
      {"cut after the limit", "abcdef", 4, "abcd..."},
      {"exactly at the limit", "abcd", 4, "abcd"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ShownText(c.text, c.max_length), c.want);
  }
}

TEST(ShownText, DataAddressesByTheirStart) {
  const std::string long_data = "data:image/png;base64," + std::string(5 << 20, 'Q');
  EXPECT_EQ(ShownAddress(long_data),
            "data:image/png;base64,QQQQQQQQQQQQQQQQQQ... (5242902 bytes)");
  EXPECT_EQ(ShownAddress("DATA:,\x1b" + std::string(60, 'x')).substr(0, 8), "DATA:,?x");
  EXPECT_EQ(ShownAddress("data:,short"), "data:,short");
  const std::string long_path(2000, 'p');
  EXPECT_EQ(ShownAddress(long_path), std::string(1024, 'p') + "...");
}

}  // namespace
}  // namespace velmorane
