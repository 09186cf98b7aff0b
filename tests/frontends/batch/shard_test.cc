// The shares of a run: files taken in turn, in the run's order, with the files that
// would write one output name kept together. (The end-to-end recipes check that the
// shares of a tree together write what one run writes.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontends/batch/batch.h"

namespace velmorane {
namespace {

using Kind = PlanStep::Kind;

std::vector<PlanStep> Tree() {
  return {
      {Kind::kFolder, "/s/", 4},       {Kind::kFile, "/s/a.htm", 0},
      {Kind::kFile, "/s/a.html", 0},   {Kind::kFile, "/s/b.htm", 0},
      {Kind::kFile, "/s/c.htm", 0},    {Kind::kFolder, "/s/d/", 2},
      {Kind::kFile, "/s/d/a.htm", 0},  {Kind::kFile, "/s/d/e.htm", 0},
      {Kind::kFolder, "/s/d/f/", 0},
  };
}

// The share as "folder:count" and file paths.
std::vector<std::string> Describe(const std::vector<PlanStep>& steps) {
  std::vector<std::string> out;
  for (const PlanStep& step : steps) {
    out.push_back(step.kind == Kind::kFolder ? step.path + ":" + std::to_string(step.html_files)
                                             : step.path);
  }
  return out;
}

TEST(Shards, FilesTakenInTurnByOutputName) {
  const struct {
    const char* name;
    int index, count;
    bool by_folder;
    std::vector<std::string> share;
  } kCases[] = {
      {"one share is the run", 0, 1, true,
       {"/s/:4", "/s/a.htm", "/s/a.html", "/s/b.htm", "/s/c.htm", "/s/d/:2", "/s/d/a.htm",
        "/s/d/e.htm", "/s/d/f/:0"}},
      {"mirrored, first of two", 0, 2, true,
       {"/s/:3", "/s/a.htm", "/s/a.html", "/s/c.htm", "/s/d/:1", "/s/d/e.htm", "/s/d/f/:0"}},
      {"mirrored, second of two", 1, 2, true,
       {"/s/:1", "/s/b.htm", "/s/d/:1", "/s/d/a.htm", "/s/d/f/:0"}},
      {"flat: a.htm of both folders together", 0, 2, false,
       {"/s/:3", "/s/a.htm", "/s/a.html", "/s/c.htm", "/s/d/:1", "/s/d/a.htm", "/s/d/f/:0"}},
      {"flat, second of two", 1, 2, false,
       {"/s/:1", "/s/b.htm", "/s/d/:1", "/s/d/e.htm", "/s/d/f/:0"}},
      {"more shares than files", 6, 7, true, {"/s/:0", "/s/d/:0", "/s/d/f/:0"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<PlanStep> steps = Tree();
    TakeShard(steps, c.index, c.count, c.by_folder);
    EXPECT_EQ(Describe(steps), c.share);
  }
}

}  // namespace
}  // namespace velmorane
