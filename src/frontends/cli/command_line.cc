// The command-line record, the argument parser, option values, the paper and encoding
// tables, the configuration file and the settings block of the run log.
#include "frontends/cli/command_line.h"

#include <algorithm>
#include <cctype>

#include "core/append.h"
#include "core/charset.h"
#include "frontends/batch/batch.h"
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
  ConversionOptions& o = r.options;
  o = ConversionOptions{};
  o.conversion_type = 2;
  o.keep_hyperlinks = 0;
  o.keep_font_face = o.keep_font_size = o.keep_font_color = o.keep_alignment = 1;
  SetField(o.font_face, r.font_face);
  SetField(o.font_size, r.font_size);
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
  r.jobs = DefaultJobs();
  return r;
}

std::string JoinArguments(int argc, const char* const* argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    const std::string_view argument = argv[i] != nullptr ? argv[i] : "";
    const bool has_blank = argument.find(' ') != std::string_view::npos;
    if (has_blank) text += '"';
    text += argument;
    if (has_blank) text += '"';
  }
  return text;
}

int TruthOf(std::string_view value) {
  if (value.size() >= 5) return 1;
  const std::string lower = Lower(value);
  return lower == "no" || lower == "free" ? 0 : 1;
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
  AppendF(dump, "INPUT FILE: %s\n", record.input_file.c_str());
  AppendF(dump, "OUT FOLDER: %s\n", record.out_folder.c_str());
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

int ReadConfigFile(const std::string& path, CommandLineRecord& record,
                   const std::string& log_path) {
  std::string text;
  if (!ReadTextFile(path, text)) {
    AppendRunLog(log_path, StringF("Can't open %s file.\n", path.c_str()));
    return 0;
  }
  ConversionOptions& o = record.options;
  std::size_t at = 0;
  while (at < text.size()) {
    // One line of at most 259 characters; its newline is dropped.
    std::size_t end = std::min(text.find('\n', at), text.size());
    end = std::min(end, at + kConfigLineLength);
    std::string line = text.substr(at, end - at);
    at = end < text.size() && text[end] == '\n' ? end + 1 : end;
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
      AppendRunLog(log_path, StringF("Unknown - %s, seek %s\n", line.c_str(), key.c_str()));
    }
  }
  return 1;
}

void ParseCommandLine(std::string_view argument_text, CommandLineRecord& record,
                      const std::string& log_path) {
  if (!WriteTextFile(log_path, "")) return;
  const UtcTime now = NowUtc();
  AppendRunLog(log_path, StringF("Date: %d/%d/%d Time: %d:%d:%d\n", now.month, now.day,
                                 now.year, now.hour, now.minute, now.second));

  const std::string_view text = argument_text.substr(0, kArgumentTextLimit);
  ConversionOptions& o = record.options;
  bool quoted = false;
  bool input_set = false;
  std::string token;
  std::size_t i = 0;
  while (true) {
    const bool at_end = i >= text.size();
    if (!at_end && text[i] == '"') {
      quoted = !quoted;
      ++i;
      continue;
    }
    if (!at_end && (text[i] != ' ' || quoted)) {
      token += text[i++];
      continue;
    }

    // A token ended at i. An option reads its value from there and the scan goes on
    // behind that value.
    std::string value;
    std::size_t consumed = 0;
    std::size_t value_start = 0;
    auto read_value = [&]() {
      return ReadOptionValue(text, i, value, ' ', consumed, &value_start);
    };
    bool read = true;
    if (token.find(".cfg") != std::string::npos) {
      AppendRunLog(log_path, "Reading a CFG-file\n");
      (void)ReadConfigFile(token, record, log_path);
      break;  // later tokens are ignored
    } else if (token == "-table") {
      record.convert_tables = read_value();
    } else if (token == "-image") {
      record.convert_images = read_value() != 0 ? 1 : 0;
    } else if (token == "-face") {
      read_value();
      record.font_face = Cut(value, kFaceLength);
    } else if (token == "-size") {
      read_value();
      record.font_size = Cut(value, kSizeLength);
    } else if (token == "-txt") {
      read_value();
      record.output_kind = 0;
    } else if (token == "-language") {
      read_value();
      SetField(o.rtf_language, value);
    } else if (token == "-encoding") {
      read_value();
      record.encoding_name = std::string(LookupEncoding(value));
    } else if (token == "-border") {
      read_value();
      o.table_border = BorderFromValue(value);
    } else if (token == "-align") {
      read_value();
      SetField(o.page_alignment, value);
    } else if (token == "-kh") {
      o.keep_hyperlinks = Flag(read_value());
    } else if (token == "-kf") {
      o.keep_font_face = Flag(read_value());
    } else if (token == "-ks") {
      o.keep_font_size = Flag(read_value());
    } else if (token == "-kc") {
      o.keep_font_color = Flag(read_value());
    } else if (token == "-ka") {
      o.keep_alignment = Flag(read_value());
    } else if (token == "-ktw") {
      o.keep_table_width = Flag(read_value());
    } else if (token == "-knt") {
      o.keep_nested_tables = Flag(read_value());
    } else if (token == "-ml" || token == "-mr" || token == "-mt" || token == "-mb") {
      read_value();
      std::int32_t& margin = token == "-ml"   ? o.margin_left
                             : token == "-mr" ? o.margin_right
                             : token == "-mt" ? o.margin_top
                                              : o.margin_bottom;
      ApplyMarginMillimetres(value, margin);
    } else if (token == "-wmf") {
      // Pictures as metafiles and device-independent bitmaps instead of PNG and JPEG.
      o.image_format = read_value() != 0 ? 1 : 0;
    } else if (token == "-subfolders") {
      record.subfolders = read_value() != 0 ? 1 : 0;
    } else if (token == "-jobs") {
      read_value();
      record.jobs = JobsFromValue(value);
    } else if (token == "-psize") {
      read_value();
      const PaperSize paper = LookupPaper(value);
      o.paper_width = paper.width;
      o.paper_height = paper.height;
    } else {
      read = false;
      if (!token.empty() && token[0] != '-' && !EqualsNoCase(token, "velmorane.exe")) {
        (input_set ? record.out_folder : record.input_file) = Cut(token, kPathLength);
        input_set = true;
      }
    }
    token.clear();
    if (read) {
      i = value_start + consumed;
    } else if (at_end) {
      break;
    } else {
      ++i;
    }
  }

  SetField(o.font_face, record.font_face);
  SetField(o.font_size, record.font_size);
  AppendRunLog(log_path, SettingsDump(record));
  o.conversion_type = 2;
}

}  // namespace velmorane
