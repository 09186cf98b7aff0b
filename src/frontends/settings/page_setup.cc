// Paper matching, unit display and input rules of the settings dialogs.
#include "frontends/settings/page_setup.h"

#include <charconv>
#include <cmath>

namespace velmorane {

namespace {

constexpr double kTwipsPerMillimetre = 56.7;
constexpr double kTwipsPerInch = 1440.0;
// The dialog's edit fields show at most this many characters.
constexpr std::size_t kDisplayLength = 9;

}  // namespace

std::size_t PaperIndexFor(int width, int height) {
  for (std::size_t i = 0; i < kPapers.size(); ++i) {
    if (kPapers[i].width == width && kPapers[i].height == height) return i;
  }
  return kPapers.size();
}

std::string TwipsToDisplay(int twips, bool millimetres) {
  const double value = millimetres ? twips / kTwipsPerMillimetre : twips / kTwipsPerInch;
  // std::to_chars ignores the process locale, which the window may have changed.
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value,
                                          std::chars_format::fixed, millimetres ? 1 : 3);
  if (error != std::errc()) return "0";
  std::string text(buffer, end);
  const char separator = millimetres ? ',' : '.';
  if (const std::size_t dot = text.find('.'); dot != std::string::npos) text[dot] = separator;
  if (text.size() > kDisplayLength) text.resize(kDisplayLength);
  if (const std::size_t dot = text.find(separator); dot != std::string::npos) {
    const std::size_t zero = text.find('0', dot + 1);
    if (zero != std::string::npos) text.resize(zero);
    if (text.back() == separator) text.pop_back();
  }
  return text;
}

int DisplayToTwips(std::string_view text, bool millimetres) {
  std::string number(text);
  for (char& ch : number) {
    if (ch == ',') ch = '.';
  }
  std::size_t start = 0;
  while (start < number.size() && (number[start] == ' ' || number[start] == '\t')) ++start;
  if (start < number.size() && number[start] == '+') ++start;
  double value = 0;
  const auto result = std::from_chars(number.data() + start, number.data() + number.size(), value);
  if (result.ec != std::errc() || !std::isfinite(value)) return 0;
  value *= millimetres ? kTwipsPerMillimetre : kTwipsPerInch;
  // Keep the truncated value inside an int whatever was typed.
  if (value >= 2147483647.0) return 2147483647;
  if (value <= -2147483647.0) return -2147483647;
  return static_cast<int>(value);
}

int PaperDimensionFromDisplay(std::string_view text, bool millimetres) {
  return BoundPaperDimension(DisplayToTwips(text, millimetres));
}

int BoundPaperDimension(int twips) {
  if (twips < 100) return 11907;
  if (twips > 25000) return 16840;
  return twips;
}

void ApplyConversionType(ConversionOptions& options, ConversionType type,
                         const KeepFlags& boxes) {
  KeepFlags keep = boxes;
  if (type == ConversionType::kPrecise) keep = {true, true, true, true, true, true};
  if (type == ConversionType::kStandard) keep = {false, false, false, false, false, false};
  options.conversion_type = static_cast<std::int32_t>(type);
  options.keep_hyperlinks = keep.hyperlinks ? 1 : 0;
  options.keep_font_face = keep.font_face ? 1 : 0;
  options.keep_font_size = keep.font_size ? 1 : 0;
  options.keep_font_color = keep.font_color ? 1 : 0;
  options.keep_alignment = keep.alignment ? 1 : 0;
  options.keep_background_color = keep.background_color ? 1 : 0;
}

}  // namespace velmorane
