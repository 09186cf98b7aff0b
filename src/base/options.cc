// Defaults of EngineSettings and the normalisations applied to a conversion's options.
#include "base/options.h"

#include <filesystem>

namespace velmorane {

void InitEngineSettings(EngineSettings& settings) {
  settings = EngineSettings{};
  std::error_code error;
  std::filesystem::path temp = std::filesystem::temp_directory_path(error);
  if (error) temp = "/tmp";
  settings.trace_file = (temp / "velmorane-trace.txt").string();
}

void NormalizeMargins(ConversionOptions& options) {
  // Integer halves of the paper as stored, before any landscape swap.
  const int half_width = options.paper_width / 2;
  const int half_height = options.paper_height / 2;
  if (options.margin_left < 0 || options.margin_left > half_width) options.margin_left = 720;
  if (options.margin_right < 0 || options.margin_right > half_width) options.margin_right = 720;
  if (options.margin_top < 0 || options.margin_top > half_height) options.margin_top = 720;
  if (options.margin_bottom < 0 || options.margin_bottom > half_height) {
    options.margin_bottom = 1440;
  }
}

int LeadingInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value < 1000000000000LL) value = value * 10 + (text[i] - '0');
  }
  if (negative) value = -value;
  // Clamp like a saturating atoi so that huge texts cannot overflow an int.
  if (value > 2147483647LL) value = 2147483647LL;
  if (value < -2147483647LL) value = -2147483647LL;
  return static_cast<int>(value);
}

int BaseFontSize(const ConversionOptions& options) {
  int size = LeadingInt(FieldText(options.font_size));
  return size < 1 || size > 200 ? 10 : size;
}

int MaxLineWidth(const ConversionOptions& options) {
  int width = LeadingInt(FieldText(options.max_line_width));
  return width == 0 ? 80 : width;
}

int PrintableWidth(const ConversionOptions& options) {
  const int paper = options.orientation == 1 ? options.paper_height : options.paper_width;
  const long long width =
      static_cast<long long>(paper) - options.margin_left - options.margin_right;
  return width < 1000 ? 9500 : static_cast<int>(width);
}

std::string_view DefaultAlignmentWord(const ConversionOptions& options) {
  switch (options.page_alignment[0]) {
    case 'c': return "\\qc ";
    case 'r': return "\\qr ";
    case 'l': return "\\ql ";
    default: return "\\qj ";
  }
}

}  // namespace velmorane
