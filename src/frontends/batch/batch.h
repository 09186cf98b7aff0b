// Batch conversion as the window runs it, free of any window code: one file, every HTML
// file of a folder, or every HTML file of a folder tree, with the counters and texts the
// window shows, the per-file error messages and the questions asked when an output file
// exists. The window answers the questions with its dialogs; tests answer them with
// scripted choices; the command line answers them by itself.
//
// A run is planned first (the files in the order they are converted, and where a folder
// adds to the total) and then carried out through a FileConverter: on the calling thread
// file by file, or with several workers, each with its own copy of the converter (and so
// its own Engine). Either way every host call happens on the calling thread, in the same
// order and with the same values as in a run with one worker.
#ifndef VELMORANE_FRONTENDS_BATCH_BATCH_H_
#define VELMORANE_FRONTENDS_BATCH_BATCH_H_

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/options.h"
#include "engine/engine.h"

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
  // A folder of the tree that is left out because it cannot be listed (its path is
  // too long, it may not be read), told before the first file converts.
  virtual void FolderLeftOut(std::string_view /*folder*/, std::string_view /*reason*/) {}
  // The progress sink of the current file, or none.
  virtual ProgressSink* FileProgress() { return nullptr; }
  // What the conversion of `input` said (a picture left out, a decoder's note, a stage
  // when WantsStages()), in the order it said it; heard in file order, before the
  // file's FileConverted.
  virtual void FileMessage(std::string_view /*input*/, MessageKind /*kind*/,
                           std::string_view /*text*/) {}
  // True when the conversions are to tell their stages as well. Asked once per run.
  virtual bool WantsStages() const { return false; }
  // A conversion has ended (not one held back because its output exists): `output` is
  // the file it wrote or would have written. Heard in file order.
  virtual void FileConverted(std::string_view /*input*/, std::string_view /*output*/,
                             ConvertResult /*result*/) {}
};

// Converts one file. `output_target` is a folder or an output file name; on kOutputExists
// it receives the output file name that exists. `progress` hears the file's progress and
// `messages` what its conversion says; either may be none.
class FileConverter {
 public:
  virtual ~FileConverter() = default;
  virtual ConvertResult Convert(const std::string& input_path, std::string& output_target,
                                bool keep_existing_output, ProgressSink* progress,
                                MessageSink* messages) = 0;

  // What Convert would do with an existing output, told without converting.
  struct OutputPlan {
    bool known = false;        // false: only converting tells
    bool input_opens = true;   // false: Convert fails before it looks at the output
    std::string path;          // the output file Convert writes
  };
  virtual OutputPlan PlanOutput(const std::string& /*input_path*/,
                                const std::string& /*output_target*/) {
    return {};
  }

  // A converter with the same settings and its own state, for another worker thread;
  // none when this converter cannot be copied (the run then converts on its own thread).
  virtual std::unique_ptr<FileConverter> Clone() const { return nullptr; }
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
                        bool keep_existing_output, ProgressSink* progress,
                        MessageSink* messages) override;
  OutputPlan PlanOutput(const std::string& input_path,
                        const std::string& output_target) override;
  std::unique_ptr<FileConverter> Clone() const override;

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
  // Conversions running at once in a folder or tree run; 1 converts on the calling thread.
  int jobs = 1;
  // A folder run without subfolders runs as a tree run of one folder: existing outputs
  // are asked about and failures are not shown (the command line reports them itself).
  bool ask_in_folder = false;
  // When set and turned on (from any thread), the run stops as "Stop conversion" does:
  // files already converting are finished and reported, no further file is begun.
  const std::atomic<bool>* cancel = nullptr;
  // A tree run writes each file into the output folder's copy of the file's folder
  // (site/docs/a.htm into out/docs/) instead of into the output folder itself.
  bool mirror_tree = false;
  // A tree run of exactly these files (absolute paths below `input_path`, which is then
  // the root of the mirrored tree) instead of the HTML files found in the folder.
  const std::vector<std::string>* listed_files = nullptr;
  // Only the files of share `shard_index` of `shard_count` (see TakeShard).
  int shard_index = 0;
  int shard_count = 1;
};

// The folder a mirrored tree run writes the output of `input_path` into: `output_folder`
// followed by the folders from `input_root` down to the file, with a trailing "/".
std::string MirroredOutputFolder(std::string_view output_folder, std::string_view input_root,
                                 std::string_view input_path);

// The message shown for a file whose conversion failed with `result` (empty for success
// and for an existing output); the output file is named from `output_folder`, the input's
// name and `extension`.
std::string FileErrorMessage(ConvertResult result, const std::string& input_path,
                             const std::string& output_folder, std::string_view extension);

// The number of workers of a run when none is asked for: one per processor core.
int DefaultJobs();

// Counters of one run; not limited to 16 bits.
struct BatchCounters {
  long long converted = 0;
  long long total = 0;
  long long planned = 0;  // the files of the run before a share was taken
  // The output folder could not be made, or was removed while the run went on.
  bool output_folder_missing = false;
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
// (in name order) come before its subfolders (in name order). Without `subfolders` only
// the folder itself. False when `folder` cannot be listed. A subfolder that cannot be
// listed is left out; `left_out`, when given, gets it with the reason.
struct LeftOutFolder {
  std::string path;
  std::string reason;  // "its path is too long", "it cannot be read"
};
bool PlanFolderTree(const std::string& folder, std::vector<PlanStep>& steps,
                    bool subfolders = true, std::vector<LeftOutFolder>* left_out = nullptr);

// Keeps the files of share `index` (0 to count - 1) of `count` and recounts the folders'
// files. The files are taken in turn, every count-th one, but the files that would write
// the same output (one name apart from its extension, in one output folder: the same
// input folder with `by_folder`, anywhere in the tree without) stay together in the share
// of the first of them, so that the shares of a run write the files one run would.
void TakeShard(std::vector<PlanStep>& steps, int index, int count, bool by_folder);

// The HTML files directly in `folder`, in name order. False when it cannot be listed.
bool ListHtmlFiles(const std::string& folder, std::vector<std::string>& files);

// The inputs of a list of files: one path a line (a CR before the line end dropped, empty
// lines skipped) or, with `nul_separated`, paths ended by NUL bytes. Each is made absolute
// and normal; a path listed twice is kept once, at its first place. False, with `outside`
// naming it, when a path does not lie below the folder `root`.
bool ListedInputs(std::string_view text, bool nul_separated, const std::string& root,
                  std::vector<std::string>& inputs, std::string& outside);

// Runs the Convert command from the point where the window has stored its settings:
// checks (and offers to create) the output folder, converts one file, one folder or a
// folder tree, and reports through `host`. Returns the counters of the run. With
// request.jobs above 1 and a converter that can be cloned and can plan its outputs, the
// files are converted by that many workers; two files that share an output file are
// never converted at the same time, and a question about an existing output is asked
// only after every earlier file has been reported.
BatchCounters RunBatch(const BatchRequest& request, FileConverter& converter, BatchHost& host);

// Command-line folder conversion: every HTML file of `input_folder`, or of its whole tree
// with `subfolders`, into `output_folder`, without questions: an output written earlier
// in the same run is kept and the new one renamed as the Warning dialog suggests
// ("index(DIR docs).rtf"); an output left from before the run is overwritten. Failures
// are written to stderr, the summary to stdout, and with `show_progress` a progress line
// on stderr. `on_file`, when set, hears every file's input, output and result, and
// `on_message` what each file's conversion said (before its `on_file`), in file order
// and on the calling thread.
struct CommandLineBatch {
  std::string input_folder;
  std::string output_folder;
  bool subfolders = false;
  bool mirror_tree = false;  // with subfolders: the output folder mirrors the tree
  BatchSettings settings;
  bool show_progress = false;
  int jobs = 1;
  std::function<void(const std::string& input, const std::string& output, ConvertResult)>
      on_file;
  std::function<void(const std::string& input, MessageKind kind, std::string_view text)>
      on_message;
  bool wants_stages = false;  // the conversions tell their stages to `on_message` too
  // A warning of the run itself (a folder left out); without it, told on stderr.
  std::function<void(const std::string& text)> on_warning;
  // With `show_progress`, draws the progress (files converted of the total so far) in
  // place of the module's own progress line.
  std::function<void(long long converted, long long total)> on_progress;
  // Converts these files (absolute paths below `input_folder`) instead of the folder's.
  const std::vector<std::string>* listed_files = nullptr;
  int shard_index = 0;  // the share of the files converted (see TakeShard)
  int shard_count = 1;
};
// Returns 0 when every HTML file was converted, 3 when the output folder cannot be
// created, 4 when the folder cannot be listed or holds no HTML file, else the result code
// of the first file that failed. An empty list of files, or a share that got no file of
// a folder that has some, is no failure.
int ConvertPathFromCommandLine(const CommandLineBatch& batch);

}  // namespace velmorane

#endif  // VELMORANE_FRONTENDS_BATCH_BATCH_H_
