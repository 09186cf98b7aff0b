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
      {"a .txt output without -o keeps today's RTF", {"page.html", "x.txt"}, "page.html",
       "x.txt", 2, 1, "velmorane.log"},
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
