// Folder, file-name and relative-path rules in their POSIX forms.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/paths.h"

namespace velmorane {
namespace {

TEST(PathRules, FolderOfAFile) {
  const std::string cwd = std::filesystem::current_path().string();
  const std::string here = cwd == "/" ? "/" : cwd + "/";
  constexpr struct { std::string_view name, path; bool relative; std::string_view want; } kCases[] = {
      {"absolute", "/a/b/page.html", false, "/a/b/"},
      {"file in the root", "/page.html", false, "/"},
      {"folder path kept", "/a/b/", false, "/a/b/"},
      {"relative keeps its folders", "dir/sub/page.html", true, "dir/sub/"},
      {"bare name is the current folder", "page.html", true, ""},
      {"empty path is the current folder", "", true, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string want = (c.relative ? here : std::string()) + std::string(c.want);
    EXPECT_EQ(FolderOf(c.path), want);
  }
}

TEST(PathRules, Separators) {
  EXPECT_EQ(ToForwardSlashes("C:\\a\\b/c"), "C:/a/b/c");
  EXPECT_EQ(WithTrailingSeparator("out"), "out/");
  EXPECT_EQ(WithTrailingSeparator("out/"), "out/");
  EXPECT_EQ(WithTrailingSeparator(""), "/");
  EXPECT_EQ(FileNameOf("/a/b/page.html"), "page.html");
  EXPECT_EQ(FileNameOf("page.html"), "page.html");
  EXPECT_EQ(FileNameOf("/a/b/"), "");
  EXPECT_EQ(CollapseSeparators("/a//b///c/"), "/a/b/c/");
}

TEST(PathRules, UserPathKeepsBackslashesOfRealNames) {
  const std::string folder = std::filesystem::temp_directory_path().string() + "/velmorane-userpath";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder + "/odd\\name");
  std::filesystem::create_directories(folder + "/a/b");
  const struct { std::string_view name; std::string path, want; } cases[] = {
      {"no backslash", folder + "/x.html", folder + "/x.html"},
      {"an existing folder with a backslash", folder + "/odd\\name", folder + "/odd\\name"},
      {"a new file in that folder", folder + "/odd\\name/p.rtf", folder + "/odd\\name/p.rtf"},
      {"separators of a path that does not exist", folder + "\\a\\b\\p.html",
       folder + "/a/b/p.html"},
      {"a new name with a backslash is read as a path", folder + "/a\\b", folder + "/a/b"},
      {"relative", "sub\\page.html", "sub/page.html"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(UserPath(c.path), c.want);
  }
  std::filesystem::remove_all(folder);
}

TEST(PathRules, ResolveRelativePath) {
  constexpr struct { std::string_view name, folder, relative, want; } kCases[] = {
      {"two parent steps", "/a/b/c/", "../../img.gif", "/a/img.gif"},
      {"current-folder step", "/a/b/c/", "./img.gif", "/a/b/c/img.gif"},
      {"absolute path kept", "/a/b/c/", "/x.gif", "/x.gif"},
      {"plain name", "/a/b/c/", "img/x.gif", "/a/b/c/img/x.gif"},
      {"never above the root", "/a/", "../../../x.gif", "/x.gif"},
      {"folder without separator", "/a/b", "../x.gif", "/a/x.gif"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ResolveRelativePath(c.folder, c.relative), c.want);
  }
}

}  // namespace
}  // namespace velmorane
