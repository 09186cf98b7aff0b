// Decoding of 16-bit and UTF-8 input, charset declarations and the byte mappings.
#include <gtest/gtest.h>

#include <string>

#include "html/charset.h"
#include "rtf/conversion.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

struct Decoded {
  std::string text;
  CharsetState state;
  std::size_t input_size;
};

Decoded Decode(std::string_view raw, std::string_view encoding = "Auto-Select",
               std::string_view language = "English") {
  CarryOver carry;
  ConvertRequest request;
  request.encoding_name = std::string(encoding);
  Conversion c(carry, request, testing::DefaultOptions(), testing::DefaultSettings());
  c.raw = std::string(raw);
  c.input_size = raw.size();
  c.charset.language_name = std::string(language);
  LookupLanguage(language, c.charset);
  EXPECT_TRUE(DecodeInput(c));
  return {c.raw, c.charset, c.input_size};
}

using namespace std::string_literals;

TEST(InputDecoding, RewritesText) {
  const struct {
    std::string_view name;
    std::string raw, want;
  } kCases[] = {
      {"UTF-16LE without byte-order mark", "A\0B\0"s, "AB"},
      {"UTF-16LE unit above 255", "A\0B\0\x10\x04" "C\0"s, "AB&#1040;C"},
      {"UTF-16LE byte-order mark", "\xFF\xFE" "A\0B\0C\0"s, "&#65279;ABC"},
      {"stray NUL bytes stay", "ab\0cdef\0gh"s, "ab\0cdef\0gh"s},
      {"UTF-8 two-byte", "<meta charset=utf-8>caf\xC3\xA9", "<meta charset=utf-8>caf\xE9"},
      {"UTF-8 three-byte", "<meta charset=UTF-8>\xE2\x82\xAC", "<meta charset=UTF-8>&#8364;"},
      {"UTF-8 four-byte as a surrogate pair", "charset=utf-8>\xF0\x9F\x98\x80",
       "charset=utf-8>&#55357;&#56832;"},
      {"UTF-8 byte-order mark skipped", "\xEF\xBB\xBF" "charset=utf-8>x", "charset=utf-8>x"},
      {"UTF-8 malformed bytes", "charset=utf-8>\xC3(\xE2\x82!\x80",
       "charset=utf-8>&#65533;(&#65533;!&#65533;"},
      {"UTF-8 overlong form", "charset=utf-8>\xC0\xAF", "charset=utf-8>&#65533;&#65533;"},
      {"UTF-8 text after a NUL is kept", "charset=utf-8>a\0\xC3\xA9"s, "charset=utf-8>a\0\xE9"s},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Decode(c.raw).text, c.want);
  }
}

TEST(InputDecoding, SixteenBitRewriteUpdatesInputSize) {
  const Decoded d = Decode("A\0B\0C\0\x10\x04"s);
  EXPECT_EQ(d.text, "ABC&#1040;");
  EXPECT_EQ(d.input_size, d.text.size());
}

TEST(InputDecoding, Utf8GrowsBeyondTheInput) {
  std::string raw = "<meta charset=utf-8>";
  std::string want = raw;
  for (int i = 0; i < 30000; ++i) {
    raw += "\xE2\x82\xAC";
    want += "&#8364;";
  }
  EXPECT_EQ(Decode(raw).text, want);
  EXPECT_EQ(Decode("\xE2\x82\xAC", "(UTF-8) Unicode").text, "&#8364;");
}

// Which decoding a page gets: byte-order mark first, then declarations and the encoding
// option, then a UTF-8 sniff of undeclared pages; the C library decodes what the byte
// table cannot.
TEST(InputDecoding, DetectionOrderAndOtherCharsets) {
  const struct {
    std::string_view name;
    std::string raw;
    std::string_view encoding;
    std::string want;
  } kCases[] = {
      {"undeclared UTF-8 is sniffed", "Caf\xC3\xA9", "Auto-Select", "Caf\xE9"},
      {"undeclared bytes that are no UTF-8 stay", "Caf\xE9 \xC3\xA9", "Auto-Select",
       "Caf\xE9 \xC3\xA9"},
      {"a declaration wins over the sniff", "<meta charset=windows-1252>Caf\xC3\xA9",
       "Auto-Select", "<meta charset=windows-1252>Caf\xC3\xA9"},
      {"the encoding option wins over the sniff", "Caf\xC3\xA9", "(Windows-1252) European",
       "Caf\xC3\xA9"},
      {"UTF-8 mark wins over a declaration", "\xEF\xBB\xBF<meta charset=koi8-r>\xC3\xA9",
       "Auto-Select", "<meta charset=koi8-r>&#233;"},
      {"UTF-16BE mark", "\xFE\xFF\0<\0p\0>\x04\x10"s, "Auto-Select", "<p>&#1040;"},
      {"UTF-16LE mark on text without zero bytes", "\xFF\xFE\x10\x04\x11\x04"s, "Auto-Select",
       "&#1040;&#1041;"},
      {"EUC-KR", "<meta charset=euc-kr>\xC7\xD1", "Auto-Select", "<meta charset=euc-kr>&#54620;"},
      {"EUC-JP", "<meta charset=EUC-JP>\xA4\xA2", "Auto-Select", "<meta charset=EUC-JP>&#12354;"},
      {"Shift_JIS trail byte 0x5C is no backslash",
       "<meta charset=shift_jis>\x83\x5C", "Auto-Select", "<meta charset=shift_jis>&#12477;"},
      {"GB2312", "<meta charset=gb2312>\xD6\xD0", "Auto-Select", "<meta charset=gb2312>&#20013;"},
      {"Big5", "<meta charset=big5>\xA4\xA4", "Auto-Select", "<meta charset=big5>&#20013;"},
      {"ISO-8859-2", "<meta charset=iso-8859-2>\xB3", "Auto-Select",
       "<meta charset=iso-8859-2>&#322;"},
      {"ISO-8859-15 is not Latin-1", "<meta charset=ISO-8859-15>\xA4", "Auto-Select",
       "<meta charset=ISO-8859-15>&#8364;"},
      {"KOI8-U", "<meta charset=koi8-u>\xA4", "Auto-Select", "<meta charset=koi8-u>&#1108;"},
      {"windows-874", "<meta charset=windows-874>\xA1", "Auto-Select",
       "<meta charset=windows-874>&#3585;"},
      {"undecodable bytes become U+FFFD", "<meta charset=euc-kr>\xFF!", "Auto-Select",
       "<meta charset=euc-kr>&#65533;!"},
      {"KOI8-R signs Windows-1251 lacks become references", "<meta charset=koi8-r>\x80\x9A\xC1",
       "Auto-Select", "<meta charset=koi8-r>&#9472;\x9A\xC1"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Decode(c.raw, c.encoding).text, c.want);
  }
}

TEST(CharsetChoice, CodePageFollowsTheChosenCharacterSet) {
  const struct {
    std::string_view name, raw, encoding, language;
    int code_page;
  } kCases[] = {
      {"declared windows-1251", "<meta charset=windows-1251>", "Auto-Select", "English", 1251},
      {"declared windows-1250", "<meta charset=windows-1250>", "Auto-Select", "English", 1250},
      {"declared KOI8-R", "<meta charset=koi8-r>", "Auto-Select", "English", 1251},
      {"declared Shift_JIS", "<meta charset=shift_jis>", "Auto-Select", "English", 932},
      {"encoding option", "x", "(Windows-1253) Greek", "English", 1253},
      {"UTF-8 chooses no character set", "<meta charset=utf-8>", "Auto-Select", "Turkish", 1254},
      {"nothing declared", "x", "Auto-Select", "English", 1252},
      {"the language overrules the declaration", "<meta charset=windows-1250>", "Auto-Select",
       "Russian", 1251},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Decode(c.raw, c.encoding, c.language).state.ansi_code_page, c.code_page);
  }
  // A page decoded to Unicode under another code page keeps Latin letters as references.
  EXPECT_EQ(Decode("<meta charset=koi8-u>\xC1", "Auto-Select").text, "<meta charset=koi8-u>&#1072;");
  EXPECT_EQ(Decode("\xEF\xBB\xBF\xC3\xA9", "(Windows-1251) Cyrillic").text, "&#233;");
}

TEST(CharsetChoice, DeclarationsAndNames) {
  const struct {
    std::string_view name, raw, encoding, language;
    int charset;
    std::string_view family;
    ByteMapping mapping;
  } kCases[] = {
      {"windows-1251 in a meta tag",
       R"(<head><meta content="text/html; charset=windows-1251"></head>)", "Auto-Select",
       "English", 204, "fnil", ByteMapping::kIdentity},
      {"upper-case KOI8-R", "<head><META CHARSET=KOI8-R></head>", "Auto-Select", "English", 204,
       "fnil", ByteMapping::kKoi8rToWindows1251},
      {"declaration after the head is ignored", "<head></head><meta charset=windows-1251>",
       "Auto-Select", "English", 0, "fswiss", ByteMapping::kIdentity},
      {"end of head in capitals", "<HEAD></HEAD><meta charset=koi8-r>", "Auto-Select",
       "English", 0, "fswiss", ByteMapping::kIdentity},
      {"the last of two declarations wins",
       "<meta charset=iso-8859-1><meta charset=windows-1250>", "Auto-Select", "English", 238,
       "fswiss", ByteMapping::kIdentity},
      {"ISO-8859-5", "<meta charset=iso-8859-5>", "Auto-Select", "English", 204, "fnil",
       ByteMapping::kIso88595ToWindows1251},
      {"language wins over a Cyrillic encoding", "x", "(Windows-1251) Cyrillic", "Japanese",
       128, "fnil", ByteMapping::kIdentity},
      {"explicit KOI8-R name", "x", "(KOI8-R) Cyrillic", "English", 204, "fnil",
       ByteMapping::kKoi8rToWindows1251},
      {"explicit names are case-sensitive", "x", "(koi8-r) cyrillic", "English", 0, "fswiss",
       ByteMapping::kIdentity},
      {"Latin1 name", "<meta charset=windows-1251>", "(ISO-8859-1) Latin1", "English", 0,
       "fswiss", ByteMapping::kIdentity},
      {"lower-case russian", "x", "Auto-Select", "russian", 204, "fswiss",
       ByteMapping::kIdentity},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const Decoded d = Decode(c.raw, c.encoding, c.language);
    EXPECT_EQ(d.state.charset, c.charset);
    EXPECT_EQ(d.state.family, c.family);
    EXPECT_EQ(d.state.mapping, c.mapping);
  }
}

TEST(CharsetChoice, LanguageEffects) {
  const Decoded japanese = Decode("x", "(Windows-1251) Cyrillic", "Japanese");
  EXPECT_TRUE(japanese.state.far_east);
  EXPECT_EQ(japanese.state.ansi_code_page, 1252);
  EXPECT_EQ(Decode("x", "Auto-Select", "russian").state.ansi_code_page, 1251);
  EXPECT_EQ(Decode("x", "Auto-Select", "Turkish").state.ansi_code_page, 1254);
  EXPECT_EQ(Decode("x", "Auto-Select", "German").state.language_id, 1031);

  const Decoded gb = Decode("<meta charset=gb2312>");
  EXPECT_EQ(gb.state.language_name, "SimplifiedChinese");
  EXPECT_EQ(gb.state.charset, 134);
  EXPECT_TRUE(gb.state.far_east);

  const Decoded sjis = Decode("<meta charset=Shift_JIS>", "Auto-Select", "German");
  EXPECT_EQ(sjis.state.charset, 128);
  EXPECT_EQ(sjis.state.language_id, 1033);
  EXPECT_TRUE(sjis.state.far_east);

  EXPECT_TRUE(IsDoubleByteLanguage("korean"));
  EXPECT_FALSE(IsDoubleByteLanguage("Russian"));
}

TEST(ByteMappings, Cyrillic) {
  const struct {
    ByteMapping mapping;
    std::uint8_t in, want;
  } kCases[] = {
      {ByteMapping::kKoi8rToWindows1251, 0x41, 0x41},
      {ByteMapping::kKoi8rToWindows1251, 0xC1, 0xE0},  // а
      {ByteMapping::kKoi8rToWindows1251, 0xE1, 0xC0},  // А
      {ByteMapping::kKoi8rToWindows1251, 0xD1, 0xFF},  // я
      {ByteMapping::kKoi8rToWindows1251, 0xA3, 0xB8},  // ё
      {ByteMapping::kKoi8rToWindows1251, 0xB3, 0xA8},  // Ё
      // Signs map to their Windows-1251 byte, never to an unrelated letter; those
      // Windows-1251 lacks are 0 (the decoding made them references before).
      {ByteMapping::kKoi8rToWindows1251, 0xBF, 0xA9},  // ©
      {ByteMapping::kKoi8rToWindows1251, 0x9A, 0xA0},  // no-break space
      {ByteMapping::kKoi8rToWindows1251, 0x9C, 0xB0},  // °
      {ByteMapping::kKoi8rToWindows1251, 0x9E, 0xB7},  // ·
      {ByteMapping::kKoi8rToWindows1251, 0x80, 0x00},  // box drawing
      {ByteMapping::kKoi8rToWindows1251, 0x81, 0x00},
      {ByteMapping::kKoi8rToWindows1251, 0x98, 0x00},  // ≤
      {ByteMapping::kKoi8rToWindows1251, 0x99, 0x00},  // ≥
      {ByteMapping::kKoi8rToWindows1251, 0x95, 0x00},
      {ByteMapping::kIso88595ToWindows1251, 0xA1, 0xA1},
      {ByteMapping::kIso88595ToWindows1251, 0xB0, 0xC0},  // А
      {ByteMapping::kIso88595ToWindows1251, 0xEF, 0xFF},  // я
      {ByteMapping::kIso88595ToWindows1251, 0xF1, 0xE5},
      // Bytes that a plain shift would wrap into control bytes.
      {ByteMapping::kIso88595ToWindows1251, 0xF0, 0xB9},  // №
      {ByteMapping::kIso88595ToWindows1251, 0xF4, 0xBA},  // є
      {ByteMapping::kIso88595ToWindows1251, 0xF6, 0xB3},  // і
      {ByteMapping::kIdentity, 0xC1, 0xC1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(static_cast<int>(c.in));
    CharsetState state;
    state.mapping = c.mapping;
    EXPECT_EQ(MapByte(state, c.in), c.want);
  }
}

TEST(ByteMappings, AppliedToPlainTextAsItIsWritten) {
  const struct {
    std::string_view name, html, want;
  } kCases[] = {
      {"KOI8-R letters", "<html><head><meta charset=koi8-r></head><p>\xE1\xC1\xB3</p>",
       "\n\xC0\xE0\xA8\n"},
      {"ISO-8859-5 letters", "<html><head><meta charset=iso-8859-5></head>\xB0\xEF\xF1",
       "\xC0\xFF\xE5"},
      {"a declaration after the head maps nothing",
       "<html><head></head><meta charset=koi8-r>\xE1\xC1", "\xE1\xC1"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(testing::Convert(c.html, testing::DefaultOptions(), kModePlainText), c.want);
  }
}

}  // namespace
}  // namespace velmorane
