// The run of the command line: one conversion (or the files of a folder) with the outcome
// in the run log, the progress bar on a terminal, the usage text and the exit status.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/append.h"
#include "base/paths.h"
#include "frontends/batch/batch.h"
#include "frontends/cli/command_line.h"
#include "html/shown_text.h"
#include "platform/files.h"
#include "platform/temporary_folder.h"
#include "velmorane_version.h"

namespace velmorane {

namespace {

constexpr int kBarWidth = 50;  // one mark per progress position

constexpr char kUsage[] =
    "Usage: velmorane INPUT.html [OUTPUT-FOLDER | OUTPUT.rtf] [options]\n"
    "       velmorane INPUT-FOLDER [OUTPUT-FOLDER] [options]\n"
    "       velmorane - [-o OUTPUT.rtf | -o -] [options]     (from standard input)\n"
    "       velmorane SETTINGS.cfg\n"
    "       velmorane --help | --version\n"
    "\n"
    "Converts one HTML file, or every HTML file of a folder, to RTF (or plain text) and\n"
    "writes the run log velmorane.log beside the outputs. Options:\n"
    "  -o OUTPUT           the output file or folder; - writes to standard output;\n"
    "                      a name ending in .txt writes plain text\n"
    "  -table yes|no       convert tables (default yes)\n"
    "  -image yes|no       convert pictures (default no)\n"
    "  -download yes|no    fetch remote pictures (default no)\n"
    "  -face NAME          default font (\"Times New Roman\" in quotes; default Arial)\n"
    "  -size POINTS        default font size (default 10)\n"
    "  -txt yes|no         write plain text instead of RTF (default: plain text for an\n"
    "                      output named *.txt)\n"
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
    "  -subfolders yes|no  with a folder as input: its whole tree, mirrored below the\n"
    "                      output folder (default no)\n"
    "  -flat yes|no        with -subfolders: every output in the one output folder\n"
    "  -jobs N             with a folder as input: files converted at once\n"
    "                      (default: one per processor core)\n"
    "  --files-from LIST   convert the files LIST names (- reads standard input), one\n"
    "                      a line, into the output folder, mirroring their folders\n"
    "  -0                  with --files-from: the names are NUL-separated\n"
    "  --root FOLDER       with --files-from: the folder the tree is mirrored from\n"
    "                      (default the current folder)\n"
    "  --shard K/N         with a folder or a list: only every N-th file, from the K-th\n"
    "                      (0 <= K < N), for the K-th of N workers\n"
    "  -log FILE|none      the run log (default velmorane.log beside the outputs, none\n"
    "                      for standard output; -log velmorane.log: the current folder)\n"
    "  -strict yes|no      a value an option does not take is an error (default yes);\n"
    "                      no: unknown values fall back to defaults as in older versions\n"
    "  -q                  no warnings     -v  every stage of the conversion\n"
    "Values no, free, off, false and 0 switch a flag off; anything else switches it on.\n"
    "Exit status: 0 converted, 1 wrong arguments, 2 not enough memory, 3 cannot create\n"
    "the output, 4 cannot open the input (or a folder without HTML files), 5 input is\n"
    "empty, 7 cannot write the output to its end (an earlier output is kept); for a\n"
    "folder, the status of the first file that failed.\n";

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

namespace {

// The run log's line for a result other than success.
std::string FailureLine(ConvertResult result, const std::string& input_file) {
  switch (result) {
    case ConvertResult::kNoMemory:
      return "Error! Not enough memory\n";
    case ConvertResult::kCannotCreateOutput:
      return "Error! Can't create output file (maybe file has open another application)\n";
    case ConvertResult::kCannotOpenInput:
      return StringF("Error! Can't open %s file.\n", ShownText(input_file).c_str());
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

namespace {

// The input as messages name it.
std::string InputName(const CommandLineRecord& record) {
  return record.input_file == kStandardStream ? std::string("standard input")
                                              : ShownText(record.input_file);
}

// Why `path` does not open for reading, in the system's words.
std::string OpenFailureReason(const std::string& path) {
  if (IsDirectory(path)) return "is a folder";
  errno = 0;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    std::fclose(file);
    return "cannot be read";
  }
  switch (errno) {
    case ENOENT:
      return "no such file";
    case EACCES:
      return "permission denied";
    default: {
      std::string reason = std::strerror(errno);
      if (!reason.empty()) reason[0] = static_cast<char>(std::tolower(reason[0]));
      return reason;
    }
  }
}

}  // namespace

std::string FailureMessage(ConvertResult result, const CommandLineRecord& record) {
  const std::string input_name = InputName(record);
  const char* input = input_name.c_str();
  const int status = static_cast<int>(result);
  switch (result) {
    case ConvertResult::kDone:
      return {};
    case ConvertResult::kNoMemory:
      return StringF("velmorane: not enough memory to convert %s (status %d)\n", input, status);
    case ConvertResult::kCannotCreateOutput: {
      if (record.out_folder == kStandardStream) {
        return StringF("velmorane: cannot write to standard output (status %d)\n", status);
      }
      // The name the engine tried: the output target itself or a file in that folder.
      const int mode = record.output_kind == 0 ? kModePlainText : kModeRtfTables;
      const std::string output = OutputFileName(
          record.input_file, UserPath(record.out_folder), record.options, mode);
      const std::string shown = ShownText(output);
      // A folder that exists but takes no file is named as the reason.
      if (const std::string reason = FolderRefusesFiles(FolderOf(output)); !reason.empty()) {
        return StringF("velmorane: cannot create output file %s: %s (status %d)\n",
                       shown.c_str(), reason.c_str(), status);
      }
      return StringF("velmorane: cannot create output file %s (status %d)\n", shown.c_str(),
                     status);
    }
    case ConvertResult::kCannotWriteOutput: {
      const int mode = record.output_kind == 0 ? kModePlainText : kModeRtfTables;
      const std::string output = OutputFileName(
          record.input_file, ToForwardSlashes(record.out_folder), record.options, mode);
      if (const std::string folder = FolderOf(output); !folder.empty() && !IsDirectory(folder)) {
        return StringF(
            "velmorane: cannot write output file %s to its end: its folder was removed "
            "during the conversion (status %d)\n",
            ShownText(output).c_str(), status);
      }
      return StringF(
          "velmorane: cannot write output file %s to its end (disk full?); an earlier file "
          "of that name is kept (status %d)\n",
          ShownText(output).c_str(), status);
    }
    case ConvertResult::kCannotOpenInput:
      if (KindOfFile(record.input_file) == FileKind::kOther) {
        return StringF("velmorane: input %s is not a regular file (status %d)\n", input, status);
      }
      if (record.input_file.empty()) {
        return StringF("velmorane: no input file given (status %d)\n", status);
      }
      return StringF("velmorane: cannot open input file %s: %s (status %d)\n", input,
                     OpenFailureReason(record.input_file).c_str(), status);
    case ConvertResult::kInputEmpty:
      return StringF("velmorane: input file %s is empty (status %d)\n", input, status);
    case ConvertResult::kOutputExists:
      return StringF("velmorane: output file %s exists (status %d)\n",
                     ShownText(record.out_folder).c_str(), status);
  }
  return StringF("velmorane: conversion of %s failed (status %d)\n", input, status);
}

namespace {

// What a conversion says: warnings go to stderr (not with -q) and to the run log, notes to
// the run log (and stderr with -v), stages to stderr with -v only.
class TerminalMessages : public MessageSink {
 public:
  TerminalMessages(int verbosity, RunLog& log) : verbosity_(verbosity), log_(log) {}

  void Message(MessageKind kind, std::string_view text) override { Tell({}, kind, text); }
  bool WantsStages() const override { return verbosity_ >= 2; }

  // `input` names the file in a folder run; empty for the one file of a run.
  void Tell(std::string_view input, MessageKind kind, std::string_view text) {
    // The engine's texts come shown safely; the name of a file in a folder may hold
    // anything.
    std::string line = ShownText(input);
    if (!line.empty()) line += ": ";
    line += text;
    switch (kind) {
      case MessageKind::kWarning:
        // In a folder run the pictures left out with -image off are told once at its end.
        if (!input.empty() && text.ends_with(kPicturesOff)) {
          pictures_left_out_ += LeadingInt(text);
          ++files_with_pictures_left_out_;
          log_.Append(StringF("Warning: %s\n", line.c_str()));
          break;
        }
        if (verbosity_ > 0) std::fprintf(stderr, "velmorane: warning: %s\n", line.c_str());
        log_.Append(StringF("Warning: %s\n", line.c_str()));
        break;
      case MessageKind::kNote:
        if (verbosity_ >= 2) std::fprintf(stderr, "velmorane: %s\n", line.c_str());
        log_.Append(line + "\n");
        break;
      case MessageKind::kStage:
        if (verbosity_ >= 2) std::fprintf(stderr, "velmorane: %s\n", line.c_str());
        break;
    }
  }

  // The one line for the pictures a folder run left out, when there were any.
  void TellPicturesLeftOut() {
    if (pictures_left_out_ == 0) return;
    const std::string line = StringF(
        "%lld picture%s left out in %lld file%s: converting pictures is off (-image yes "
        "keeps them)",
        pictures_left_out_, pictures_left_out_ == 1 ? "" : "s", files_with_pictures_left_out_,
        files_with_pictures_left_out_ == 1 ? "" : "s");
    if (verbosity_ > 0) std::fprintf(stderr, "velmorane: warning: %s\n", line.c_str());
    log_.Append(StringF("Warning: %s\n", line.c_str()));
  }

 private:
  static constexpr std::string_view kPicturesOff = ": converting pictures is off";
  int verbosity_;
  RunLog& log_;
  long long pictures_left_out_ = 0;
  long long files_with_pictures_left_out_ = 0;
};

// The messages of a folder run, held per input until the file's line is written: the
// failure of a file comes on stderr before what its conversion said, and in the run log
// after it.
class FolderMessages {
 public:
  explicit FolderMessages(TerminalMessages& out) : out_(out) {}

  void Hold(const std::string& input, MessageKind kind, std::string_view text) {
    held_[input].push_back({kind, std::string(text)});
  }

  // Tells what the conversion of `input` said.
  void Release(const std::string& input) {
    const auto it = held_.find(input);
    if (it == held_.end()) return;
    const std::vector<Held> lines = std::move(it->second);
    held_.erase(it);
    for (const Held& held : lines) out_.Tell(input, held.kind, held.text);
  }

 private:
  struct Held {
    MessageKind kind;
    std::string text;
  };
  TerminalMessages& out_;
  std::map<std::string, std::vector<Held>> held_;
};

// All of standard input as bytes.
bool ReadStandardInput(std::string& bytes) {
  char block[65536];
  std::size_t got = 0;
  while ((got = std::fread(block, 1, sizeof block, stdin)) > 0) bytes.append(block, got);
  return std::ferror(stdin) == 0;
}

// Makes the folder of an output file when it does not exist yet, with the folders above
// it, as users expect of a converter; a folder that cannot be made leaves the "cannot
// create" result to the write. The folders made are added to `made`.
void MakeOutputFolder(const std::string& output, std::vector<std::string>& made) {
  const std::string folder = std::filesystem::path(output).parent_path().string();
  if (!folder.empty() && !IsDirectory(folder)) (void)MakeFolders(folder, made);
}

// One conversion that reads standard input or writes standard output, through the
// in-memory entry: the document has the bytes a file would get.
ConvertResult ConvertStreams(CommandLineRecord& record, Engine& engine,
                             const ConvertRequest& request, const EngineSettings& settings,
                             std::vector<std::string>& made_folders) {
  const bool from_stdin = record.input_file == kStandardStream;
  const bool to_stdout = record.out_folder == kStandardStream;
  std::string html;
  std::string input = UserPath(record.input_file);
  std::string input_folder;
  if (from_stdin) {
    if (!ReadStandardInput(html)) return ConvertResult::kCannotOpenInput;
    input = "stdin";
  } else {
    if (input.empty() || IsDirectory(input) || !ReadBinaryFile(input, html)) {
      return ConvertResult::kCannotOpenInput;
    }
    input_folder = FolderOf(input);
  }
  // Pictures and style sheets of standard input, and of a file given without a folder,
  // are looked for in the current folder.
  if (input_folder.empty()) {
    std::error_code error;
    input_folder = std::filesystem::current_path(error).string();
  }

  std::string output_path;
  if (!to_stdout) {
    output_path = OutputFileName(input, UserPath(record.out_folder), record.options,
                                 request.output_mode);
    MakeOutputFolder(output_path, made_folders);
    if (IsDirectory(output_path) || (!from_stdin && SameFile(output_path, input))) {
      return ConvertResult::kCannotCreateOutput;
    }
  }
  // As for a file: an empty input writes no output.
  if (html.empty()) return ConvertResult::kInputEmpty;

  TemporaryFolder temporary;
  std::string work_folder = to_stdout ? temporary.path() : FolderOf(output_path);
  if (work_folder.empty()) work_folder = ".";
  std::string document;
  ConversionOptions options = record.options;
  const ConvertResult result = engine.ConvertHtmlBytes(html, input_folder, work_folder,
                                                       request, options, settings, document);
  if (result != ConvertResult::kDone) return result;
  if (!to_stdout) {
    // As for a file: a document that cannot be written to its end (a full disk) is not
    // one that cannot be created, and an earlier output keeps its content.
    ReplacementFile output(output_path);
    if (!output.created()) return ConvertResult::kCannotCreateOutput;
    return output.WriteText(document) && output.Commit() ? ConvertResult::kDone
                                                         : ConvertResult::kCannotWriteOutput;
  }
  const std::string bytes = ToTextMode(document);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
  return written && std::fflush(stdout) == 0 ? ConvertResult::kDone
                                             : ConvertResult::kCannotCreateOutput;
}

// Where the run log goes when -log does not say: beside the outputs (in the output folder
// of a folder run, in the folder of the output file), made when missing as the
// conversion would make it; none for standard output.
std::string RunLogBesideOutputs(const CommandLineRecord& record, bool folder_run) {
  if (record.out_folder == kStandardStream) return {};
  if (record.out_folder.empty()) return kRunLogName;  // the outputs go to the current folder
  std::string place = UserPath(record.out_folder);
  if (!folder_run) {
    CommandLineRecord copy = record;
    const int mode = PrepareOutputMode(copy);
    place = FolderOf(OutputFileName(UserPath(record.input_file), place, copy.options, mode));
  }
  if (place.empty()) return kRunLogName;
  std::vector<std::string> made;  // they hold the log from now on
  (void)MakeFolders(place, made);
  return WithTrailingSeparator(place) + kRunLogName;
}

}  // namespace

ConvertResult RunConversion(CommandLineRecord& record, Engine& engine, RunLog& log,
                            ProgressSink* progress, MessageSink* messages) {
  ConversionOptions& o = record.options;
  ConvertRequest request;
  request.output_mode = PrepareOutputMode(record);
  request.encoding_name = record.encoding_name;
  request.convert_images = record.convert_images != 0;
  request.keep_existing_output = false;
  request.progress = progress;
  request.messages = messages;

  log.Append(BeginLine());

  EngineSettings settings;
  InitEngineSettings(settings);
  ConvertResult result;
  std::vector<std::string> made_folders;
  if (record.input_file == kStandardStream || record.out_folder == kStandardStream) {
    result = ConvertStreams(record, engine, request, settings, made_folders);
  } else {
    if (!record.input_file.empty() && !record.out_folder.empty()) {
      MakeOutputFolder(OutputFileName(UserPath(record.input_file),
                                      UserPath(record.out_folder), o,
                                      request.output_mode),
                       made_folders);
    }
    result = engine.ConvertHtmlFile(record.input_file, record.out_folder, request, o, settings);
  }
  // A run that wrote no output leaves none of the folders it made for it.
  if (result != ConvertResult::kDone) RemoveEmptyFolders(made_folders);

  const std::string outcome = result == ConvertResult::kDone
                                  ? "Converted successfully!\n" + EndLine()
                                  : FailureLine(result, record.input_file);
  log.Append(outcome);
  return result;
}

ConvertResult RunConversion(CommandLineRecord& record, Engine& engine,
                            const std::string& log_path, ProgressSink* progress) {
  RunLog log(log_path, true);
  return RunConversion(record, engine, log, progress);
}

int RunFolderConversion(CommandLineRecord& record, RunLog& log, bool show_progress,
                        const std::vector<std::string>* listed_files) {
  TerminalMessages terminal(record.verbosity, log);
  FolderMessages messages(terminal);
  CommandLineBatch batch;
  batch.input_folder = record.input_file;
  batch.output_folder = record.out_folder;
  batch.subfolders = record.subfolders != 0;
  batch.mirror_tree = !record.flat;
  batch.jobs = record.jobs;
  batch.settings.output_mode = PrepareOutputMode(record);
  batch.settings.options = record.options;
  batch.settings.encoding_name = record.encoding_name;
  batch.settings.convert_images = record.convert_images != 0;
  batch.on_message = [&messages](const std::string& input, MessageKind kind,
                                 std::string_view text) { messages.Hold(input, kind, text); };
  batch.wants_stages = terminal.WantsStages();
  batch.show_progress = show_progress;
  batch.listed_files = listed_files;
  batch.shard_index = record.shard_index;
  batch.shard_count = record.shard_count;
  batch.on_warning = [&terminal](const std::string& text) {
    terminal.Tell({}, MessageKind::kWarning, text);
  };
  batch.on_progress = [](long long converted, long long total) {
    const long long percent = converted * 100 / total;
    std::fputs(ProgressBarText(static_cast<int>(converted * 50 / total),
                               StringF("%lld", percent))
                   .c_str(),
               stderr);
    std::fprintf(stderr, " %lld of %lld", converted, total);
    std::fflush(stderr);
  };
  log.Append(BeginLine());
  int status;
  {
    // One line per file, in file order, through a log held open for the run: opening the
    // file for each line would cost the thread that reports the files three system calls
    // a file, while the workers wait for it.
    std::optional<AppendingTextFile> open_log;
    if (log.active()) open_log.emplace(log.path());
    batch.on_file = [&](const std::string& input, const std::string& output,
                        ConvertResult result) {
      messages.Release(input);
      if (!log.active()) return;
      const std::string line =
          result == ConvertResult::kDone
              ? StringF("%s -> %s: Converted successfully!\n", ShownText(input).c_str(),
                        ShownText(output).c_str())
              : ShownText(input) + ": " + FailureLine(result, input);
      if (!open_log->Append(line)) log.Append(line);
    };
    status = ConvertPathFromCommandLine(batch);
    batch.on_file = nullptr;  // it refers to the log closed here
  }
  terminal.TellPicturesLeftOut();
  log.Append(EndLine());
  return status;
}

int RunFolderConversion(CommandLineRecord& record, const std::string& log_path,
                        bool show_progress) {
  RunLog log(log_path, true);
  return RunFolderConversion(record, log, show_progress);
}

int RunCommandLine(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
  if (arguments.empty()) {
    // Without arguments there is nothing to convert.
    std::fputs(kUsage, stderr);
    return 1;
  }

  CommandLineRecord record = DefaultCommandLine();
  ParsedArguments parsed = ParseArguments(arguments, record);
  if (parsed.action == ParsedArguments::Action::kConvert) {
    parsed.error = CheckOptionValues(arguments, record);
    if (!parsed.error.empty()) parsed.action = ParsedArguments::Action::kError;
  }
  switch (parsed.action) {
    case ParsedArguments::Action::kHelp:
      std::fputs(kUsage, stdout);
      return 0;
    case ParsedArguments::Action::kVersion:
      std::printf("velmorane %s\n", VELMORANE_VERSION);
      return 0;
    case ParsedArguments::Action::kError:
      std::fprintf(stderr, "velmorane: %s\n", ShownText(parsed.error).c_str());
      return 1;
    case ParsedArguments::Action::kConvert:
      break;
  }
  // A list of files runs as a mirrored tree run below its root.
  std::vector<std::string> listed;
  const bool list = !record.files_from.empty();
  if (list) {
    if (!IsDirectory(record.root)) {
      std::fprintf(stderr, "velmorane: the root %s is no folder\n", ShownText(record.root).c_str());
      return 1;
    }
    std::string text;
    const bool read = record.files_from == kStandardStream
                          ? ReadStandardInput(text)
                          : ReadBinaryFile(record.files_from, text);
    if (!read) {
      std::fprintf(stderr, "velmorane: cannot read the list of files %s (status 4)\n",
                   ShownText(record.files_from).c_str());
      return static_cast<int>(ConvertResult::kCannotOpenInput);
    }
    std::string outside;
    if (!ListedInputs(text, record.files_nul, record.root, listed, outside)) {
      std::fprintf(stderr, "velmorane: listed path %s is no file below the root %s\n",
                   ShownText(outside).c_str(), ShownText(record.root).c_str());
      return 1;
    }
    std::error_code error;
    record.input_file = std::filesystem::absolute(record.root, error).lexically_normal().string();
    record.subfolders = 1;
  }
  const bool folder = list || (!record.input_file.empty() &&
                               record.input_file != kStandardStream &&
                               IsDirectory(record.input_file));
  if (folder && record.out_folder == kStandardStream) {
    std::fprintf(stderr, "velmorane: a folder cannot be written to standard output\n");
    return 1;
  }
  if (!folder && record.shard_count > 1) {
    std::fprintf(stderr, "velmorane: --shard takes a share of a folder or of a list of files\n");
    return 1;
  }

  if (!record.log_named) record.log_path = RunLogBesideOutputs(record, folder);
  // The run log never decides the outcome: without it the conversion runs all the same.
  RunLog log(record.log_path);
  if (!log.Create() && record.verbosity > 0) {
    std::fprintf(stderr, "velmorane: warning: cannot create the run log %s; converting without it\n",
                 ShownText(record.log_path).c_str());
  }
  StartRunLog(log, record, parsed.log_text);
  if (record.verbosity > 0) {
    for (const std::string& warning : parsed.warnings) {
      std::fprintf(stderr, "velmorane: warning: %s\n", ShownText(warning).c_str());
    }
  }

  int status;
  if (folder) {
    status = RunFolderConversion(record, log, StandardErrorIsTerminal(),
                                 list ? &listed : nullptr);
    if (status != 0) {
      std::fprintf(stderr, "velmorane: folder conversion ended with status %d%s\n", status,
                   log.active() ? StringF(" (see %s)", ShownText(log.path()).c_str()).c_str() : "");
    }
  } else {
    Engine engine;
    TerminalMessages messages(record.verbosity, log);
    ConvertResult result;
    if (StandardErrorIsTerminal()) {
      TerminalProgress bar;
      result = RunConversion(record, engine, log, &bar, &messages);
    } else {
      result = RunConversion(record, engine, log, nullptr, &messages);
    }
    std::fputs(FailureMessage(result, record).c_str(), stderr);
    // The exit status tells a failure from a success.
    status = static_cast<int>(result);
  }
  if (log.failed()) {
    std::fprintf(stderr, "velmorane: the run log %s could not be written completely\n",
                 ShownText(log.path()).c_str());
  }
  return status;
}

}  // namespace velmorane
