// The paths file and the options file: formats, round trips and the missing-file rules.
#include "frontends/settings/settings_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/files.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

constexpr struct {
  std::string_view name, text;
  bool ok;
  std::string_view input, output;
  bool tables, images;
} kPathsCases[] = {
    {"as written", "[Default path]\n/in/a.htm\n/out/\n[Tables]\n1\n[Images]\n0\n", true,
     "/in/a.htm", "/out/", true, false},
    {"sections in any order", "[Images]\n5\n[Tables]\n0\n[Default path]\n/in/\n/out/\n", true,
     "/in/", "/out/", false, true},
    {"last line without a line feed keeps its last character",
     "[Tables]\n1\n[Default path]\n/in/\n/out", true, "/in/", "/out", true, false},
    {"CR LF line ends", "[Default path]\r\n/in/\r\n/out/\r\n", true, "/in/", "/out/", true,
     false},
    {"later section wins", "[Default path]\n/a/\n/b/\n[Default path]\n/c/\n/d/\n", true, "/c/",
     "/d/", true, false},
    {"empty output path fails", "[Default path]\n/in/\n\n[Tables]\n1\n", false, "/in/", "",
     true, false},
    {"no path section fails", "[Tables]\n0\n", false, "", "", false, false},
};

TEST(PathsFile, ReadsSectionsAndPaths) {
  const std::string folder = testing::MakeTempFolder();
  for (const auto& c : kPathsCases) {
    SCOPED_TRACE(c.name);
    const std::string file = folder + "paths.ini";
    ASSERT_TRUE(WriteBinaryFile(file, c.text));
    PathsSettings paths;
    EXPECT_EQ(ReadPathsFileAt(file, paths), c.ok);
    EXPECT_EQ(paths.input_path, c.input);
    EXPECT_EQ(paths.output_path, c.output);
    EXPECT_EQ(paths.convert_tables, c.tables);
    EXPECT_EQ(paths.convert_images, c.images);
  }
}

TEST(PathsFile, WritesTextModeAndReadsBackFromCurrentDirectory) {
  std::string folder = testing::MakeTempFolder();
  folder.pop_back();  // the writer adds the separator
  PathsSettings written{"/in/page.htm", "/out/", false, true};
  ASSERT_TRUE(WritePathsFile(written, folder));
  EXPECT_EQ(folder.back(), '/');
  std::string bytes;
  ASSERT_TRUE(ReadBinaryFile(folder + "settings3100.ini", bytes));
  EXPECT_EQ(bytes,
            "[Default path]\r\n/in/page.htm\r\n/out/\r\n[Tables]\r\n0\r\n[Images]\r\n1\r\n");

  const auto previous = std::filesystem::current_path();
  PathsSettings read;
  EXPECT_FALSE(ReadPathsFile(read));  // only the current directory is searched
  std::filesystem::current_path(folder);
  ASSERT_TRUE(ReadPathsFile(read));
  std::filesystem::current_path(previous);
  EXPECT_EQ(read.input_path, written.input_path);
  EXPECT_EQ(read.output_path, written.output_path);
  EXPECT_FALSE(read.convert_tables);
  EXPECT_TRUE(read.convert_images);
}

TEST(PathsFile, StartupFallsBackToCurrentFolder) {
  const auto previous = std::filesystem::current_path();
  const std::string folder = testing::MakeTempFolder();
  std::filesystem::current_path(folder);
  const PathsSettings paths = LoadStartupPaths(folder);
  std::filesystem::current_path(previous);
  EXPECT_EQ(paths.input_path, folder);
  EXPECT_EQ(paths.output_path, folder);
  EXPECT_TRUE(paths.convert_tables);
  EXPECT_FALSE(paths.convert_images);
}

class OptionsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config_ = testing::MakeTempFolder();
    ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
  }
  std::string config_;
};

TEST_F(OptionsFileTest, StoresExactly480BytesWithoutTranslation) {
  ConversionOptions options = DialogDefaultOptions();
  options.paper_width = 0x0A0D0A;  // bytes a text-mode file would rewrite
  options.margin_left = 10;
  ASSERT_TRUE(WriteOptionsFile(options));
  EXPECT_EQ(OptionsFilePath(), config_ + "velmorane/options208.vmr");
  EXPECT_EQ(FileSize(OptionsFilePath()), 480);
  ConversionOptions read{};
  ASSERT_TRUE(ReadOptionsFile(read));
  EXPECT_EQ(std::memcmp(&read, &options, sizeof options), 0);
}

TEST_F(OptionsFileTest, ShortFileKeepsTheRestAndMissingFileFails) {
  ConversionOptions read = DialogDefaultOptions();
  EXPECT_FALSE(ReadOptionsFile(read));
  std::filesystem::create_directories(OptionsFolder());
  ASSERT_TRUE(WriteBinaryFile(OptionsFilePath(), std::string("\x01\x00\x00\x00\x01", 5)));
  ASSERT_TRUE(ReadOptionsFile(read));
  EXPECT_EQ(read.conversion_type, 1);
  EXPECT_EQ(read.keep_hyperlinks, 1);
  EXPECT_EQ(FieldText(read.font_face), "Arial");  // beyond the file: as before
  EXPECT_EQ(read.margin_bottom, 720);
}

TEST_F(OptionsFileTest, StartupCorrectsMarginsAndExtension) {
  EXPECT_EQ(LoadStartupOptions().paper_width, 11906);  // A4, as the command line, without a file
  ConversionOptions stored = DialogDefaultOptions();
  stored.paper_width = 11906;
  stored.paper_height = 16838;
  stored.margin_bottom = 20000;
  stored.margin_top = -5;
  stored.margin_left = 6000;
  SetField(stored.output_extension, ".txt");
  ASSERT_TRUE(WriteOptionsFile(stored));
  const ConversionOptions options = LoadStartupOptions();
  EXPECT_EQ(options.margin_bottom, 1440);
  EXPECT_EQ(options.margin_top, 720);
  EXPECT_EQ(options.margin_left, 720);
  EXPECT_EQ(options.margin_right, 1800);
  EXPECT_EQ(FieldText(options.output_extension), ".rtf");
}

}  // namespace
}  // namespace velmorane
