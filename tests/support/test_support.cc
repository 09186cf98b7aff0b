// Shared test helpers.
#include "support/test_support.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

namespace velmorane::testing {

ConversionOptions DefaultOptions() {
  ConversionOptions o{};
  o.conversion_type = 2;
  o.keep_hyperlinks = 0;
  o.keep_font_face = o.keep_font_size = o.keep_font_color = o.keep_alignment = 1;
  SetField(o.font_face, "Arial");
  SetField(o.font_size, "10");
  SetField(o.page_alignment, "justify");
  o.keep_table_width = o.keep_nested_tables = 1;
  o.keep_background_color = 1;
  o.image_format = 0;
  o.paper_width = 11906;
  o.paper_height = 16838;
  o.orientation = 0;
  o.margin_left = 720;
  o.margin_right = 1800;
  o.margin_top = 720;
  o.margin_bottom = 720;
  SetField(o.rtf_language, "English");
  o.table_border = 0;
  SetField(o.output_extension, ".rtf");
  return o;
}

EngineSettings DefaultSettings() {
  EngineSettings settings;
  InitEngineSettings(settings);
  return settings;
}

std::string Convert(std::string_view html, const ConversionOptions& options, int output_mode,
                    bool convert_images, const EngineSettings* settings) {
  Engine engine;
  ConvertRequest request;
  request.output_mode = output_mode;
  request.convert_images = convert_images;
  std::string output;
  const std::string folder = MakeTempFolder();
  (void)engine.ConvertHtmlBytes(html, folder, folder, request, options,
                                settings != nullptr ? *settings : DefaultSettings(), output);
  return output;
}

namespace {

// The folders made by this test process, removed when it ends.
class TempFolders {
 public:
  ~TempFolders() {
    for (const std::string& folder : folders_) {
      std::error_code error;
      std::filesystem::remove_all(folder, error);
    }
  }
  void Add(const std::string& folder) {
    const std::lock_guard<std::mutex> lock(mutex_);
    folders_.push_back(folder);
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> folders_;
};

TempFolders& Made() {
  static TempFolders folders;
  return folders;
}

}  // namespace

std::string MakeTempFolder() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "velmorane-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return std::filesystem::temp_directory_path();
  Made().Add(pattern);
  return pattern + "/";
}

}  // namespace velmorane::testing
