// Hyperlink fields, bookmarks, form fields and the radio-button pictures; attribute text
// never leaves its field.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "rtf/links.h"
#include "rtf/handler_fixture.h"

namespace velmorane {
namespace {

using testing::HandlerFixture;

ConversionOptions WithHyperlinks() {
  ConversionOptions o = testing::DefaultOptions();
  o.keep_hyperlinks = 1;
  return o;
}

constexpr std::string_view kExternal = R"({\field{\*\fldinst { HYPERLINK )";
constexpr std::string_view kInternal = R"({\field{\*\fldinst { HYPERLINK \\l )";
constexpr std::string_view kTextResult = R"( }}{\fldrslt {\ul\cf2 )";

std::string Field(std::string_view head, std::string_view target, std::string_view result) {
  return std::string(head) + std::string(target) + std::string(result);
}

TEST(Anchors, FieldsAndBookmarks) {
  const struct {
    const char* name;
    std::string_view tag;
    bool images;
    std::string want;
    bool opens;
  } kCases[] = {
      {"external target in double quotes", R"(<a href="http://example.org/">Home</a>)", false,
       Field(kExternal, R"("http://example.org/")", kTextResult), true},
      {"internal target in apostrophes", "<a href='#top'>", false,
       Field(kInternal, R"("top")", kTextResult), true},
      // Both name the page itself, which a browser shows as a link.
      {"a lone # links to the document", R"(<a href="#">)", false,
       Field(kExternal, R"("#")", kTextResult), true},
      {"so does an empty href", R"(<a href="">)", false, Field(kExternal, R"("#")", kTextResult),
       true},
      {"an unquoted href is ignored", "<a href=x.html>", false, "", false},
      {"blanks around the equals sign", R"(<a href = "u.html">)", false,
       Field(kExternal, R"("u.html")", kTextResult), true},
      {"the value on the next line", "<a href=\n  'u.html'>", false,
       Field(kExternal, R"("u.html")", kTextResult), true},
      {"an unquoted value after blanks is ignored", "<a href = u.html>", false, "", false},
      {"a longer name ending in href is no href", R"(<a data-href = "u">)", false, "", false},
      {"spaced bookmark name", R"(<a name = "m">)", false, R"({\*\bkmkstart m}{\*\bkmkend m})",
       false},
      {"image link without underline", R"(<a href="p.html"><img src="p.gif"></a>)", true,
       Field(kExternal, R"("p.html")", R"( }}{\fldrslt { )"), true},
      {"image link with images off writes no field",
       R"(<a href="p.html"><img src="p.gif"></a>)", false, "", false},
      {"an image after the end tag does not count", R"(<a href="p.html">x</a><img src=a>)",
       true, Field(kExternal, R"("p.html")", kTextResult), true},
      {"bookmark only", R"(<a name="x">)", false, R"({\*\bkmkstart x}{\*\bkmkend x})", false},
      {"text in a title is not read as attributes", R"(<a title="href='y'" href="z">)", false,
       Field(kExternal, R"("z")", kTextResult), true},
      {"an apostrophe inside a double-quoted target stays", R"(<a href="it's.html">)", false,
       Field(kExternal, R"("it's.html")", kTextResult), true},
      {"a target cannot leave its field", R"(<a href="x}}}{\object">)", false,
       Field(kExternal, R"("x\}\}\}\{\\object")", kTextResult), true},
      {"a bookmark name cannot either", "<a name='n}{\\b\x01'>", false,
       R"({\*\bkmkstart n\}\{\\b}{\*\bkmkend n\}\{\\b})", false},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.name);
    HandlerFixture f(WithHyperlinks());
    f.c.convert_images = test.images;
    EXPECT_EQ(f.Run(test.tag, HandleAnchorStart), test.want);
    EXPECT_EQ(f.c.input[f.c.pos], '>');
    EXPECT_EQ(f.c.links.link_open, test.opens);
  }
}

TEST(Anchors, AddressesThatLeaveThePageFolderOnlyToComeBack) {
  const struct {
    std::string_view folder, href, want;
  } kCases[] = {
      {"/doc/manual/en/mod/", "../mod/index.html", "index.html"},
      {"/doc/manual/en/mod/", "../../en/mod/x.html#a", "x.html#a"},
      {"/doc/manual/en/mod/", "../../fr/mod/x.html", "../../fr/mod/x.html"},
      {"/doc/manual/en/mod/", "../modules/x.html", "../modules/x.html"},
      {"/doc/manual/en/mod/", "../mod", "../mod"},
      {"mod/", "../../mod/x.html", "../../mod/x.html"},  // climbs beyond what is known
      {"", "../mod/x.html", "../mod/x.html"},
      {"/doc/mod/", "http://example.org/../mod/x", "http://example.org/../mod/x"},
      {"/doc/", "file:~/.bashrc", "~/.bashrc"},
      {"/doc/", "file:../doc/a.html", "a.html"},
      {"/doc/", "file:///etc/motd", "file:///etc/motd"},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(std::string(test.folder) + " " + std::string(test.href));
    HandlerFixture f(WithHyperlinks());
    f.c.input_folder = std::string(test.folder);
    const std::string tag = "<a href=\"" + std::string(test.href) + "\">";
    EXPECT_EQ(f.Run(tag, HandleAnchorStart),
              Field(kExternal, "\"" + std::string(test.want) + "\"", kTextResult));
  }
}

TEST(Anchors, EndTagClosesOnlyOpenFields) {
  HandlerFixture f(WithHyperlinks());
  f.Run(R"(<a href="a">)", HandleAnchorStart);
  // An anchor inside an anchor closes the outer field first.
  EXPECT_EQ(f.Run(R"(<a href="b">)", HandleAnchorStart),
            "}}}" + Field(kExternal, R"("b")", kTextResult));
  EXPECT_EQ(f.Run("</a>", HandleAnchorEnd), "}}}");
  EXPECT_EQ(f.c.pos, 3u);
  EXPECT_EQ(f.Run("</a>", HandleAnchorEnd), "");
}

TEST(Anchors, KeepHyperlinksOffWritesNothing) {
  HandlerFixture f;
  EXPECT_EQ(f.Run(R"(<a href="http://example.org/">)", HandleAnchorStart), "");
  EXPECT_EQ(f.c.pos, 29u);
  EXPECT_FALSE(f.c.links.link_open);
}

TEST(FormFields, ByType) {
  const struct {
    const char* name;
    std::string_view tag;
    std::string want;
  } kCases[] = {
      {"checked check box", R"(<input type="checkbox" name="c1" checked>)",
       R"({\*\bkmkstart c1}{\field\fldpriv{\*\fldinst { FORMCHECKBOX }{{\*\formfield{\fftype1\ffres25\fftypetxt0\ffhps20{\*\ffname c1}\ffdefres1}}}}{\fldrslt }}{\*\bkmkend c1})"
       "\n"},
      {"unchecked check box", "<input TYPE=CheckBox name=c2>",
       R"({\*\bkmkstart c2}{\field\fldpriv{\*\fldinst { FORMCHECKBOX }{{\*\formfield{\fftype1\ffres25\fftypetxt0\ffhps20{\*\ffname c2}\ffdefres0}}}}{\fldrslt }}{\*\bkmkend c2})"
       "\n"},
      {"text field", R"(<input type="text" name="q" value="abc">)",
       R"({\*\bkmkstart q}{\field{\*\fldinst { FORMTEXT }{{\*\formfield{\fftype0\fftypetxt0{\*\ffname q}{\*\ffdeftext abc}}}}}{\fldrslt {\noproof abc}}}{\*\bkmkend q})"
       "\n"},
      {"a value cannot leave its field", R"(<input type=text name="n{" value="a}}{\b x>y">)",
       R"({\*\bkmkstart n\{}{\field{\*\fldinst { FORMTEXT }{{\*\formfield{\fftype0\fftypetxt0{\*\ffname n\{}{\*\ffdeftext a\}\}\{\\b x>y}}}}}{\fldrslt {\noproof a\}\}\{\\b x>y}}}{\*\bkmkend n\{})"
       "\n"},
      {"submit writes nothing", R"(<input type="submit" value="Go">)", ""},
      {"selected radio button", "<input type=radio checked>", RadioButtonPicture(true)},
      {"empty radio button", "<input type=radio name=r>", RadioButtonPicture(false)},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.name);
    HandlerFixture f;
    EXPECT_EQ(f.Run(test.tag, HandleInput), test.want);
    EXPECT_EQ(f.c.pos, test.tag.size() - 1);
  }
}

TEST(FormFields, LongValuesAreCut) {
  HandlerFixture f;
  const std::string tag = "<input type=text name=" + std::string(150, 'n') + " value=\"" +
                          std::string(150, 'v') + "\">";
  const std::string out = f.Run(tag, HandleInput);
  EXPECT_NE(out.find(R"({\*\ffdeftext )" + std::string(99, 'v') + "}"), std::string::npos);
  EXPECT_NE(out.find(R"({\*\ffname )" + std::string(99, 'n') + "}"), std::string::npos);
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// Each picture is a complete palette PNG of 28 x 25 pixels with intact chunks, padded
// with zeros to 256 bytes.
TEST(RadioButtons, PicturesAreValidPalettePngs) {
  constexpr std::string_view kHead =
      R"({\pict\pngblip\picw420\pich375\picwgoal420\pichgoal375\picscalex100\picscaley100)" "\n";
  for (const bool selected : {true, false}) {
    SCOPED_TRACE(selected ? "selected" : "empty");
    const std::string group = RadioButtonPicture(selected);
    ASSERT_TRUE(group.starts_with(kHead));
    ASSERT_TRUE(group.ends_with("}\n"));
    const std::string hex = group.substr(kHead.size(), group.size() - kHead.size() - 2);
    ASSERT_EQ(hex.size(), 512u);
    std::vector<std::uint8_t> png;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
      png.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    ASSERT_EQ(std::string(png.begin(), png.begin() + 8), "\x89PNG\r\n\x1a\n");
    auto be32 = [&png](std::size_t at) {
      return std::uint32_t{png[at]} << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
    };
    std::vector<std::string> kinds;
    std::size_t at = 8;
    while (kinds.empty() || kinds.back() != "IEND") {
      ASSERT_LE(at + 12, png.size());
      const std::uint32_t length = be32(at);
      ASSERT_LE(length, png.size() - at - 12);
      const std::string kind(png.begin() + at + 4, png.begin() + at + 8);
      EXPECT_EQ(be32(at + 8 + length), Crc32(&png[at + 4], length + 4)) << kind;
      if (kind == "IHDR") {
        EXPECT_EQ(be32(at + 8), 28u);
        EXPECT_EQ(be32(at + 12), 25u);
        EXPECT_EQ(png[at + 16], 8);  // bit depth
        EXPECT_EQ(png[at + 17], 3);  // palette colour
      }
      if (kind == "PLTE") {
        EXPECT_EQ(length, selected ? 24u : 12u);
      }
      kinds.push_back(kind);
      at += 12 + length;
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{"IHDR", "PLTE", "IDAT", "IEND"}));
    for (; at < png.size(); ++at) EXPECT_EQ(png[at], 0) << "padding at " << at;
  }
}

TEST(Forms, SeparateParagraphs) {
  HandlerFixture f;
  f.c.loop.at_paragraph_start = true;
  EXPECT_EQ(f.Run("<form action=x>", HandleFormStart), "");
  EXPECT_EQ(f.c.pos, 14u);
  f.WriteText("a");
  f.c.loop.after_div_close = true;
  EXPECT_EQ(f.Run("<form>", HandleFormStart), testing::kParagraphStart);
  EXPECT_FALSE(f.c.loop.after_div_close);

  HandlerFixture cell;
  cell.EnterCell(1, 2);
  cell.c.loop.at_paragraph_start = false;
  EXPECT_EQ(cell.Run("<form>", HandleFormStart),
            std::string(testing::kFirstCellParagraph) + R"(\itap2 )");
  cell.WriteText("a");
  EXPECT_EQ(cell.Run("<form>", HandleFormStart),
            std::string(testing::kCellParagraphStart) + R"(\itap2 )");

  EXPECT_EQ(f.Run("</form>", HandleFormEnd), "");
  EXPECT_TRUE(f.c.loop.after_paragraph_close);
  EXPECT_EQ(f.c.pos, 6u);
}

// Whole document read back by a word processor (needs the tag loop and LibreOffice): the
// list items, the hyperlinks with their targets, the bookmarks and the form fields arrive.
TEST(LinkDocuments, WordProcessorReadsListsLinksAndFields) {
  const std::string html = R"(<html><body>
<p>A <a href="http://example.org/home">home link</a> and a <a name="here">bookmark</a>.</p>
<p>Back to the <a href="#here">bookmark</a>.</p>
<ul><li>apple<li>pear<ul><li>inner one<li>inner two<ol type=I><li>one<li>two</ol></ul>
<li>plum</ul>
<form><input type="checkbox" name="c1" checked> check <input type=text name=q value="abc">
<input type=radio checked> radio</form>
</body></html>)";
  const std::string rtf = testing::Convert(html, WithHyperlinks());
  if (testing::TagLoopPassesMarkupThrough(rtf, "<ul>")) GTEST_SKIP() << "no tag loop";
  if (std::system("command -v soffice > /dev/null 2>&1") != 0) GTEST_SKIP() << "no soffice";

  const std::string folder = testing::MakeTempFolder();
  std::ofstream(folder + "page.rtf", std::ios::binary) << rtf;
  const std::string convert = "cd '" + folder + "' && timeout 300 soffice --headless " +
                              "-env:UserInstallation=file://" + folder + "profile " +
                              "--convert-to odt --outdir . page.rtf > /dev/null 2>&1";
  ASSERT_EQ(std::system(convert.c_str()), 0);
  std::string content;
  if (FILE* pipe = ::popen(("unzip -p '" + folder + "page.odt' content.xml").c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
      content.append(buffer, n);
    }
    ::pclose(pipe);
  }
  EXPECT_NE(content.find(R"(xlink:href="http://example.org/home")"), std::string::npos);
  EXPECT_NE(content.find(R"(xlink:href="#here")"), std::string::npos);
  EXPECT_NE(content.find(R"(text:name="here")"), std::string::npos);
  std::size_t items = 0;
  for (std::size_t at = 0; (at = content.find("<text:list-item", at)) != std::string::npos; ++at) {
    ++items;
  }
  EXPECT_GE(items, 7u);
  EXPECT_NE(content.find("FORMCHECKBOX"), std::string::npos);
  EXPECT_NE(content.find("FORMTEXT"), std::string::npos);
  EXPECT_NE(content.find("abc"), std::string::npos);
}

}  // namespace
}  // namespace velmorane
