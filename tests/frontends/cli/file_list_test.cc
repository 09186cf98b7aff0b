// Lists of files and shares of a run: --files-from with -0 and --root, and --shard.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "frontends/batch/batch.h"
#include "frontends/cli/command_line.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

namespace fs = std::filesystem;
using Action = ParsedArguments::Action;

TEST(FileList, ArgumentsOfListsAndShares) {
  const struct {
    const char* name;
    std::vector<std::string> arguments;
    std::string error;  // empty: parsed
    int index, count;
    std::string out;
  } kCases[] = {
      {"a share", {"site", "out", "--shard", "3/8"}, "", 3, 8, "out"},
      {"the only share", {"site", "--shard", "0/1"}, "", 0, 1, ""},
      {"a share past the count", {"site", "--shard", "8/8"}, "--shard", 0, 0, ""},
      {"no count", {"site", "--shard", "3"}, "--shard", 0, 0, ""},
      {"a count of zero", {"site", "--shard", "0/0"}, "--shard", 0, 0, ""},
      {"a negative share", {"site", "--shard", "-1/4"}, "--shard", 0, 0, ""},
      {"an empty variable", {"site", "--shard", "/4"}, "--shard", 0, 0, ""},
      {"a list: the one path is the output", {"--files-from", "list", "out"}, "", 0, 1, "out"},
      {"a list and -o", {"--files-from", "-", "-o", "out", "-0"}, "", 0, 1, "out"},
      {"a list and an input", {"--files-from", "list", "site", "out"}, "--files-from", 0, 1, ""},
      {"a list to standard output", {"--files-from", "list", "-o", "-"}, "standard output", 0,
       1, ""},
      {"-0 without a list", {"site", "-0"}, "-0", 0, 1, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CommandLineRecord record = DefaultCommandLine();
    const ParsedArguments parsed = ParseArguments(c.arguments, record);
    if (!c.error.empty()) {
      EXPECT_EQ(parsed.action, Action::kError);
      EXPECT_NE(parsed.error.find(c.error), std::string::npos) << parsed.error;
      continue;
    }
    ASSERT_EQ(parsed.action, Action::kConvert) << parsed.error;
    EXPECT_EQ(record.shard_index, c.index);
    EXPECT_EQ(record.shard_count, c.count);
    EXPECT_EQ(record.out_folder, c.out);
  }
}

TEST(FileList, PathsOfAList) {
  const std::string root = testing::MakeTempFolder() + "site";
  const struct {
    const char* name;
    std::string text;
    bool nul;
    std::vector<std::string> inputs;  // below the root; empty with `outside`
    std::string outside;
  } kCases[] = {
      {"lines, a CR and blank lines", root + "/a.htm\r\n\n" + root + "/d/b.htm", false,
       {"a.htm", "d/b.htm"}, ""},
      {"twice, and once in another spelling", root + "/a.htm\n" + root + "/./d/../a.htm\n",
       false, {"a.htm"}, ""},
      {"NUL-separated names with a line end in one", root + "/a\nb.htm" + '\0' + root +
       "/c.htm" + '\0', true, {"a\nb.htm", "c.htm"}, ""},
      {"leaving the root", root + "/a.htm\n" + root + "/../x.htm\n", false, {},
       root + "/../x.htm"},
      {"the root itself", root + "/\n", false, {}, root + "/"},
      {"a neighbour with the root's name as prefix", root + "2/a.htm\n", false, {},
       root + "2/a.htm"},
      {"nothing", "\n\n", false, {}, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> inputs;
    std::string outside;
    const bool listed = ListedInputs(c.text, c.nul, root, inputs, outside);
    EXPECT_EQ(listed, c.outside.empty());
    EXPECT_EQ(outside, c.outside);
    if (!listed) continue;
    std::vector<std::string> expected;
    for (const std::string& input : c.inputs) expected.push_back(root + "/" + input);
    EXPECT_EQ(inputs, expected);
  }
}

// The program on a list: the statuses and the mirrored outputs.
TEST(FileList, ListedRuns) {
  const struct {
    const char* name;
    std::string list;  // "@" stands for the root
    std::vector<std::string> extra;
    int status;
    std::vector<std::string> outputs;
  } kCases[] = {
      {"a tree mirrored", "@/a.htm\n@/docs/b.htm\n@/docs/deep/c.txt\n", {}, 0,
       {"a.rtf", "docs/b.rtf", "docs/deep/c.rtf"}},
      {"a missing file fails alone", "@/gone.htm\n@/a.htm\n", {}, 4, {"a.rtf"}},
      {"a path outside the root: nothing written", "@/a.htm\n@/../x.htm\n", {}, 1, {}},
      {"an empty list is no failure", "", {}, 0, {}},
      {"a share of a list", "@/a.htm\n@/docs/b.htm\n@/docs/deep/c.txt\n", {"--shard", "1/2"},
       0, {"docs/b.rtf"}},
      {"an empty share of a folder is no failure", "", {"SITE", "--shard", "5/6"}, 0, {}},
      {"a share of one file", "", {"SITE/a.htm", "--shard", "0/2"}, 1, {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string scratch = testing::MakeTempFolder();
    const std::string site = scratch + "site";
    for (const char* page : {"/a.htm", "/docs/b.htm", "/docs/deep/c.txt"}) {
      testing::WriteBytes(site + page, "<p>page</p>");
    }
    std::string list = c.list;
    for (std::size_t at = 0; (at = list.find('@', at)) != std::string::npos;) {
      list.replace(at, 1, site);
    }
    testing::WriteBytes(scratch + "list", list);
    const std::string out = scratch + "out";
    std::vector<std::string> arguments = {"velmorane", "-q", "-log", "none", "-o", out};
    if (c.extra.empty() || !c.extra[0].starts_with("SITE")) {
      for (const std::string& a : {std::string("--files-from"), scratch + "list",
                                   std::string("--root"), site}) {
        arguments.push_back(a);
      }
    }
    for (std::string a : c.extra) {
      if (a.starts_with("SITE")) a.replace(0, 4, site);
      arguments.push_back(a);
    }
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    EXPECT_EQ(RunCommandLine(static_cast<int>(argv.size()), argv.data()), c.status);
    std::vector<std::string> outputs;
    if (fs::is_directory(out)) {
      for (const auto& entry : fs::recursive_directory_iterator(out)) {
        if (entry.is_regular_file()) outputs.push_back(entry.path().lexically_relative(out));
      }
    }
    std::sort(outputs.begin(), outputs.end());
    EXPECT_EQ(outputs, c.outputs);
  }
}

}  // namespace
}  // namespace velmorane
