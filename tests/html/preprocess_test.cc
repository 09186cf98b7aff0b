// The cleaning pass before the tag pass: head, scripts, comments, style text and
// linked sheets.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/paths.h"
#include "html/preprocess.h"
#include "platform/files.h"
#include "rtf/conversion.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

struct Cleaned {
  std::string input;
  std::string style_text;
  bool style_present;
};

Cleaned Preprocess(std::string_view raw, std::string_view input_folder = "/nonexistent/") {
  CarryOver carry;
  Conversion c(carry, ConvertRequest{}, testing::DefaultOptions(), testing::DefaultSettings());
  c.raw = std::string(raw);
  c.input_folder = std::string(input_folder);
  PreprocessHtml(c);
  return {c.input, c.style_text, c.style_present};
}

TEST(Preprocessing, CleansTheInput) {
  const struct {
    std::string_view name, raw, want;
  } kCases[] = {
      {"head with title, meta and style",
       "<html><head><title>T</title><meta x><style>p{}</style></head><body>hi</body>",
       "<html><body>hi</body>"},
      {"head with attributes is copied", "<head lang=en><title>T</title></head>x",
       "<head lang=en><title>T</title></head>x"},
      {"paragraph ends the head and is kept", "<HEAD><title>T</title><p class=a>x",
       "<p class=a>x"},
      {"div ends the head and is kept", "<head>junk<div>x", "<div>x"},
      {"cell ends the head and is dropped", "<head>junk<td width=3>x", "x"},
      {"script inside the head", "<head><script><body></script></head>y", "y"},
      {"a head that never ends", "<head><title>T</title>text text", ""},
      {"a second head after the body is text", "<head></head>a<head>b", "a<head>b"},
      {"script", "a<SCRIPT type=x>if (a<b) {}</script>b", "ab"},
      {"unterminated script", "a<script>never closed", "a"},
      {"option and select", "a<select name=s><option>1</option></select>b<option>2</option>c",
       "abc"},
      {"option needs a blank or >", "<optionx>a", "<optionx>a"},
      {"server code", "a<% code %>b", "ab"},
      {"nested comment", "a<!-- x <!-- y --> z -->b", "ab"},
      {"unterminated comment", "a<!-- x", "a"},
      {"link tags", "a<link rel=icon href=x.ico>b<LINK\nrel=x>c", "abc"},
      {"mixed-case style is text", "<sTyle>p{}</sTyle>", "<sTyle>p{}</sTyle>"},
      {"line-feed runs", "a\n\n\nb\nc", "a\nb\nc"},
      {"leading line feeds", "\n\n\nb", "\n\nb"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Preprocess(c.raw).input, c.want);
  }
}

TEST(Preprocessing, CollectsStyleBlocks) {
  const Cleaned cleaned = Preprocess(
      "<head><STYLE type=text/css>h1{color:red}</STYLE></head>"
      "a<style>p{}</style>b<Style media=x>em{}</Style>c<sTyle>x</sTyle>");
  EXPECT_EQ(cleaned.input, "abc<sTyle>x</sTyle>");
  EXPECT_EQ(cleaned.style_text, "h1{color:red}p{}em{}");
  EXPECT_TRUE(cleaned.style_present);
  EXPECT_FALSE(Preprocess("plain").style_present);
}

TEST(Preprocessing, LinkedSheetOneFolderUp) {
  namespace fs = std::filesystem;
  const std::string root = testing::MakeTempFolder();
  fs::create_directories(root + "pages");
  ASSERT_TRUE(WriteTextFile(root + "site.css", "body{color:navy}\n"));
  ASSERT_TRUE(WriteTextFile(root + "pages/Local.css", "p{}"));

  const Cleaned up = Preprocess(
      "<head><link rel=\"stylesheet\" href=\"../site.css\"></head>x", root + "pages/");
  EXPECT_EQ(up.input, "x");
  EXPECT_EQ(up.style_text, "body{color:navy}\n");
  EXPECT_TRUE(up.style_present);

  // The href may precede rel; a backslash is a separator; a name is looked up as written,
  // then in lower case.
  EXPECT_EQ(Preprocess("<link href='..\\site.css' rel=STYLESHEET>", root + "pages/").style_text,
            "body{color:navy}\n");
  EXPECT_EQ(Preprocess("<link rel=stylesheet href=Local.css>", root + "pages/").style_text,
            "p{}");
  EXPECT_EQ(Preprocess("<link rel=stylesheet href=../SITE.CSS>", root + "pages/").style_text,
            "body{color:navy}\n");
  EXPECT_FALSE(Preprocess("<link rel=stylesheet href=missing.css>", root).style_present);
  EXPECT_FALSE(Preprocess("<link rel=stylesheet href=pages>", root).style_present);
  EXPECT_FALSE(Preprocess("<link rel=icon href=site.css>", root).style_present);
}

TEST(StylePaths, ResolveAgainstTheInputFolder) {
  const struct {
    std::string_view href, folder, want;
  } kCases[] = {
      {"a.css", "/x/y/", "/x/y/a.css"},
      {"../a.css", "/x/y/", "/x/a.css"},
      {"..\\..\\a.css", "/x/y/", "/a.css"},
      {"../../../a.css", "/x/y/", "/a.css"},  // never above the root
      {"./a.css", "/x/y/", "/x/y/./a.css"},
      {"/abs/a.css", "/x/y/", "/abs/a.css"},
      {"css//a.css", "/x/y/", "/x/y/css/a.css"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.href);
    EXPECT_EQ(ResolveStylePath(c.href, c.folder), c.want);
  }
}

TEST(StylePaths, RelativePathRules) {
  const struct {
    std::string_view folder, relative, want;
  } kCases[] = {
      {"/a/b/c/", "../../img.gif", "/a/img.gif"},
      {"/a/b/c/", "./img.gif", "/a/b/c/img.gif"},
      {"/a/b/c/", "/x.gif", "/x.gif"},
      {"/a/", "../../x.gif", "/x.gif"},
      {"/a/b", "../x.gif", "/a/x.gif"},  // a folder without its separator
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.relative);
    EXPECT_EQ(ResolveRelativePath(c.folder, c.relative), c.want);
  }
}

TEST(StylePaths, ReadHrefValue) {
  const struct {
    std::string_view text, want;
  } kCases[] = {
      {R"("my sheet.css" rel=x)", "my sheet.css"},
      {"'a.css'>", "a.css"},
      {"= a.css rel=x", "a.css"},
      {"a.css>", "a.css"},
      {"\x01" "a.css", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    std::size_t pos = 0;
    EXPECT_EQ(ReadHrefValue(c.text, pos), c.want);
  }
  std::size_t pos = 0;
  EXPECT_EQ(ReadHrefValue(std::string(300, 'a'), pos).size(), 260u);
}

}  // namespace
}  // namespace velmorane
