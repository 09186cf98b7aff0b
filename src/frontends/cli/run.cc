// The run of the command line: one conversion (or the files of a folder) with the outcome
// in the run log, the progress bar on a terminal, the usage text and the exit status.
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/append.h"
#include "core/paths.h"
#include "frontends/batch/batch.h"
#include "frontends/cli/command_line.h"
#include "platform/files.h"

namespace velmorane {

namespace {

constexpr int kBarWidth = 50;  // one mark per progress position

constexpr char kUsage[] =
    "Usage: velmorane INPUT.html [OUTPUT-FOLDER | OUTPUT.rtf] [options]\n"
    "       velmorane INPUT-FOLDER [OUTPUT-FOLDER] [options]\n"
    "       velmorane SETTINGS.cfg\n"
    "\n"
    "Converts one HTML file, or every HTML file of a folder, to RTF (or plain text) and\n"
    "writes velmorane.log in the current directory. Options take one value each:\n"
    "  -table yes|no       convert tables (default yes)\n"
    "  -image yes|no       convert pictures (default no)\n"
    "  -face NAME          default font (\"Times New Roman\" in quotes; default Arial)\n"
    "  -size POINTS        default font size (default 10)\n"
    "  -txt VALUE          write plain text instead of RTF\n"
    "  -language NAME      document language (default English)\n"
    "  -encoding NAME      windows-1250..1258, koi8-r, latin1, utf-8 (default automatic)\n"
    "  -border VALUE       \"as in html\", visible or invisible table borders\n"
    "  -align WORD         justify, center, right or left\n"
    "  -kh -kf -ks -kc -ka keep hyperlinks, font face, font size, font colour, alignment\n"
    "  -ktw -knt           keep table widths, keep nested tables\n"
    "  -ml -mr -mt -mb MM  left, right, top, bottom margin in millimetres\n"
    "  -psize NAME         A3, A4, A5, B5, Letter, Legal, Executive or Monarh\n"
    "  -wmf yes|no         pictures as WMF metafiles and DIB bitmaps instead of PNG\n"
    "                      and JPEG (default no)\n"
    "  -subfolders yes|no  with a folder as input: its whole tree (default no)\n"
    "  -jobs N             with a folder as input: files converted at once\n"
    "                      (default: one per processor core)\n"
    "Values no and free switch a flag off; anything else switches it on.\n"
    "Exit status: 0 converted, 2 not enough memory, 3 cannot create the output,\n"
    "4 cannot open the input (or a folder without HTML files), 5 input is empty,\n"
    "7 cannot write the output to its end (an earlier output is kept);\n"
    "for a folder, the status of the first file that failed.\n";

// A bar of '#' marks on standard error, redrawn in place.
class TerminalProgress : public ProgressSink {
 public:
  ~TerminalProgress() override {
    if (drawn_) std::fputs("\n", stderr);
  }
  void SetPosition(int position) override {
    position_ = position;
    Draw();
  }
  void SetLabel(std::string_view text) override {
    percent_ = std::string(text);
    Draw();
  }

 private:
  void Draw() {
    std::fputs(ProgressBarText(position_, percent_).c_str(), stderr);
    std::fflush(stderr);
    drawn_ = true;
  }
  int position_ = 0;
  std::string percent_ = "0";
  bool drawn_ = false;
};

}  // namespace

std::string ProgressBarText(int position, std::string_view percent) {
  if (position < 0) position = 0;
  if (position > kBarWidth) position = kBarWidth;
  std::string text = "\r[";
  text.append(static_cast<std::size_t>(position), '#');
  text.append(static_cast<std::size_t>(kBarWidth - position), ' ');
  text += "] ";
  text += percent;
  text += '%';
  return text;
}

namespace {

// The output mode of the record; plain text also sets its extension and line width.
int PrepareOutputMode(CommandLineRecord& record) {
  ConversionOptions& o = record.options;
  int mode = record.convert_tables + 1;
  if (record.output_kind == 0) {
    mode = kModePlainText;
    SetField(o.output_extension, ".txt");
    SetField(o.max_line_width, "80");
    o.line_folding = 0;
  }
  // Any non-zero truth counts as "with tables"; the engine knows modes 0 to 2 only.
  return mode > kModeRtfTables ? kModeRtfTables : mode;
}

// The run log's line for a result other than success.
std::string FailureLine(ConvertResult result, const std::string& input_file) {
  switch (result) {
    case ConvertResult::kNoMemory:
      return "Error! Not enough memory\n";
    case ConvertResult::kCannotCreateOutput:
      return "Error! Can't create output file (maybe file has open another application)\n";
    case ConvertResult::kCannotOpenInput:
      return StringF("Error! Can't open %s file.\n", input_file.c_str());
    case ConvertResult::kInputEmpty:
      return "Error! HTML file is empty\n";
    case ConvertResult::kCannotWriteOutput:
      return "Error! Can't write output file (disk full?), an earlier file is kept\n";
    default:
      return "Unknown error!\n";
  }
}

std::string EndLine() {
  const UtcTime end = NowUtc();
  return StringF("End of converting in: %d:%d:%d\n", end.hour, end.minute, end.second);
}

std::string BeginLine() {
  const UtcTime begin = NowUtc();
  return StringF("Begin converting in: %d:%d:%d\n", begin.hour, begin.minute, begin.second);
}

}  // namespace

std::string FailureMessage(ConvertResult result, const CommandLineRecord& record) {
  const char* input = record.input_file.c_str();
  const int status = static_cast<int>(result);
  switch (result) {
    case ConvertResult::kDone:
      return {};
    case ConvertResult::kNoMemory:
      return StringF("velmorane: not enough memory to convert %s (status %d)\n", input, status);
    case ConvertResult::kCannotCreateOutput: {
      // The name the engine tried: the output target itself or a file in that folder.
      const int mode = record.output_kind == 0 ? kModePlainText : kModeRtfTables;
      const std::string output = OutputFileName(
          record.input_file, ToForwardSlashes(record.out_folder), record.options, mode);
      return StringF("velmorane: cannot create output file %s (status %d)\n", output.c_str(),
                     status);
    }
    case ConvertResult::kCannotWriteOutput: {
      const int mode = record.output_kind == 0 ? kModePlainText : kModeRtfTables;
      const std::string output = OutputFileName(
          record.input_file, ToForwardSlashes(record.out_folder), record.options, mode);
      return StringF(
          "velmorane: cannot write output file %s to its end (disk full?); an earlier file "
          "of that name is kept (status %d)\n",
          output.c_str(), status);
    }
    case ConvertResult::kCannotOpenInput:
      if (KindOfFile(record.input_file) == FileKind::kOther) {
        return StringF("velmorane: input %s is not a regular file (status %d)\n", input, status);
      }
      if (record.input_file.empty()) {
        return StringF("velmorane: no input file given (status %d)\n", status);
      }
      return StringF("velmorane: cannot open input file %s (status %d)\n", input, status);
    case ConvertResult::kInputEmpty:
      return StringF("velmorane: input file %s is empty (status %d)\n", input, status);
    case ConvertResult::kOutputExists:
      return StringF("velmorane: output file %s exists (status %d)\n",
                     record.out_folder.c_str(), status);
  }
  return StringF("velmorane: conversion of %s failed (status %d)\n", input, status);
}

ConvertResult RunConversion(CommandLineRecord& record, Engine& engine,
                            const std::string& log_path, ProgressSink* progress) {
  ConversionOptions& o = record.options;
  ConvertRequest request;
  request.output_mode = PrepareOutputMode(record);
  request.encoding_name = record.encoding_name;
  request.convert_images = record.convert_images != 0;
  request.keep_existing_output = false;
  request.progress = progress;

  AppendRunLog(log_path, BeginLine());

  EngineSettings settings;
  InitEngineSettings(settings);
  // An output folder that does not exist yet is made, as users expect of a converter;
  // only a folder that cannot be made leaves the "cannot create" result.
  if (!record.input_file.empty() && !record.out_folder.empty()) {
    const std::string output = OutputFileName(ToForwardSlashes(record.input_file),
                                              ToForwardSlashes(record.out_folder), o,
                                              request.output_mode);
    const std::filesystem::path folder = std::filesystem::path(output).parent_path();
    std::error_code error;
    if (!folder.empty() && !std::filesystem::exists(folder, error)) {
      std::filesystem::create_directories(folder, error);
    }
  }
  const ConvertResult result =
      engine.ConvertHtmlFile(record.input_file, record.out_folder, request, o, settings);

  const std::string outcome = result == ConvertResult::kDone
                                  ? "Converted successfully!\n" + EndLine()
                                  : FailureLine(result, record.input_file);
  AppendRunLog(log_path, outcome);
  return result;
}

int RunFolderConversion(CommandLineRecord& record, const std::string& log_path,
                        bool show_progress) {
  CommandLineBatch batch;
  batch.input_folder = record.input_file;
  batch.output_folder = record.out_folder;
  batch.subfolders = record.subfolders != 0;
  batch.jobs = record.jobs;
  batch.settings.output_mode = PrepareOutputMode(record);
  batch.settings.options = record.options;
  batch.settings.encoding_name = record.encoding_name;
  batch.settings.convert_images = record.convert_images != 0;
  batch.show_progress = show_progress;
  batch.on_progress = [](long long converted, long long total) {
    const long long percent = converted * 100 / total;
    std::fputs(ProgressBarText(static_cast<int>(converted * 50 / total),
                               StringF("%lld", percent))
                   .c_str(),
               stderr);
    std::fprintf(stderr, " %lld of %lld", converted, total);
    std::fflush(stderr);
  };
  AppendRunLog(log_path, BeginLine());
  int status;
  {
    // One line per file, in file order, through a log held open for the run: opening the
    // file for each line would cost the thread that reports the files three system calls
    // a file, while the workers wait for it.
    AppendingTextFile log(log_path);
    batch.on_file = [&log, &log_path](const std::string& input, const std::string& output,
                                      ConvertResult result) {
      const std::string line =
          result == ConvertResult::kDone
              ? StringF("%s -> %s: Converted successfully!\n", input.c_str(), output.c_str())
              : input + ": " + FailureLine(result, input);
      if (!log.Append(line)) AppendRunLog(log_path, line);
    };
    status = ConvertPathFromCommandLine(batch);
    batch.on_file = nullptr;  // it refers to the log closed here
  }
  AppendRunLog(log_path, EndLine());
  return status;
}

int RunCommandLine(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "-h" || argument == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  const std::string text = JoinArguments(argc, argv);
  if (text.empty()) {
    // Without arguments there is nothing to convert.
    std::fputs(kUsage, stderr);
    return 1;
  }

  CommandLineRecord record = DefaultCommandLine();
  ParseCommandLine(text, record);
  if (!record.input_file.empty() && IsDirectory(record.input_file)) {
    const int status = RunFolderConversion(record, kRunLogName, StandardErrorIsTerminal());
    if (status != 0) {
      std::fprintf(stderr, "velmorane: folder conversion ended with status %d (see %s)\n",
                   status, kRunLogName);
    }
    return status;
  }
  Engine engine;
  ConvertResult result;
  if (StandardErrorIsTerminal()) {
    TerminalProgress bar;
    result = RunConversion(record, engine, kRunLogName, &bar);
  } else {
    result = RunConversion(record, engine);
  }
  std::fputs(FailureMessage(result, record).c_str(), stderr);
  // The exit status tells a failure from a success.
  return static_cast<int>(result);
}

}  // namespace velmorane
