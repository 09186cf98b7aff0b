// The command-line record, the argument parser, option values, the paper and encoding
// tables, the configuration file and the settings block of the run log.
#include "frontends/cli/command_line.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iterator>

#include "base/append.h"
#include "frontends/batch/batch.h"
#include "frontends/settings/settings_files.h"
#include "html/charset.h"
#include "html/shown_text.h"
#include "platform/files.h"

namespace velmorane {

namespace {

// Field widths of the command line (the terminator not counted).
constexpr std::size_t kFaceLength = 49;
constexpr std::size_t kSizeLength = 9;
constexpr std::size_t kConfigLineLength = 259;  // a longer line continues as the next one
constexpr std::size_t kConfigKeyLength = 100;

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

bool EqualsNoCase(std::string_view a, std::string_view b) { return Lower(a) == Lower(b); }

std::string Cut(std::string_view text, std::size_t length) {
  return std::string(text.substr(0, length));
}

struct PaperEntry {
  std::string_view name;
  PaperSize size;
};
constexpr PaperEntry kPapers[] = {
    {"A3", {16839, 23814}},     {"A4", {11907, 16839}},     {"A5", {8392, 11907}},
    {"B5", {9979, 14175}},      {"Letter", {12240, 15840}}, {"Legal", {12240, 20160}},
    {"Executive", {10438, 15122}}, {"Monarh", {5579, 10801}},
};

struct EncodingEntry {
  std::string_view value, display_name;
};
constexpr EncodingEntry kEncodings[] = {
    {"windows-1250", "(Windows-1250) European"}, {"windows-1251", "(Windows-1251) Cyrillic"},
    {"windows-1252", "(Windows-1252) European"}, {"windows-1253", "(Windows-1253) Greek"},
    {"windows-1254", "(Windows-1254) Turkish"},  {"windows-1255", "(Windows-1255) Hebrew"},
    {"windows-1256", "(Windows-1256) Arabic"},   {"windows-1257", "(Windows-1257) Baltic"},
    {"windows-1258", "(Windows-1258) European"}, {"koi8-r", "(KOI8-R) Cyrillic"},
    {"latin1", "(ISO-8859-1) Latin1"},           {"utf-8", "(UTF-8) Unicode"},
};

std::uint8_t Flag(int truth) { return truth != 0 ? 1 : 0; }

}  // namespace

CommandLineRecord DefaultCommandLine() {
  CommandLineRecord r;
  // The window starts from the same options.
  r.options = StandardConversionOptions();
  SetField(r.options.font_face, r.font_face);
  SetField(r.options.font_size, r.font_size);
  r.jobs = DefaultJobs();
  return r;
}

std::vector<std::string> SplitArgumentText(std::string_view text) {
  std::vector<std::string> arguments;
  std::string current;
  bool quoted = false;
  bool started = false;  // "" is an argument of its own
  for (const char c : text) {
    if (c == '"') {
      quoted = !quoted;
      started = true;
    } else if (c == ' ' && !quoted) {
      if (started) arguments.push_back(std::move(current));
      current.clear();
      started = false;
    } else {
      current += c;
      started = true;
    }
  }
  if (started) arguments.push_back(std::move(current));
  return arguments;
}

int TruthOf(std::string_view value) {
  const std::string lower = Lower(value);
  return lower == "no" || lower == "free" || lower == "off" || lower == "false" || lower == "0"
             ? 0
             : 1;
}

int ReadOptionValue(std::string_view text, std::size_t position, std::string& destination,
                    char terminator, std::size_t& consumed, std::size_t* value_start) {
  // Nothing past the first 260 characters of the source is read.
  text = text.substr(0, kArgumentTextLimit);
  std::size_t i = std::min(position, text.size());
  while (i < text.size() && i < kArgumentTextLimit - 1 && text[i] != ' ' && text[i] != ':') ++i;
  std::size_t start = i + 1;
  destination.clear();
  consumed = 0;
  if (value_start != nullptr) *value_start = start;
  if (start >= text.size()) return TruthOf(destination);

  if (text[start] == '"') {
    // The first character of a quoted value is taken as it is, even a double quote.
    std::size_t j = start + 1;
    if (j < text.size()) destination += text[j++];
    while (j < text.size() && text[j] != '"') destination += text[j++];
    consumed = destination.size() + 2;
  } else {
    std::size_t j = start;
    while (j < text.size() && text[j] != terminator) destination += text[j++];
    consumed = destination.size();
  }
  return TruthOf(destination);
}

PaperSize LookupPaper(std::string_view name) {
  for (const PaperEntry& paper : kPapers) {
    if (EqualsNoCase(name, paper.name)) return paper.size;
  }
  return PaperSize{12240, 15840};
}

std::string_view LookupEncoding(std::string_view value) {
  for (const EncodingEntry& encoding : kEncodings) {
    if (EqualsNoCase(value, encoding.value)) return encoding.display_name;
  }
  // Other character sets go to the engine by name when it can decode them.
  if (IsLibraryDecodedCharset(value)) return value;
  return "Auto-Select";
}

int BorderFromValue(std::string_view value) {
  if (EqualsNoCase(value, "as in html")) return 2;
  if (EqualsNoCase(value, "visible")) return 1;
  return 0;
}

void ApplyMarginMillimetres(std::string_view value, std::int32_t& margin) {
  // 56.7 twips to the millimetre, truncated.
  const long long twips = static_cast<long long>(LeadingInt(value)) * 567 / 10;
  if (twips > 1 && twips < 7200) margin = static_cast<std::int32_t>(twips);
}

int JobsFromValue(std::string_view value) {
  std::size_t digits = 0;
  while (digits < value.size() && std::isdigit(static_cast<unsigned char>(value[digits]))) {
    ++digits;
  }
  // A long run of digits is more than the limit without being converted.
  if (digits > 4) return kMaxJobs;
  const int jobs = digits == 0 ? 0 : LeadingInt(value.substr(0, digits));
  if (jobs < 1) return DefaultJobs();
  return std::min(jobs, kMaxJobs);
}

void AppendRunLog(const std::string& log_path, std::string_view text) {
  (void)AppendTextFile(log_path, text);
}

std::string SettingsDump(const CommandLineRecord& record) {
  const ConversionOptions& o = record.options;
  const char* border = o.table_border == 2   ? "As in HTML"
                       : o.table_border == 1 ? "Visible"
                                             : "Invisible";
  std::string dump = "---------------------------------------\n";
  // A path's control bytes would break the log's lines; its length is the user's.
  AppendF(dump, "INPUT FILE: %s\n", ShownText(record.input_file, std::string::npos).c_str());
  AppendF(dump, "OUT FOLDER: %s\n", ShownText(record.out_folder, std::string::npos).c_str());
  AppendF(dump, "CONVERT TABLES: %d\n", record.convert_tables);
  AppendF(dump, "CONVERT IMAGES: %d\n", record.convert_images);
  AppendF(dump, "FONT FACE: %s\n", std::string(FieldText(o.font_face)).c_str());
  AppendF(dump, "FONT SIZE: %s\n", std::string(FieldText(o.font_size)).c_str());
  AppendF(dump, "PAGE ALIGNMENT: %s\n", std::string(FieldText(o.page_alignment)).c_str());
  AppendF(dump, "KEEP HYPERLINKS: %d\n", o.keep_hyperlinks);
  AppendF(dump, "KEEP FONT FACE AS IN HTML: %d\n", o.keep_font_face);
  AppendF(dump, "KEEP FONT SIZE AS IN HTML: %d\n", o.keep_font_size);
  AppendF(dump, "KEEP FONT COLOR AS IN HTML: %d\n", o.keep_font_color);
  AppendF(dump, "KEEP ALIGNMENT AS IN HTML: %d\n", o.keep_alignment);
  AppendF(dump, "KEEP TABLE WIDTH: %d\n", o.keep_table_width);
  AppendF(dump, "KEEP NESTED TABLES: %d\n", o.keep_nested_tables);
  AppendF(dump, "RTF LANGUAGE: %s\n", std::string(FieldText(o.rtf_language)).c_str());
  AppendF(dump, "TABLE BORDER: %s\n", border);
  dump += "---------------------------------------\n";
  return dump;
}

int ReadConfigFile(const std::string& path, CommandLineRecord& record, std::string& log_text,
                   std::vector<std::string>* warnings) {
  std::string text;
  // Only a regular file is read: a folder, a device or a pipe named *.cfg is refused at
  // once instead of being read without end.
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error) || !ReadTextFile(path, text)) {
    log_text += StringF("Can't open %s file.\n", path.c_str());
    return 0;
  }
  ConversionOptions& o = record.options;
  const std::string_view all = text;
  std::size_t at = 0;
  while (at < all.size()) {
    // One line of at most 259 characters; its newline is dropped. The newline is looked
    // for only within those characters, so a long line costs its length once.
    const std::string_view window = all.substr(at, kConfigLineLength);
    const std::size_t newline = window.find('\n');
    std::string line(window.substr(0, newline));
    at += line.size() + (newline != std::string_view::npos ? 1 : 0);
    line = line.substr(0, line.find('\0'));  // a line ends at a NUL byte

    const std::size_t colon = line.find(':');
    const std::string key = Lower(Cut(line.substr(0, colon), kConfigKeyLength));
    std::string value;
    std::size_t consumed = 0;
    const int truth = ReadOptionValue(
        line, colon == std::string::npos ? line.size() : colon + 1, value, '\0', consumed);

    if (key == "input file") {
      record.input_file = Cut(value, kPathLength);
    } else if (key == "out folder") {
      record.out_folder = Cut(value, kPathLength);
    } else if (key == "convert tables") {
      record.convert_tables = truth;
    } else if (key == "convert images") {
      record.convert_images = truth != 0 ? 1 : 0;
    } else if (key == "rtf language") {
      SetField(o.rtf_language, value);
    } else if (key == "table border") {
      o.table_border = BorderFromValue(value);
    } else if (key == "font face") {
      record.font_face = Cut(value, kFaceLength);
    } else if (key == "font size") {
      record.font_size = Cut(value, kSizeLength);
    } else if (key == "page alignment") {
      SetField(o.page_alignment, value);
    } else if (key == "keep hyperlinks") {
      o.keep_hyperlinks = Flag(truth);
    } else if (key == "keep font face as in html") {
      o.keep_font_face = Flag(truth);
    } else if (key == "keep font size as in html") {
      o.keep_font_size = Flag(truth);
    } else if (key == "keep font color as in html") {
      o.keep_font_color = Flag(truth);
    } else if (key == "keep table width") {
      o.keep_table_width = Flag(truth);
    } else if (key == "keep nested tables") {
      o.keep_nested_tables = Flag(truth);
    } else if (key == "keep alignment as in html") {
      o.keep_alignment = Flag(truth);
    } else if (key == "margin left") {
      ApplyMarginMillimetres(value, o.margin_left);
    } else if (key == "margin right") {
      ApplyMarginMillimetres(value, o.margin_right);
    } else if (key == "margin top") {
      ApplyMarginMillimetres(value, o.margin_top);
    } else if (key == "margin bottom") {
      ApplyMarginMillimetres(value, o.margin_bottom);
    } else if (key == "page size") {
      const PaperSize paper = LookupPaper(value);
      o.paper_width = paper.width;
      o.paper_height = paper.height;
    } else {
      log_text += StringF("Unknown - %s, seek %s\n", line.c_str(), key.c_str());
      if (warnings != nullptr) {
        warnings->push_back(
            StringF("unknown key in %s: %s", path.c_str(), key.c_str()));
      }
    }
  }
  return 1;
}

int ReadConfigFile(const std::string& path, CommandLineRecord& record,
                   const std::string& log_path) {
  std::string log_text;
  const int read = ReadConfigFile(path, record, log_text);
  AppendRunLog(log_path, log_text);
  return read;
}

namespace {

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

// Options that take no value.
bool IsSwitch(std::string_view name) { return name == "-q" || name == "-v" || name == "-0"; }

// Every option that takes a value, the described ones first.
constexpr std::string_view kValueOptions[] = {
    "-table", "-image", "-face",   "-size", "-txt",  "-language",   "-encoding",
    "-border", "-align", "-kh",    "-kf",   "-ks",   "-kc",         "-ka",
    "-ktw",   "-knt",   "-ml",     "-mr",   "-mt",   "-mb",         "-psize",
    "-wmf",   "-subfolders", "-jobs", "-o", "-log", "-download",   "-flat",
    "--files-from", "--root", "--shard",
    "-strict",
};

// "K/N" with 0 <= K < N, both in digits.
bool ParseShard(std::string_view value, int& index, int& count) {
  const std::size_t slash = value.find('/');
  if (slash == std::string_view::npos) return false;
  const auto number = [](std::string_view digits, int& out) {
    if (digits.empty() || digits.size() > 9) return false;
    out = 0;
    for (const char c : digits) {
      if (c < '0' || c > '9') return false;
      out = out * 10 + (c - '0');
    }
    return true;
  };
  return number(value.substr(0, slash), index) && number(value.substr(slash + 1), count) &&
         count >= 1 && index < count;
}

bool TakesValue(std::string_view name) {
  return std::find(std::begin(kValueOptions), std::end(kValueOptions), name) !=
         std::end(kValueOptions);
}

// Applies one option with its value to the record.
void ApplyOption(std::string_view name, const std::string& value, CommandLineRecord& record) {
  ConversionOptions& o = record.options;
  const int truth = TruthOf(value);
  if (name == "-table") {
    record.convert_tables = truth;
  } else if (name == "-image") {
    record.convert_images = truth;
  } else if (name == "-face") {
    record.font_face = Cut(value, kFaceLength);
  } else if (name == "-size") {
    record.font_size = Cut(value, kSizeLength);
  } else if (name == "-txt") {
    record.output_kind = 0;  // whatever the value says
  } else if (name == "-language") {
    SetField(o.rtf_language, value);
  } else if (name == "-encoding") {
    record.encoding_name = std::string(LookupEncoding(value));
  } else if (name == "-border") {
    o.table_border = BorderFromValue(value);
  } else if (name == "-align") {
    SetField(o.page_alignment, value);
  } else if (name == "-kh") {
    o.keep_hyperlinks = Flag(truth);
  } else if (name == "-kf") {
    o.keep_font_face = Flag(truth);
  } else if (name == "-ks") {
    o.keep_font_size = Flag(truth);
  } else if (name == "-kc") {
    o.keep_font_color = Flag(truth);
  } else if (name == "-ka") {
    o.keep_alignment = Flag(truth);
  } else if (name == "-ktw") {
    o.keep_table_width = Flag(truth);
  } else if (name == "-knt") {
    o.keep_nested_tables = Flag(truth);
  } else if (name == "-ml") {
    ApplyMarginMillimetres(value, o.margin_left);
  } else if (name == "-mr") {
    ApplyMarginMillimetres(value, o.margin_right);
  } else if (name == "-mt") {
    ApplyMarginMillimetres(value, o.margin_top);
  } else if (name == "-mb") {
    ApplyMarginMillimetres(value, o.margin_bottom);
  } else if (name == "-psize") {
    const PaperSize paper = LookupPaper(value);
    o.paper_width = paper.width;
    o.paper_height = paper.height;
  } else if (name == "-wmf") {
    // Pictures as metafiles and device-independent bitmaps instead of PNG and JPEG.
    // "gif": GIF and BMP as metafiles, PNG and JPEG as they are (the former default).
    o.image_format = EqualsNoCase(value, "gif") ? 2 : truth;
  } else if (name == "-subfolders") {
    record.subfolders = truth;
  } else if (name == "-jobs") {
    record.jobs = JobsFromValue(value);
  } else if (name == "-o") {
    record.out_folder = value;
    record.output_named = true;
  } else if (name == "-log") {
    record.log_path = EqualsNoCase(value, "none") ? std::string() : value;
    record.log_named = true;
  } else if (name == "-download") {
    o.download_images = truth;
  } else if (name == "-flat") {
    record.flat = truth != 0;
  } else if (name == "--files-from") {
    record.files_from = value;
  } else if (name == "--root") {
    record.root = value;
  } else if (name == "--shard") {
    if (!ParseShard(value, record.shard_index, record.shard_count)) record.shard_count = 0;
  }
}

}  // namespace

ParsedArguments ParseArguments(const std::vector<std::string>& arguments,
                               CommandLineRecord& record) {
  ParsedArguments parsed;
  const auto fail = [&parsed](std::string message) {
    parsed.action = ParsedArguments::Action::kError;
    parsed.error = std::move(message);
    return parsed;
  };
  // Help and version win wherever they stand among the options.
  for (const std::string& argument : arguments) {
    if (argument == "--") break;
    if (argument == "-h" || argument == "--help") {
      parsed.action = ParsedArguments::Action::kHelp;
      return parsed;
    }
    if (argument == "--version") {
      parsed.action = ParsedArguments::Action::kVersion;
      return parsed;
    }
  }

  bool options_ended = false;
  bool input_set = false;
  // A run has one output: a second one is an error, never a silent replacement of the
  // first (the record still gets the later one, as older versions read it).
  bool output_set = false;
  std::string outputs_given;
  const auto set_output = [&](const std::string& path) {
    if (output_set && path != record.out_folder && outputs_given.empty()) {
      outputs_given = record.out_folder + " and " + path;
    }
    output_set = true;
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    std::error_code error;
    if (!options_ended && argument == "--") {
      options_ended = true;
    } else if (argument.ends_with(".cfg") &&
               std::filesystem::is_regular_file(argument, error)) {
      parsed.log_text += "Reading a CFG-file\n";
      if (ReadConfigFile(argument, record, parsed.log_text, &parsed.warnings) == 0) {
        return fail("cannot read configuration file " + argument);
      }
      break;  // later arguments are ignored
    } else if (!options_ended && argument.size() > 1 && argument[0] == '-') {
      if (argument == "-0") {
        record.files_nul = true;
      } else if (IsSwitch(argument)) {
        record.verbosity = argument == "-q" ? 0 : 2;
      } else if (!TakesValue(argument)) {
        return fail("unknown option " + argument + " (velmorane --help lists the options)");
      } else if (i + 1 >= arguments.size()) {
        return fail("option " + argument + " needs a value");
      } else {
        if (argument == "-o") set_output(arguments[i + 1]);
        ApplyOption(argument, arguments[++i], record);
      }
    } else if (!argument.empty() && !EqualsNoCase(argument, "velmorane.exe")) {
      if (input_set) set_output(argument);
      (input_set ? record.out_folder : record.input_file) = argument;
      input_set = true;
    }
  }
  if (!outputs_given.empty()) {
    return fail("more than one output: " + outputs_given + " (give one output file or folder)");
  }

  if (record.shard_count < 1) {
    return fail("--shard needs a share K/N with 0 <= K < N, such as 0/8");
  }
  if (!record.files_from.empty()) {
    // The one name besides the options is then the output folder.
    if (input_set && record.out_folder.empty()) std::swap(record.input_file, record.out_folder);
    if (!record.input_file.empty()) {
      return fail("--files-from takes the inputs from its list: give only the output folder");
    }
    if (record.out_folder == kStandardStream) {
      return fail("a list of files cannot be written to standard output");
    }
  } else if (record.files_nul) {
    return fail("-0 goes with --files-from");
  }
  SetField(record.options.font_face, record.font_face);
  SetField(record.options.font_size, record.font_size);
  record.options.conversion_type = 2;
  // -o name.txt asks for plain text as -txt does.
  if (record.output_named && EndsWithNoCase(record.out_folder, ".txt")) record.output_kind = 0;
  if (record.input_file == kStandardStream) {
    if (record.out_folder.empty()) record.out_folder = kStandardStream;
    if (record.out_folder != kStandardStream && !EndsWithNoCase(record.out_folder, ".rtf") &&
        !EndsWithNoCase(record.out_folder, ".txt") && !EndsWithNoCase(record.out_folder, ".doc")) {
      return fail("standard input has no name: give an output file (-o NAME.rtf) or - for "
                  "standard output");
    }
  }
  return parsed;
}

bool RunLog::Create() {
  if (path_.empty()) return true;
  created_ = WriteTextFile(path_, "");
  return created_;
}

void RunLog::Append(std::string_view text) {
  if (!active() || text.empty()) return;
  if (!AppendTextFile(path_, text)) failed_ = true;
}

void StartRunLog(RunLog& log, const CommandLineRecord& record, std::string_view log_text) {
  const UtcTime now = NowUtc();
  log.Append(StringF("Date: %d/%d/%d Time: %d:%d:%d\n", now.month, now.day, now.year,
                     now.hour, now.minute, now.second));
  log.Append(log_text);
  log.Append(SettingsDump(record));
}

ParsedArguments ParseCommandLine(std::string_view argument_text, CommandLineRecord& record,
                                 const std::string& log_path) {
  ParsedArguments parsed = ParseArguments(SplitArgumentText(argument_text), record);
  if (parsed.action == ParsedArguments::Action::kConvert) {
    RunLog log(log_path);
    if (log.Create()) StartRunLog(log, record, parsed.log_text);
  }
  return parsed;
}

}  // namespace velmorane
