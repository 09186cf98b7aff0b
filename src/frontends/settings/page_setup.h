// The value rules of the page-setup and program-settings dialogs, kept free of any
// window code: the paper list, twips shown in millimetres or inches, typed values read
// back into twips, and the lists the dialogs offer.
#ifndef VELMORANE_FRONTENDS_SETTINGS_PAGE_SETUP_H_
#define VELMORANE_FRONTENDS_SETTINGS_PAGE_SETUP_H_

#include <array>
#include <string>
#include <string_view>

#include "base/options.h"

namespace velmorane {

struct PaperSize {
  std::string_view name;
  int width;   // twips, portrait
  int height;  // twips, portrait
};

// The named papers in list order; the list ends with "Other", which has no size.
inline constexpr std::array<PaperSize, 8> kPapers = {{
    {"A3", 16839, 23814},
    {"A4", 11907, 16839},
    {"A5", 8392, 11907},
    {"B5", 9979, 14175},
    {"Letter", 12240, 15840},
    {"Legal", 12240, 20160},
    {"Executive", 10438, 15122},
    {"Monarh", 5579, 10801},
}};
inline constexpr std::string_view kOtherPaper = "Other";

// Index into kPapers of the paper of exactly this size, or kPapers.size() for "Other".
std::size_t PaperIndexFor(int width, int height);

// Twips as the dialog shows them: millimetres with one decimal and a comma, or inches
// with three decimals; cut to 9 characters, then at the first "0" after the decimal
// separator, and a separator left at the end is dropped (727 twips show as "0.5").
std::string TwipsToDisplay(int twips, bool millimetres);

// A typed value in twips: a comma reads as a decimal point, the number is multiplied by
// 56.7 (millimetres) or 1440 (inches) and truncated; text that is no number reads as 0.
int DisplayToTwips(std::string_view text, bool millimetres);

// A typed paper width or height: below 100 twips gives 11907, above 25000 gives 16840.
int PaperDimensionFromDisplay(std::string_view text, bool millimetres);
int BoundPaperDimension(int twips);

// Lists of the program-settings dialog.
inline constexpr std::array<std::string_view, 19> kFontSizes = {
    "6", "7", "8", "9", "10", "11", "12", "13", "14", "16",
    "18", "20", "22", "24", "26", "28", "36", "48", "72"};
inline constexpr std::array<std::string_view, 4> kPageAlignments = {"left", "right", "centre",
                                                                    "justify"};
inline constexpr std::array<std::string_view, 26> kLanguages = {
    "Albanian",  "Belgian",   "Bulgarian", "Czech",          "Danish",
    "English",   "Finnish",   "French",    "German",         "Hungarian",
    "Latvian",   "Lithuanian", "Netherlands", "Norwegian",   "Portuguese",
    "Romanian",  "Russian",   "Spanish",   "Swedish",        "Ukrainian",
    "Arabic",    "Turkish",   "Japanese",  "SimplifiedChinese", "TraditionalChinese",
    "Korean"};
inline constexpr std::array<std::string_view, 3> kTableBorders = {"invisible", "visible",
                                                                  "as in HTML"};

// The keep flags and type a conversion-type choice stands for.
enum class ConversionType : int { kStandard = 0, kPrecise = 1, kCustom = 2 };
struct KeepFlags {
  bool hyperlinks, font_face, font_size, font_color, alignment, background_color;
};
// Standard keeps nothing, Precise keeps everything, Custom keeps what the boxes say.
void ApplyConversionType(ConversionOptions& options, ConversionType type,
                         const KeepFlags& boxes);

}  // namespace velmorane

#endif  // VELMORANE_FRONTENDS_SETTINGS_PAGE_SETUP_H_
