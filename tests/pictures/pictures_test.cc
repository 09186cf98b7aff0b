// Picture tags through the in-memory entry: sources, sizes, formats, reuse, and the
// safety of the user's files in the work folder.
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "pictures/acquire.h"
#include "platform/files.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

const std::string kFixtures = std::string(VELMORANE_FIXTURES) + "/images/";

struct Result {
  std::string rtf;
  std::string work_folder;
};

Result ConvertWithPictures(const std::string& html, int image_format = 0,
                           const std::string& input_folder = kFixtures,
                           std::string work_folder = {}) {
  ConversionOptions options = testing::DefaultOptions();
  options.image_format = image_format;
  if (work_folder.empty()) work_folder = testing::MakeTempFolder();
  ConvertRequest request;
  request.convert_images = true;
  Engine engine;
  Result result;
  result.work_folder = work_folder;
  (void)engine.ConvertHtmlBytes(html, input_folder, work_folder, request, options,
                                testing::DefaultSettings(), result.rtf);
  return result;
}

int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

bool FolderIsEmpty(const std::string& folder) {
  return std::filesystem::is_empty(folder);
}

TEST(HexDump, WritesLowerCasePairsFromTheOffset) {
  const std::string folder = testing::MakeTempFolder();
  ASSERT_TRUE(WriteBinaryFile(folder + "three.bin", std::string("\x00\xab\x10", 3)));
  EXPECT_EQ(HexDumpFile(folder + "three.bin", 0, folder + "a.hex"), 3);
  std::string hex;
  ASSERT_TRUE(ReadBinaryFile(folder + "a.hex", hex));
  EXPECT_EQ(hex, "00ab10");
  EXPECT_EQ(HexDumpFile(folder + "three.bin", 1, folder + "b.hex"), 2);
  ASSERT_TRUE(ReadBinaryFile(folder + "b.hex", hex));
  EXPECT_EQ(hex, "ab10");
  EXPECT_EQ(HexDumpFile(folder + "missing.bin", 0, folder + "c.hex"), 0);
}

TEST(ImageTags, TagsThatPlaceNoPicture) {
  constexpr struct { const char* name; const char* html; } kCases[] = {
      {"no source", "<p>a<img width=10>b</p>"},
      {"no blank after the name", "<p>a<img>b<img/>c</p>"},
      {"unknown extension", "<img src=\"archive.tar.gz\">"},
      {"missing file", "<img src=\"nothere.png\">"},
      {"remote with downloads off", "<img src=\"https://127.0.0.1:1/picture.png\">"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const Result r = ConvertWithPictures(c.html);
    EXPECT_EQ(r.rtf.find("{\\pict"), std::string::npos);
    EXPECT_TRUE(FolderIsEmpty(r.work_folder));
  }
}

TEST(ImageTags, FormatsChooseTheirPictureGroups) {
  constexpr struct { const char* file; int format; const char* group; } kCases[] = {
      {"pic.png", 0, "\n{\\pict\\pngblip\\picw30\\pich20\\picwgoal450\\pichgoal300\\picscalex100\\picscaley100\n"},
      {"pic.jpg", 0, "\n{\\pict\\picw30\\pich20\\picwgoal450\\pichgoal300\\jpegblip\\picscalex100\\picscaley100\n"},
      {"pic.gif", 0, "\n{\\pict\\pngblip\\picw30\\pich20\\picwgoal450\\pichgoal300\\picscalex100\\picscaley100\n89504e47"},
      {"pic.bmp", 0, "\n{\\pict\\wmetafile8\\picw793\\pich529\\picwgoal450\\pichgoal300\\picscalex100\\picscaley100\n"},
      {"pic.png", 1, "\n{\\pict\\wmetafile8\\picw793\\pich529\\picwgoal450\\pichgoal300\\picscalex100\\picscaley100\n"},
      {"pic.jpg", 1, "\n{\\pict\\dibitmap0\\picw793\\pich529\\picwgoal450\\pichgoal300\\picscalex100\\picscaley100\n"},
      {"pic.gif", 1, "\n{\\pict\\dibitmap0\\picw793\\pich529\\picwgoal450\\pichgoal300\\picscalex100\\picscaley100\n"},
      {"pic.gif", 2, "\n{\\pict\\wmetafile8\\picw793\\pich529\\picwgoal450\\pichgoal300\\picscalex100\\picscaley100\n"},
      {"pic.bmp", 2, "\n{\\pict\\wmetafile8\\picw793\\pich529\\picwgoal450\\pichgoal300\\picscalex100\\picscaley100\n"},
      {"pic.png", 2, "\n{\\pict\\pngblip\\picw30\\pich20\\picwgoal450\\pichgoal300\\picscalex100\\picscaley100\n"},
      {"pic.bmp", 1, "\n{\\pict\\dibitmap0\\picw793\\pich529\\picwgoal450\\pichgoal300\\picscalex100\\picscaley100\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.file) + " format " + std::to_string(c.format));
    const Result r = ConvertWithPictures(std::string("<p>x<img src=\"") + c.file + "\">y</p>", c.format);
    const std::size_t at = r.rtf.find(c.group);
    ASSERT_NE(at, std::string::npos) << r.rtf.substr(0, 2000);
    // One unbroken run of lower-case hex, then the closing brace.
    const std::size_t hex_start = at + std::string(c.group).size();
    const std::size_t end = r.rtf.find('}', hex_start);
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(r.rtf.find_first_not_of("0123456789abcdef", hex_start), end);
    EXPECT_GT(end - hex_start, 40u);
    EXPECT_EQ((end - hex_start) % 2, 0u);
    EXPECT_TRUE(FolderIsEmpty(r.work_folder));
  }
}

TEST(ImageTags, GoalSizesFromAttributes) {
  constexpr struct { const char* attributes; const char* want; } kCases[] = {
      {"width=50%", "\\picwgoal750\\pichgoal300"},           // 50% reads as 50 pixels
      {"width=15", "\\picwgoal225\\pichgoal150"},            // keeps proportions (q = 2)
      {"height=10", "\\picwgoal225\\pichgoal150"},
      {"width=60", "\\picwgoal900\\pichgoal300"},            // q = 0: own height stays
      {"width=\"40\" height='5'", "\\picwgoal600\\pichgoal75"},  // quotes are passed over
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.attributes);
    const Result r = ConvertWithPictures(std::string("<img src=\"pic.png\" ") + c.attributes + ">");
    EXPECT_NE(r.rtf.find(c.want), std::string::npos);
  }
}

TEST(ImageTags, WidePictureIsScaledToTheTextWidth) {
  // 1000 pixels = 15000 twips on a text width of 11906 - 720 - 1800 = 9386 twips.
  const Result r = ConvertWithPictures("<img src=\"wide.png\">");
  EXPECT_NE(r.rtf.find("\\picwgoal15000\\pichgoal150\\picscalex62\\picscaley62\n"),
            std::string::npos);
}

TEST(ImageTags, SameSourceTwiceSharesOneConversion) {
  const Result r = ConvertWithPictures("<img src=\"pic.png\" width=10><img src=\"PIC.PNG\" width=20>");
  EXPECT_EQ(CountOf(r.rtf, "{\\pict\\pngblip"), 2);
  EXPECT_NE(r.rtf.find("\\picwgoal150\\pichgoal"), std::string::npos);
  EXPECT_NE(r.rtf.find("\\picwgoal300\\pichgoal"), std::string::npos);
  EXPECT_TRUE(FolderIsEmpty(r.work_folder));
}

TEST(ImageTags, SourcesResolveAgainstTheInputFolder) {
  const std::string folder = testing::MakeTempFolder();
  std::filesystem::create_directories(folder + "pages/sub");
  std::filesystem::copy_file(kFixtures + "pic.png", folder + "pages/a b.png");
  std::filesystem::copy_file(kFixtures + "pic.jpg", folder + "photo.JPEG");
  constexpr struct { const char* html; const char* group; } kCases[] = {
      {"<img src=\"../a%20b.png\">", "\\pngblip"},
      {"<img src=\"../../photo.JPEG\">", "\\jpegblip"},
      {"<img src='..\\..\\pages\\a%20b.png'>", "\\pngblip"},
      {"<img src=\"./../a b.png\">", "\\pngblip"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.html);
    const Result r = ConvertWithPictures(c.html, 0, folder + "pages/sub/");
    EXPECT_NE(r.rtf.find(c.group), std::string::npos);
  }
  const std::string file_url = "<img src=\"file://" + folder + "pages/a%20b.png\">";
  EXPECT_NE(ConvertWithPictures(file_url).rtf.find("\\pngblip"), std::string::npos);
}

TEST(ImageTags, TopDownBitmapIsWrittenWithItsHeightAsAPositiveNumber) {
  // The bitmap stores its height negated; RTF readers take no negative picture size.
  const Result r = ConvertWithPictures("<img src=\"topdown.bmp\">", 1);
  EXPECT_NE(r.rtf.find("{\\pict\\dibitmap0\\picw793\\pich529\\picwgoal450\\pichgoal300"),
            std::string::npos);
}

TEST(ImageTags, RawRtfPassesThroughOnlyWithPicturesOn) {
  const char* const kPage = "<p>a<imagertf {\\pict\\pngblip\\picw1\\pich1 89504e47}>b</p>";
  const Result on = ConvertWithPictures(kPage);
  EXPECT_NE(on.rtf.find("a{\\pict\\pngblip\\picw1\\pich1 89504e47}b"), std::string::npos);
  const std::string off = testing::Convert(kPage, testing::DefaultOptions());
  EXPECT_EQ(off.find("{\\pict"), std::string::npos);
  // Only a picture group comes through: other RTF drops the tag.
  const Result bold = ConvertWithPictures("<p>a<imagertf {\\b bold}>b</p>");
  EXPECT_EQ(bold.rtf.find("{\\b bold}"), std::string::npos);
}

TEST(ImageTags, UserFilesInTheWorkFolderSurvive) {
  const std::string work = testing::MakeTempFolder();
  for (const char* name : {"1.tmp", "1.tm", "tmpro.bmp", "2.tmp"}) {
    ASSERT_TRUE(WriteBinaryFile(work + name, std::string("user data ") + name));
  }
  const Result r = ConvertWithPictures("<img src=\"pic.gif\"><img src=\"pic.png\" width=3>", 0,
                                       kFixtures, work);
  EXPECT_EQ(CountOf(r.rtf, "{\\pict"), 2);
  for (const char* name : {"1.tmp", "1.tm", "tmpro.bmp", "2.tmp"}) {
    std::string data;
    ASSERT_TRUE(ReadBinaryFile(work + name, data)) << name;
    EXPECT_EQ(data, std::string("user data ") + name);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(work),
                          std::filesystem::directory_iterator()), 4);
}

// Stands for another process in the output folder: while the page is converted, every
// picture temporary is replaced by a file of its own under the same name.
class SwapsTemporaries : public ProgressSink {
 public:
  explicit SwapsTemporaries(std::string folder) : folder_(std::move(folder)) {}
  void SetPosition(int) override {
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      const std::string name = entry.path().filename().string();
      if (entry.path().extension() != ".tmp" || swapped_.count(name) != 0) continue;
      const std::string planted = folder_ + "planted";
      ASSERT_TRUE(WriteBinaryFile(planted, "}{\\object PLANTED"));
      std::filesystem::rename(planted, entry.path());
      swapped_.insert(name);
    }
  }
  std::size_t swapped() const { return swapped_.size(); }

 private:
  std::string folder_;
  std::set<std::string> swapped_;
};

TEST(ImageTags, TemporariesSwappedByNameAreNotRead) {
  // Text after the pictures: the tag pass reports progress after they are made.
  const std::string page = "<img src=\"pic.png\"><img src=\"pic.gif\">" +
                           std::string(200000, 'x') + "<p>end</p>";
  const std::string want = ConvertWithPictures(page).rtf;
  ASSERT_EQ(CountOf(want, "{\\pict"), 2);
  const std::string work = testing::MakeTempFolder();
  SwapsTemporaries swaps(work);
  ConvertRequest request;
  request.convert_images = true;
  request.progress = &swaps;
  Engine engine;
  std::string rtf;
  ASSERT_EQ(engine.ConvertHtmlBytes(page, kFixtures, work, request, testing::DefaultOptions(),
                                    testing::DefaultSettings(), rtf),
            ConvertResult::kDone);
  EXPECT_EQ(swaps.swapped(), 2u);
  EXPECT_EQ(rtf.find("PLANTED"), std::string::npos);
  EXPECT_EQ(rtf, want);
}

TEST(ImageTags, PageOfOnlyAPicture) {
  const Result r = ConvertWithPictures("<img src=\"pic.png\">");
  const std::size_t group = r.rtf.find("\n{\\pict\\pngblip");
  ASSERT_NE(group, std::string::npos);
  EXPECT_EQ(r.rtf.rfind("{\\rtf1", 0), 0u);
  EXPECT_EQ(r.rtf.back(), '}');
}

}  // namespace
}  // namespace velmorane

namespace velmorane {
namespace {

// The first number after `word` in `rtf`, or -1.
long NumberAfter(const std::string& rtf, const std::string& word, std::size_t from = 0) {
  const std::size_t at = rtf.find(word, from);
  if (at == std::string::npos) return -1;
  return std::strtol(rtf.c_str() + at + word.size(), nullptr, 10);
}

TEST(ImageTags, APictureWiderThanItsCellIsScaledIntoIt) {
  // wide.png is 1000 x 10 pixels: 15000 twips, wider than the text and than any cell here.
  const struct {
    const char* html;
    bool in_cell;
    bool scaled;
  } kCases[] = {
      {"<table><tr><td width=150><img src=\"wide.png\"></td><td>text</td></tr></table>", true, true},
      {"<table width=400><tr><td><img src=\"wide.png\"></td><td>b</td></tr></table>", true, true},
      {"<table><tr><td width=300><img src=\"pic.png\"></td><td>b</td></tr></table>", true, false},
      {"<p><img src=\"wide.png\"></p>", false, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.html);
    const Result r = ConvertWithPictures(c.html);
    const std::size_t pict = r.rtf.find("{\\pict");
    ASSERT_NE(pict, std::string::npos);
    const long goal = NumberAfter(r.rtf, "\\picwgoal", pict);
    const long scale = NumberAfter(r.rtf, "\\picscalex", pict);
    EXPECT_EQ(scale < 100, c.scaled) << scale;
    const long shown = goal * scale / 100;
    // Inside a table the picture ends within its cell's right edge; outside, within the
    // text width (A4 less the margins).
    const long limit = c.in_cell ? NumberAfter(r.rtf, "\\cellx") : 11906 - 720 - 1800;
    ASSERT_GT(limit, 0);
    EXPECT_LE(shown, limit);
  }
}

}  // namespace
}  // namespace velmorane
