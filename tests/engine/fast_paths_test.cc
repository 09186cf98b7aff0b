// The shortcuts taken for speed give what the plain rules give: brace counting over
// long documents, CR LF removal in place, entity and reference reading, and runs of
// plain text written in one step by the tag loop.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <string_view>

#include "base/append.h"
#include "base/byte_scan.h"
#include "engine/engine.h"
#include "platform/files.h"
#include "rtf/tag_loop.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

// The rule itself: a backslash escapes the byte after it; other braces count.
long long OpenGroups(std::string_view text) {
  long long open = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
    } else if (text[i] == '{') {
      ++open;
    } else if (text[i] == '}') {
      --open;
    }
  }
  return open;
}

// A text longer than the counting block (1 MiB) with `piece` placed across its border.
std::string AcrossBlockBorder(std::string_view piece, std::size_t offset) {
  std::string text(std::size_t{1} << 20, 'x');
  text.replace(text.size() - offset, 0, piece);
  text += "{tail";
  return "{" + text;
}

TEST(BraceCountOverLongText, MatchesTheEscapeRule) {
  constexpr struct { std::string_view name, piece; std::size_t offset; } kCases[] = {
      {"escaped brace just before the border", "\\{", 1},
      {"escaped brace on the border", "\\{", 0},
      {"escaped closing brace after the border", "a\\}", 2},
      {"escaped backslash before a brace", "\\\\{", 1},
      {"three backslashes before a brace", "\\\\\\{", 2},
      {"plain braces on the border", "{{}", 1},
      {"backslash pairs without braces", "\\\\\\\\", 2},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string text = AcrossBlockBorder(c.piece, c.offset);
    std::string balanced = text;
    BalanceBraces(balanced);
    const long long open = OpenGroups(text);
    ASSERT_GT(open, 0);
    EXPECT_EQ(balanced.size(), text.size() + static_cast<std::size_t>(open));
    EXPECT_EQ(balanced.substr(text.size()), std::string(static_cast<std::size_t>(open), '}'));
  }
}

// Long runs of one kind of brace fill every counting lane on each step, far past the
// stretch after which the lane counts are added up.
TEST(BraceCountOverLongText, LongRunsOfBraces) {
  constexpr std::string_view kPieces[] = {"{", "}", "\\{", "\\}", "a{", "{\\}", "}}{"};
  for (const std::string_view piece : kPieces) {
    for (const std::size_t tail : {0, 1, 15, 17}) {
      SCOPED_TRACE(std::string(piece) + " " + std::to_string(tail));
      std::string text(100000, '{');
      for (int i = 0; i < 30000; ++i) text += piece;
      text += std::string(tail, 'x');
      const long long open = OpenGroups(text);
      ASSERT_GT(open, 0);
      std::string balanced = text;
      BalanceBraces(balanced);
      EXPECT_EQ(balanced.size(), text.size() + static_cast<std::size_t>(open));
    }
  }
}

TEST(BraceCountOverLongText, BraceInTheFirstByteCounts) {
  std::string text = "{" + std::string(3u << 20, 'a');
  BalanceBraces(text);
  EXPECT_EQ(text.back(), '}');
  EXPECT_EQ(text.size(), (3u << 20) + 2);
}

TEST(TextModeInPlace, DropsOnlyCarriageReturnsBeforeLineFeeds) {
  constexpr struct { std::string_view name, bytes, want; } kCases[] = {
      {"one pair", "a\r\nb", "a\nb"},
      {"pairs in a row", "\r\n\r\n", "\n\n"},
      {"a lone carriage return stays", "a\rb", "a\rb"},
      {"two returns before a line feed lose one", "a\r\r\nb", "a\r\nb"},
      {"carriage return at the end stays", "a\r", "a\r"},
      {"no carriage return", "a\nb", "a\nb"},
      {"empty", "", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string text(c.bytes);
    FromTextModeInPlace(text);
    EXPECT_EQ(text, c.want);
    EXPECT_EQ(FromTextMode(c.bytes), c.want);
  }
}

// Named entities are found by a search of the sorted names; names differ in case only
// and the ends of the sorted order must still be found.
TEST(EntityNames, FoundWhateverTheirPlaceInTheTable) {
  constexpr struct { std::string_view text, want; } kCases[] = {
      {"&AElig;", R"(\'c6)"},       {"&Alpha;", R"(\u913F)"},   {"&alpha;", R"(\u945F)"},
      {"&zwnj;", R"(\u8204F)"},     {"&Yuml;", R"(\'9f)"},      {"&yuml;", R"(\'ff)"},
      {"&thetasym;", R"(\u977F)"},  {"&frac34;", R"(\'be)"},    {"&copy", R"(\'a9)"},
      {"&zzz;", "&"},               {"&Copy;", "&"},             {"&;", "&"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    std::string out;
    DecodeEntity(c.text, 0, out);
    EXPECT_EQ(out, c.want);
  }
}

// Numeric references: digits in either case, reading stops at the first non-digit, codes
// below 32 write nothing, code points beyond 16 bits become surrogate pairs.
TEST(NumericReferences, ReadDigitsInEitherCase) {
  constexpr struct { std::string_view text, want; } kCases[] = {
      {"&#x4a;", R"(\'4a)"},      {"&#x4A;", R"(\'4a)"},          {"&#X4a;", R"(\'4a)"},
      {"&#1090;", R"(\u1090F)"},  {"&#128512;", R"(\u55357F\u56832F)"},
      {"&#12a;", ""},             {"&#x1g;", ""},                 {"&#65 ", R"(\'41)"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    std::string out;
    DecodeEntity(c.text, 0, out);
    EXPECT_EQ(out, c.want);
  }
}

// Expected bodies follow the text rules: blanks, line feeds and tabs between words become
// one space; braces and backslashes are escaped; "&amp;" is "&".
TEST(PlainTextRuns, WriteTextAsTheByteRulesDo) {
  constexpr struct { std::string_view name, html, want; } kCases[] = {
      {"blanks collapse", "<p>one   two\n\n\tthree</p>", "one two three"},
      {"specials inside a run", "<p>a{b}c\\d&amp;e</p>", R"(a\{b\}c\\d&e)"},
      {"run ends at a tag", "<p>bold <b>word</b> after</p>", R"(bold {\b word} after)"},
      {"greater-than sign is dropped", "<p>a>b</p>", "ab"},
      {"references of every length", "<p>a&#1090;&#0065;&#0031;b&#0160;c&#65;&#19968;d</p>",
       R"(a\u1090F\'41b c\'41\u19968Fd)"},
      {"references that end no run", "<p>x&#12a;y&#x41;z&#1090</p>", R"(xy\'41z\u1090F)"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string out =
        testing::Convert(c.html, testing::DefaultOptions(), kModeRtfNoTables);
    EXPECT_NE(out.find(c.want), std::string::npos) << out;
  }
}

// A text run writes each byte of 128 or more from a table made per document; the bytes
// of a pre block go through the byte-by-byte path. Under each code page and byte mapping
// all 128 such bytes come out the same both ways.
TEST(PlainTextRuns, HighBytesAsTheBytePathWritesThem) {
  std::string high;
  for (int b = 0x80; b <= 0xFF; ++b) high += static_cast<char>(b);
  for (const std::string_view charset :
       {"windows-1251", "koi8-r", "iso-8859-5", "windows-1250", "windows-1253", "windows-1252"}) {
    SCOPED_TRACE(charset);
    const std::string html = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                             "charset=" + std::string(charset) + "\"></head><body><p>[" + high +
                             "]</p><pre>[" + high + "]</pre></body></html>";
    const std::string out = testing::Convert(html, testing::DefaultOptions(), kModeRtfNoTables);
    const std::size_t run = out.find('[');
    const std::size_t run_end = out.find(']', run);
    const std::size_t block = out.find('[', run_end);
    const std::size_t block_end = out.find(']', block);
    ASSERT_NE(block_end, std::string::npos) << out;
    const std::string written = out.substr(run, run_end - run);
    EXPECT_EQ(written, out.substr(block, block_end - block));
    EXPECT_GT(written.size(), 4 * high.size()) << written;  // every byte written as "\'hh" or more
  }
}

// The formatter's own path for the common conversions writes what printf writes, and the
// forms it does not know still come out right.
TEST(AppendFormatted, MatchesPrintf) {
  char want[128];
  std::string got;
  auto check = [&](int written, const std::string& text) {
    ASSERT_GE(written, 0);
    EXPECT_EQ(text, std::string(want, static_cast<std::size_t>(written)));
  };
  check(std::snprintf(want, sizeof want, R"(\trleft%d\cellx%d )", -108, 9500),
        StringF(R"(\trleft%d\cellx%d )", -108, 9500));
  check(std::snprintf(want, sizeof want, "%d|%i|%d", INT_MIN, INT_MAX, 0),
        StringF("%d|%i|%d", INT_MIN, INT_MAX, 0));
  check(std::snprintf(want, sizeof want, "%ld %lld %u %lu %llu", LONG_MIN, LLONG_MIN, UINT_MAX,
                      ULONG_MAX, ULLONG_MAX),
        StringF("%ld %lld %u %lu %llu", LONG_MIN, LLONG_MIN, UINT_MAX, ULONG_MAX, ULLONG_MAX));
  check(std::snprintf(want, sizeof want, "{%s}%c%%%s", "font", 'x', ""),
        StringF("{%s}%c%%%s", "font", 'x', ""));
  check(std::snprintf(want, sizeof want, R"(\'%02x %5d %-3s|)", 7, 42, "a"),
        StringF(R"(\'%02x %5d %-3s|)", 7, 42, "a"));
  // Zero flags and widths on numbers, as the hex bytes of the list and colour tables use.
  check(std::snprintf(want, sizeof want, R"(\'%02x\'%02x\'%02X %x %08x)", 0, 255, 171, 4096, 0u - 1u),
        StringF(R"(\'%02x\'%02x\'%02X %x %08x)", 0, 255, 171, 4096, 0u - 1u));
  check(std::snprintf(want, sizeof want, "%5d|%05d|%05d|%2d|%3u|%03lld|%1d", -42, -42, 42, 12345,
                      7u, -5LL, 0),
        StringF("%5d|%05d|%05d|%2d|%3u|%03lld|%1d", -42, -42, 42, 12345, 7u, -5LL, 0));
  check(std::snprintf(want, sizeof want, "%99d|", 1), StringF("%99d|", 1));
  // Forms the short path leaves to printf.
  check(std::snprintf(want, sizeof want, "%-4d|%+d|%.3f|%4s|%zu", 3, 3, 0.5, "ab", std::size_t{9}),
        StringF("%-4d|%+d|%.3f|%4s|%zu", 3, 3, 0.5, "ab", std::size_t{9}));
  got = "kept ";
  AppendF(got, "%s", std::string(300, 'y').c_str());
  EXPECT_EQ(got, "kept " + std::string(300, 'y'));
}

TEST(DecimalDigits, MatchToString) {
  for (const unsigned value : {0u, 7u, 9u, 10u, 99u, 100u, 999u, 1000u, 1090u, 9999u, 10000u,
                               65535u, 99999u, 100000u, 999999999u, 1000000000u, 4294967295u}) {
    char text[16];
    const char* end = WriteDecimal(text, value);
    EXPECT_EQ(std::string(text, static_cast<std::size_t>(end - text)), std::to_string(value));
  }
}

// The sixteen-byte scans give what a byte loop gives, wherever the high bytes fall
// against the steps and however long the tail is.
TEST(ByteScans, MatchTheByteLoop) {
  for (std::size_t size = 0; size < 50; ++size) {
    for (std::size_t high = 0; high <= size; ++high) {
      std::string text(size, 'a');
      if (high < size) text[high] = static_cast<char>(0x80 + high);
      if (high + 17 < size) text[high + 17] = '\xff';
      std::size_t count = 0;
      for (const char ch : text) count += static_cast<unsigned char>(ch) >= 0x80;
      EXPECT_EQ(CountHighBytes(text), count) << size << " " << high;
      EXPECT_EQ(CountHighBytes(std::string(size * 300, '\x90') + text), count + size * 300);
      for (std::size_t from = 0; from <= size; from += 7) {
        std::size_t end = from;
        while (end < size && static_cast<unsigned char>(text[end]) < 0x80) ++end;
        EXPECT_EQ(AsciiRunEnd(text, from), end) << size << " " << high << " " << from;
      }
    }
  }
}

// The search by the needle's first two bytes gives what find gives: the needle before,
// across and after each step of sixteen and thirty-two bytes, near the end, beside
// look-alikes that share only its first bytes, and searches that start past a match.
TEST(ByteScans, FindTextMatchesFind) {
  constexpr std::string_view kNeedles[] = {R"(\ls)", R"(\wmetafile)", "ab", "a"};
  for (const std::string_view needle : kNeedles) {
    for (std::size_t size = 0; size < 100; ++size) {
      for (std::size_t place = 0; place <= size; place += 3) {
        std::string text(size, 'x');
        // A look-alike every seven bytes; the needle itself at `place` where it fits.
        const std::string_view look_alike = needle.substr(0, 2);
        for (std::size_t i = 1; i + look_alike.size() <= size; i += 7) {
          text.replace(i, look_alike.size(), look_alike);
        }
        if (place + needle.size() <= size) text.replace(place, needle.size(), needle);
        for (std::size_t from = 0; from <= size + 1; ++from) {
          EXPECT_EQ(FindText(text, needle, from), std::string_view(text).find(needle, from))
              << needle << " " << size << " " << place << " " << from;
        }
      }
    }
  }
}

}  // namespace
}  // namespace velmorane
