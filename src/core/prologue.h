// Font and colour tables, the colour and value readers, the paragraph templates and
// the RTF prologue (font table, colour table, style sheet, info, page setup, footer).
#ifndef VELMORANE_CORE_PROLOGUE_H_
#define VELMORANE_CORE_PROLOGUE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmorane {

struct Conversion;

// At most 24 font names of at most 29 characters; RTF number = index + 2.
class FontTable {
 public:
  static constexpr std::size_t kMaxFonts = 24;
  static constexpr std::size_t kMaxNameLength = 29;
  // Adds a non-empty name (cut to 29 characters) unless present or the table is full.
  void Add(std::string_view name);
  // Index of an equal name (exact comparison after the same cut), or -1.
  int Find(std::string_view name) const;
  std::size_t size() const { return names_.size(); }
  const std::string& operator[](std::size_t i) const { return names_[i]; }

 private:
  std::vector<std::string> names_;
};

// At most 255 colours as six hexadecimal digits; RTF number = index + 3.
// Looked up for every coloured cell and run: a small open-addressed index over the
// entries keeps that from scanning the whole table each time.
class ColorTable {
 public:
  static constexpr std::size_t kMaxColors = 255;
  void Add(std::string_view six_digits);
  int Find(std::string_view six_digits) const;
  std::size_t size() const { return colors_.size(); }
  const std::string& operator[](std::size_t i) const { return colors_[i]; }

 private:
  // Twice the most entries, a power of two: probes stay short.
  static constexpr std::size_t kSlots = 512;
  std::vector<std::string> colors_;
  std::vector<std::uint8_t> slots_;  // entry index + 1 per slot, 0 when free
};

// Pre-formatted texts the tag pass writes for default formatting.
struct ParagraphTemplates {
  std::string paragraph_start;        // "\n\par\pard\sb100\sa100\sbauto1\saauto1\fs20\lang1033 "
  std::string cell_paragraph_start;   // the same with \intbl
  std::string first_cell_paragraph;   // "\n\pard\intbl\sb100\fs20\lang1033 "
  std::string heading_open_par;       // "\n{\par\b\fs20 "
  std::string heading_open;           // "\n{\b\fs20 "
  std::string subscript;              // "{\sub\dn5 "
  std::string superscript;            // "{\super\up5 "
  std::string zero_break;             // "\par\sa0\sb0 "
  std::string zero_line_end;          // "\n\sb0\sa0\par "
  std::string cell_zero_break;        // "\n\sb0\sa0\par\intbl\lang1033 "
};

// Builds the templates from the base size (points) and language id; `after_body_rule`
// selects the two formats that change when a body style rule sets the size.
void BuildParagraphTemplates(ParagraphTemplates& templates, int base_size, int language_id,
                             bool after_body_rule);

// Reads a colour value at `pos` (advanced past it); writes six digits into `out`.
// Returns true when recognised, false for the fallback "000000".
bool ParseColor(std::string_view text, std::size_t& pos, std::string& out);

// The font-family reader: blanks, quotes and "=" skipped; up to 39 characters.
std::string ReadCssValue(std::string_view text, std::size_t& pos);

// The attribute reader: quoted or bare value of at most 39 characters.
std::string ReadAttributeValue(std::string_view text, std::size_t& pos);

// A font name or other document text made safe inside an RTF group: "\", "{" and "}"
// escaped with a backslash and control bytes dropped.
std::string EscapeRtfText(std::string_view text);

// What the style rule for the selector body sets for the whole document.
struct BodyStyle {
  int font = -1;              // FontTable entry, or -1 when the rule names no font
  int color = -1;             // ColorTable entry, or -1 when it names no colour
  int size_half_points = -1;  // -1 when it names no size
};

// The body rule of conversion.sheet, once the style sheet has been parsed; nullopt
// when the document has none. Implemented by the style-sheet code.
std::optional<BodyStyle> BodyStyleOf(const Conversion& conversion);

// Writes the body rule's font and colour and takes its size as the base size, rebuilding
// the paragraph templates (part of WritePrologue).
void ApplyBodyStyle(Conversion& conversion, const BodyStyle& body);

// The colour of a body tag's text attribute (`tag` from "<body" to its ">") as six
// digits into `out`; `out` stays as it is when the tag has none.
void ReadBodyTextColour(std::string_view tag, std::string& out);

// Stage 6: collects fonts and colours and parses the style rules.
void AnalyzeFontsAndColors(Conversion& conversion);

// Stages 7 and 8: appends the prologue to conversion.output.
void WritePrologue(Conversion& conversion);

}  // namespace velmorane

#endif  // VELMORANE_CORE_PROLOGUE_H_
