// Command-line mode: the command-line record and its defaults, the argument parser, the
// configuration file, the run log and the one conversion of a run.
#ifndef VELMORANE_FRONTENDS_CLI_COMMAND_LINE_H_
#define VELMORANE_FRONTENDS_CLI_COMMAND_LINE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/options.h"
#include "engine/engine.h"

namespace velmorane {

// A configuration-file value is read from a line of at most this many characters.
inline constexpr std::size_t kArgumentTextLimit = 260;
// The run log's name, beside the outputs unless -log names another file.
inline constexpr char kRunLogName[] = "velmorane.log";
// As input: standard input; as output: standard output.
inline constexpr char kStandardStream[] = "-";

// The options record and the values the command line keeps beside it.
struct CommandLineRecord {
  ConversionOptions options{};
  std::string input_file;        // "-": standard input
  std::string out_folder;        // the output target; "-": standard output
  int convert_tables = 1;
  std::string font_face = "Arial";  // first copies; moved into the options after parsing
  std::string font_size = "10";
  int convert_images = 0;
  int output_kind = 2;           // 2 RTF, 0 plain text
  std::string encoding_name = "Auto-Select";
  // A folder given as input: its subfolders too, and how many files convert at once.
  int subfolders = 0;
  int jobs = 1;
  // A tree lands in one folder with "name(DIR folder)" names instead of a mirrored tree.
  bool flat = false;
  bool output_named = false;     // given with -o: a name ending in .txt means plain text
  int verbosity = 1;             // 0 with -q (no warnings), 2 with -v (every stage)
  std::string log_path = kRunLogName;  // empty with -log none
  // --files-from: the list of the files to convert ("-": standard input), one a line or
  // NUL-separated with -0, mirrored below the output folder relative to --root.
  std::string files_from;
  bool files_nul = false;
  std::string root = ".";
  // --shard K/N: only every N-th file of the run, beginning with the K-th (from 0);
  // a count of 0 marks a value that is no share.
  int shard_index = 0;
  int shard_count = 1;
  bool log_named = false;        // given with -log; else the program puts it beside the outputs
};

// The most conversions a folder run starts at once.
inline constexpr int kMaxJobs = 64;

// Path fields hold 260 characters with their terminator.
inline constexpr std::size_t kPathLength = 259;

// The start-up defaults of the command line.
CommandLineRecord DefaultCommandLine();

// What the arguments ask for besides the record.
struct ParsedArguments {
  enum class Action { kConvert, kHelp, kVersion, kError };
  Action action = Action::kConvert;
  std::string error;       // with kError: one line naming the argument, no line end
  std::string log_text;    // run-log lines of the configuration file, before the settings
  std::vector<std::string> warnings;  // one line each for stderr: unknown configuration keys
};

// Fills `record` from the arguments as the shell passed them (the program name left
// out). Options take the next argument as their value, whatever it holds; "--" ends the
// options; an argument ending in ".cfg" that names a regular file is a configuration
// file, read in place of every argument after it. Unknown options and options without
// their value are errors; nothing is written.
ParsedArguments ParseArguments(const std::vector<std::string>& arguments,
                               CommandLineRecord& record);

// The program's stricter reading of the arguments ParseArguments has read into `record`:
// returns the error for the first option value the option does not take ("option -align
// takes justify, center, right or left, not \"zigzag\""), else empty. -txt becomes a flag
// and an output named *.txt selects plain text unless -txt says no. With "-strict no" it
// does nothing.
std::string CheckOptionValues(const std::vector<std::string>& arguments,
                              CommandLineRecord& record);

// The document languages (any case) and their list, for -language.
bool IsDocumentLanguage(std::string_view name);
std::string DocumentLanguageList();

// Splits a text at blanks outside double quotes; the quotes are dropped. Tests and
// harnesses give their command lines as one text.
std::vector<std::string> SplitArgumentText(std::string_view text);

// Copies the value that follows `position` (after the next blank or ":") into
// `destination` and returns its truth value. A value in double quotes runs to the next
// double quote; otherwise it ends at `terminator` or at the end of the text.
// `consumed` counts the value's characters, plus 2 for the quotes; the value starts one
// character after the blank or colon, at `value_start`.
int ReadOptionValue(std::string_view text, std::size_t position, std::string& destination,
                    char terminator, std::size_t& consumed, std::size_t* value_start = nullptr);

// The truth of an option value: "no", "free", "off", "false" and "0" (any case) are
// false, anything else is true.
int TruthOf(std::string_view value);

// Paper size by name (any case); unknown names give Letter.
struct PaperSize {
  int width;
  int height;
};
PaperSize LookupPaper(std::string_view name);

// The encoding display name for an argument value (any case); a character set the engine
// decodes with the C library ("EUC-KR") is passed on as given; unknown gives "Auto-Select".
std::string_view LookupEncoding(std::string_view value);

// Table border from its value: "as in html" 2, "visible" 1, anything else 0.
int BorderFromValue(std::string_view value);

// Sets `margin` to the millimetres of `value` in twips when the result lies strictly
// between 1 and 7200; otherwise the margin keeps its value.
void ApplyMarginMillimetres(std::string_view value, std::int32_t& margin);

// The run log of one run: created fresh when the run starts, appended to line by line. A
// log that cannot be created or written never stops the conversion; the run tells so on
// stderr at its end instead.
class RunLog {
 public:
  // No log (-log none) when `path` is empty. With `existing` the file was created before
  // and is appended to.
  explicit RunLog(std::string path, bool existing = false)
      : path_(std::move(path)), created_(existing && !path_.empty()) {}
  // Creates the file; false when it cannot be created (the run goes on without it).
  bool Create();
  void Append(std::string_view text);
  // Remembers a failed write of a caller that wrote to the file itself.
  void MarkFailed() { failed_ = true; }
  const std::string& path() const { return path_; }
  bool active() const { return !path_.empty() && created_; }
  bool failed() const { return failed_; }

 private:
  std::string path_;
  bool created_ = false;
  bool failed_ = false;
};

// The date line, the configuration lines and the settings block that open a run log.
void StartRunLog(RunLog& log, const CommandLineRecord& record, std::string_view log_text);

// Parses a command line given as one text (split as SplitArgumentText does) into
// `record` and, unless the arguments are in error, starts the run log at `log_path`.
ParsedArguments ParseCommandLine(std::string_view argument_text, CommandLineRecord& record,
                                 const std::string& log_path = kRunLogName);

// Reads a configuration file into `record`: lines for the run log go to `log_text`,
// unknown keys also to `warnings`. Returns 0 when the file cannot be opened or is not a
// regular file, else 1.
int ReadConfigFile(const std::string& path, CommandLineRecord& record, std::string& log_text,
                   std::vector<std::string>* warnings = nullptr);
// The same with the lines appended to the run log at `log_path`.
int ReadConfigFile(const std::string& path, CommandLineRecord& record,
                   const std::string& log_path);

// Appends text to the run log (text mode, opened and closed around the write); a log
// that cannot be opened loses the text.
void AppendRunLog(const std::string& log_path, std::string_view text);

// The settings block of the run log, dash lines included.
std::string SettingsDump(const CommandLineRecord& record);

// Converts the one file of the run and appends the outcome to the run log. Reading
// standard input or writing standard output goes through the in-memory entry.
ConvertResult RunConversion(CommandLineRecord& record, Engine& engine, RunLog& log,
                            ProgressSink* progress = nullptr, MessageSink* messages = nullptr);
ConvertResult RunConversion(CommandLineRecord& record, Engine& engine,
                            const std::string& log_path = kRunLogName,
                            ProgressSink* progress = nullptr);

// The output mode the record asks for; plain text also sets the record's extension and
// line width.
int PrepareOutputMode(CommandLineRecord& record);

// The one line standard error gets for a conversion that failed (with its status), after
// RunConversion; empty for a success.
std::string FailureMessage(ConvertResult result, const CommandLineRecord& record);

// The workers of a folder run from the value of -jobs: a number from 1 to kMaxJobs; zero,
// a negative number or no number gives one per processor core, more gives kMaxJobs.
int JobsFromValue(std::string_view value);

// Converts the HTML files of the folder named as the input (its tree with subfolders,
// mirrored below the output folder unless `flat`), appending one outcome line per file to
// the run log. Returns the exit status: 0 when every file was converted, 3 when the
// output folder cannot be created, 4 when the folder holds no HTML file, else the result
// code of the first file that failed.
// With `listed_files` the run converts those files (absolute paths below the input folder)
// instead of the folder's own.
int RunFolderConversion(CommandLineRecord& record, RunLog& log, bool show_progress = false,
                        const std::vector<std::string>* listed_files = nullptr);
int RunFolderConversion(CommandLineRecord& record, const std::string& log_path = kRunLogName,
                        bool show_progress = false);

// The progress bar text for a position 0..50 and a percent label.
std::string ProgressBarText(int position, std::string_view percent);

// Runs the command line of the process; returns the exit status (the result code).
int RunCommandLine(int argc, char** argv);

}  // namespace velmorane

#endif  // VELMORANE_FRONTENDS_CLI_COMMAND_LINE_H_
