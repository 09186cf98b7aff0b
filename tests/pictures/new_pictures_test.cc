// Pictures in the forms pages carry them today: data: addresses, SVG files and inline
// drawings, WebP, icons and TIFF, srcset and <picture> sources, and the alternative text
// of pictures that cannot be placed.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "platform/files.h"
#include "platform/picture_decoders.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

const std::string kFixtures = std::string(VELMORANE_FIXTURES) + "/images/";

struct Result {
  std::string rtf;
  std::string work_folder;
};

Result Convert(const std::string& html, int image_format = 0, bool images = true,
               const std::string& input_folder = kFixtures) {
  ConversionOptions options = testing::DefaultOptions();
  options.image_format = image_format;
  ConvertRequest request;
  request.convert_images = images;
  Engine engine;
  Result result;
  result.work_folder = testing::MakeTempFolder();
  (void)engine.ConvertHtmlBytes(html, input_folder, result.work_folder, request, options,
                                testing::DefaultSettings(), result.rtf);
  return result;
}

int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string Base64(const std::string& bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kAlphabet[v & 63] : '=';
  }
  return out;
}

TEST(NewFormats, EmbedAsPngOrMetafile) {
  const struct { const char* file; int format; const char* group; } kCases[] = {
      {"pic.webp", 0, "{\\pict\\pngblip\\picw30\\pich20\\picwgoal450\\pichgoal300"},
      {"pic.tif", 0, "{\\pict\\pngblip\\picw30\\pich20\\picwgoal450\\pichgoal300"},
      {"pic.ico", 0, "{\\pict\\pngblip\\picw30\\pich20\\picwgoal450\\pichgoal300"},
      {"png_in.ico", 0, "{\\pict\\pngblip\\picw30\\pich20\\picwgoal450\\pichgoal300"},
      {"pic.svg", 0, "{\\pict\\pngblip\\picw30\\pich20\\picwgoal450\\pichgoal300"},
      {"entities.svg", 0, "{\\pict\\pngblip\\picw30\\pich20\\picwgoal450\\pichgoal300"},
      {"viewbox.svg", 0, "{\\pict\\pngblip\\picw24\\pich12\\picwgoal360\\pichgoal180"},
      {"huge.svg", 0, "{\\pict\\pngblip\\picw4096\\pich2048\\picwgoal61440"},
      {"pic.webp", 1, "{\\pict\\wmetafile8\\picw793\\pich529\\picwgoal450\\pichgoal300"},
      {"pic.tif", 1, "{\\pict\\wmetafile8\\picw793\\pich529\\picwgoal450\\pichgoal300"},
      {"pic.ico", 1, "{\\pict\\wmetafile8\\picw793\\pich529\\picwgoal450\\pichgoal300"},
      {"png_in.ico", 1, "{\\pict\\wmetafile8\\picw793\\pich529\\picwgoal450\\pichgoal300"},
      {"pic.svg", 1, "{\\pict\\wmetafile8\\picw793\\pich529\\picwgoal450\\pichgoal300"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.file) + " format " + std::to_string(c.format));
    const std::string file = c.file;
    if ((file.ends_with(".svg") && !SvgSupported()) ||
        (file.ends_with(".webp") && !WebpSupported()) ||
        (file.ends_with(".tif") && !TiffSupported())) {
      continue;  // left out of this build
    }
    const Result r = Convert(std::string("<p>x<img src=\"") + c.file + "\">y</p>", c.format);
    EXPECT_NE(r.rtf.find(c.group), std::string::npos) << r.rtf.substr(0, 3000);
    EXPECT_TRUE(std::filesystem::is_empty(r.work_folder));
  }
}

TEST(NewFormats, SvgIsRenderedAtTheAskedSize) {
  if (!SvgSupported()) GTEST_SKIP() << "built without SVG";
  const struct { const char* attributes; const char* want; } kCases[] = {
      {"width=60 height=10", "\\picw60\\pich10\\picwgoal900\\pichgoal150"},
      {"width=90", "\\picw90\\pich60\\picwgoal1350\\pichgoal900"},
      {"height=40", "\\picw60\\pich40\\picwgoal900\\pichgoal600"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.attributes);
    const Result r = Convert(std::string("<img src=\"pic.svg\" ") + c.attributes + ">");
    EXPECT_NE(r.rtf.find(c.want), std::string::npos);
  }
}

TEST(NewFormats, RecognisedByBytesNotByName) {
  const std::string folder = testing::MakeTempFolder();
  testing::WriteBytes(folder + "photo.gif", testing::ReadBytes(kFixtures + "pic.png"));
  testing::WriteBytes(folder + "anim.png", testing::ReadBytes(kFixtures + "pic.gif"));
  testing::WriteBytes(folder + "icon.jpg", testing::ReadBytes(kFixtures + "pic.webp"));
  testing::WriteBytes(folder + "noname", testing::ReadBytes(kFixtures + "pic.jpg"));
  const Result r = Convert(
      "<img src=\"photo.gif\"><img src=\"anim.png\"><img src=\"icon.jpg\"><img src=\"noname\">",
      0, true, folder);
  EXPECT_EQ(CountOf(r.rtf, "{\\pict\\pngblip"), 3);  // a GIF is a PNG picture too
  EXPECT_EQ(CountOf(r.rtf, "\\jpegblip"), 1);
}

TEST(DataUris, DecodedIntoTemporariesOfTheirOwn) {
  const std::string png = "data:image/png;base64," + Base64(testing::ReadBytes(kFixtures + "pic.png"));
  const std::string jpeg = "data:image/jpeg;base64," + Base64(testing::ReadBytes(kFixtures + "pic.jpg"));
  ASSERT_GT(png.size(), 259u);  // longer than a src value may otherwise be
  const std::string svg =
      "data:image/svg+xml,%3Csvg xmlns='http://www.w3.org/2000/svg' width='12' height='8'%3E"
      "%3Crect width='12' height='8' fill='red'/%3E%3C/svg%3E";
  const struct { std::string html; int pictures; const char* text; } kCases[] = {
      {"<img src=\"" + png + "\">", 1, nullptr},
      {"<img src='" + jpeg + "' width=60>", 1, nullptr},
      {"<img src=\"" + svg + "\">", 1, nullptr},
      {"<img src=\"" + png + "\"><img src=\"" + png + "\">", 2, nullptr},
      {"<img src=\"data:image/png;base64,@@@\" alt=\"broken\">", 0, "broken"},
      {"<img src=\"data:image/png;base64,\" alt=\"empty\">", 0, "empty"},
      {"<img src=\"data:text/plain,hello\" alt=\"text\">", 0, "text"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.html.substr(0, 60));
    const Result r = Convert("<p>a " + c.html + " b</p>");
    EXPECT_EQ(CountOf(r.rtf, "{\\pict"), c.pictures);
    if (c.text != nullptr) {
      EXPECT_NE(r.rtf.find(std::string("a ") + c.text + " b"), std::string::npos);
    }
    EXPECT_TRUE(std::filesystem::is_empty(r.work_folder));
  }
  // The same address twice shares one conversion: one temporary for two groups.
  const Result twice = Convert("<img src=\"" + png + "\"><img src=\"" + png + "\">");
  EXPECT_EQ(CountOf(twice.rtf, "\\picw30\\pich20"), 2);
}

TEST(PictureSources, AlternativesToSrc) {
  const char* kGif1x1 = "data:image/gif;base64,R0lGODlhAQABAAAAACw=";
  const struct { std::string html; const char* want; } kCases[] = {
      {"<img srcset=\"pic.png 1x, wide.png 2x\">", "\\picw1000\\pich10"},
      {"<img src=\"\" srcset=\"wide.png 1000w, pic.png 30w\">", "\\picw1000\\pich10"},
      {std::string("<img src=\"") + kGif1x1 + "\" data-src=\"wide.png\">", "\\picw1000\\pich10"},
      {"<img src=\"pic.png\" srcset=\"wide.png 2x\">", "\\picw30\\pich20"},  // a real src stays
      {"<img srcset=\"wide.avif 2x, pic.png 1x\">", "\\picw30\\pich20"},
      {"<picture><source type=\"image/avif\" srcset=\"x.avif\"><source srcset=\"wide.png 2x\">"
       "<img src=\"pic.png\"></picture>", "\\picw30\\pich20"},
      {"<picture><source type=\"image/avif\" srcset=\"wide.png\"><source srcset=\"pic.gif\">"
       "<img alt=\"x\"></picture>", "{\\pict\\pngblip\\picw30\\pich20"},
      {"<picture><source srcset=\"wide.png\"></picture><img src=\"\" alt=\"after\">", nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.html);
    const Result r = Convert("<p>" + c.html + "</p>");
    if (c.want == nullptr) {
      EXPECT_EQ(r.rtf.find("{\\pict"), std::string::npos);
    } else {
      EXPECT_NE(r.rtf.find(c.want), std::string::npos);
    }
  }
}

TEST(AlternativeText, StandsInForPicturesThatCannotBePlaced) {
  const struct { const char* html; bool images; const char* want; } kCases[] = {
      {"<p>a <img src=\"nothere.png\" alt=\"Harbour {at} dawn\"> b</p>", true,
       "a Harbour \\{at\\} dawn b"},
      {"<p>a <img src=\"nothere.png\" alt=\"caf&eacute; &amp; bar\"> b</p>", true,
       "a caf\\'e9 & bar b"},
      {"<p>a <img src=\"https://127.0.0.1:1/picture.png\" alt=\"remote\"> b</p>", true,
       "a remote b"},
      {"<p>a <img src=\"truncated.webp\" alt=\"cut\"> b</p>", true, "a cut b"},
      {"<p>a <img src=\"truncated.ico\" alt=\"cut\"> b</p>", true, "a cut b"},
      {"<p>a <img src=\"pic.png\" alt=\"placed\"> b</p>", true, nullptr},
      // Pictures off: tags are passed over as before, without their text.
      {"<p>a <img src=\"nothere.png\" alt=\"off\"> b</p>", false, nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.html);
    const Result r = Convert(c.html, 0, c.images);
    if (c.want != nullptr) {
      EXPECT_NE(r.rtf.find(c.want), std::string::npos) << r.rtf.substr(r.rtf.size() - 200);
      EXPECT_EQ(r.rtf.find("{\\pict"), std::string::npos);
    } else {
      EXPECT_EQ(r.rtf.find("placed"), std::string::npos);
      EXPECT_EQ(r.rtf.find("off"), std::string::npos);
    }
  }
}

TEST(InlineSvg, RenderedFromItsMarkup) {
  if (!SvgSupported()) GTEST_SKIP() << "built without SVG";
  const Result r = Convert(
      "<p>before <svg width=\"40\" height=\"20\" viewBox=\"0 0 4 2\"><title>Hidden title</title>"
      "<rect width=\"4\" height=\"2\" fill=\"red\"/><svg><rect width='1' height='1'/></svg>"
      "<use xlink:href=\"#a\"/></svg> after</p>");
  EXPECT_EQ(CountOf(r.rtf, "{\\pict\\pngblip\\picw40\\pich20"), 1);
  EXPECT_EQ(r.rtf.find("Hidden title"), std::string::npos);
  EXPECT_NE(r.rtf.find("after"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(r.work_folder));
  // Unclosed: no picture, and the text goes on as before.
  const Result open = Convert("<p>before <svg width=\"40\"><rect/> after</p>");
  EXPECT_EQ(open.rtf.find("{\\pict"), std::string::npos);
  EXPECT_NE(open.rtf.find("after"), std::string::npos);
}

// A listening socket that only counts who connects.
class ConnectionCounter {
 public:
  ConnectionCounter() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd_, 4);
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    ::fcntl(fd_, F_SETFL, O_NONBLOCK);
  }
  ~ConnectionCounter() { ::close(fd_); }
  int port() const { return port_; }
  int Accepted() {
    int n = 0;
    for (int client; (client = ::accept(fd_, nullptr, nullptr)) >= 0; ++n) ::close(client);
    return n;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

TEST(SvgSafety, NeverReadsOtherFilesOrTheNetwork) {
  if (!SvgSupported()) GTEST_SKIP() << "built without SVG";
  ConnectionCounter server;
  const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/p.png";
  // Each reference would cover the whole drawing if it were loaded.
  for (const std::string& href : std::vector<std::string>{url, "file://" + kFixtures + "pic.png", "pic.png",
                                  kFixtures + "pic.png", url + "#frag"}) {
    SCOPED_TRACE(href);
    const std::string svg =
        "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' "
        "width='30' height='20'><image x='0' y='0' width='30' height='20' xlink:href='" +
        href + "'/><image width='30' height='20' href='" + href +
        "'/><use href='" + href + "#x'/><style>@import url(" + href + ");</style></svg>";
    DecodedPicture picture;
    ASSERT_TRUE(RenderSvg(svg, 30, 20, picture));
    for (std::uint8_t byte : picture.bgr) ASSERT_EQ(byte, 255);
  }
  EXPECT_EQ(server.Accepted(), 0);
  // A page's picture with such references: placed, white, nothing fetched.
  const Result r = Convert("<svg width='10' height='10'><image href='" + url + "' width='10' height='10'/></svg>");
  EXPECT_EQ(CountOf(r.rtf, "{\\pict\\pngblip"), 1);
  EXPECT_EQ(server.Accepted(), 0);
}

TEST(SvgSafety, BrokenDrawingsAreSkipped) {
  const struct { const char* svg; } kCases[] = {
      {"<svg xmlns='http://www.w3.org/2000/svg'><rect"},                  // cut off
      {"<svg xmlns='http://www.w3.org/2000/svg'>&undefined;</svg>"},      // not XML
      {"<!DOCTYPE svg [<!ENTITY a 'aaaaaaaaaa'><!ENTITY b '&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;'>"
       "<!ENTITY c '&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;'><!ENTITY d '&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;'>"
       "<!ENTITY e '&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;'><!ENTITY f '&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;'>"
       "<!ENTITY g '&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;'><!ENTITY h '&g;&g;&g;&g;&g;&g;&g;&g;&g;&g;'>]>"
       "<svg xmlns='http://www.w3.org/2000/svg'><text>&h;</text></svg>"},  // entity bomb
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.svg);
    const std::string folder = testing::MakeTempFolder();
    testing::WriteBytes(folder + "bad.svg", c.svg);
    const Result r = Convert("<p>a <img src=\"bad.svg\" alt=\"drawing\"> b</p>", 0, true, folder);
    EXPECT_NE(r.rtf.find("a drawing b"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(r.work_folder));
  }
}

}  // namespace
}  // namespace velmorane
