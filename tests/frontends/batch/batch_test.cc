// Batch runs over real folders: counting, texts, per-file messages and the overwrite
// questions of a folder-tree run.
#include "frontends/batch/batch.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <map>

#include "platform/files.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

namespace fs = std::filesystem;

// Records everything a run shows and answers questions from a script.
class ScriptedHost : public BatchHost {
 public:
  void ShowMessage(std::string_view title, std::string_view text) override {
    messages.push_back(std::string(title) + "|" + std::string(text));
  }
  bool AskYesNo(std::string_view title, std::string_view text) override {
    messages.push_back(std::string(title) + "|" + std::string(text));
    return answer_yes;
  }
  OverwriteChoice AskOverwrite(std::string_view file_name, std::string& rename_to) override {
    questions.push_back(std::string(file_name) + "|" + rename_to);
    if (choices.empty()) return OverwriteChoice::kStop;
    OverwriteChoice choice = choices.front();
    choices.pop_front();
    if (!renames.empty()) {
      rename_to = renames.front();
      renames.pop_front();
    }
    return choice;
  }
  void SetTotalText(std::string_view text) override { texts.emplace_back(text); }
  void SetTotalPercent(std::string_view text) override { percent = text; }

  bool answer_yes = true;
  std::deque<OverwriteChoice> choices;
  std::deque<std::string> renames;
  std::vector<std::string> messages, questions, texts;
  std::string percent;
};

constexpr char kPage[] = "<html><body><p>Hello</p></body></html>";

void WritePage(const std::string& path) {
  fs::create_directories(fs::path(path).parent_path());
  ASSERT_TRUE(WriteBinaryFile(path, kPage));
}

// A directory entry that looks like an HTML file but cannot be opened.
void WriteBrokenPage(const std::string& path) {
  fs::create_symlink(path + ".missing", path);
}

BatchSettings RtfSettings() {
  BatchSettings settings;
  settings.options = testing::DefaultOptions();
  settings.output_mode = kModeRtfTables;
  return settings;
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

TEST(BatchFolder, CountsSuccessesAndReportsUnopenableFiles) {
  const std::string in = testing::MakeTempFolder(), out = testing::MakeTempFolder();
  for (const char* name : {"a.htm", "c.html", "e.shtml"}) WritePage(in + name);
  WriteBrokenPage(in + "b.htm");
  WriteBrokenPage(in + "d.htm");
  WritePage(in + "notes.txt");  // not an HTML file
  EngineConverter converter(RtfSettings());
  ScriptedHost host;
  const BatchCounters counters = RunBatch({in, out, true, false, ".rtf"}, converter, host);
  EXPECT_EQ(counters.converted, 3);
  EXPECT_EQ(counters.total, 5);
  EXPECT_TRUE(FileExists(out + "a.rtf"));
  EXPECT_TRUE(FileExists(out + "e.rtf"));
  EXPECT_EQ(host.messages,
            (std::vector<std::string>{
                "Error!|Can't open " + in + "b.htm file for reading.",
                "Error!|Can't open " + in + "d.htm file for reading.",
                "Thank you for using Velmorane Converter Pro!|Conversion completed. 3 files "
                "converted successfully. 2 of 5 files not converted (skipped or failed)."}));
  ASSERT_GE(host.texts.size(), 3u);
  EXPECT_EQ(host.texts.front(), "0 of 5");
  EXPECT_TRUE(Contains(host.texts, "2 of 5"));
  EXPECT_EQ(host.texts[host.texts.size() - 2], "3 of 5 files converted successfully.");
  EXPECT_EQ(host.texts.back(), "");  // cleared after the box
  EXPECT_EQ(host.percent, "0");
}

TEST(BatchFolder, OneConvertedFileIsSingular) {
  const std::string in = testing::MakeTempFolder(), out = testing::MakeTempFolder();
  WritePage(in + "a.htm");
  for (const char* name : {"b.htm", "c.htm", "d.htm", "e.htm"}) WriteBrokenPage(in + name);
  EngineConverter converter(RtfSettings());
  ScriptedHost host;
  // An input file (not a folder) converts the whole folder it lies in.
  const BatchCounters counters =
      RunBatch({in + "a.htm", out, true, false, ".rtf"}, converter, host);
  EXPECT_EQ(counters.converted, 1);
  EXPECT_TRUE(Contains(host.texts, "1 of 5 file converted successfully."));
  EXPECT_EQ(host.messages.back(),
            "Thank you for using Velmorane Converter Pro!|Conversion completed. 1 file "
            "converted successfully. 4 of 5 files not converted (skipped or failed).");
}

TEST(BatchFolder, EmptyFolderSaysNoFilesFound) {
  const std::string in = testing::MakeTempFolder(), out = testing::MakeTempFolder();
  EngineConverter converter(RtfSettings());
  ScriptedHost host;
  EXPECT_EQ(RunBatch({in, out, true, false, ".rtf"}, converter, host).converted, 0);
  EXPECT_EQ(host.texts.back(), "HTML - files not found, please select correct path.");
  EXPECT_TRUE(host.messages.empty());
}

// A converter that answers from a table of results by input name.
class ScriptedConverter : public FileConverter {
 public:
  ConvertResult Convert(const std::string& input_path, std::string&, bool,
                        ProgressSink*, MessageSink*) override {
    const std::string name(fs::path(input_path).filename().string());
    if (name == "throws.htm") throw std::runtime_error("unexpected");
    return results[name];
  }
  std::map<std::string, ConvertResult> results;
};

TEST(BatchOneFile, MapsResultsToMessages) {
  const std::string out = testing::MakeTempFolder();
  const struct {
    std::string_view name;
    ConvertResult result;
    std::string want;
  } cases[] = {
      {"a.htm", ConvertResult::kNoMemory, "Error!|Not enougth memory"},
      {"throws.htm", ConvertResult::kDone, "Error!|Not enougth memory"},
      {"b.page.htm", ConvertResult::kCannotCreateOutput,
       "Error!|Can't open " + out + "b.page.doc file for record.\nProbably it is already used "
       "by other application."},
      {"c.htm", ConvertResult::kCannotOpenInput, "Error!|Can't open /in/c.htm file for reading."},
      {"d.htm", ConvertResult::kInputEmpty, "Error!|/in/d.htm file has zero length."},
      {"e.htm", ConvertResult::kDone,
       "Thank you for using Velmorane Converter Pro!|Conversion completed. 1 file converted "
       "successfully."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedConverter converter;
    converter.results[std::string(c.name)] = c.result;
    ScriptedHost host;
    RunBatch({"/in/" + std::string(c.name), out, false, false, ".doc"}, converter, host);
    EXPECT_EQ(host.messages, std::vector<std::string>{c.want});
  }
}

TEST(BatchOneFile, RefusesAFolderAndAsksForAMissingOutputFolder) {
  const std::string in = testing::MakeTempFolder(), out = testing::MakeTempFolder();
  ScriptedConverter converter;
  ScriptedHost host;
  RunBatch({in, out, false, false, ".rtf"}, converter, host);
  EXPECT_EQ(host.messages, std::vector<std::string>{
                               "Error!|Please select file, or if you have chosen a directory, "
                               "please, set the switch \"Convert all\"."});

  const std::string missing = out + "new";
  ScriptedHost refuses;
  refuses.answer_yes = false;
  RunBatch({in + "a.htm", missing, false, false, ".rtf"}, converter, refuses);
  EXPECT_EQ(refuses.messages,
            std::vector<std::string>{"Error!|The directory " + missing +
                                     "/ does not exist\nCreate?"});
  EXPECT_FALSE(IsDirectory(missing));

  ScriptedHost agrees;
  converter.results["a.htm"] = ConvertResult::kDone;
  EXPECT_EQ(RunBatch({in + "a.htm", missing, false, false, ".rtf"}, converter, agrees).converted,
            1);
  EXPECT_TRUE(IsDirectory(missing));

  ScriptedHost fails;
  RunBatch({in + "a.htm", out + "x/y", false, false, ".rtf"}, converter, fails);
  EXPECT_EQ(fails.messages.back(), "Error!|Can't create " + out + "x/y/ directory.");
}

TEST(BatchTree, SameNameInSubfolderAsksWithSuggestion) {
  const std::string in = testing::MakeTempFolder(), out = testing::MakeTempFolder();
  WritePage(in + "index.htm");
  WritePage(in + "docs/index.htm");
  WritePage(in + ".hidden/index.htm");  // folders starting with "." are left out
  EngineConverter converter(RtfSettings());
  ScriptedHost host;
  host.choices = {OverwriteChoice::kRename};
  const BatchCounters counters = RunBatch({in, out, true, true, ".rtf"}, converter, host);
  EXPECT_EQ(host.questions, std::vector<std::string>{"index.rtf|index(DIR docs).rtf"});
  EXPECT_EQ(counters.converted, 2);
  EXPECT_EQ(counters.total, 2);
  EXPECT_TRUE(FileExists(out + "index.rtf"));
  EXPECT_TRUE(FileExists(out + "index(DIR docs).rtf"));
  EXPECT_TRUE(Contains(host.texts, "2 of 2 files converted successfully."));
}

TEST(BatchTree, RenameToAnExistingNameAsksAgain) {
  const std::string in = testing::MakeTempFolder(), out = testing::MakeTempFolder();
  WritePage(in + "a.htm");
  ASSERT_TRUE(WriteBinaryFile(out + "a.rtf", "old"));
  ASSERT_TRUE(WriteBinaryFile(out + "b.rtf", "old"));
  EngineConverter converter(RtfSettings());
  ScriptedHost host;
  host.choices = {OverwriteChoice::kRename, OverwriteChoice::kRename};
  host.renames = {"b.rtf", "c.rtf"};
  EXPECT_EQ(RunBatch({in, out, true, true, ".rtf"}, converter, host).converted, 1);
  EXPECT_EQ(host.questions.size(), 2u);
  EXPECT_EQ(host.questions[1], "b.rtf|b(DIR " + fs::path(in).parent_path().filename().string() +
                                   ").rtf");
  std::string old;
  ASSERT_TRUE(ReadBinaryFile(out + "b.rtf", old));
  EXPECT_EQ(old, "old");
  EXPECT_TRUE(FileExists(out + "c.rtf"));
}

// Five inputs whose outputs all exist; the first answer decides what happens to the rest.
struct TreeChoiceCase {
  std::string_view name;
  std::deque<OverwriteChoice> choices;
  std::size_t questions;
  long long converted;
  std::vector<std::string> replaced;  // outputs that were converted again
};

TEST(BatchTree, OverwriteStates) {
  const TreeChoiceCase cases[] = {
      {"skip all: no more questions, nothing converted", {OverwriteChoice::kSkipAll}, 1, 0, {}},
      {"stop: the run ends", {OverwriteChoice::kSkip, OverwriteChoice::kStop}, 2, 0, {}},
      {"overwrite all: no more questions",
       {OverwriteChoice::kOverwriteAll}, 1, 5, {"a.rtf", "b.rtf", "c.rtf", "d.rtf", "e.rtf"}},
      {"overwrite one, skip one, then ask again",
       {OverwriteChoice::kOverwrite, OverwriteChoice::kSkip, OverwriteChoice::kOverwrite,
        OverwriteChoice::kStop},
       4, 2, {"a.rtf", "c.rtf"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string in = testing::MakeTempFolder(), out = testing::MakeTempFolder();
    for (const char* name : {"a", "b", "c", "d", "e"}) {
      WritePage(in + name + ".htm");
      ASSERT_TRUE(WriteBinaryFile(out + name + ".rtf", "old"));
    }
    EngineConverter converter(RtfSettings());
    ScriptedHost host;
    host.choices = c.choices;
    const BatchCounters counters = RunBatch({in, out, true, true, ".rtf"}, converter, host);
    EXPECT_EQ(host.questions.size(), c.questions);
    EXPECT_EQ(counters.converted, c.converted);
    EXPECT_EQ(counters.total, 5);
    for (const char* name : {"a.rtf", "b.rtf", "c.rtf", "d.rtf", "e.rtf"}) {
      std::string bytes;
      ASSERT_TRUE(ReadBinaryFile(out + name, bytes));
      const bool replaced = Contains(c.replaced, name);
      EXPECT_EQ(bytes != "old", replaced) << name;
    }
  }
}

TEST(BatchTree, LinkLoopIsWalkedOnce) {
  const std::string in = testing::MakeTempFolder(), out = testing::MakeTempFolder();
  WritePage(in + "a.htm");
  WritePage(in + "sub/b.htm");
  fs::create_directory_symlink(in, in + "sub/loop");
  fs::create_directory_symlink(in + "sub", in + "again");
  std::vector<PlanStep> steps;
  ASSERT_TRUE(PlanFolderTree(in, steps));
  std::vector<std::string> files;
  for (const PlanStep& step : steps) {
    if (step.kind == PlanStep::Kind::kFile) files.push_back(step.path);
  }
  // "again" comes before "sub" in name order, so sub's file is reached through it.
  EXPECT_EQ(files, (std::vector<std::string>{in + "a.htm", in + "again/b.htm"}));
  EngineConverter converter(RtfSettings());
  ScriptedHost host;
  EXPECT_EQ(RunBatch({in, out, true, true, ".rtf"}, converter, host).total, 2);
}

TEST(BatchNames, HtmlFileTest) {
  constexpr struct {
    std::string_view name;
    bool html;
  } cases[] = {
      {"page.htm", true},      {"page.HTML", true},   {"a.shtml", true},
      {"a.phtml", true},       {"a.xhtml", true},     {"page.asp", true},
      {"page.aspx", true},     {"readme.htm.bak", false}, {"notes.txt", false},
      {"htmlfile", true},      // no dot: the whole name is tested
      {"html.rtf", false},     {".htaccess", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsHtmlFileName(c.name), c.html);
  }
}

TEST(BatchNames, OutputModeAndSuggestion) {
  EXPECT_EQ(OutputModeFor(".txt", true), kModePlainText);
  EXPECT_EQ(OutputModeFor(".txt", false), kModePlainText);
  EXPECT_EQ(OutputModeFor(".rtf", true), kModeRtfTables);
  EXPECT_EQ(OutputModeFor(".doc", false), kModeRtfNoTables);
  EXPECT_EQ(RenameSuggestion("index.rtf", "/site/docs/index.htm"), "index(DIR docs).rtf");
  EXPECT_EQ(RenameSuggestion("a.txt", "/a.htm"), "a(DIR ).txt");
  EXPECT_EQ(RenameSuggestion("ab", "/x/ab"), "ab(DIR x)");
}

TEST(BatchCommandLine, ConvertsATreeRenamingSameNames) {
  const std::string in = testing::MakeTempFolder(), out = testing::MakeTempFolder();
  WritePage(in + "index.htm");
  WritePage(in + "docs/index.htm");
  ASSERT_TRUE(WriteBinaryFile(out + "other.rtf", "old"));
  CommandLineBatch batch;
  batch.input_folder = in;
  batch.output_folder = out;
  batch.subfolders = true;
  batch.settings = RtfSettings();
  int files = 0;
  batch.on_file = [&](const std::string&, const std::string&, ConvertResult r) {
    EXPECT_EQ(r, ConvertResult::kDone);
    ++files;
  };
  EXPECT_EQ(ConvertPathFromCommandLine(batch), 0);
  EXPECT_EQ(files, 2);
  EXPECT_TRUE(FileExists(out + "index.rtf"));
  EXPECT_TRUE(FileExists(out + "index(DIR docs).rtf"));
  // Running again replaces the outputs of the first run instead of renaming once more.
  EXPECT_EQ(ConvertPathFromCommandLine(batch), 0);
  EXPECT_FALSE(FileExists(out + "index(DIR docs)(DIR docs).rtf"));

  WriteBrokenPage(in + "broken.htm");
  batch.subfolders = false;
  batch.on_file = nullptr;
  EXPECT_EQ(ConvertPathFromCommandLine(batch), 4);
  batch.input_folder = out + "none/";
  EXPECT_EQ(ConvertPathFromCommandLine(batch), 4);
}

// Hears what the files of a run said, and whether their stages were asked for.
class MessageHost : public ScriptedHost {
 public:
  void FileMessage(std::string_view input, MessageKind kind, std::string_view text) override {
    const std::string name = fs::path(input).filename().string();
    if (kind == MessageKind::kStage) {
      ++stages[name];
    } else if (kind == MessageKind::kWarning) {
      said.push_back(name + ": " + std::string(text));
    }
  }
  void FileConverted(std::string_view input, std::string_view, ConvertResult) override {
    said.push_back(fs::path(input).filename().string() + " converted");
  }
  bool WantsStages() const override { return wants_stages; }

  bool wants_stages = false;
  std::map<std::string, int> stages;
  std::vector<std::string> said;
};

TEST(BatchFolder, FilesTellTheirWarningsAndAskedStagesInFileOrder) {
  const std::string in = testing::MakeTempFolder();
  WritePage(in + "a.htm");
  ASSERT_TRUE(WriteBinaryFile(in + "b.htm", R"(<p>x<img src="p.png"><img src="q.png"></p>)"));
  WritePage(in + "c.htm");
  ASSERT_TRUE(WriteBinaryFile(in + "d.htm", R"(<p><img src="r.png"></p>)"));
  const std::vector<std::string> want = {
      "a.htm converted",
      "b.htm: 2 pictures left out: converting pictures is off",
      "b.htm converted",
      "c.htm converted",
      "d.htm: 1 picture left out: converting pictures is off",
      "d.htm converted",
  };
  for (const int jobs : {1, 3}) {
    for (const bool wants_stages : {false, true}) {
      SCOPED_TRACE("jobs " + std::to_string(jobs) + (wants_stages ? ", stages" : ""));
      const std::string out = testing::MakeTempFolder();
      BatchRequest request{in, out, true, false, ".rtf"};
      request.jobs = jobs;
      EngineConverter converter(RtfSettings());
      MessageHost host;
      host.wants_stages = wants_stages;
      EXPECT_EQ(RunBatch(request, converter, host).converted, 4);
      EXPECT_EQ(host.said, want);
      EXPECT_EQ(host.stages.size(), wants_stages ? 4u : 0u);
      fs::remove_all(out);
    }
  }
  fs::remove_all(in);
}

}  // namespace
}  // namespace velmorane

namespace velmorane {
namespace {

// Records the bar of the whole run.
class BarHost : public BatchHost {
 public:
  void ShowMessage(std::string_view, std::string_view) override {}
  bool AskYesNo(std::string_view, std::string_view) override { return true; }
  OverwriteChoice AskOverwrite(std::string_view, std::string&) override {
    return OverwriteChoice::kOverwriteAll;
  }
  void SetTotalRange(long long maximum) override { ranges.push_back(maximum); }
  void SetTotalPercent(std::string_view text) override { percents.push_back(std::stoi(std::string(text))); }
  std::vector<long long> ranges;
  std::vector<int> percents;
};

TEST(BatchTree, TheBarIsSetOnceForTheWholeTreeAndOnlyMovesForward) {
  // Folders found late hold most files: a total that grew as they were reached sent the
  // percentage back (100 % after the top folder, then less).
  const struct {
    std::vector<std::string> files;
    int jobs;
  } kCases[] = {
      {{"a.htm", "x/b.htm", "x/c.htm", "x/y/d.htm", "x/y/e.htm", "x/y/f.htm"}, 1},
      {{"a.htm", "x/b.htm", "x/c.htm", "x/y/d.htm", "x/y/e.htm", "x/y/f.htm"}, 3},
      {{"p/a.htm", "q/b.htm", "r/s/c.htm"}, 2},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.files.back() + " jobs " + std::to_string(c.jobs));
    const std::string in = testing::MakeTempFolder(), out = testing::MakeTempFolder();
    for (const std::string& file : c.files) WritePage(in + file);
    BatchRequest request;
    request.input_path = in;
    request.output_folder = out;
    request.all_files = request.subfolders = request.mirror_tree = true;
    request.jobs = c.jobs;
    EngineConverter converter(RtfSettings());
    BarHost host;
    const BatchCounters counters = RunBatch(request, converter, host);
    EXPECT_EQ(counters.converted, static_cast<long long>(c.files.size()));
    EXPECT_EQ(host.ranges, std::vector<long long>{counters.total});
    // The run opens and closes with the bar at 0.
    ASSERT_GT(host.percents.size(), 2u);
    host.percents.erase(host.percents.begin());
    host.percents.pop_back();
    EXPECT_TRUE(std::is_sorted(host.percents.begin(), host.percents.end()));
    EXPECT_EQ(host.percents.back(), 100);
    fs::remove_all(in);
    fs::remove_all(out);
  }
}

}  // namespace
}  // namespace velmorane
