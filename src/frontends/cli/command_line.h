// Command-line mode: the command-line record and its defaults, the argument parser, the
// configuration file, the run log and the one conversion of a run.
#ifndef VELMORANE_FRONTENDS_CLI_COMMAND_LINE_H_
#define VELMORANE_FRONTENDS_CLI_COMMAND_LINE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/engine.h"
#include "core/options.h"

namespace velmorane {

// Only this many characters of the argument text are examined.
inline constexpr std::size_t kArgumentTextLimit = 260;
// The run log, created in the current directory.
inline constexpr char kRunLogName[] = "velmorane.log";

// The options record and the values the command line keeps beside it.
struct CommandLineRecord {
  ConversionOptions options{};
  std::string input_file;        // at most kPathLength characters
  std::string out_folder;        // the output target
  int convert_tables = 1;
  std::string font_face = "Arial";  // first copies; moved into the options after parsing
  std::string font_size = "10";
  int convert_images = 0;
  int output_kind = 2;           // 2 RTF, 0 plain text
  std::string encoding_name = "Auto-Select";
  // A folder given as input: its subfolders too, and how many files convert at once.
  int subfolders = 0;
  int jobs = 1;
};

// The most conversions a folder run starts at once.
inline constexpr int kMaxJobs = 64;

// Path fields hold 260 characters with their terminator.
inline constexpr std::size_t kPathLength = 259;

// The start-up defaults of the command line.
CommandLineRecord DefaultCommandLine();

// The argument text of the process: the arguments after the program joined with blanks.
// An argument holding a blank is put in double quotes, as the shell received it.
std::string JoinArguments(int argc, const char* const* argv);

// Copies the value that follows `position` (after the next blank or ":") into
// `destination` and returns its truth value. A value in double quotes runs to the next
// double quote; otherwise it ends at `terminator` or at the end of the text.
// `consumed` counts the value's characters, plus 2 for the quotes; the value starts one
// character after the blank or colon, at `value_start`.
int ReadOptionValue(std::string_view text, std::size_t position, std::string& destination,
                    char terminator, std::size_t& consumed, std::size_t* value_start = nullptr);

// The truth of an option value: five characters or more, or anything but "no" and
// "free" (any case), is true.
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

// Parses the argument text into `record`, writing the run log at `log_path` (created
// fresh). When the log cannot be created nothing is parsed.
void ParseCommandLine(std::string_view argument_text, CommandLineRecord& record,
                      const std::string& log_path = kRunLogName);

// Reads a configuration file into `record`; problems go to the run log. Returns 0 when
// the file cannot be opened, else 1.
int ReadConfigFile(const std::string& path, CommandLineRecord& record,
                   const std::string& log_path);

// Appends text to the run log (text mode, opened and closed around the write); a log
// that cannot be opened loses the text.
void AppendRunLog(const std::string& log_path, std::string_view text);

// The settings block of the run log, dash lines included.
std::string SettingsDump(const CommandLineRecord& record);

// Converts the one file of the run and appends the outcome to the run log.
ConvertResult RunConversion(CommandLineRecord& record, Engine& engine,
                            const std::string& log_path = kRunLogName,
                            ProgressSink* progress = nullptr);

// The one line standard error gets for a conversion that failed (with its status), after
// RunConversion; empty for a success.
std::string FailureMessage(ConvertResult result, const CommandLineRecord& record);

// The workers of a folder run from the value of -jobs: a number from 1 to kMaxJobs; zero,
// a negative number or no number gives one per processor core, more gives kMaxJobs.
int JobsFromValue(std::string_view value);

// Converts the HTML files of the folder named as the input (its tree with subfolders),
// appending one outcome line per file to the run log. Returns the exit status: 0 when
// every file was converted, 3 when the output folder cannot be created, 4 when the folder
// holds no HTML file, else the result code of the first file that failed.
int RunFolderConversion(CommandLineRecord& record, const std::string& log_path = kRunLogName,
                        bool show_progress = false);

// The progress bar text for a position 0..50 and a percent label.
std::string ProgressBarText(int position, std::string_view percent);

// Runs the command line of the process; returns the exit status (the result code).
int RunCommandLine(int argc, char** argv);

}  // namespace velmorane

#endif  // VELMORANE_FRONTENDS_CLI_COMMAND_LINE_H_
