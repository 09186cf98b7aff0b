// Readers and writers of the paths file and the options file, and the start-up values
// the window takes from them.
#include "frontends/settings/settings_files.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <cstdio>
#include <vector>

#include "base/paths.h"
#include "platform/files.h"

namespace velmorane {

namespace {

// The record is stored as it lies in memory, which is the file's little-endian layout.
static_assert(std::endian::native == std::endian::little);

// Lines of the paths file are read into a 259-byte buffer: 258 characters at most.
constexpr std::size_t kPathsLineLimit = 258;

// Splits text into lines; each keeps its line feed when it had one, and a longer line
// is cut to the limit.
std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
    std::string line(text.substr(start, next - start));
    if (line.size() > kPathsLineLimit) {
      const bool had_newline = line.back() == '\n';
      line.resize(kPathsLineLimit);
      if (had_newline) line.back() = '\n';
    }
    lines.push_back(std::move(line));
    start = next;
  }
  return lines;
}

std::string WithoutNewline(std::string line) {
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return line;
}

}  // namespace

bool ReadPathsFileAt(const std::string& file, PathsSettings& paths) {
  std::string text;
  if (!ReadTextFile(file, text)) return false;
  const std::vector<std::string> lines = SplitLines(text);
  std::string input, output;
  // Sections may come in any order; a later one overwrites an earlier one.
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.find("[Default path]") != std::string::npos) {
      input = i + 1 < lines.size() ? lines[i + 1] : "";
      output = i + 2 < lines.size() ? lines[i + 2] : "";
      i += 2;
    } else if (line.find("[Tables]") != std::string::npos) {
      if (i + 1 < lines.size()) paths.convert_tables = LeadingInt(lines[++i]) != 0;
    } else if (line.find("[Images]") != std::string::npos) {
      if (i + 1 < lines.size()) paths.convert_images = LeadingInt(lines[++i]) != 0;
    }
  }
  // Only a line feed is removed: a last line without one keeps all its characters.
  paths.input_path = WithoutNewline(input);
  paths.output_path = WithoutNewline(output);
  return !paths.input_path.empty() && !paths.output_path.empty();
}

bool ReadPathsFile(PathsSettings& paths) { return ReadPathsFileAt(kPathsFileName, paths); }

bool WritePathsFile(const PathsSettings& paths, std::string& folder) {
  folder = WithTrailingSeparator(folder);
  std::string text = "[Default path]\n";
  text += paths.input_path + "\n";
  text += paths.output_path + "\n";
  text += "[Tables]\n";
  text += paths.convert_tables ? "1\n" : "0\n";
  text += "[Images]\n";
  text += paths.convert_images ? "1\n" : "0\n";
  return WriteTextFile(folder + kPathsFileName, text);
}

std::string OptionsFolder() {
  std::string base;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config != 0) {
    base = config;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != 0) {
    base = std::string(home) + "/.config";
  } else {
    base = ".config";
  }
  return WithTrailingSeparator(base) + "velmorane/";
}

std::string OptionsFilePath() { return OptionsFolder() + kOptionsFileName; }

bool ReadOptionsFile(ConversionOptions& options) {
  // Only a regular file: a FIFO put in its place is never waited on.
  std::FILE* file = OpenRegularFileForReading(OptionsFilePath());
  if (file == nullptr) return false;
  char bytes[sizeof(ConversionOptions)];
  const std::size_t got = std::fread(bytes, 1, sizeof bytes, file);
  std::fclose(file);
  if (got > 0) std::memcpy(&options, bytes, got);
  return true;
}

bool WriteOptionsFile(const ConversionOptions& options) {
  std::error_code error;
  std::filesystem::create_directories(OptionsFolder(), error);
  return WriteBinaryFile(OptionsFilePath(),
                         std::string_view(reinterpret_cast<const char*>(&options),
                                          sizeof(ConversionOptions)));
}

ConversionOptions StandardConversionOptions() {
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

bool ClassicWindowDefaults() {
  const char* classic = std::getenv("VELMORANE_WINDOW_CLASSIC");
  return classic != nullptr && std::string_view(classic) == "1";
}

ConversionOptions DialogDefaultOptions() {
  if (!ClassicWindowDefaults()) {
    ConversionOptions o = StandardConversionOptions();
    SetField(o.max_line_width, "80");
    return o;
  }
  ConversionOptions o{};
  o.conversion_type = 2;
  o.keep_hyperlinks = o.keep_font_face = o.keep_font_size = 0;
  o.keep_font_color = o.keep_alignment = 1;
  o.keep_background_color = 0;
  SetField(o.font_face, "Arial");
  SetField(o.font_size, "10");
  SetField(o.page_alignment, "left");
  SetField(o.rtf_language, "English");
  o.table_border = 0;
  o.line_folding = 0;
  SetField(o.max_line_width, "80");
  SetField(o.output_extension, ".rtf");
  o.orientation = 0;
  o.paper_width = 12240;
  o.paper_height = 15840;
  o.margin_left = 720;
  o.margin_right = 720;
  o.margin_top = 720;
  o.margin_bottom = 1440;
  o.page_numbers = 0;
  o.page_setup_unit = 0;
  o.keep_table_width = o.keep_nested_tables = 1;
  o.image_format = 0;
  o.download_images = 0;
  return o;
}

ConversionOptions LoadStartupOptions() {
  ConversionOptions options = DialogDefaultOptions();
  if (!ReadOptionsFile(options)) options = DialogDefaultOptions();
  // A margin outside the paper would leave no room for text.
  NormalizeMargins(options);
  SetField(options.output_extension, ".rtf");
  return options;
}

PathsSettings LoadStartupPaths(const std::string& current_folder) {
  PathsSettings paths;
  if (!ReadPathsFile(paths)) {
    paths.input_path = current_folder;
    paths.output_path = current_folder;
    paths.convert_tables = true;
    paths.convert_images = false;
  }
  return paths;
}

std::string CurrentFolder() {
  std::error_code error;
  std::string folder = std::filesystem::current_path(error).string();
  if (error) folder = ".";
  return WithTrailingSeparator(folder);
}

}  // namespace velmorane
