// The C interface: its defaults are the command line's, the two conversions, the results
// and the arguments it refuses.
#include "api/velmorane.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "frontends/cli/command_line.h"
#include "platform/files.h"
#include "support/test_support.h"
#include "velmorane_version.h"

namespace velmorane {
namespace {

const std::string kFixtures = std::string(VELMORANE_FIXTURES) + "/images/";

struct Converted {
  velmorane_result result;
  std::string document;
};

Converted ConvertBytes(std::string_view html, const char* input_folder,
                       const velmorane_options* options) {
  char* out = nullptr;
  std::size_t size = 99;
  Converted c;
  c.result = velmorane_convert_bytes(html.data(), html.size(), input_folder, options, &out, &size);
  if (out != nullptr) {
    c.document.assign(out, size);
    EXPECT_EQ(out[size], '\0');
  } else {
    EXPECT_EQ(size, 0u);
  }
  velmorane_free(out);
  return c;
}

TEST(CInterface, DefaultsGiveTheCommandLinesDocument) {
  // The same page through the command line's record and through the C defaults.
  const std::string html = "<h1>Title</h1><p align=center>Some <b>bold</b> text</p>"
                           "<table border=1><tr><td>a</td><td>b</td></tr></table>";
  CommandLineRecord record = DefaultCommandLine();
  ConvertRequest request;
  request.output_mode = PrepareOutputMode(record);
  EngineSettings settings;
  InitEngineSettings(settings);
  Engine engine;
  std::string want;
  ASSERT_EQ(engine.ConvertHtmlBytes(html, ".", testing::MakeTempFolder(), request,
                                    record.options, settings, want),
            ConvertResult::kDone);
  velmorane_options options;
  velmorane_default_options(&options);
  const Converted got = ConvertBytes(html, nullptr, &options);
  ASSERT_EQ(got.result, VELMORANE_OK);
  std::string want_crlf;
  for (const char c : want) want_crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(got.document, want_crlf);
  // NULL options are the defaults too.
  EXPECT_EQ(ConvertBytes(html, nullptr, nullptr).document, want_crlf);
}

TEST(CInterface, OptionsReachTheDocument) {
  velmorane_options options;
  velmorane_default_options(&options);
  options.convert_images = 1;
  options.font_face = "Georgia";
  const Converted rtf = ConvertBytes(R"(<p>x</p><img src="pic.png">)", kFixtures.c_str(), &options);
  ASSERT_EQ(rtf.result, VELMORANE_OK);
  EXPECT_NE(rtf.document.find("\\pngblip"), std::string::npos);  // relative to the folder
  EXPECT_NE(rtf.document.find("Georgia"), std::string::npos);

  options.format = VELMORANE_FORMAT_TEXT;
  const Converted text = ConvertBytes("<p>one</p><p>two</p>", nullptr, &options);
  ASSERT_EQ(text.result, VELMORANE_OK);
  EXPECT_EQ(text.document.find("{\\rtf1"), std::string::npos);
  EXPECT_NE(text.document.find("one\r\n"), std::string::npos);
}

TEST(CInterface, ResultsAndRefusedArguments) {
  velmorane_options options;
  velmorane_default_options(&options);
  EXPECT_EQ(ConvertBytes("", nullptr, &options).result, VELMORANE_INPUT_EMPTY);
  velmorane_options other = options;
  other.struct_size = sizeof other - 8;  // built against another header
  EXPECT_EQ(ConvertBytes("<p>x</p>", nullptr, &other).result, VELMORANE_INVALID_ARGUMENT);
  char* out = nullptr;
  std::size_t size = 0;
  EXPECT_EQ(velmorane_convert_bytes(nullptr, 3, nullptr, &options, &out, &size),
            VELMORANE_INVALID_ARGUMENT);
  EXPECT_EQ(velmorane_convert_bytes("<p>", 3, nullptr, &options, nullptr, &size),
            VELMORANE_INVALID_ARGUMENT);
  EXPECT_EQ(velmorane_convert_file(nullptr, nullptr, &options), VELMORANE_INVALID_ARGUMENT);

  const std::string folder = testing::MakeTempFolder();
  testing::WriteBytes(folder + "page.html", "<p>file</p>");
  EXPECT_EQ(velmorane_convert_file((folder + "missing.html").c_str(), folder.c_str(), &options),
            VELMORANE_CANNOT_OPEN_INPUT);
  EXPECT_EQ(velmorane_convert_file((folder + "page.html").c_str(), (folder + "new/x.rtf").c_str(),
                                   &options),
            VELMORANE_OK);
  EXPECT_TRUE(std::filesystem::is_regular_file(folder + "new/x.rtf"));
  EXPECT_FALSE(std::filesystem::exists(folder + "velmorane.log"));  // no run log

  EXPECT_STREQ(velmorane_version(), VELMORANE_VERSION);
  EXPECT_STREQ(velmorane_result_message(VELMORANE_CANNOT_OPEN_INPUT),
               "the input file cannot be opened");
  EXPECT_STREQ(velmorane_result_message(static_cast<velmorane_result>(42)), "unknown result");
}

}  // namespace
}  // namespace velmorane

namespace velmorane {
namespace {

void Collect(const char* text, void* user_data) {
  static_cast<std::vector<std::string>*>(user_data)->push_back(text);
}

TEST(CInterface, WarningsReachTheCaller) {
  const std::string folder = testing::MakeTempFolder();
  const std::string page = "<p>x</p><img src=\"missing.png\"><img src=\"" + kFixtures +
                           "pic.png\"><img src=\"http://example.invalid/a.png\">";
  const struct {
    int convert_images;
    std::vector<std::string> want;
  } kCases[] = {
      {1,
       {"picture skipped, not found: " + folder + "missing.png",
        "picture skipped, remote and downloads are off: http://example.invalid/a.png"}},
      {0, {"3 pictures left out: converting pictures is off"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.convert_images);
    velmorane_options options;
    velmorane_default_options(&options);
    options.convert_images = c.convert_images;
    // In memory.
    std::vector<std::string> heard;
    char* out = nullptr;
    std::size_t size = 0;
    ASSERT_EQ(velmorane_convert_bytes_warn(page.data(), page.size(), folder.c_str(), &options,
                                           &out, &size, Collect, &heard),
              VELMORANE_OK);
    velmorane_free(out);
    EXPECT_EQ(heard, c.want);
    // From a file: the same lines.
    ASSERT_TRUE(WriteBinaryFile(folder + "page.html", page));
    heard.clear();
    ASSERT_EQ(velmorane_convert_file_warn((folder + "page.html").c_str(),
                                          (folder + "page.rtf").c_str(), &options, Collect,
                                          &heard),
              VELMORANE_OK);
    EXPECT_EQ(heard, c.want);
  }
  // Without a callback the warnings are dropped and the conversion is the same.
  velmorane_options options;
  velmorane_default_options(&options);
  char* out = nullptr;
  std::size_t size = 0;
  EXPECT_EQ(velmorane_convert_bytes_warn(page.data(), page.size(), folder.c_str(), &options,
                                         &out, &size, nullptr, nullptr),
            VELMORANE_OK);
  velmorane_free(out);
}

}  // namespace
}  // namespace velmorane
