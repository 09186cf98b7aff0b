// Picture sources besides src paths: data: addresses, srcset candidates, placeholders,
// tag attributes, and recognising formats by their bytes.
#include "pictures/picture_sources.h"

#include <gtest/gtest.h>

#include <string>

#include "pictures/picture_format.h"

namespace velmorane {
namespace {

TEST(DecodeDataUri, Forms) {
  const struct { const char* uri; bool ok; const char* type; std::string bytes; } kCases[] = {
      {"data:image/png;base64,iVBORw0K", true, "image/png", "\x89PNG\r\n"},
      {"DATA:Image/PNG;BASE64,iVBO Rw0K\n", true, "image/png", "\x89PNG\r\n"},  // blanks skipped
      {"data:image/gif;base64,R0lGODlh", true, "image/gif", "GIF89a"},
      {"data:;base64,QUI=", true, "", "AB"},                     // padding kept
      {"data:;base64,QUI", true, "", "AB"},                      // padding left out
      {"data:image/svg+xml;charset=utf-8,%3Csvg%2F%3E", true, "image/svg+xml", "<svg/>"},
      {"data:image/svg+xml,<svg a='1%'/>", true, "image/svg+xml", "<svg a='1%'/>"},
      {"data:image/png;base64,iVBO%2BA==", true, "image/png", std::string("\x89PN\xf8", 4)},
      {"data:image/png;base64,@@@@", false, "", ""},             // not base64
      {"data:image/png;base64,QUI=QUI=", false, "", ""},         // data after the padding
      {"data:image/png;base64,Q", false, "", ""},                // a lone character
      {"data:image/png;base64,", false, "", ""},                 // nothing
      {"data:image/png;base64", false, "", ""},                  // no comma
      {"image/png;base64,QUI=", false, "", ""},                  // no scheme
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.uri);
    const std::optional<DataUri> data = DecodeDataUri(c.uri);
    ASSERT_EQ(data.has_value(), c.ok);
    if (!data) continue;
    EXPECT_EQ(data->media_type, c.type);
    EXPECT_EQ(data->bytes.substr(0, c.bytes.size()), c.bytes);
  }
}

TEST(ParseSrcset, CandidatesAndDescriptors) {
  const auto list = ParseSrcset(
      " small.png 480w,\n big.png 1200w , data:image/png;base64,AAAA,BBBB 2x,"
      "plain.png, bad.png 3q, weird.png 2x 100h");
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list[0].url, "small.png");
  EXPECT_EQ(list[0].width, 480);
  EXPECT_EQ(list[1].url, "big.png");
  EXPECT_EQ(list[1].width, 1200);
  // A comma inside an address belongs to it when no blank follows.
  EXPECT_EQ(list[2].url, "data:image/png;base64,AAAA,BBBB");
  EXPECT_EQ(list[2].density, 2);
  EXPECT_EQ(list[3].url, "plain.png");
  EXPECT_EQ(list[3].density, 1);
  EXPECT_EQ(list[4].url, "weird.png");  // "bad.png 3q" was dropped
}

TEST(LargestCandidate, ByWidthElseDensitySkippingUnsupportedTypes) {
  const struct { const char* srcset; const char* want; } kCases[] = {
      {"a.png 1x, b.png 2x, c.png 1.5x", "b.png"},
      {"a.png 100w, b.png 2x, c.png 300w", "c.png"},
      {"a.png 100w, b.avif 900w, c.webp 300w", "c.webp"},
      {"a.avif 2x, b.jxl 3x", ""},
      {"only.png", "only.png"},
      {"same1.png 2x, same2.png 2x", "same1.png"},
      {"x.png?size=big 2x, y.avif?v=1 3x", "x.png?size=big"},
      {"", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.srcset);
    EXPECT_EQ(LargestCandidate(ParseSrcset(c.srcset)), c.want);
  }
  EXPECT_FALSE(MaySupportPicture("any.png", "image/avif"));
  EXPECT_TRUE(MaySupportPicture("any", "image/webp"));
  EXPECT_FALSE(MaySupportPicture("data:image/heic;base64,AAAA"));
}

TEST(IsPlaceholderSource, EmptyTinyAndOnePixelSources) {
  // A 1 x 1 GIF of more than 100 characters (a comment extension pads it).
  const std::string one_pixel_gif =
      "data:image/gif;base64,R0lGODlhAQABAIAAAAAAAP///yH+PHBhZGRpbmdwYWRkaW5ncGFkZGluZ3BhZGRp"
      "bmdwYWRkaW5ncGFkZGluZ3BhZGRpbmdwYWRkaW5ncGFkIQAsAAAAAAEAAQAAAgJEAQA7";
  const std::string long_png = "data:image/png;base64," + std::string(200, 'A');
  const struct { std::string source; bool placeholder; } kCases[] = {
      {"", true},
      {"   ", true},
      {"data:image/gif;base64,R0lGODlhAQABAAAAACw=", true},
      {one_pixel_gif, true},
      {long_png, false},
      {"spacer.gif", false},  // a file: it may be a real picture
      {"photo.jpg", false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.source);
    EXPECT_EQ(IsPlaceholderSource(c.source), c.placeholder);
  }
}

TEST(ParseTagAttributes, QuotedUnquotedAndBare) {
  const auto a = ParseTagAttributes(
      "<img SRC=a.png alt=\"x > y\" data-src = 'b c.png' hidden\nsrcset=\"s 1x\"/>rest");
  ASSERT_EQ(a.size(), 5u);
  EXPECT_EQ(a[0].name, "src");
  EXPECT_EQ(a[0].value, "a.png");
  EXPECT_EQ(FindAttribute(a, "alt")->value, "x > y");
  EXPECT_EQ(FindAttribute(a, "data-src")->value, "b c.png");
  EXPECT_FALSE(FindAttribute(a, "hidden")->has_value);
  EXPECT_EQ(FindAttribute(a, "srcset")->value, "s 1x");
  EXPECT_EQ(FindAttribute(a, "rest"), nullptr);
  // An unclosed quote runs to the end without reading past it.
  EXPECT_EQ(FindAttribute(ParseTagAttributes("<img alt=\"open"), "alt")->value, "open");
}

TEST(SniffPictureFormat, ByBytesAlone) {
  using F = PictureFormat;
  const struct { std::string head; F format; } kCases[] = {
      {"\x89PNG\r\n\x1a\n....", F::kPng},
      {"\xFF\xD8\xFF\xE0", F::kJpeg},
      {"GIF89a", F::kGif},
      {"GIF87a", F::kGif},
      {"BM....", F::kBmp},
      {std::string("RIFF\x10\0\0\0WEBPVP8L", 16), F::kWebp},
      {std::string("RIFF\x10\0\0\0WAVEfmt ", 16), F::kUnknown},
      {std::string("\0\0\1\0\2\0", 6), F::kIco},
      {std::string("\0\0\1\0\0\0", 6), F::kUnknown},  // no entries
      {std::string("II*\0", 4), F::kTiff},
      {std::string("MM\0*", 4), F::kTiff},
      {"<svg xmlns='http://www.w3.org/2000/svg'/>", F::kSvg},
      {"\xEF\xBB\xBF  <?xml version='1.0'?>\n<!-- c > d -->\n<!DOCTYPE svg PUBLIC 'x'>\n<svg>", F::kSvg},
      {"<svg:svg xmlns:svg='http://www.w3.org/2000/svg'>", F::kSvg},
      {"<?xml version='1.0'?>\n<!DOCTYPE svg PUBLIC 'x' 'y' [\n <!ENTITY ns_svg 'http://www.w3.org/2000/svg'>\n"
       " <!ENTITY st 'fill:red'>\n]>\n<svg xmlns='&ns_svg;'>", F::kSvg},
      {"<!DOCTYPE svg [ <!ENTITY a '>'> ]><html>", F::kUnknown},
      {"<!DOCTYPE svg [ <!ENTITY a 'b'> <svg>", F::kUnknown},  // the subset never ends
      {"<!DOCTYPE html><html><body><svg></svg>", F::kUnknown},
      {"<svgx>", F::kUnknown},
      {"<?xml version='1.0'", F::kUnknown},
      {"", F::kUnknown},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.head);
    EXPECT_EQ(SniffPictureFormat(std::string_view(c.head)), c.format);
  }
}

TEST(ChooseRenderSize, AskedOwnAndDefaultSizes) {
  const struct { int w, h; double own_w, own_h; int want_w, want_h; } kCases[] = {
      {0, 0, 0, 0, 300, 150},            // nothing known
      {0, 0, 48, 24, 48, 24},            // the drawing's own size
      {100, 0, 48, 24, 100, 50},         // one side asked: own proportions
      {0, 60, 48, 24, 120, 60},
      {100, 0, 0, 0, 100, 50},           // default proportions
      {20, 70, 48, 24, 20, 70},          // both asked
      {0, 0, 100000, 50000, 4096, 2048}, // huge: capped, proportions kept
      {9000, 9000, 0, 0, 4096, 4096},
      {0, 0, 100000, 1, 4096, 1},        // never below one pixel
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    const RenderSize size = ChooseRenderSize(c.w, c.h, c.own_w, c.own_h);
    EXPECT_EQ(size.width, c.want_w);
    EXPECT_EQ(size.height, c.want_h);
  }
}

}  // namespace
}  // namespace velmorane
