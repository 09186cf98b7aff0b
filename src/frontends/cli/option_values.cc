// The program's own reading of option values: a value an option does not take is an error
// that names the option and the values it takes, before anything is written. The parser
// itself reads every value as the configuration file does (anything unknown falls back to
// a default); `-strict no` keeps that reading for the command line too.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "frontends/cli/command_line.h"
#include "html/charset.h"

namespace velmorane {

namespace {

std::string LowerText(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

bool OneOf(std::string_view value, std::initializer_list<std::string_view> words) {
  const std::string lower = LowerText(value);
  return std::any_of(words.begin(), words.end(),
                     [&](std::string_view word) { return lower == LowerText(word); });
}

// A whole number of at most `digits` digits, or -1.
long WholeNumber(std::string_view value, std::size_t digits = 4) {
  if (value.empty() || value.size() > digits) return -1;
  long number = 0;
  for (const char c : value) {
    if (std::isdigit(static_cast<unsigned char>(c)) == 0) return -1;
    number = number * 10 + (c - '0');
  }
  return number;
}

constexpr std::string_view kFlagOptions[] = {"-table", "-image", "-kh",  "-kf",
                                             "-ks",    "-kc",    "-ka",  "-ktw",
                                             "-knt",   "-wmf",   "-subfolders",
                                             "-download", "-flat", "-txt", "-strict"};
constexpr std::string_view kMarginOptions[] = {"-ml", "-mr", "-mt", "-mb"};

bool Among(std::string_view name, const auto& names) {
  return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

// What `name` takes, when `value` is not among it; empty when the value is good.
std::string Refusal(std::string_view name, std::string_view value) {
  if (name == "-wmf" && OneOf(value, {"gif"})) return {};
  if (Among(name, kFlagOptions)) {
    if (OneOf(value, {"yes", "no", "on", "off", "true", "false", "1", "0", "free"})) return {};
    return "yes or no (also on/off, true/false, 1/0)";
  }
  if (Among(name, kMarginOptions)) {
    // Whole millimetres that give 2 to 7199 twips.
    const long mm = WholeNumber(value);
    if (mm >= 1 && mm * 567 / 10 < 7200) return {};
    return "a margin in whole millimetres from 1 to 126";
  }
  if (name == "-size") {
    // Points, the fraction ignored as the engine reads it.
    const std::size_t point = value.find('.');
    const long points = WholeNumber(value.substr(0, point), 3);
    const bool fraction_ok =
        point == std::string_view::npos ||
        (point + 1 < value.size() && WholeNumber(value.substr(point + 1), 3) >= 0);
    if (points >= 1 && points <= 200 && fraction_ok) return {};
    return "a font size in points from 1 to 200";
  }
  if (name == "-align") {
    if (OneOf(value, {"justify", "center", "centre", "right", "left"})) return {};
    return "justify, center, right or left";
  }
  if (name == "-jobs") {
    const long jobs = WholeNumber(value);
    if (jobs >= 0 && jobs <= kMaxJobs) return {};
    return "a number of files from 1 to 64 (0: one per processor core)";
  }
  if (name == "-psize") {
    if (OneOf(value, {"A3", "A4", "A5", "B5", "Letter", "Legal", "Executive", "Monarh"})) return {};
    return "A3, A4, A5, B5, Letter, Legal, Executive or Monarh";
  }
  if (name == "-border") {
    if (OneOf(value, {"as in html", "visible", "invisible"})) return {};
    return "\"as in html\", visible or invisible";
  }
  if (name == "-encoding") {
    if (OneOf(value, {"auto", "automatic", "Auto-Select"}) ||
        LookupEncoding(value) != "Auto-Select") {
      return {};
    }
    return "windows-1250 ... windows-1258, koi8-r, latin1, utf-8, auto, or a character set "
           "the C library decodes (euc-kr, shift_jis, iso-8859-2 ...)";
  }
  if (name == "-language") {
    if (IsDocumentLanguage(value)) return {};
    return DocumentLanguageList();
  }
  return {};  // -face, -o, -log: any text
}

}  // namespace

std::string CheckOptionValues(const std::vector<std::string>& arguments,
                              CommandLineRecord& record) {
  bool strict = true;
  bool txt_given = false;
  bool config_read = false;
  std::vector<std::pair<std::string, std::string>> options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    // The parser has read the arguments already: a configuration file (read in place of
    // the arguments after it) and "--" end the options.
    std::error_code error;
    if (argument == "--") break;
    if (argument.ends_with(".cfg") && std::filesystem::is_regular_file(argument, error)) {
      config_read = true;
      break;
    }
    if (argument.size() < 2 || argument[0] != '-' || argument == "-q" || argument == "-v") {
      continue;
    }
    if (i + 1 >= arguments.size()) break;
    const std::string& value = arguments[++i];
    if (argument == "-strict") strict = TruthOf(value) != 0;
    if (argument == "-txt") txt_given = true;
    options.emplace_back(argument, value);
  }
  if (!strict) return {};
  for (const auto& [name, value] : options) {
    const std::string takes = Refusal(name, value);
    if (!takes.empty()) {
      return "option " + name + " takes " + takes + ", not \"" + value + "\"";
    }
    // -txt is a flag: "-txt no" writes RTF whatever the output's name.
    if (name == "-txt") record.output_kind = TruthOf(value) != 0 ? 0 : 2;
  }
  // An output file named *.txt gets plain text unless -txt says otherwise (a
  // configuration file keeps its reading).
  const std::string& out = record.out_folder;
  if (!txt_given && !config_read && out.size() >= 4 && LowerText(out.substr(out.size() - 4)) == ".txt") {
    record.output_kind = 0;
  }
  return {};
}

}  // namespace velmorane
