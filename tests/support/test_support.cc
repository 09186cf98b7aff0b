// Shared test helpers.
#include "support/test_support.h"

#include "frontends/cli/command_line.h"
#include "platform/files.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

namespace velmorane::testing {

ConversionOptions DefaultOptions() { return DefaultCommandLine().options; }

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

std::string ReadBytes(const std::string& path) {
  std::string bytes;
  return ReadBinaryFile(path, bytes) ? bytes : std::string();
}

void WriteBytes(const std::string& path, std::string_view bytes) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
  (void)WriteBinaryFile(path, bytes);
}

std::string MakeTempFolder() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "velmorane-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return std::filesystem::temp_directory_path();
  Made().Add(pattern);
  return pattern + "/";
}

}  // namespace velmorane::testing
