// ConvertHtmlFile from file to file: output naming, result codes, the trace log, text
// mode, brace balancing and progress.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "rtf/conversion.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;

namespace fs = std::filesystem;

std::vector<std::string> SplitCrLfLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end = bytes.find("\r\n"); end != std::string::npos;
       end = bytes.find("\r\n", start)) {
    lines.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  if (start < bytes.size()) lines.push_back(bytes.substr(start));  // an unterminated rest
  return lines;
}

// Runs every test inside a fresh temporary folder, the current directory meanwhile.
class PipelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    folder_ = velmorane::testing::MakeTempFolder();
    fs::current_path(folder_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    std::error_code error;
    fs::remove_all(folder_, error);
  }

  ConvertResult Run(std::string& input, std::string& target, int mode = kModeRtfTables,
                    bool keep_existing = false, ConversionOptions options =
                                                    velmorane::testing::DefaultOptions()) {
    ConvertRequest request;
    request.output_mode = mode;
    request.keep_existing_output = keep_existing;
    return engine_.ConvertHtmlFile(input, target, request, options, settings_);
  }

  std::string folder_;  // ends with "/"
  fs::path previous_;
  Engine engine_;
  EngineSettings settings_ = velmorane::testing::DefaultSettings();
};

constexpr std::string_view kPage = "<html><body><p>Hello</p></body></html>\n";

TEST_F(PipelineTest, OutputFileNaming) {
  constexpr struct {
    std::string_view name, input, target, extension;
    int mode;
    std::string_view want;  // relative to the test folder
  } kCases[] = {
      {"folder with separator", "page.html", "out/", ".rtf", kModeRtfTables, "out/page.rtf"},
      {"folder without separator gets one", "page.html", "out", ".rtf", kModeRtfTables,
       "out/page.rtf"},
      {"backslash separator", "page.html", "out\\", ".rtf", kModeRtfTables, "out/page.rtf"},
      {"upper-case .RTF is a file name", "page.html", "out/Doc.RTF", ".rtf", kModeRtfTables,
       "out/Doc.RTF"},
      {"six characters ending in .rtf are a file name", "page.html", "ab.rtf", ".rtf",
       kModeRtfTables, "ab.rtf"},
      {".rtf alone is a folder", "page.html", ".rtf", ".rtf", kModeRtfTables, ".rtf/page.rtf"},
      {"five characters are a file name too", "page.html", "a.rtf", ".rtf", kModeRtfTables,
       "a.rtf"},
      {"a short name in a folder is a file name", "page.html", "out/f.txt", ".rtf",
       kModeRtfTables, "out/f.txt"},
      {".rtf alone in a folder is a folder", "page.html", "out/.rtf", ".rtf", kModeRtfTables,
       "out/.rtf/page.rtf"},
      {".txt target in RTF mode is a file name", "page.html", "out/x.TXT", ".rtf",
       kModeRtfTables, "out/x.TXT"},
      {".doc target is a file name", "page.html", "out/x.doc", ".rtf", kModeRtfTables,
       "out/x.doc"},
      {"input name without a dot", "readme", "out", ".rtf", kModeRtfTables, "out/readme.rtf"},
      {"dot in the folder only", "d.x/readme", "out", ".rtf", kModeRtfTables,
       "out/readme.rtf"},
      {"only the last extension is replaced", "my.page.html", "out", ".rtf", kModeRtfTables,
       "out/my.page.rtf"},
      {".doc extension", "page.html", "out", ".doc", kModeRtfTables, "out/page.doc"},
      {"unknown extension in RTF mode", "page.html", "out", "rtf", kModeRtfTables,
       "out/page.rtf"},
      {"unknown extension in text mode", "page.html", "out", ".htm", kModePlainText,
       "out/page.txt"},
      {"text extension kept in text mode", "page.html", "out", ".txt", kModePlainText,
       "out/page.txt"},
      {"no target writes into the current folder", "page.html", "", ".rtf", kModeRtfTables,
       "page.rtf"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(folder_ + "out");
    fs::create_directories(folder_ + "out");
    fs::create_directories(folder_ + ".rtf");
    fs::create_directories(folder_ + "out/.rtf");
    WriteBytes(folder_ + std::string(c.input), kPage);
    ConversionOptions options = velmorane::testing::DefaultOptions();
    SetField(options.output_extension, c.extension);
    std::string input(c.input);
    std::string target(c.target);
    EXPECT_EQ(Run(input, target, c.mode, false, options), ConvertResult::kDone);
    EXPECT_TRUE(fs::is_regular_file(folder_ + std::string(c.want)));
    std::error_code error;
    fs::remove(folder_ + std::string(c.want), error);
  }
}

TEST_F(PipelineTest, InputPathSeparatorsAreRewrittenInPlace) {
  WriteBytes(folder_ + "sub/page.html", kPage);
  std::string input = "sub\\page.html";
  std::string target = folder_ + "out";
  fs::create_directories(target);
  EXPECT_EQ(Run(input, target), ConvertResult::kDone);
  EXPECT_EQ(input, "sub/page.html");
  EXPECT_TRUE(fs::exists(folder_ + "out/page.rtf"));
}

TEST_F(PipelineTest, ResultCodes) {
  WriteBytes(folder_ + "page.html", kPage);
  WriteBytes(folder_ + "empty.html", "");
  fs::create_directories(folder_ + "out");
  fs::create_directories(folder_ + "dir.html");
  constexpr struct {
    std::string_view name, input, target;
    ConvertResult want;
    std::string_view output;  // the file that must (or, when not created, must not) exist
    bool created;
  } kCases[] = {
      {"converted", "page.html", "out", ConvertResult::kDone, "out/page.rtf", true},
      {"missing input creates nothing", "missing.html", "out", ConvertResult::kCannotOpenInput,
       "out/missing.rtf", false},
      {"a folder is not an input", "dir.html", "out", ConvertResult::kCannotOpenInput,
       "out/dir.rtf", false},
      {"empty input writes no output", "empty.html", "out", ConvertResult::kInputEmpty,
       "out/empty.rtf", false},
      {"missing output folder", "page.html", "nowhere/deeper", ConvertResult::kCannotCreateOutput,
       "nowhere/deeper/page.rtf", false},
      {"output that is a folder", "page.html", "out/sub.rtf", ConvertResult::kCannotCreateOutput,
       "out/sub.rtf/page.rtf", false},
  };
  fs::create_directories(folder_ + "out/sub.rtf");
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string input(c.input);
    std::string target(c.target);
    EXPECT_EQ(Run(input, target), c.want);
    const std::string output = folder_ + std::string(c.output);
    EXPECT_EQ(fs::is_regular_file(output), c.created);
  }
}

TEST_F(PipelineTest, OutputThatIsTheInputIsRefusedUntouched) {
  // Named directly, and reached through the folder route with the input's own extension.
  const std::string page = "<p>precious</p>";
  WriteBytes(folder_ + "in/page.rtf", page);
  ConversionOptions options = velmorane::testing::DefaultOptions();
  for (std::string_view target_text : {"in/page.rtf", "in", "./in/../in/page.rtf"}) {
    SCOPED_TRACE(target_text);
    std::string input = "in/page.rtf";
    std::string target(target_text);
    EXPECT_EQ(Run(input, target, kModeRtfTables, false, options),
              ConvertResult::kCannotCreateOutput);
    EXPECT_EQ(ReadBytes(folder_ + "in/page.rtf"), page);
  }
}

TEST_F(PipelineTest, KeepExistingOutput) {
  WriteBytes(folder_ + "page.html", kPage);
  WriteBytes(folder_ + "out/page.rtf", "old");
  std::string input = "page.html";
  std::string target = "out";
  EXPECT_EQ(Run(input, target, kModeRtfTables, true), ConvertResult::kOutputExists);
  EXPECT_EQ(ReadBytes(folder_ + "out/page.rtf"), "old");
  EXPECT_EQ(target, "out/page.rtf");  // the name that would have been written

  target = "out";
  EXPECT_EQ(Run(input, target, kModeRtfTables, false), ConvertResult::kDone);
  EXPECT_NE(ReadBytes(folder_ + "out/page.rtf"), "old");
  EXPECT_EQ(target, "out");

  // The flag alone does not stop a conversion whose output is new.
  std::string fresh_target = "fresh.rtf";
  EXPECT_EQ(Run(input, fresh_target, kModeRtfTables, true), ConvertResult::kDone);
}

TEST_F(PipelineTest, OutputIsWrittenInTextModeWithBalancedBraces) {
  WriteBytes(folder_ + "page.html", "<p>{one\r\n{two}\n<b>\\{three</b>\r\n");
  for (int mode : {kModePlainText, kModeRtfNoTables, kModeRtfTables}) {
    SCOPED_TRACE(mode);
    std::string input = "page.html";
    std::string target = "out.rtf";
    ASSERT_EQ(Run(input, target, mode), ConvertResult::kDone);
    const std::string bytes = ReadBytes(folder_ + "out.rtf");
    for (std::size_t i = bytes.find('\n'); i != std::string::npos; i = bytes.find('\n', i + 1)) {
      ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare line feed at " << i;
    }
    if (mode == kModePlainText) continue;  // text output is not an RTF group
    std::string balanced = bytes;
    BalanceBraces(balanced);
    EXPECT_EQ(balanced, bytes);
  }
}

TEST(BraceBalancing, AppendsOneBraceForEachUnclosedGroup) {
  constexpr struct { std::string_view name, text, want; } kCases[] = {
      {"one open group", "{\\rtf1 a", "{\\rtf1 a}"},
      {"nested groups", "{a{b{c}", "{a{b{c}}}"},
      {"escaped brace is not counted", "{a\\{", "{a\\{}"},
      {"escaped closing brace does not close", "{a\\}", "{a\\}}"},
      {"escaped backslash before a brace", "{a\\\\{", "{a\\\\{}}"},
      {"balanced text is left alone", "{a}{b}", "{a}{b}"},
      {"surplus closing braces add nothing", "}}{", "}}{"},
      {"trailing backslash", "{\\", "{\\}"},
      {"empty text", "", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string text(c.text);
    BalanceBraces(text);
    EXPECT_EQ(text, c.want);
  }
}

TEST_F(PipelineTest, BalanceBracesInFileAppendsToTheFile) {
  WriteBytes(folder_ + "doc.rtf", "{\\rtf1\r\n{\\b x\\}\r\n");
  BalanceBracesInFile(folder_ + "doc.rtf");
  EXPECT_EQ(ReadBytes(folder_ + "doc.rtf"), "{\\rtf1\r\n{\\b x\\}\r\n}}");
  BalanceBracesInFile(folder_ + "missing.rtf");  // left alone
  EXPECT_FALSE(fs::exists(folder_ + "missing.rtf"));
}

// The trace file with the two clock lines checked by pattern and cut out.
std::vector<std::string> TraceLinesWithoutClock(const std::string& bytes) {
  std::vector<std::string> lines = SplitCrLfLines(bytes);
  const std::regex started(R"(Conversion started at \(min:sec:msec\) \d+ : \d+ : \d+  )");
  const std::regex done(R"(Done at  \(min:sec:msec\) \d+ : \d+ : \d+ )");
  if (lines.empty() || !std::regex_match(lines.front(), started)) return {"no start line"};
  lines.erase(lines.begin());
  if (!lines.empty() && std::regex_match(lines.back(), done)) lines.back() = "<done>";
  return lines;
}

TEST_F(PipelineTest, TraceLines) {
  WriteBytes(folder_ + "page.html", std::string(1000, 'x'));  // 4 * 1000 / 1024 = 3 Kb
  settings_.trace_enabled = 1;
  settings_.trace_file = folder_ + "trace.txt";
  const std::string page = folder_ + "page.html";
  const std::string out = folder_ + "page.rtf";
  const std::vector<std::string> kOpening = {
      "1. Trying to open file: " + page + " ", "Opened.  ",
      "2. Trying to create file: " + out + " ", "Created.  ",
      "3. Memory allocation 3 Kb ", "Done.  ", "4. Detect encoding.  "};
  const std::vector<std::string> kRtfStages = {
      "5. Reading CSS, removing scripts and comments  ", "6. Analyzing font and color tables  ",
      "7. Start to creation RTF  ", "8. Color and font tables creation  ",
      "9. Detecting HTML tags and conversion  "};
  const std::vector<std::string> kClosing = {
      "Detection HTML tags done  ", "10. Conversion finished. Memory freeing  ", "<done>"};

  for (int mode : {kModeRtfTables, kModePlainText}) {
    SCOPED_TRACE(mode);
    fs::remove(settings_.trace_file);
    std::string input = page;
    std::string target = folder_;
    ASSERT_EQ(Run(input, target, mode), ConvertResult::kDone);
    std::vector<std::string> want = kOpening;
    if (mode != kModePlainText) want.insert(want.end(), kRtfStages.begin(), kRtfStages.end());
    want.insert(want.end(), kClosing.begin(), kClosing.end());
    EXPECT_EQ(want.size() + 1, mode == kModePlainText ? 11u : 16u);
    EXPECT_EQ(TraceLinesWithoutClock(ReadBytes(settings_.trace_file)), want);
  }
}

TEST_F(PipelineTest, TraceStopsAtTheFailingStage) {
  settings_.trace_enabled = 1;
  settings_.trace_file = folder_ + "trace.txt";
  std::string input = folder_ + "missing.html";
  std::string target = folder_;
  ASSERT_EQ(Run(input, target), ConvertResult::kCannotOpenInput);
  EXPECT_EQ(TraceLinesWithoutClock(ReadBytes(settings_.trace_file)),
            std::vector<std::string>{"1. Trying to open file: " + input + " "});

  // A trace file that cannot be written loses its lines; the conversion goes on.
  WriteBytes(folder_ + "page.html", kPage);
  settings_.trace_file = folder_ + "no/such/folder/trace.txt";
  input = "page.html";
  target = folder_;
  EXPECT_EQ(Run(input, target), ConvertResult::kDone);
}

struct RecordingSink : ProgressSink {
  void SetRange(int low, int high) override { ranges.emplace_back(low, high); }
  void SetPosition(int position) override { positions.push_back(position); }
  void SetLabel(std::string_view text) override { labels.emplace_back(text); }
  std::vector<std::pair<int, int>> ranges;
  std::vector<int> positions;
  std::vector<std::string> labels;
};

TEST(ConversionProgress, StartsAtZeroAndEndsAtFifty) {
  for (int mode : {kModePlainText, kModeRtfTables}) {
    SCOPED_TRACE(mode);
    RecordingSink sink;
    ConvertRequest request;
    request.output_mode = mode;
    request.progress = &sink;
    Engine engine;
    std::string output;
    const std::string folder = velmorane::testing::MakeTempFolder();
    ASSERT_EQ(engine.ConvertHtmlBytes(kPage, folder, folder, request,
                                      velmorane::testing::DefaultOptions(),
                                      velmorane::testing::DefaultSettings(), output),
              ConvertResult::kDone);
    ASSERT_EQ(sink.ranges.size(), 1u);
    EXPECT_EQ(sink.ranges[0], std::make_pair(0, 50));
    ASSERT_FALSE(sink.positions.empty());
    EXPECT_EQ(sink.positions.front(), 0);
    EXPECT_EQ(sink.positions.back(), 50);
    ASSERT_FALSE(sink.labels.empty());
    EXPECT_EQ(sink.labels.front(), "0");
    EXPECT_EQ(sink.labels.back(), "100");
    fs::remove_all(folder);
  }
}

TEST(ConversionProgress, ScheduleMovesQuicklyAtFirst) {
  // Step k sits at the first position p with (L - 1) / p == 51 - k.
  ProgressSchedule schedule;
  schedule.Build(5001);
  RecordingSink sink;
  std::vector<std::size_t> at;
  for (std::size_t p = 0; p < 5001; ++p) {
    const std::size_t before = sink.positions.size();
    schedule.Check(p, &sink);
    if (sink.positions.size() > before) at.push_back(p);
  }
  ASSERT_EQ(at.size(), 50u);
  EXPECT_EQ(at.front(), 99u);    // 5000 / 99 == 50
  EXPECT_EQ(at[1], 101u);        // 5000 / 101 == 49
  EXPECT_EQ(at.back(), 2501u);   // 5000 / 2501 == 1
  EXPECT_EQ(sink.positions.front(), 1);
  EXPECT_EQ(sink.positions.back(), 50);
  EXPECT_EQ(sink.labels.front(), "2");
  EXPECT_EQ(sink.labels.back(), "100");

  // Inputs shorter than the fifty steps never reach the first target.
  for (std::size_t length : {0u, 1u, 2u, 30u, 50u}) {
    SCOPED_TRACE(length);
    ProgressSchedule small;
    small.Build(length);
    RecordingSink quiet;
    for (std::size_t p = 0; p < length; ++p) small.Check(p, &quiet);
    EXPECT_TRUE(quiet.positions.empty());
  }
}

TEST(InMemoryEntry, EmptyInputAndLineFeeds) {
  Engine engine;
  std::string output = "stale";
  const std::string folder = velmorane::testing::MakeTempFolder();
  EXPECT_EQ(engine.ConvertHtmlBytes("", folder, folder, ConvertRequest{},
                                    velmorane::testing::DefaultOptions(),
                                    velmorane::testing::DefaultSettings(), output),
            ConvertResult::kInputEmpty);
  EXPECT_EQ(output, "");
  output = velmorane::testing::Convert("<p>a</p>\r\n<p>b</p>\r\n",
                                       velmorane::testing::DefaultOptions());
  EXPECT_EQ(output.find('\r'), std::string::npos);
  fs::remove_all(folder);
}

TEST(InMemoryEntry, BodyOnlyEndsWithOneBrace) {
  EngineSettings settings = velmorane::testing::DefaultSettings();
  settings.body_only = 1;
  const std::string output = velmorane::testing::Convert(
      "<p>a</p>", velmorane::testing::DefaultOptions(), kModeRtfTables, false, &settings);
  ASSERT_FALSE(output.empty());
  EXPECT_EQ(output.back(), '}');
}

}  // namespace
}  // namespace velmorane
