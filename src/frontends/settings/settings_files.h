// The window's two files kept between runs: the paths file settings3100.ini (last input
// and output paths and the two main check boxes, in the current directory) and the
// options file options208.vmr (the 480-byte ConversionOptions record, in the per-user
// folder), with the defaults used when they are missing.
#ifndef VELMORANE_FRONTENDS_SETTINGS_SETTINGS_FILES_H_
#define VELMORANE_FRONTENDS_SETTINGS_SETTINGS_FILES_H_

#include <string>
#include <string_view>

#include "base/options.h"

namespace velmorane {

inline constexpr char kPathsFileName[] = "settings3100.ini";
inline constexpr char kOptionsFileName[] = "options208.vmr";

// What the paths file holds.
struct PathsSettings {
  std::string input_path;
  std::string output_path;
  bool convert_tables = true;
  bool convert_images = false;
};

// Reads settings3100.ini from the current directory. False when the file is missing or
// either path is empty; `paths` is then left with whatever was read.
[[nodiscard]] bool ReadPathsFile(PathsSettings& paths);

// The same for a paths file at an explicit location.
[[nodiscard]] bool ReadPathsFileAt(const std::string& file, PathsSettings& paths);

// Writes settings3100.ini into `folder`, which first gets a trailing "/" when it has
// none (the caller's text is changed). False when the file cannot be created.
[[nodiscard]] bool WritePathsFile(const PathsSettings& paths, std::string& folder);

// The per-user folder of the options file: $XDG_CONFIG_HOME/velmorane/, by default
// ~/.config/velmorane/; always ends in "/".
std::string OptionsFolder();
std::string OptionsFilePath();

// Reads the options record. A file shorter than the record fills what it holds and
// leaves the rest of `options` as it was. False only when the file cannot be opened.
[[nodiscard]] bool ReadOptionsFile(ConversionOptions& options);

// Writes the record as exactly 480 bytes, creating the per-user folder when missing.
[[nodiscard]] bool WriteOptionsFile(const ConversionOptions& options);

// The options a conversion has when nothing is asked for, the same for the command line
// and the window: Custom, Arial 10, justify, English, A4 paper, margins
// 720/1800/720/720, fonts, colours, alignment, backgrounds and tables as in the page.
ConversionOptions StandardConversionOptions();

// True when VELMORANE_WINDOW_CLASSIC=1 asks the window for the settings of older
// versions: the dialogs' former defaults and folder trees into the one output folder.
bool ClassicWindowDefaults();

// The settings dialogs' defaults, used when the options file is missing: the standard
// options with a line width of 80 shown. Classic: Custom, Arial 10, left, English, Letter
// paper, margins 720/720/720/1440, inches, tables kept, font faces and sizes not.
ConversionOptions DialogDefaultOptions();

// The options the window starts with: the options file, or the dialog defaults when it
// is missing; margins outside the paper are corrected and the extension set to ".rtf".
ConversionOptions LoadStartupOptions();

// The paths the window starts with: the paths file of the current directory, or, when
// it is missing or a path is empty, `current_folder` for both paths with "convert
// tables" checked and "convert images" not.
PathsSettings LoadStartupPaths(const std::string& current_folder);

// The current directory with a trailing "/".
std::string CurrentFolder();

}  // namespace velmorane

#endif  // VELMORANE_FRONTENDS_SETTINGS_SETTINGS_FILES_H_
