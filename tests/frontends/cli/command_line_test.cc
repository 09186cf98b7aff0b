// The argument parser, option values, the configuration file and the run log.
#include "frontends/cli/command_line.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "frontends/settings/settings_files.h"
#include "platform/files.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;

namespace fs = std::filesystem;

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = velmorane::testing::MakeTempFolder();
    log_ = folder_ + "velmorane.log";
  }
  void TearDown() override {
    std::error_code error;
    fs::remove_all(folder_, error);
  }

  // Parses `text` from the defaults; the run log goes to the test folder.
  CommandLineRecord Parse(std::string_view text) {
    CommandLineRecord record = DefaultCommandLine();
    ParseCommandLine(text, record, log_);
    return record;
  }
  std::string Log() const { return ReadBytes(log_); }

  std::string folder_;
  std::string log_;
};

TEST_F(CommandLineTest, FontFaceAndPaths) {
  constexpr struct { std::string_view name, text, face, input, out; } kCases[] = {
      {"unquoted face takes one word", "-face Times New Roman", "Times", "New", "Roman"},
      {"quoted face takes the whole name", "-face \"Times New Roman\" in.html out",
       "Times New Roman", "in.html", "out"},
      {"quoted path", "\"my page.html\" \"out dir\"", "Arial", "my page.html", "out dir"},
      {"every later path is the out folder", "a.html b c", "Arial", "a.html", "c"},
      {"program name is not a path", "VELMORANE.EXE a.html", "Arial", "a.html", ""},
      {"face is cut to 49 characters", "-face " "abcdefghijabcdefghijabcdefghijabcdefghijabcdefghijXYZ",
       "abcdefghijabcdefghijabcdefghijabcdefghijabcdefghi", "", ""},
      {"a value may start with a dash", "-face -x a.html", "-x", "a.html", ""},
      {"after -- every argument is a path", "-- -a.html -o", "Arial", "-a.html", "-o"},
      {"a lone dash is a path", "- out.rtf", "Arial", "-", "out.rtf"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const CommandLineRecord r = Parse(c.text);
    EXPECT_EQ(FieldText(r.options.font_face), c.face);
    EXPECT_EQ(r.input_file, c.input);
    EXPECT_EQ(r.out_folder, c.out);
    EXPECT_EQ(r.options.conversion_type, 2);
  }
}

TEST(OptionValues, TruthOfValues) {
  constexpr struct { std::string_view value; int want; } kCases[] = {
      {"yes", 1}, {"YES", 1}, {"no", 0},    {"No", 0},    {"free", 0}, {"FREE", 0},
      {"0", 0},   {"off", 0}, {"OFF", 0},   {"false", 0}, {"False", 0},
      {"", 1},    {"nope", 1}, {"00", 1},   {"falsely", 1}, {"1", 1}, {"on", 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(TruthOf(c.value), c.want);
  }
}

TEST_F(CommandLineTest, FlagOptionsTakeTheTruthOfTheirValue) {
  constexpr struct {
    std::string_view text;
    int hyperlinks, face, tables, images, image_format;
  } kCases[] = {
      {"-kh yes -kf no", 1, 0, 1, 0, 0},
      {"-kh 0 -kf free", 0, 0, 1, 0, 0},
      {"-kh off -kf FREE", 0, 0, 1, 0, 0},
      {"-kh on -kf false -table off", 1, 0, 0, 0, 0},
      {"-table no -image yes", 0, 1, 0, 1, 0},
      {"-table free -image no", 0, 1, 0, 0, 0},
      {"-kh -kf", 1, 1, 1, 0, 0},  // "-kf" is read as the value of -kh
      {"-wmf yes -image yes", 0, 1, 1, 1, 1},
      {"-wmf no page.html", 0, 1, 1, 0, 0},
      {"-wmf 0", 0, 1, 1, 0, 0},
      {"-wmf 1 -image true", 0, 1, 1, 1, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    const CommandLineRecord r = Parse(c.text);
    EXPECT_EQ(r.options.keep_hyperlinks, c.hyperlinks);
    EXPECT_EQ(r.options.keep_font_face, c.face);
    EXPECT_EQ(r.convert_tables, c.tables);
    EXPECT_EQ(r.convert_images, c.images);
    EXPECT_EQ(r.options.image_format, c.image_format);
  }
}

TEST_F(CommandLineTest, ValueOptions) {
  CommandLineRecord r = Parse(
      "-size 12 -language Russian -align center -encoding UTF-8 -border visible -ktw no "
      "-knt no -ks no -kc no -ka no -txt no");
  EXPECT_EQ(FieldText(r.options.font_size), "12");
  EXPECT_EQ(FieldText(r.options.rtf_language), "Russian");
  EXPECT_EQ(FieldText(r.options.page_alignment), "center");
  EXPECT_EQ(r.encoding_name, "(UTF-8) Unicode");
  EXPECT_EQ(r.options.table_border, 1);
  EXPECT_EQ(r.options.keep_table_width, 0);
  EXPECT_EQ(r.options.keep_nested_tables, 0);
  EXPECT_EQ(r.options.keep_font_size, 0);
  EXPECT_EQ(r.options.keep_font_color, 0);
  EXPECT_EQ(r.options.keep_alignment, 0);
  EXPECT_EQ(r.output_kind, 0);  // "-txt no" still selects plain text
  EXPECT_EQ(r.input_file, "");  // every value was consumed

  r = Parse("-border \"As In HTML\" -encoding bogus");
  EXPECT_EQ(r.options.table_border, 2);
  EXPECT_EQ(r.encoding_name, "Auto-Select");

  // Unquoted, the border value is "as"; the other two words are paths.
  r = Parse("-border as in html");
  EXPECT_EQ(r.options.table_border, 0);
  EXPECT_EQ(r.input_file, "in");
  EXPECT_EQ(r.out_folder, "html");

  // Fields are cut to their widths.
  r = Parse("-size 1234567890123 -language abcdefghijklmnopqrstuvwxyz -align justified-text");
  EXPECT_EQ(FieldText(r.options.font_size), "123456789");
  EXPECT_EQ(FieldText(r.options.rtf_language), "abcdefghijklmnopqrs");
  EXPECT_EQ(FieldText(r.options.page_alignment), "justified");
}

TEST(OptionValues, Encodings) {
  constexpr struct { std::string_view value, want; } kCases[] = {
      {"windows-1250", "(Windows-1250) European"}, {"Windows-1251", "(Windows-1251) Cyrillic"},
      {"windows-1252", "(Windows-1252) European"}, {"windows-1253", "(Windows-1253) Greek"},
      {"windows-1254", "(Windows-1254) Turkish"},  {"windows-1255", "(Windows-1255) Hebrew"},
      {"windows-1256", "(Windows-1256) Arabic"},   {"windows-1257", "(Windows-1257) Baltic"},
      {"windows-1258", "(Windows-1258) European"}, {"KOI8-R", "(KOI8-R) Cyrillic"},
      {"latin1", "(ISO-8859-1) Latin1"},           {"utf-8", "(UTF-8) Unicode"},
      {"utf8", "Auto-Select"},                     {"", "Auto-Select"},
      {"EUC-KR", "EUC-KR"},                        {"shift_jis", "shift_jis"},
      {"iso-8859-2", "iso-8859-2"},                {"no-such-set", "Auto-Select"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(LookupEncoding(c.value), c.want);
  }
}

TEST_F(CommandLineTest, MarginsInMillimetres) {
  constexpr struct { std::string_view value; int want; } kCases[] = {
      {"10", 567},     {"0", 720},      {"200", 720},  // out of range keeps the default
      {"126", 7144},   {"127", 720},    {"-5", 720},   {"abc", 720},
      {"1", 56},       {"10mm", 567},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value);
    const CommandLineRecord r = Parse("-ml " + std::string(c.value));
    EXPECT_EQ(r.options.margin_left, c.want);
  }
  const CommandLineRecord r = Parse("-mr 20 -mt 30 -mb 40");
  EXPECT_EQ(r.options.margin_right, 1134);
  EXPECT_EQ(r.options.margin_top, 1701);
  EXPECT_EQ(r.options.margin_bottom, 2268);
  EXPECT_EQ(r.options.margin_left, 720);
}

TEST_F(CommandLineTest, PaperSizes) {
  constexpr struct { std::string_view value; int width, height; } kCases[] = {
      {"A3", 16839, 23814},       {"a4", 11907, 16839},     {"A5", 8392, 11907},
      {"b5", 9979, 14175},        {"LETTER", 12240, 15840}, {"Legal", 12240, 20160},
      {"Executive", 10438, 15122}, {"monarh", 5579, 10801}, {"Monarch", 12240, 15840},
      {"", 12240, 15840},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value);
    const CommandLineRecord r = Parse("-psize \"" + std::string(c.value) + "\"");
    EXPECT_EQ(r.options.paper_width, c.width);
    EXPECT_EQ(r.options.paper_height, c.height);
  }
  // Without -psize the start-up A4 is one twip smaller each way.
  const CommandLineRecord r = Parse("a.html");
  EXPECT_EQ(r.options.paper_width, 11906);
  EXPECT_EQ(r.options.paper_height, 16838);
}

TEST_F(CommandLineTest, LongArgumentsAreTakenWhole) {
  // Options past the 260th character count, and no name is cut to 259 characters.
  const std::string long_name = std::string(300, 'p') + ".html";
  const std::string long_out = "out/" + std::string(400, 'o') + ".rtf";
  const CommandLineRecord r = Parse(long_name + " " + long_out + " -kf no -face Georgia");
  EXPECT_EQ(r.input_file, long_name);
  EXPECT_EQ(r.out_folder, long_out);
  EXPECT_EQ(r.options.keep_font_face, 0);
  EXPECT_EQ(FieldText(r.options.font_face), "Georgia");
}

TEST_F(CommandLineTest, RunLogDateAndSettingsDump) {
  (void)Parse("page.html outdir -kh yes -face \"Courier New\" -border visible -table no");
  const std::string log = Log();
  const std::size_t first_line = log.find("\r\n");
  ASSERT_NE(first_line, std::string::npos);
  EXPECT_TRUE(std::regex_match(log.substr(0, first_line),
                               std::regex(R"(Date: \d+/\d+/\d{4} Time: \d+:\d+:\d+)")));
  EXPECT_EQ(log.substr(first_line + 2),
            "---------------------------------------\r\n"
            "INPUT FILE: page.html\r\n"
            "OUT FOLDER: outdir\r\n"
            "CONVERT TABLES: 0\r\n"
            "CONVERT IMAGES: 0\r\n"
            "FONT FACE: Courier New\r\n"
            "FONT SIZE: 10\r\n"
            "PAGE ALIGNMENT: justify\r\n"
            "KEEP HYPERLINKS: 1\r\n"
            "KEEP FONT FACE AS IN HTML: 1\r\n"
            "KEEP FONT SIZE AS IN HTML: 1\r\n"
            "KEEP FONT COLOR AS IN HTML: 1\r\n"
            "KEEP ALIGNMENT AS IN HTML: 1\r\n"
            "KEEP TABLE WIDTH: 1\r\n"
            "KEEP NESTED TABLES: 1\r\n"
            "RTF LANGUAGE: English\r\n"
            "TABLE BORDER: Visible\r\n"
            "---------------------------------------\r\n");
}

TEST_F(CommandLineTest, UnwritableLogDoesNotStopParsing) {
  log_ = folder_ + "no/such/folder/velmorane.log";
  const CommandLineRecord r = Parse("page.html -kh yes");
  EXPECT_EQ(r.input_file, "page.html");
  EXPECT_EQ(r.options.keep_hyperlinks, 1);
}

TEST_F(CommandLineTest, ConfigurationFile) {
  const std::string cfg = folder_ + "run.cfg";
  WriteBytes(cfg,
             "input file: C:\\pages\\a.htm\r\n"
             "Out Folder: \"/tmp/my out\"\n"
             "convert tables: no\n"
             "convert images: yes\n"
             "font face: Times New Roman\n"
             "font size: 14\n"
             "page alignment: right\n"
             "rtf language: German\n"
             "table border: as in html\n"
             "keep hyperlinks: yes\n"
             "keep font face as in html: no\n"
             "KEEP NESTED TABLES: free\n"
             "Margin left: 10\n"
             "margin bottom: 200\n"
             "Page size: A5\n"
             "colour: red\n");
  // Tokens after the configuration file are ignored, paths included.
  const CommandLineRecord r = Parse("-kc no " + cfg + " later.html -ks no");
  EXPECT_EQ(r.input_file, "C:\\pages\\a.htm");
  EXPECT_EQ(r.out_folder, "/tmp/my out");
  EXPECT_EQ(r.convert_tables, 0);
  EXPECT_EQ(r.convert_images, 1);
  EXPECT_EQ(FieldText(r.options.font_face), "Times New Roman");
  EXPECT_EQ(FieldText(r.options.font_size), "14");
  EXPECT_EQ(FieldText(r.options.page_alignment), "right");
  EXPECT_EQ(FieldText(r.options.rtf_language), "German");
  EXPECT_EQ(r.options.table_border, 2);
  EXPECT_EQ(r.options.keep_hyperlinks, 1);
  EXPECT_EQ(r.options.keep_font_face, 0);
  EXPECT_EQ(r.options.keep_nested_tables, 0);
  EXPECT_EQ(r.options.keep_font_color, 0);  // before the file: still parsed
  EXPECT_EQ(r.options.keep_font_size, 1);   // after the file: ignored
  EXPECT_EQ(r.options.margin_left, 567);
  EXPECT_EQ(r.options.margin_bottom, 720);
  EXPECT_EQ(r.options.paper_width, 8392);
  EXPECT_EQ(r.options.paper_height, 11907);

  const std::string log = Log();
  EXPECT_NE(log.find("\r\nReading a CFG-file\r\nUnknown - colour: red, seek colour\r\n----"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("TABLE BORDER: As in HTML\r\n"), std::string::npos);
}

TEST_F(CommandLineTest, ConfigurationValueStartsAfterBlankOrColon) {
  constexpr struct { std::string_view line, want; } kCases[] = {
      {"input file: C:\\a.htm", "C:\\a.htm"},
      {"input file:C:\\a.htm", "\\a.htm"},  // the value starts after the next colon
      {"input file:page.html", ""},         // no blank or colon: nothing
      {"input file:  page.html", " page.html"},  // the value starts at the second blank
      {"input file: \"a b.htm\" rest", "a b.htm"},
      {"input file: a b.htm", "a b.htm"},   // unquoted, the value runs to the line end
      {"input file:", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.line);
    WriteBytes(folder_ + "one.cfg", std::string(c.line) + "\n");
    const CommandLineRecord r = Parse(folder_ + "one.cfg");
    EXPECT_EQ(r.input_file, c.want);
  }
}

TEST_F(CommandLineTest, OnlyARegularFileIsAConfigurationFile) {
  // A missing file or a folder named *.cfg is a path like any other; the old reading of
  // a folder as configuration ran out of memory.
  fs::create_directories(folder_ + "dir.cfg");
  for (const std::string& name : {folder_ + "missing.cfg", folder_ + "dir.cfg"}) {
    SCOPED_TRACE(name);
    const CommandLineRecord r = Parse(name + " page.html");
    EXPECT_EQ(r.input_file, name);
    EXPECT_EQ(r.out_folder, "page.html");
    EXPECT_EQ(Log().find("CFG-file"), std::string::npos);
  }
  // ".cfg" inside a name is no configuration file either.
  WriteBytes(folder_ + "a.cfg.html", "<p>x</p>");
  EXPECT_EQ(Parse(folder_ + "a.cfg.html").input_file, folder_ + "a.cfg.html");

  // Read directly, a folder is refused with the log line of a file that cannot be opened.
  CommandLineRecord record = DefaultCommandLine();
  std::string log_text;
  EXPECT_EQ(ReadConfigFile(folder_ + "dir.cfg", record, log_text), 0);
  EXPECT_EQ(log_text, "Can't open " + folder_ + "dir.cfg file.\n");
}

TEST_F(CommandLineTest, LongConfigurationLineIsReadOnce) {
  // One line of 2 MB without a line end: read in pieces of 259 characters, each reported
  // as an unknown key. Looking for the line end over the whole rest for every piece made
  // this quadratic.
  const std::string cfg = folder_ + "long.cfg";
  WriteBytes(cfg, std::string(2 << 20, 'k') + "\ninput file: page.html\n");
  CommandLineRecord record = DefaultCommandLine();
  std::string log_text;
  std::vector<std::string> warnings;
  ASSERT_EQ(ReadConfigFile(cfg, record, log_text, &warnings), 1);
  EXPECT_EQ(warnings.size(), ((2u << 20) + 258) / 259);
  EXPECT_EQ(record.input_file, "page.html");
}

TEST_F(CommandLineTest, RunWritesTheOutcome) {
  WriteBytes(folder_ + "page.html", "<p>Hello</p>\n");
  WriteBytes(folder_ + "empty.html", "");
  constexpr struct {
    std::string_view name, input, out, options;
    ConvertResult want;
    std::string_view outcome, output, message;
  } kCases[] = {
      {"missing input", "missing.html", "", "", ConvertResult::kCannotOpenInput,
       "Error! Can't open {}missing.html file.\r\n", "",
       "velmorane: cannot open input file {}missing.html: no such file (status 4)\n"},
      {"empty input", "empty.html", "", "", ConvertResult::kInputEmpty,
       "Error! HTML file is empty\r\n", "",
       "velmorane: input file {}empty.html is empty (status 5)\n"},
      {"output folder that cannot be made", "page.html", "nowhere/x", "", ConvertResult::kCannotCreateOutput,
       "Error! Can't create output file (maybe file has open another application)\r\n", "",
       "velmorane: cannot create output file {}nowhere/x/page.rtf (status 3)\n"},
      {"output file in a folder that cannot be made", "page.html", "nowhere/x.TXT", " -txt no",
       ConvertResult::kCannotCreateOutput,
       "Error! Can't create output file (maybe file has open another application)\r\n", "",
       "velmorane: cannot create output file {}nowhere/x.TXT (status 3)\n"},
      {"plain text", "page.html", "", " -txt no", ConvertResult::kDone,
       "Converted successfully!\r\nEnd of converting in: ", "page.txt", ""},
      {"RTF", "page.html", "", "", ConvertResult::kDone,
       "Converted successfully!\r\nEnd of converting in: ", "page.rtf", ""},
  };
  const auto in_folder = [this](std::string_view text) {
    std::string filled(text);
    if (const std::size_t at = filled.find("{}"); at != std::string::npos) {
      filled.replace(at, 2, folder_);
    }
    return filled;
  };
  // A missing output folder is made; one whose parent is a plain file cannot be.
  ASSERT_TRUE(WriteBinaryFile(folder_ + "nowhere", "a file, not a folder"));
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string text = folder_ + std::string(c.input) + " " + folder_ +
                             std::string(c.out) + std::string(c.options);
    CommandLineRecord record = DefaultCommandLine();
    ParseCommandLine(text, record, log_);
    Engine engine;
    const ConvertResult result = RunConversion(record, engine, log_);
    EXPECT_EQ(result, c.want);
    EXPECT_EQ(FailureMessage(result, record), in_folder(c.message));
    const std::string outcome = in_folder(c.outcome);
    const std::string log = Log();
    const std::size_t begin = log.find("-\r\nBegin converting in: ");
    ASSERT_NE(begin, std::string::npos) << log;
    const std::size_t line_end = log.find("\r\n", begin + 3);
    EXPECT_EQ(log.substr(line_end + 2, outcome.size()), outcome);
    if (c.want != ConvertResult::kDone) {
      EXPECT_EQ(log.size(), line_end + 2 + outcome.size());  // the outcome ends the log
    }
    if (!c.output.empty()) {
      EXPECT_TRUE(fs::is_regular_file(folder_ + std::string(c.output)));
    }
  }
}

TEST(OptionValues, ReadOptionValueCounts) {
  constexpr struct {
    std::string_view text;
    std::size_t position;
    std::string_view want;
    std::size_t consumed, start;
  } kCases[] = {
      {"-face Arial -size", 5, "Arial", 5, 6},
      {"-face \"Times New\" x", 5, "Times New", 11, 6},
      {"-face \"unclosed", 5, "unclosed", 10, 6},
      {"-face \"\" next", 5, "\" next", 8, 6},  // the first quoted character is literal
      {"-face", 5, "", 0, 6},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    std::string value;
    std::size_t consumed = 99;
    std::size_t start = 0;
    ReadOptionValue(c.text, c.position, value, ' ', consumed, &start);
    EXPECT_EQ(value, c.want);
    EXPECT_EQ(consumed, c.consumed);
    EXPECT_EQ(start, c.start);
  }
}

}  // namespace
}  // namespace velmorane

namespace velmorane {
namespace {

TEST_F(CommandLineTest, AnInputThatDoesNotOpenIsToldWhy) {
  fs::create_directories(folder_ + "dir.html");
  const struct {
    std::string_view input, reason;
  } kCases[] = {
      {"missing.html", "no such file"},
      {"dir.html", "is a folder"},
      {"missing/page.html", "no such file"},
  };
  for (const auto& c : kCases) {
    CommandLineRecord record = DefaultCommandLine();
    record.input_file = folder_ + std::string(c.input);
    EXPECT_EQ(FailureMessage(ConvertResult::kCannotOpenInput, record),
              "velmorane: cannot open input file " + record.input_file + ": " +
                  std::string(c.reason) + " (status 4)\n");
  }
}

}  // namespace
}  // namespace velmorane

namespace velmorane {
namespace {

// Two records are the same conversion when every byte of them is.
bool SameRecord(const ConversionOptions& a, const ConversionOptions& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(StartingOptions, TheWindowStartsFromTheCommandLinesOptions) {
  ::unsetenv("VELMORANE_WINDOW_CLASSIC");
  ConversionOptions window = DialogDefaultOptions();
  const ConversionOptions command_line = DefaultCommandLine().options;
  EXPECT_EQ(FieldText(window.max_line_width), "80");  // shown in the dialog; 80 is the default
  SetField(window.max_line_width, FieldText(command_line.max_line_width));
  EXPECT_TRUE(SameRecord(window, command_line));
  EXPECT_EQ(window.paper_width, 11906);
  EXPECT_EQ(FieldText(window.page_alignment), "justify");

  // VELMORANE_WINDOW_CLASSIC=1 gives the window's former defaults.
  ::setenv("VELMORANE_WINDOW_CLASSIC", "1", 1);
  const ConversionOptions classic = DialogDefaultOptions();
  ::unsetenv("VELMORANE_WINDOW_CLASSIC");
  EXPECT_EQ(classic.paper_width, 12240);
  EXPECT_EQ(FieldText(classic.page_alignment), "left");
  EXPECT_EQ(classic.margin_bottom, 1440);
  EXPECT_EQ(classic.keep_font_face, 0);
}

}  // namespace
}  // namespace velmorane
