// The run of the command line: one conversion with its outcome in the run log, the
// progress bar on a terminal, the usage text and the process exit status.
#include <cstdio>
#include <string>
#include <string_view>

#include "core/append.h"
#include "frontends/cli/command_line.h"
#include "platform/files.h"

namespace velmorane {

namespace {

constexpr int kBarWidth = 50;  // one mark per progress position

constexpr char kUsage[] =
    "Usage: velmorane INPUT.html [OUTPUT-FOLDER | OUTPUT.rtf] [options]\n"
    "       velmorane SETTINGS.cfg\n"
    "\n"
    "Converts one HTML file to RTF (or plain text) and writes velmorane.log in the\n"
    "current directory. Options take one value each:\n"
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
    "Values no and free switch a flag off; anything else switches it on.\n"
    "Exit status: 0 converted, 2 not enough memory, 3 cannot create the output,\n"
    "4 cannot open the input, 5 input is empty.\n";

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

ConvertResult RunConversion(CommandLineRecord& record, Engine& engine,
                            const std::string& log_path, ProgressSink* progress) {
  ConversionOptions& o = record.options;
  ConvertRequest request;
  request.output_mode = record.convert_tables + 1;
  if (record.output_kind == 0) {
    request.output_mode = kModePlainText;
    SetField(o.output_extension, ".txt");
    SetField(o.max_line_width, "80");
    o.line_folding = 0;
  }
  // Any non-zero truth counts as "with tables"; the engine knows modes 0 to 2 only.
  if (request.output_mode > kModeRtfTables) request.output_mode = kModeRtfTables;
  request.encoding_name = record.encoding_name;
  request.convert_images = record.convert_images != 0;
  request.keep_existing_output = false;
  request.progress = progress;

  const UtcTime begin = NowUtc();
  AppendRunLog(log_path,
               StringF("Begin converting in: %d:%d:%d\n", begin.hour, begin.minute, begin.second));

  EngineSettings settings;
  InitEngineSettings(settings);
  const ConvertResult result =
      engine.ConvertHtmlFile(record.input_file, record.out_folder, request, o, settings);

  std::string outcome;
  switch (result) {
    case ConvertResult::kDone: {
      const UtcTime end = NowUtc();
      outcome = StringF("Converted successfully!\nEnd of converting in: %d:%d:%d\n", end.hour,
                        end.minute, end.second);
      break;
    }
    case ConvertResult::kNoMemory:
      outcome = "Error! Not enough memory\n";
      break;
    case ConvertResult::kCannotCreateOutput:
      outcome = "Error! Can't create output file (maybe file has open another application)\n";
      break;
    case ConvertResult::kCannotOpenInput:
      outcome = StringF("Error! Can't open %s file.\n", record.input_file.c_str());
      break;
    case ConvertResult::kInputEmpty:
      outcome = "Error! HTML file is empty\n";
      break;
    default:
      outcome = "Unknown error!\n";
      break;
  }
  AppendRunLog(log_path, outcome);
  return result;
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
  Engine engine;
  ConvertResult result;
  if (StandardErrorIsTerminal()) {
    TerminalProgress bar;
    result = RunConversion(record, engine, kRunLogName, &bar);
  } else {
    result = RunConversion(record, engine);
  }
  if (result != ConvertResult::kDone) {
    std::fprintf(stderr, "velmorane: conversion failed with status %d (see %s)\n",
                 static_cast<int>(result), kRunLogName);
  }
  // The exit status tells a failure from a success.
  return static_cast<int>(result);
}

}  // namespace velmorane
