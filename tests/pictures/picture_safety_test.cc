// What a page can make the picture code do: only picture groups through imagertf, only
// regular files read, no temporary left, budgets per picture and per document, and
// sizes that fit RTF's numbers.
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "pictures/raw_picture.h"
#include "platform/files.h"
#include "rtf/conversion.h"
#include "rtf/pictures.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

const std::string kFixtures = std::string(VELMORANE_FIXTURES) + "/images/";

constexpr struct {
  std::string_view name, text;
  bool accepted;
} kRawPictureCases[] = {
    {"png picture", R"({\pict\pngblip\picw10\pich20\picwgoal150\pichgoal300 89504e470d0a})", true},
    {"blanks, line ends and crop words",
     "\n {\\pict\\jpegblip\\piccropl-5\\piccropr0 \\picscalex50\\picscaley50\r\nffd8\nffd9}\n", true},
    {"blip uid and shape properties",
     R"({\pict{\*\picprop\shplid1025{\sp{\sn shapeType}{\sv 75}}{\sp{\sn fLine}{\sv 0}}}\picw1\pich1\pngblip\bliptag-12{\*\blipuid 0011aabb}00})",
     true},
    {"a brace opened after the picture", R"({\pict\wmetafile8\picbmp\picbpp4\wbmbitspixel1\wbmplanes1 00}{)", false},
    {"metafile", R"({\pict\wmetafile8\picw1\pich1 0100})", true},
    {"dib", R"({\pict\dibitmap0\wbmwidthbytes4 28000000})", true},
    {"empty", "", false},
    {"plain text", "hello", false},
    {"a formatting group", R"({\b bold})", false},
    {"an embedded object", R"({\object\objemb{\*\objdata 0102}})", false},
    {"a field that fetches a URL", R"({\field{\*\fldinst INCLUDEPICTURE "http://x/y"}})", false},
    {"binary data", R"({\pict\pngblip\bin4 abcd})", false},
    {"an object inside the picture", R"({\pict\pngblip{\object 00}})", false},
    {"another destination inside", R"({\pict{\*\fldinst HYPERLINK x}00})", false},
    {"a group after the picture", R"({\pict\pngblip 00}{\field x})", false},
    {"text after the picture", R"({\pict\pngblip 00} text)", false},
    {"two pictures", R"({\pict\pngblip 00}{\pict\pngblip 00})", false},
    {"unclosed", R"({\pict\pngblip 00)", false},
    {"one brace too many", R"({\pict\pngblip 00}})", false},
    {"not a picture word", R"({\pict\par 00})", false},
    {"word glued to pict", R"({\pictx 00})", false},
    {"text that is not hex", R"({\pict\pngblip 00zz})", false},
    {"control symbol", R"({\pict\pngblip \'41})", false},
    {"property value with a group", R"({\pict{\*\picprop{\sp{\sn pib}{\sv {\pict 00}}}}00})", false},
    {"endless number", R"({\pict\picw123456789012 00})", false},
};

TEST(RawPicture, OnlyOnePictureGroupPasses) {
  for (const auto& c : kRawPictureCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsSinglePictureGroup(c.text), c.accepted);
  }
}

// One conversion's picture code driven directly, so that its budgets can be set.
struct PictureRun {
  explicit PictureRun(std::string input_folder = kFixtures, int image_format = 0)
      : c(carry, request, Options(image_format), testing::DefaultSettings()) {
    c.convert_images = true;
    c.input_folder = std::move(input_folder);
    c.work_folder = testing::MakeTempFolder();
  }
  static ConversionOptions Options(int image_format) {
    ConversionOptions options = testing::DefaultOptions();
    options.image_format = image_format;
    return options;
  }
  // Runs the picture tags of `tags` (nothing else) and returns the pictures written.
  std::string Run(std::string_view tags) {
    c.input = std::string(tags);
    for (c.pos = 0; c.pos < c.input.size(); ++c.pos) {
      if (c.input[c.pos] == '<') (void)TryImageTag(c);
    }
    std::string document;
    StringSink sink(document);
    PictureGroupWriter groups(c);
    EXPECT_TRUE(c.output.Finish(sink, &groups, false, false));
    c.pictures.temporaries.RemoveAll();
    return document;
  }

  CarryOver carry;
  ConvertRequest request;
  Conversion c;
};

int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string Fixture(const std::string& name) { return testing::ReadBytes(kFixtures + name); }

TEST(PictureFiles, SpecialFilesAreSkippedWithoutWaiting) {
  const std::string folder = testing::MakeTempFolder();
  ASSERT_EQ(::mkfifo((folder + "pipe.gif").c_str(), 0600), 0);
  std::filesystem::create_directory(folder + "folder.png");
  testing::WriteBytes(folder + "good.gif", Fixture("pic.gif"));
  PictureRun run(folder);
  const std::string rtf =
      run.Run(R"(<img src="pipe.gif"><img src="folder.png"><img src="good.gif">)");
  EXPECT_EQ(CountOf(rtf, "{\\pict"), 1);
  EXPECT_TRUE(std::filesystem::is_empty(run.c.work_folder));
}

TEST(PictureFiles, NoTemporaryOutlivesAFailedDecode) {
  const std::string folder = testing::MakeTempFolder();
  testing::WriteBytes(folder + "bad.gif", "GIF89a\x10\x00\x10\x00\x80\x00\x00 not a picture");
  testing::WriteBytes(folder + "bad.png", "\x89PNG\r\n\x1a\n cut");
  testing::WriteBytes(folder + "bad.jpg", "\xff\xd8 no jpeg");
  for (const int image_format : {0, 1}) {
    SCOPED_TRACE(image_format);
    std::string work_folder;
    {
      PictureRun run(folder, image_format);
      work_folder = run.c.work_folder;
      EXPECT_EQ(run.Run(R"(<img src="bad.gif"><img src="bad.png"><img src="bad.jpg">)"), "");
    }  // the end of the conversion
    EXPECT_TRUE(std::filesystem::is_empty(work_folder));
  }
}

TEST(PictureBudgets, PicturesOfTooManyPixelsAreSkipped) {
  const std::string folder = testing::MakeTempFolder();
  std::string gif = Fixture("pic.gif");
  ASSERT_EQ(gif[0x2d], ',');  // the first image descriptor
  // 10000 x 10000 = 100 million pixels, as the screen or as the first image.
  std::string big_screen = gif;
  big_screen.replace(6, 4, "\x10\x27\x10\x27");
  std::string big_image = gif;
  big_image.replace(0x32, 4, "\x10\x27\x10\x27");
  testing::WriteBytes(folder + "screen.gif", big_screen);
  testing::WriteBytes(folder + "image.gif", big_image);
  testing::WriteBytes(folder + "small.gif", gif);
  for (const int image_format : {0, 1}) {
    SCOPED_TRACE(image_format);
    PictureRun run(folder, image_format);
    const std::string rtf =
        run.Run(R"(<img src="screen.gif"><img src="image.gif"><img src="small.gif">)");
    EXPECT_EQ(CountOf(rtf, "{\\pict"), 1);
    EXPECT_TRUE(std::filesystem::is_empty(run.c.work_folder));
  }
}

TEST(PictureBudgets, TheDocumentsPictureDataHasALimit) {
  const long long one_png = 2 * static_cast<long long>(Fixture("pic.png").size());
  PictureRun run;
  run.c.pictures.picture_text_left = 2 * one_png + one_png / 2;
  // The same picture again shares its file but still counts; so does a new one.
  const std::string rtf = run.Run(
      R"(<img src="pic.png"><img src="pic.png"><img src="pic.png"><img src="pic.jpg">)");
  EXPECT_EQ(CountOf(rtf, "{\\pict"), 2);
  EXPECT_TRUE(std::filesystem::is_empty(run.c.work_folder));
}

class Collected : public MessageSink {
 public:
  void Message(MessageKind kind, std::string_view text) override {
    if (kind == MessageKind::kWarning) warnings.emplace_back(text);
  }
  std::vector<std::string> warnings;
};

TEST(PictureBudgets, DecodingStopsWhenTheDocumentsBudgetIsSpent) {
  const std::string limit = "picture skipped, the document's pictures reached their decoding limit: ";
  const struct {
    const char* name;
    long long pixels_left, milliseconds_left;
    bool text_spent;
    const char* tags;
    int pictures;
    std::vector<std::string> warnings;
  } kCases[] = {
      // pic.webp and pic.tif are 30 x 20 = 600 pixels each.
      {"the first decode spends the pixels left", 600, 10000, false,
       R"(<img src="pic.webp"><img src="pic.tif"><img src="pic.png">)", 2,
       {limit + kFixtures + "pic.tif"}},
      {"a WebP header tells its size before decoding", 500, 10000, false,
       R"(<img src="pic.webp"><img src="pic.jpg">)", 1, {limit + kFixtures + "pic.webp"}},
      {"no decoding time left: pictures copied as they are still go in", 1000, 0, false,
       R"(<img src="pic.gif"><img src="pic.png"><img src="pic.svg">)", 1,
       {limit + kFixtures + "pic.gif", limit + kFixtures + "pic.svg"}},
      {"the picture text is spent: nothing more is decoded", 1000, 10000, true,
       R"(<img src="pic.webp">)", 0,
       {"picture skipped, the document's pictures reached their 256 MiB limit: " + kFixtures +
        "pic.webp"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    PictureRun run;
    Collected collected;
    run.c.messages = &collected;
    run.c.pictures.decoded_pixels_left = c.pixels_left;
    run.c.pictures.decode_milliseconds_left = c.milliseconds_left;
    run.c.pictures.picture_text_spent = c.text_spent;
    EXPECT_EQ(CountOf(run.Run(c.tags), "{\\pict"), c.pictures);
    EXPECT_EQ(collected.warnings, c.warnings);
  }
}

TEST(InlineSvg, ElementsAreMatchedWithTheirEnds) {
  std::string unclosed;
  for (int i = 0; i < 20000; ++i) unclosed += "<svg>";
  const struct {
    const char* name;
    std::string tags;
    int pictures;
  } kCases[] = {
      {"one element", R"(<svg width="4" height="4"><rect width="2" height="2"/></svg>)", 1},
      {"a nested element belongs to the outer one",
       R"(<svg width="4" height="4"><svg width="2" height="2"></svg><svg/></svg>)", 1},
      {"many unclosed elements", unclosed, 0},
      {"only the innermost of unclosed ones is closed", unclosed + R"(<rect/></svg>)", 1},
      {"an end tag without its '>'", R"(<svg width="4" height="4"></svg)", 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    PictureRun run;
    EXPECT_EQ(CountOf(run.Run(c.tags), "{\\pict"), c.pictures);
  }
}

// A PNG header that claims the largest size a PNG can have.
std::string HugePngHeader() {
  std::string png("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
  png += std::string("\x7f\xff\xff\xff\x7f\xff\xff\xff\x08\x06\x00\x00\x00", 13);
  png += std::string(4, '\0');  // the checksum is not looked at for the size
  return png;
}

TEST(PictureSizes, AreClampedIntoRtfNumbers) {
  const std::string folder = testing::MakeTempFolder();
  testing::WriteBytes(folder + "huge.png", HugePngHeader());
  PictureRun run(folder);
  const std::string rtf = run.Run(R"(<img src="huge.png" width=2000000000 height=1999999999>)");
  EXPECT_NE(rtf.find(R"({\pict\pngblip\picw2147483647\pich2147483647\picwgoal2147483647\pichgoal2147483647\picscalex0\picscaley0)"),
            std::string::npos)
      << rtf.substr(0, 200);

  PictureRun wmf(folder, 1);
  const std::string metafile = wmf.Run(R"(<img src="huge.png">)");
  EXPECT_EQ(metafile.find("{\\pict"), std::string::npos);  // far too many pixels to decode
}

TEST(PictureSizes, NormalSizesAreUnchanged) {
  PictureRun run;
  const std::string rtf = run.Run(R"(<img src="pic.png" width=40>)");
  EXPECT_NE(rtf.find(R"({\pict\pngblip\picw)"), std::string::npos);
  EXPECT_NE(rtf.find(R"(\picwgoal600\pichgoal)"), std::string::npos);
}

}  // namespace
}  // namespace velmorane
