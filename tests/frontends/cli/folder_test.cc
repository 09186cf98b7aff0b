// The command line given a folder: -subfolders and -jobs, the statuses and the run log.
#include <gtest/gtest.h>

#include <filesystem>

#include "frontends/batch/batch.h"
#include "frontends/cli/command_line.h"
#include "platform/files.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

namespace fs = std::filesystem;

TEST(FolderOptions, JobsFallBackSensibly) {
  const int cores = DefaultJobs();
  ASSERT_GE(cores, 1);
  constexpr struct {
    std::string_view value;
    int jobs;  // 0: the number of cores
  } kCases[] = {
      {"4", 4},   {"1", 1},  {"0", 0},   {"-2", 0},  {"", 0},
      {"abc", 0}, {"3x", 3}, {"64", 64}, {"65", 64}, {"99999999999999999999", 64},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(JobsFromValue(c.value), c.jobs == 0 ? cores : c.jobs);
  }
}

TEST(FolderOptions, ParsedBesideThePaths) {
  const std::string folder = testing::MakeTempFolder();
  const struct {
    std::string_view text;
    int subfolders, jobs;  // jobs 0: the number of cores
    std::string_view input, out;
  } cases[] = {
      {"site out", 0, 0, "site", "out"},
      {"site -subfolders yes out -jobs 2", 1, 2, "site", "out"},
      {"-jobs 0 -subfolders no site", 0, 0, "site", ""},
      {"-subfolders 0 -jobs many site out", 0, 0, "site", "out"},
      {"-subfolders on site", 1, 0, "site", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    CommandLineRecord record = DefaultCommandLine();
    ParseCommandLine(c.text, record, folder + "velmorane.log");
    EXPECT_EQ(record.subfolders, c.subfolders);
    EXPECT_EQ(record.jobs, c.jobs == 0 ? DefaultJobs() : c.jobs);
    EXPECT_EQ(record.input_file, c.input);
    EXPECT_EQ(record.out_folder, c.out);
    // The settings block of the log is the one of a single file.
    std::string log;
    ASSERT_TRUE(ReadTextFile(folder + "velmorane.log", log));
    EXPECT_EQ(log.find("SUBFOLDERS"), std::string::npos);
    EXPECT_NE(log.find("TABLE BORDER: Invisible\n-----"), std::string::npos);
  }
}

TEST(FolderOptions, MirroredOutputFolders) {
  const struct { std::string_view root, input, want; } cases[] = {
      {"/site", "/site/a.htm", "out/"},
      {"/site/", "/site/docs/deep/a.htm", "out/docs/deep/"},
      {"site", "site/docs/a.htm", "out/docs/"},  // relative paths are compared absolute
      {"/site", "/other/a.htm", "out/"},         // outside the tree: on top
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(MirroredOutputFolder("out", c.root, c.input), c.want);
  }
}

void Write(const std::string& path, std::string_view bytes) {
  fs::create_directories(fs::path(path).parent_path());
  ASSERT_TRUE(WriteBinaryFile(path, bytes));
}

struct FolderCase {
  std::string_view name;
  // Files of the input folder: a page, or "empty:" / "broken:" before the name for an
  // empty file or a link to nothing.
  std::vector<std::string> files;
  bool subfolders;
  std::string_view options;  // more options
  std::string_view out;  // below the scratch folder
  int status;
  std::vector<std::string> outputs;  // files below `out`, in name order
  int log_lines;                     // outcome lines for files
};

void MakeFile(const std::string& in, const std::string& file) {
  if (file.starts_with("empty:")) {
    Write(in + file.substr(6), "");
  } else if (file.starts_with("broken:")) {
    fs::create_symlink(in + "gone", in + file.substr(7));
  } else {
    Write(in + file, "<p>page</p>");
  }
}

TEST(FolderRun, StatusesOutputsAndLog) {
  const FolderCase cases[] = {
      {"a folder", {"a.htm", "b.html", "notes.txt"}, false, "", "out", 0, {"a.rtf", "b.rtf"}, 2},
      {"a tree is mirrored",
       {"index.htm", "docs/index.htm", "docs/deep/page.htm", "docs/notes.txt"},
       true, "", "out", 0, {"docs/deep/page.rtf", "docs/index.rtf", "index.rtf"}, 3},
      {"a flat tree lands in one folder",
       {"index.htm", "docs/index.htm", "docs/deep/page.htm"},
       true, " -flat yes", "out", 0, {"index(DIR docs).rtf", "index.rtf", "page.rtf"}, 3},
      {"two pages of one name in a mirrored folder",
       {"docs/a.htm", "docs/a.html", "a.htm"},
       true, "", "out", 0, {"a.rtf", "docs/a(DIR docs).rtf", "docs/a.rtf"}, 3},
      {"the same tree without subfolders",
       {"index.htm", "docs/index.htm"}, false, "", "out", 0, {"index.rtf"}, 1},
      {"the first failure decides",
       {"a.htm", "empty:b.htm", "broken:c.htm"}, false, "", "out", 5, {"a.rtf"}, 3},
      {"one output name for two pages of a folder",
       {"a.htm", "a.html"}, false, "", "out", 0, {"a(DIR site).rtf", "a.rtf"}, 2},
      {"no HTML file", {"x.txt"}, true, "", "out", 4, {}, 0},
      {"no HTML file, one folder", {"x.txt"}, false, "", "out", 4, {}, 0},
      // Missing folders above the output folder are made; a file in the way is not one.
      {"output folder cannot be created", {"a.htm"}, false, "", "site/a.htm/such", 3, {}, 0},
  };
  for (const FolderCase& c : cases) {
    for (const int jobs : {1, 3}) {
      SCOPED_TRACE(std::string(c.name) + ", jobs " + std::to_string(jobs));
      const std::string scratch = testing::MakeTempFolder();
      const std::string in = scratch + "site/";
      fs::create_directories(in);
      for (const std::string& file : c.files) MakeFile(in, file);
      CommandLineRecord record = DefaultCommandLine();
      const std::string log = scratch + "velmorane.log";
      ParseCommandLine(in + " " + scratch + std::string(c.out) +
                           (c.subfolders ? " -subfolders yes" : "") + " -jobs " +
                           std::to_string(jobs) + std::string(c.options),
                       record, log);
      EXPECT_EQ(RunFolderConversion(record, log), c.status);
      std::vector<std::string> outputs;
      if (IsDirectory(scratch + std::string(c.out))) {
        const fs::path out = scratch + std::string(c.out);
        for (const auto& entry : fs::recursive_directory_iterator(out)) {
          if (entry.is_regular_file()) {
            outputs.push_back(entry.path().lexically_relative(out).string());
          }
        }
      }
      std::sort(outputs.begin(), outputs.end());
      EXPECT_EQ(outputs, c.outputs);
      std::string text;
      ASSERT_TRUE(ReadTextFile(log, text));
      int lines = 0;
      for (std::size_t at = 0; (at = text.find(in, at)) != std::string::npos; ++at) {
        if (at > 0 && text[at - 1] == '\n') ++lines;  // a line that starts with an input
      }
      EXPECT_EQ(lines, c.log_lines) << text;
      EXPECT_NE(text.find("\nBegin converting in: "), std::string::npos);
      EXPECT_NE(text.find("\nEnd of converting in: "), std::string::npos);
    }
  }
}

TEST(FolderRun, OutcomeLinesInFileOrder) {
  const std::string scratch = testing::MakeTempFolder();
  const std::string in = scratch + "site/";
  for (const char* name : {"a.htm", "b.htm", "c.htm", "d.htm"}) Write(in + name, "<p>x</p>");
  fs::create_symlink(in + "gone", in + "bb.htm");
  CommandLineRecord record = DefaultCommandLine();
  const std::string log = scratch + "velmorane.log";
  ParseCommandLine(in + " " + scratch + "out -jobs 4", record, log);
  EXPECT_EQ(RunFolderConversion(record, log), 4);
  std::string text;
  ASSERT_TRUE(ReadTextFile(log, text));
  const std::string out = scratch + "out/";
  const std::string want = in + "a.htm -> " + out + "a.rtf: Converted successfully!\n" + in +
                           "b.htm -> " + out + "b.rtf: Converted successfully!\n" + in +
                           "bb.htm: Error! Can't open " + in + "bb.htm file.\n" + in + "c.htm -> " +
                           out + "c.rtf: Converted successfully!\n" + in + "d.htm -> " + out +
                           "d.rtf: Converted successfully!\n";
  EXPECT_NE(text.find(want), std::string::npos) << text;
}

}  // namespace
}  // namespace velmorane
