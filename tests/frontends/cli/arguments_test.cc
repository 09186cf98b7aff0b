// The arguments as the shell passes them: errors, help and version, pipes, the run log
// and the options that follow Unix habits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontends/cli/command_line.h"

namespace velmorane {
namespace {

using Action = ParsedArguments::Action;

TEST(Arguments, ErrorsNameTheArgument) {
  const struct {
    std::string_view name;
    std::vector<std::string> arguments;
    std::string_view error;
  } kCases[] = {
      {"a typo in an option", {"page.html", "-imgae", "yes"},
       "unknown option -imgae (velmorane --help lists the options)"},
      {"an option of another program", {"--output=x", "page.html"},
       "unknown option --output=x (velmorane --help lists the options)"},
      {"an option at the end without its value", {"page.html", "-face"},
       "option -face needs a value"},
      {"a flag without its value", {"page.html", "-table"}, "option -table needs a value"},
      {"a second output path", {"page.html", "a.rtf", "b.rtf"},
       "more than one output: a.rtf and b.rtf (give one output file or folder)"},
      {"a second -o", {"page.html", "-o", "a.rtf", "-o", "out/"},
       "more than one output: a.rtf and out/ (give one output file or folder)"},
      {"an output path and -o", {"-o", "a.rtf", "page.html", "out"},
       "more than one output: a.rtf and out (give one output file or folder)"},
      {"standard input into a folder", {"-", "outdir"},
       "standard input has no name: give an output file (-o NAME.rtf) or - for standard "
       "output"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CommandLineRecord record = DefaultCommandLine();
    const ParsedArguments parsed = ParseArguments(c.arguments, record);
    EXPECT_EQ(parsed.action, Action::kError);
    EXPECT_EQ(parsed.error, c.error);
  }
}

TEST(Arguments, HelpAndVersionWinAmongTheOptions) {
  const struct {
    std::vector<std::string> arguments;
    Action want;
  } kCases[] = {
      {{"--help"}, Action::kHelp},
      {{"page.html", "-h", "-imgae"}, Action::kHelp},
      {{"--version"}, Action::kVersion},
      {{"-kh", "yes", "--version"}, Action::kVersion},
      {{"--", "--help"}, Action::kConvert},  // a file named --help
  };
  for (const auto& c : kCases) {
    CommandLineRecord record = DefaultCommandLine();
    EXPECT_EQ(ParseArguments(c.arguments, record).action, c.want);
  }
}

TEST(Arguments, StreamsOutputsLogAndVerbosity) {
  const struct {
    std::string_view name;
    std::vector<std::string> arguments;
    std::string_view input, output;
    int output_kind, verbosity;
    std::string_view log;
  } kCases[] = {
      {"standard input alone writes standard output", {"-"}, "-", "-", 2, 1, "velmorane.log"},
      {"-o - writes standard output", {"page.html", "-o", "-"}, "page.html", "-", 2, 1,
       "velmorane.log"},
      {"standard input into a named file", {"-", "-o", "x.RTF"}, "-", "x.RTF", 2, 1,
       "velmorane.log"},
      {"-o name.txt writes plain text", {"page.html", "-o", "out/x.TXT"}, "page.html",
       "out/x.TXT", 0, 1, "velmorane.log"},
      {"the parser alone reads a .txt output without -o as RTF", {"page.html", "x.txt"},
       "page.html", "x.txt", 2, 1, "velmorane.log"},
      {"the same output twice is one output", {"page.html", "x.rtf", "-o", "x.rtf"},
       "page.html", "x.rtf", 2, 1, "velmorane.log"},
      {"-q and -log FILE", {"-q", "page.html", "-log", "my.log"}, "page.html", "", 2, 0,
       "my.log"},
      {"-v and -log none", {"page.html", "-v", "-log", "NONE"}, "page.html", "", 2, 2, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CommandLineRecord record = DefaultCommandLine();
    const ParsedArguments parsed = ParseArguments(c.arguments, record);
    ASSERT_EQ(parsed.action, Action::kConvert) << parsed.error;
    EXPECT_EQ(record.input_file, c.input);
    EXPECT_EQ(record.out_folder, c.output);
    EXPECT_EQ(record.output_kind, c.output_kind);
    EXPECT_EQ(record.verbosity, c.verbosity);
    EXPECT_EQ(record.log_path, c.log);
  }
}

TEST(Arguments, DownloadsAndFlatTreesAreOffUnlessAsked) {
  CommandLineRecord record = DefaultCommandLine();
  ASSERT_EQ(ParseArguments({"site"}, record).action, Action::kConvert);
  EXPECT_EQ(record.options.download_images, 0);
  EXPECT_FALSE(record.flat);
  record = DefaultCommandLine();
  ASSERT_EQ(ParseArguments({"site", "-download", "yes", "-flat", "on"}, record).action,
            Action::kConvert);
  EXPECT_EQ(record.options.download_images, 1);
  EXPECT_TRUE(record.flat);
  record = DefaultCommandLine();
  ASSERT_EQ(ParseArguments({"site", "-download", "off", "-flat", "0"}, record).action,
            Action::kConvert);
  EXPECT_EQ(record.options.download_images, 0);
  EXPECT_FALSE(record.flat);
}

TEST(Arguments, ValuesAnOptionDoesNotTakeAreErrors) {
  const struct {
    std::vector<std::string> arguments;
    std::string_view error;  // empty: accepted
  } kCases[] = {
      {{"p.html", "-size", "abc"}, "option -size takes a font size in points from 1 to 200, not \"abc\""},
      {{"p.html", "-size", "0"}, "option -size takes a font size in points from 1 to 200, not \"0\""},
      {{"p.html", "-size", "201"}, "option -size takes a font size in points from 1 to 200, not \"201\""},
      {{"p.html", "-size", "12."}, "option -size takes a font size in points from 1 to 200, not \"12.\""},
      {{"p.html", "-size", "10.5", "-size", "200"}, ""},
      {{"p.html", "-align", "zigzag"}, "option -align takes justify, center, right or left, not \"zigzag\""},
      {{"p.html", "-align", "Centre", "-align", "LEFT"}, ""},
      {{"site", "-jobs", "65"}, "option -jobs takes a number of files from 1 to 64 (0: one per processor core), not \"65\""},
      {{"site", "-jobs", "-1"}, "option -jobs takes a number of files from 1 to 64 (0: one per processor core), not \"-1\""},
      {{"site", "-jobs", "0", "-jobs", "64"}, ""},
      {{"p.html", "-psize", "Foo"}, "option -psize takes A3, A4, A5, B5, Letter, Legal, Executive or Monarh, not \"Foo\""},
      {{"p.html", "-psize", "letter"}, ""},
      {{"p.html", "-image", "maybe"}, "option -image takes yes or no (also on/off, true/false, 1/0), not \"maybe\""},
      {{"p.html", "-image", "YES", "-kh", "off", "-table", "0", "-wmf", "free"}, ""},
      {{"p.html", "-ml", "-5"}, "option -ml takes a margin in whole millimetres from 1 to 126, not \"-5\""},
      {{"p.html", "-mb", "127"}, "option -mb takes a margin in whole millimetres from 1 to 126, not \"127\""},
      {{"p.html", "-mt", "126", "-mr", "1"}, ""},
      {{"p.html", "-border", "thick"}, "option -border takes \"as in html\", visible or invisible, not \"thick\""},
      {{"p.html", "-border", "As In HTML"}, ""},
      {{"p.html", "-encoding", "bogus"}, "option -encoding takes windows-1250 ... windows-1258, koi8-r, latin1, utf-8, auto, or a character set the C library decodes (euc-kr, shift_jis, iso-8859-2 ...), not \"bogus\""},
      {{"p.html", "-encoding", "KOI8-R", "-encoding", "euc-kr", "-encoding", "auto"}, ""},
      {{"p.html", "-language", "Russian", "-language", "simplifiedchinese"}, ""},
      {{"p.html", "-face", "", "-o", "-", "-log", "none"}, ""},
      // The first bad value is the one named; a value after -- or -strict no is not read.
      {{"p.html", "-size", "x", "-align", "y"}, "option -size takes a font size in points from 1 to 200, not \"x\""},
      {{"p.html", "-strict", "no", "-size", "abc", "-psize", "Foo", "-jobs", "99"}, ""},
      {{"p.html", "-strict", "perhaps"}, "option -strict takes yes or no (also on/off, true/false, 1/0), not \"perhaps\""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.arguments[1] + " " + c.arguments[2]);
    CommandLineRecord record = DefaultCommandLine();
    ASSERT_EQ(ParseArguments(c.arguments, record).action, Action::kConvert);
    EXPECT_EQ(CheckOptionValues(c.arguments, record), c.error);
  }
  CommandLineRecord record = DefaultCommandLine();
  const std::vector<std::string> language = {"p.html", "-language", "Klingon"};
  ASSERT_EQ(ParseArguments(language, record).action, Action::kConvert);
  EXPECT_TRUE(CheckOptionValues(language, record).starts_with(
      "option -language takes Albanian, Belgian, "));
}

TEST(Arguments, TextOutputFollowsTheOutputNameUnlessTxtSays) {
  const struct {
    std::vector<std::string> arguments;
    int output_kind;  // 0 plain text, 2 RTF
  } kCases[] = {
      {{"p.html", "x.txt"}, 0},
      {{"p.html", "out/X.TXT"}, 0},
      {{"p.html", "x.txt", "-txt", "no"}, 2},
      {{"p.html", "-o", "x.txt", "-txt", "off"}, 2},
      {{"p.html", "x.rtf", "-txt", "yes"}, 0},
      {{"p.html", "x.rtf"}, 2},
      {{"p.html", "out"}, 2},
      {{"p.html", "x.txt", "-strict", "no"}, 2},          // as older versions did
      {{"p.html", "-txt", "no", "-strict", "no"}, 0},     // any value of -txt
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.arguments.back());
    CommandLineRecord record = DefaultCommandLine();
    ASSERT_EQ(ParseArguments(c.arguments, record).action, Action::kConvert);
    ASSERT_EQ(CheckOptionValues(c.arguments, record), "");
    EXPECT_EQ(record.output_kind, c.output_kind);
  }
}

TEST(Arguments, SplitLikeAShell) {
  const struct {
    std::string_view text;
    std::vector<std::string> want;
  } kCases[] = {
      {"a.html -face \"Times New Roman\" out", {"a.html", "-face", "Times New Roman", "out"}},
      {"  a   b ", {"a", "b"}},
      {"-psize \"\"", {"-psize", ""}},
      {"", {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(SplitArgumentText(c.text), c.want);
  }
}

}  // namespace
}  // namespace velmorane
