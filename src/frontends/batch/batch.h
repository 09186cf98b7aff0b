// Batch conversion as the window runs it, free of any window code: one file, every HTML
// file of a folder, or every HTML file of a folder tree, with the counters and texts the
// window shows, the per-file error messages and the questions asked when an output file
// exists. The window answers the questions with its dialogs; tests answer them with
// scripted choices; the command line answers them by itself.
//
// A run is planned first (the files in the order they are converted, and where a folder
// adds to the total) and then carried out file by file through a FileConverter. A later
// parallel run can hand the planned files to several converters, each with its own
// Engine, as long as it reports results, counters and questions in plan order.
#ifndef VELMORANE_FRONTENDS_BATCH_BATCH_H_
#define VELMORANE_FRONTENDS_BATCH_BATCH_H_

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/engine.h"
#include "core/options.h"

namespace velmorane {

inline constexpr char kErrorTitle[] = "Error!";
inline constexpr char kThankYouTitle[] = "Thank you for using Velmorane Converter Pro!";
inline constexpr char kFilesNotFound[] = "HTML - files not found, please select correct path.";

// The buttons of the Warning dialog, numbered as the overwrite states of a tree run.
enum class OverwriteChoice : int {
  kOverwrite = 0,
  kOverwriteAll = 1,
  kRename = 2,
  kSkip = 3,  // "Cancel" and "Skip"
  kSkipAll = 4,
  kStop = 5,
};

// What a run shows and asks. Only the three questions and messages must be answered;
// the progress calls may be ignored.
class BatchHost {
 public:
  virtual ~BatchHost() = default;
  // A message box with one OK button.
  virtual void ShowMessage(std::string_view title, std::string_view text) = 0;
  // A Yes/No question; true for Yes.
  virtual bool AskYesNo(std::string_view title, std::string_view text) = 0;
  // The Warning dialog for an existing output file `file_name` (no folder). `rename_to`
  // comes filled with the suggested name and receives the edited one.
  virtual OverwriteChoice AskOverwrite(std::string_view file_name, std::string& rename_to) = 0;

  virtual void SetCurrentFile(std::string_view /*path*/) {}
  virtual void SetTotalRange(long long /*maximum*/) {}
  virtual void SetTotalPosition(long long /*position*/) {}
  virtual void SetTotalPercent(std::string_view /*text*/) {}
  virtual void SetTotalText(std::string_view /*text*/) {}
  // The progress sink of the current file, or none.
  virtual ProgressSink* FileProgress() { return nullptr; }
};

// Converts one file. `output_target` is a folder or an output file name; on kOutputExists
// it receives the output file name that exists.
class FileConverter {
 public:
  virtual ~FileConverter() = default;
  virtual ConvertResult Convert(const std::string& input_path, std::string& output_target,
                                bool keep_existing_output, ProgressSink* progress) = 0;
};

// What every file of a run is converted with.
struct BatchSettings {
  ConversionOptions options{};
  int output_mode = kModeRtfTables;
  std::string encoding_name = "Auto-Select";
  bool convert_images = false;
};

// A FileConverter over its own Engine; engine settings are refilled before every file.
class EngineConverter : public FileConverter {
 public:
  explicit EngineConverter(BatchSettings settings) : settings_(std::move(settings)) {}
  ConvertResult Convert(const std::string& input_path, std::string& output_target,
                        bool keep_existing_output, ProgressSink* progress) override;

 private:
  BatchSettings settings_;
  Engine engine_;
};

// What the Convert command was given.
struct BatchRequest {
  std::string input_path;
  std::string output_folder;
  bool all_files = false;   // "convert all files in this folder"
  bool subfolders = false;  // "search in subfolders", used with all_files
  std::string output_extension = ".rtf";  // names the output file in error messages
};

// Counters of one run; not limited to 16 bits.
struct BatchCounters {
  long long converted = 0;
  long long total = 0;
};

// A directory entry is an HTML file when it is not a folder and the part of its name
// from the last "." (the whole name without one), in lower case, holds "htm" or "asp".
bool IsHtmlFileName(std::string_view name);

// Output mode for the chosen extension: ".txt" gives plain text whatever the tables box
// says; otherwise RTF with or without tables.
int OutputModeFor(std::string_view extension, bool convert_tables);

// The Warning dialog's suggestion: "index.rtf" for an input in folder "docs" gives
// "index(DIR docs).rtf".
std::string RenameSuggestion(std::string_view output_file_name, std::string_view input_path);

// One planned step: a folder entered (adds its HTML files to the total) or a file.
struct PlanStep {
  enum class Kind { kFolder, kFile } kind;
  std::string path;            // folder with trailing "/", or file
  long long html_files = 0;    // kFolder only
};

// The steps of a folder-tree run: every folder once (a symbolic-link loop is not
// followed twice), folders whose names begin with "." left out; the files of a folder
// (in name order) come before its subfolders (in name order). False when `folder`
// cannot be listed.
bool PlanFolderTree(const std::string& folder, std::vector<PlanStep>& steps);

// The HTML files directly in `folder`, in name order. False when it cannot be listed.
bool ListHtmlFiles(const std::string& folder, std::vector<std::string>& files);

// Runs the Convert command from the point where the window has stored its settings:
// checks (and offers to create) the output folder, converts one file, one folder or a
// folder tree, and reports through `host`. Returns the counters of the run.
BatchCounters RunBatch(const BatchRequest& request, FileConverter& converter, BatchHost& host);

// Command-line folder conversion: every HTML file of `input_folder`, or of its whole tree
// with `subfolders`, into `output_folder`, without questions: an output written earlier
// in the same run is kept and the new one renamed as the Warning dialog suggests
// ("index(DIR docs).rtf"); an output left from before the run is overwritten. Failures
// are written to stderr, the summary to stdout, and with `show_progress` a progress line
// on stderr. `on_file`, when set, hears every file's input, output and result.
struct CommandLineBatch {
  std::string input_folder;
  std::string output_folder;
  bool subfolders = false;
  BatchSettings settings;
  bool show_progress = false;
  std::function<void(const std::string& input, const std::string& output, ConvertResult)>
      on_file;
};
// Returns 0 when every HTML file was converted, 4 when the folder cannot be listed or
// holds no HTML file, else the result code of the first file that failed.
int ConvertPathFromCommandLine(const CommandLineBatch& batch);

}  // namespace velmorane

#endif  // VELMORANE_FRONTENDS_BATCH_BATCH_H_
