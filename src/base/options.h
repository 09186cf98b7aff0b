// The records that steer one conversion: the user's ConversionOptions (stored byte for
// byte in the options file) and the EngineSettings that no dialog exposes.
#ifndef VELMORANE_BASE_OPTIONS_H_
#define VELMORANE_BASE_OPTIONS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmorane {

// Output modes of ConvertHtmlFile.
inline constexpr int kModePlainText = 0;
inline constexpr int kModeRtfNoTables = 1;
inline constexpr int kModeRtfTables = 2;

// The 480-byte record of the user's settings. The layout is fixed because the options
// file stores it byte for byte: packed, little-endian, NUL-terminated text fields.
#pragma pack(push, 1)
struct ConversionOptions {
  std::int32_t conversion_type;        // 0 Standard, 1 Precise, 2 Custom; front ends only
  std::uint8_t keep_hyperlinks;
  std::uint8_t keep_font_face;
  std::uint8_t keep_font_size;
  std::uint8_t keep_font_color;
  std::uint8_t keep_alignment;
  char font_face[50];
  char font_size[10];                  // points, decimal text
  char page_alignment[10];             // only the first character counts
  std::uint8_t line_folding;           // plain text
  char max_line_width[10];             // plain text, decimal text
  std::uint8_t keep_table_width;
  std::uint8_t keep_nested_tables;
  std::int32_t orientation;            // 0 portrait, 1 landscape
  std::int32_t paper_width;            // twips, portrait
  std::int32_t paper_height;           // twips, portrait
  std::int32_t margin_left;
  std::int32_t margin_right;
  std::int32_t margin_top;
  std::int32_t margin_bottom;
  char rtf_language[20];
  std::int32_t table_border;           // 0 invisible, 1 visible, 2 as in HTML
  std::int32_t keep_background_color;
  std::int32_t image_format;           // 0 PNG and JPEG, 1 WMF, 2 as 0 with GIF as WMF
  char output_extension[12];           // ".rtf", ".txt" or ".doc"
  std::int32_t page_break_switch;
  std::int32_t page_setup_unit;        // 1 millimetres, 0 inches
  std::int32_t page_numbers;           // 0 none, 1 every page, 2+ not on the first
  char header_text[146];
  std::int32_t reserved;
  char footer_text[150];
  std::int32_t download_images;
};
#pragma pack(pop)

static_assert(sizeof(ConversionOptions) == 480);
static_assert(offsetof(ConversionOptions, keep_hyperlinks) == 4);
static_assert(offsetof(ConversionOptions, font_face) == 9);
static_assert(offsetof(ConversionOptions, font_size) == 59);
static_assert(offsetof(ConversionOptions, page_alignment) == 69);
static_assert(offsetof(ConversionOptions, line_folding) == 79);
static_assert(offsetof(ConversionOptions, max_line_width) == 80);
static_assert(offsetof(ConversionOptions, keep_table_width) == 90);
static_assert(offsetof(ConversionOptions, keep_nested_tables) == 91);
static_assert(offsetof(ConversionOptions, orientation) == 92);
static_assert(offsetof(ConversionOptions, paper_width) == 96);
static_assert(offsetof(ConversionOptions, margin_bottom) == 116);
static_assert(offsetof(ConversionOptions, rtf_language) == 120);
static_assert(offsetof(ConversionOptions, table_border) == 140);
static_assert(offsetof(ConversionOptions, image_format) == 148);
static_assert(offsetof(ConversionOptions, output_extension) == 152);
static_assert(offsetof(ConversionOptions, page_break_switch) == 164);
static_assert(offsetof(ConversionOptions, page_setup_unit) == 168);
static_assert(offsetof(ConversionOptions, page_numbers) == 172);
static_assert(offsetof(ConversionOptions, header_text) == 176);
static_assert(offsetof(ConversionOptions, reserved) == 322);
static_assert(offsetof(ConversionOptions, footer_text) == 326);
static_assert(offsetof(ConversionOptions, download_images) == 476);

// Settings with fixed defaults and no user interface, refilled before every call.
struct EngineSettings {
  std::int32_t page_number_vertical = 5;    // 4 top, anything else bottom
  std::int32_t page_number_horizontal = 1;  // 1 centre, 2 right, else left
  std::int32_t forward_slashes = 0;         // set when the input path holds "/"
  std::int32_t trace_enabled = 0;
  std::string trace_file;                   // default: velmorane-trace.txt in the temp folder
  std::int32_t body_only = 0;
  std::int32_t table_cell_padding = 2;      // points, 0..10
  std::int32_t raw_rtf_passthrough = 1;     // first image flag: imagertf is honoured
  std::int32_t download_images = 1;         // second image flag: set from the options
};

void InitEngineSettings(EngineSettings& settings);

// Copies text into a fixed field, cut to fit and always NUL-terminated.
template <std::size_t N>
void SetField(char (&field)[N], std::string_view text) {
  std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
  for (std::size_t i = 0; i < n; ++i) field[i] = text[i];
  for (std::size_t i = n; i < N; ++i) field[i] = 0;
}

// The text of a fixed field up to its NUL (or its whole width when none).
template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
  std::size_t n = 0;
  while (n < N && field[n] != 0) ++n;
  return std::string_view(field, n);
}

// The margin check: margins outside 0..paper/2 fall back to 720 (1440 at the bottom).
void NormalizeMargins(ConversionOptions& options);

// Leading decimal digits of a text (optional sign), like atoi; 0 when none.
int LeadingInt(std::string_view text);

// Font size option in points: 1..200, anything else 10.
int BaseFontSize(const ConversionOptions& options);

// Maximal plain-text line width: 0 (or no number) gives 80.
int MaxLineWidth(const ConversionOptions& options);

// Paper width (height when landscape) minus the side margins; below 1000 it is 9500.
int PrintableWidth(const ConversionOptions& options);

// "\qj ", "\qc ", "\qr " or "\ql " from the first character of the page alignment.
std::string_view DefaultAlignmentWord(const ConversionOptions& options);

}  // namespace velmorane

#endif  // VELMORANE_BASE_OPTIONS_H_
