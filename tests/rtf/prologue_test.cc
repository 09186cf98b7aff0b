// Font and colour collection, the colour reader and the RTF prologue.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/append.h"
#include "platform/files.h"
#include "rtf/conversion.h"
#include "rtf/prologue.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

constexpr std::string_view kFixedFontsAndColors =
    R"({\f99\froman\fcharset0\fprq2{\*\panose 02020603050405020304}Arial;})"
    R"({\f100\fnil\fcharset2 Symbol;}{\f101\fnil\fcharset2 Wingdings;})"
    R"({\f102\fcharset204{\*\fname Courier New;}Courier New CYR;}{\f103\fcharset0 Arial;}})"
    "\n" R"({\colortbl ;\red0\green0\blue0;\red51\green102\blue255;)";

std::string Prologue(std::string_view html, const ConversionOptions& options,
                     const EngineSettings* settings = nullptr) {
  return testing::Convert(html, options, kModeRtfTables, false, settings);
}

std::size_t Count(std::string_view text, std::string_view what) {
  std::size_t n = 0;
  for (std::size_t p = text.find(what); p != std::string_view::npos; p = text.find(what, p + 1)) {
    ++n;
  }
  return n;
}

TEST(Prologue, DefaultDocumentStart) {
  const std::string rtf = Prologue("<p>plain text</p>", testing::DefaultOptions());
  const std::string want =
      R"({\rtf1\ansi\ansicpg1252\deff0\deflang1033\fs20{\fonttbl{\f0\fswiss\fprq2\fcharset0 Arial;})"
      "\n" +
      std::string(kFixedFontsAndColors) + "}\n" +
      R"({\info{\doccomm Created by the Velmorane Converter Pro 3.0.0.0 (February 6th, 2009)}})"
      "\n" R"(\paperw11906\paperh16838\margl720\margr1800\margt720\margb720)"
      "\n" R"(\pard\sb100\sa100\sbauto1\saauto1\f0\fs20\lang1033)" "\n";
  EXPECT_EQ(rtf.substr(0, want.size()), want);
  EXPECT_EQ(rtf.find(R"(\stylesheet)"), std::string::npos);
}

TEST(Prologue, FarEastAndCyrillicHeaders) {
  ConversionOptions o = testing::DefaultOptions();
  SetField(o.rtf_language, "Japanese");
  EXPECT_EQ(Prologue("x", o).rfind(
                R"({\rtf1\ansi\ansicpg1252\deff0\deflang1033\fs20{\fonttbl{\f0\fswiss\fprq2\fcharset128 Arial Unicode MS;})"
                "\n",
                0),
            0u);
  SetField(o.rtf_language, "Russian");
  EXPECT_EQ(Prologue("<meta charset=koi8-r>x", o)
                .rfind(R"({\rtf1\ansi\ansicpg1251\deff0\deflang1049\fs20{\fonttbl{\f0\fnil\fprq2\fcharset204 Arial;})",
                       0),
            0u);
}

TEST(Prologue, CollectsFontsAndColors) {
  const struct {
    std::string_view name, html, want;
  } kCases[] = {
      {"two spellings of red are two entries", "<p style='color:#FF0000'>a<p style='color:red'>",
       R"(\red51\green102\blue255;\red255\green0\blue0;\red255\green0\blue0;})"},
      {"upper-case background", "<td style='BACKGROUND:navy'>",
       R"(\red51\green102\blue255;\red0\green0\blue128;})"},
      {"inherit is black", "<b style='color: inherit'>",
       R"(\red51\green102\blue255;\red0\green0\blue0;})"},
      {"rgb components above 255 are 255", "<b style='color: rgb(300, 0, 0)'>",
       R"(\red51\green102\blue255;\red255\green0\blue0;})"},
      {"three-digit hex doubles each digit", "<b style='color: #abc'>",
       R"(\red51\green102\blue255;\red170\green187\blue204;})"},
      {"font tag colour and bgcolor", "<font color=\"#00ff00\">a</font><table bgcolor=teal>",
       R"(\red51\green102\blue255;\red0\green255\blue0;\red0\green128\blue128;})"},
      {"body text colour and the body's bgcolor", "<body text=\"#102030\" bgcolor=\"#fafafa\">",
       R"(\red51\green102\blue255;\red250\green250\blue250;\red16\green32\blue48;})"},
      {"only the first family name",
       "<p style=\"font-family: Verdana, sans-serif\"><font face='Verdana,Arial'>",
       "\n" R"({\f2\fnil\fcharset0 Verdana;})" "\n" R"({\f99)"},
      {"a face cannot inject RTF", R"(<font face="a{b}\c)" "\x01" R"(">)",
       "\n" R"({\f2\fnil\fcharset0 a\{b\}\\c;})" "\n" R"({\f99)"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_NE(Prologue(c.html, testing::DefaultOptions()).find(c.want), std::string::npos);
  }
}

// The keyword search steps over the text sixteen bytes at a time: a keyword is found
// wherever it falls against those steps, also behind bytes that only look like a start
// when folded to lower case (0x1C is "<" with bit 5 set).
TEST(Prologue, FindsKeywordsAtEveryOffset) {
  for (std::size_t offset = 0; offset < 40; ++offset) {
    for (const std::string_view filler : {"x", "\x1c", "B", "f"}) {
      SCOPED_TRACE(::testing::Message() << "offset " << offset << " filler " << int(filler[0]));
      std::string html;
      for (std::size_t i = 0; i < offset; ++i) html += filler;
      html += "<b style='CoLoR:#123456'><FONT face=Tahoma>";
      const std::string rtf = Prologue(html, testing::DefaultOptions());
      EXPECT_NE(rtf.find(R"(\red18\green52\blue86;)"), std::string::npos);
      EXPECT_NE(rtf.find(R"({\f2\fnil\fcharset0 Tahoma;})"), std::string::npos);
    }
  }
}

TEST(Prologue, KeepSwitchesGateCollection) {
  ConversionOptions o = testing::DefaultOptions();
  o.keep_font_face = 0;
  o.keep_font_color = 0;
  o.keep_background_color = 0;
  const std::string rtf =
      Prologue("<font face=Verdana color=red style='background:blue'>", o);
  EXPECT_EQ(rtf.find(R"({\f2)"), std::string::npos);
  EXPECT_NE(rtf.find(R"(\blue255;})"), std::string::npos);  // only the fixed entries
}

TEST(Prologue, TableLimits) {
  std::string html;
  for (int i = 0; i < 30; ++i) html += "<font face=Face" + std::to_string(i) + ">";
  for (int i = 0; i < 300; ++i) html += StringF("<b style='color:#%06x'>", i);
  const std::string rtf = Prologue(html, testing::DefaultOptions());
  const std::size_t table = rtf.find(R"({\colortbl)");
  const std::string fonts = rtf.substr(0, table);
  EXPECT_NE(fonts.find("\n" R"({\f25\fnil\fcharset0 Face23;})" "\n" R"({\f99)"),
            std::string::npos);
  EXPECT_EQ(fonts.find("Face24"), std::string::npos);
  const std::string colors = rtf.substr(table, rtf.find('}', table) - table);
  // Black and the link colour, then 255 collected entries, the last one #0000fe.
  EXPECT_EQ(Count(colors, R"(\red)"), 2u + 255u);
  EXPECT_NE(colors.find(R"(\red0\green0\blue254;)"), std::string::npos);
  EXPECT_EQ(colors.find(R"(\red0\green0\blue255;)", 40), std::string::npos);
}

// The colour index against a plain scan: first position of an equal text, exact bytes
// (case counts), duplicates ignored, nothing taken past the limit, any length of text.
TEST(ColorTableIndex, AgreesWithAScanOfTheEntries) {
  ColorTable table;
  std::vector<std::string> added;
  const auto scan = [&](std::string_view text) {
    for (std::size_t i = 0; i < added.size(); ++i) {
      if (added[i] == text) return static_cast<int>(i);
    }
    return -1;
  };
  EXPECT_EQ(table.Find("000000"), -1);
  std::vector<std::string> candidates = {"ff0000", "FF0000", "ff0000", "", "0", "abcdefgh",
                                         "00ff00"};
  for (int i = 0; i < 400; ++i) candidates.push_back(StringF("%06x", (i * 7919) & 0xffffff));
  for (const std::string& text : candidates) {
    table.Add(text);
    if (added.size() < ColorTable::kMaxColors && scan(text) < 0) added.push_back(text);
    ASSERT_EQ(table.size(), added.size()) << text;
  }
  ASSERT_EQ(table.size(), ColorTable::kMaxColors);
  for (const std::string& text : candidates) EXPECT_EQ(table.Find(text), scan(text)) << text;
  for (std::size_t i = 0; i < added.size(); ++i) EXPECT_EQ(table[i], added[i]);
  EXPECT_EQ(table.Find("Ff0000"), -1);
}

TEST(Prologue, PageSetupAndNumbers) {
  const struct {
    std::string_view name;
    int orientation, page_numbers, horizontal, vertical;
    std::string_view want;
  } kCases[] = {
      {"landscape swaps the paper words", 1, 0, 1, 5,
       R"(\paperh11906\paperw16838\landscape\margl720\margr1800\margt720\margb720)"},
      {"centred at the bottom", 0, 1, 1, 5,
       "\n" R"({\footer \pvpg\phpg\posx5953\posy15888{\field{\*\fldinst {\fs20 PAGE}}}\par)"
       "\n" R"(\pard\plain  \par})"},
      {"right at the top", 0, 1, 2, 4, R"(\posx10106\posy-360{)"},
      {"left", 0, 1, 3, 5, R"(\posx0\posy15888{)"},
      {"landscape centre", 1, 1, 1, 5, R"(\posx8419\posy10956{)"},
      {"no number on the first page", 0, 2, 1, 5, "\n" R"(\titlepg )" "\n" R"({\footer)"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ConversionOptions o = testing::DefaultOptions();
    o.orientation = c.orientation;
    o.page_numbers = c.page_numbers;
    EngineSettings settings = testing::DefaultSettings();
    settings.page_number_horizontal = c.horizontal;
    settings.page_number_vertical = c.vertical;
    EXPECT_NE(Prologue("x", o, &settings).find(c.want), std::string::npos);
  }
  EXPECT_EQ(Prologue("x", testing::DefaultOptions()).find(R"(\footer)"), std::string::npos);
}

TEST(Prologue, HeadingsAndBodyOnly) {
  constexpr std::string_view kStyleSheet =
      R"({\stylesheet {\s1\outlinelevel0 heading 1;}{\s2\outlinelevel1 heading 2;})"
      R"({\s3\outlinelevel2 heading 3;}{\s4\outlinelevel3 heading 4;})"
      R"({\s5\outlinelevel4 heading 5;}{\s6\outlinelevel5 heading 6;}})" "\n";
  EXPECT_NE(Prologue("<H2 class=x>T</h2>", testing::DefaultOptions()).find(kStyleSheet),
            std::string::npos);
  EXPECT_EQ(Prologue("<hr><h>", testing::DefaultOptions()).find(R"(\stylesheet)"),
            std::string::npos);

  EngineSettings settings = testing::DefaultSettings();
  settings.body_only = 1;
  const std::string body = Prologue("<h1>T</h1>", testing::DefaultOptions(), &settings);
  EXPECT_EQ(body.rfind("{" + std::string(kStyleSheet), 0), 0u);
  EXPECT_EQ(body.find(R"(\fonttbl)"), std::string::npos);
  EXPECT_EQ(body.find(R"(\colortbl)"), std::string::npos);
  EXPECT_EQ(body.find(R"(\paperw)"), std::string::npos);
}

TEST(Prologue, BodyRuleSetsFontColourAndSize) {
  CarryOver carry;
  Conversion c(carry, ConvertRequest{}, testing::DefaultOptions(), testing::DefaultSettings());
  c.fonts.Add("Verdana");
  c.colors.Add("FF0000");
  BuildParagraphTemplates(c.templates, c.base_size, 1033, false);
  ApplyBodyStyle(c, BodyStyle{0, 0, 24});
  EXPECT_EQ(c.output.text(), "\n" R"(\f2 )" "\n" R"(\cf3 )");
  EXPECT_EQ(c.base_size, 12);
  EXPECT_EQ(c.templates.paragraph_start,
            "\n" R"(\par\pard\sb100\sa100\sbauto1\saauto1\fs24\lang1033 )");
  EXPECT_EQ(c.templates.zero_line_end, "\n" R"(\par\pard\sb0\fs24\lang1033 )");

  // Entries that are not in the tables write nothing; a size under one point gives 10.
  c.output.clear();
  ApplyBodyStyle(c, BodyStyle{5, 7, 1});
  EXPECT_EQ(c.output.text(), "");
  EXPECT_EQ(c.base_size, 10);
}

// A real reader opens the default prologue (skipped where LibreOffice is missing).
TEST(Prologue, LibreOfficeReadsTheDocument) {
  if (std::system("command -v soffice >/dev/null 2>&1") != 0) GTEST_SKIP();
  const std::string folder = testing::MakeTempFolder();
  const std::string rtf = Prologue("Readable words", testing::DefaultOptions());
  ASSERT_TRUE(WriteTextFile(folder + "page.rtf", rtf));
  const std::string command = "cd '" + folder +
                              "' && timeout 300 soffice -env:UserInstallation=file://" + folder +
                              "profile --headless --convert-to txt:Text page.rtf >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::string text;
  ASSERT_TRUE(ReadTextFile(folder + "page.txt", text));
  EXPECT_NE(text.find("Readable words"), std::string::npos);
}

TEST(ColorValues, ParseColor) {
  const struct {
    std::string_view text, want;
    bool recognised;
  } kCases[] = {
      {"#abc", "aabbcc", true},
      {"#abcd", "000000", false},
      {"rgb(300, 0, 0)", "ff0000", true},
      {"rgb(100%, 50%, 0%)", "ff7f00", true},
      // A translucent colour is what it shows over white; the opacity may lie beyond the
      // 21 characters the colour itself is read from.
      {"rgba(0, 128, 255, 0.5)", "80c0ff", true},
      {"rgba(114, 159, 207, 0.1)", "f1f5fa", true},
      {"rgb(0 0 0 / 50%)", "808080", true},
      {"rgba(10, 20, 30, 1)", "0a141e", true},
      {"rgba(10, 20, 30, .0)", "ffffff", true},
      {"rgb(4294967297,1,2)", "ff0102", true},  // 2^32 + 1
      {"inherit", "000000", false},
      {"NAVY", "000080", true},
      {"'#FF0000'", "ff0000", true},
      {"ff00aa;", "ff00aa", true},
      {"transparent", "FFFFFF", true},
      {"grey", "000000", false},
      {"lightgray", "000000", false},
      {"chartreuse", "000000", false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    std::size_t pos = 0;
    std::string six;
    EXPECT_EQ(ParseColor(c.text, pos, six), c.recognised);
    EXPECT_EQ(six, c.want);
  }
}

// At most 21 bytes of a value are read: where the reading stops, and what is taken from
// the part read.
TEST(ColorValues, ParseColorReadsAtMost21Bytes) {
  const struct {
    std::string_view text, want;
    std::size_t end;
  } kCases[] = {
      {"rgb(10, 20, 30, 40, 50, 60)", "0a141e", 21},
      {"rgb(1,2,                   3)", "000000", 21},  // the third number is past the 21
      {"#1234567890abcdef0123456789", "123456", 21},
      {"  =\"LightGoldenRodYellowX\"", "000000", 25},
      {"red; color: blue", "FF0000", 3},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    std::size_t pos = 0;
    std::string six = "previous";
    ParseColor(c.text, pos, six);
    EXPECT_EQ(six, c.want);
    EXPECT_EQ(pos, c.end);
  }
}

TEST(ParagraphTemplates, BodyRuleSizeChangesTwoFormats) {
  ParagraphTemplates t;
  BuildParagraphTemplates(t, 12, 1049, true);
  EXPECT_EQ(t.paragraph_start, "\n" R"(\par\pard\sb100\sa100\sbauto1\saauto1\fs24\lang1049 )");
  EXPECT_EQ(t.zero_line_end, "\n" R"(\par\pard\sb0\fs24\lang1049 )");
  EXPECT_EQ(t.cell_zero_break, "\n" R"(\par\pard\intbl\sb0\fs24\lang1049 )");
  EXPECT_EQ(t.subscript, R"({\sub\dn6 )");
  BuildParagraphTemplates(t, 12, 1049, false);
  EXPECT_EQ(t.zero_line_end, "\n" R"(\sb0\sa0\par )");
  EXPECT_EQ(t.cell_zero_break, "\n" R"(\sb0\sa0\par\intbl\lang1049 )");
}

}  // namespace
}  // namespace velmorane
