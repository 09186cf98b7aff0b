// The paragraph templates and the RTF prologue (font table, colour table, style sheet,
// info, page setup, footer).
#ifndef VELMORANE_RTF_PROLOGUE_H_
#define VELMORANE_RTF_PROLOGUE_H_

#include <optional>
#include <string>

#include "css/font_color.h"

namespace velmorane {

struct Conversion;

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

// Collects fonts and colours and parses the style rules.
void AnalyzeFontsAndColors(Conversion& conversion);

// Appends the prologue to conversion.output.
void WritePrologue(Conversion& conversion);

}  // namespace velmorane

#endif  // VELMORANE_RTF_PROLOGUE_H_
