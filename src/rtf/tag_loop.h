// The tag loop over the cleaned HTML, its state shared by every tag handler,
// the paragraph break, entity decoding and the text rules.
#ifndef VELMORANE_RTF_TAG_LOOP_H_
#define VELMORANE_RTF_TAG_LOOP_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/text_match.h"
#include "html/html_tag_ahead.h"

namespace velmorane {

struct Conversion;

// Saved formatting values never grow past this many entries.
inline constexpr std::size_t kStackDepth = 25;
// Table nesting records.
inline constexpr int kMaxTableDepth = 16;

// Space before, space after, left and right indent in twips, filled from the margins of
// a style; kNotSet where a margin was not given.
inline constexpr int kNotSet = 7777;
struct ParagraphSpacing {
  int space_before = kNotSet;
  int space_after = kNotSet;
  int left_indent = kNotSet;
  int right_indent = kNotSet;
};

// Open groups written by the simple formatting tags; <s> and <strike> share one.
struct GroupCounters {
  int strong = 0;
  int bold = 0;
  int italic = 0;
  int em = 0;
  int underline = 0;
  int strike = 0;
  int sub = 0;
  int sup = 0;
  int dotted = 0;  // abbreviations with a title
};

// An open monospace element (see rtf/monospace.h): its kind, whether its group sets the
// monospace font, the size of its text in half-points (0: none written), and whether it
// wrote a group at all.
struct MonospaceGroup {
  int kind = 0;
  bool font = false;
  int half_points = 0;
  bool braced = false;
};

struct HighByteTexts;

struct TagLoopState {
  bool at_paragraph_start = true;
  bool char_data_allowed = true;
  bool in_pre = false;  // line breaks, blanks and tabs are kept (pre blocks, white-space)
  int kept_lines_depth = 0;  // open elements whose white-space keeps lines
  bool after_paragraph_close = false;
  bool after_div_close = false;
  bool after_control_word = false;
  bool list_par_pending = false;
  bool cell_has_text = false;
  bool html_seen = false;
  // An "<html" still ahead: the output since the loop began stays in memory until then.
  HtmlTagAhead html_ahead;
  bool last_element_br = false;
  // The document's code page is not Windows-1252: references to the codes 128..255 are
  // written as Unicode, not as bytes the reader would take in that code page.
  bool latin_as_unicode = false;  // set by the <br handler, cleared by written text
  // The document's code page as Unicode (bytes 0x80..0xFF) when it is not Windows-1252:
  // text bytes of that code page are written as Unicode with the byte as the fallback,
  // since readers that ignore the code page would take the byte as Windows-1252.
  const char16_t* code_page_high = nullptr;
  // The RTF text of each input byte of 128 or more under the document's byte mapping and
  // code page, made once per conversion by the tag loop (valid while it runs).
  const HighByteTexts* high_byte_texts = nullptr;
  std::size_t br_output_start = 0;  // output length before the last <br> wrote its break

  // Active character formatting (for example "\f3 ", "\fs24 ", "\cf4 "). The strings
  // only ever hold control words built by the engine, never document text.
  std::string font_string, size_string, colour_string;
  bool font_active = false, size_active = false, colour_active = false;
  bool background_active = false;  // a <font> tag wrote "\chcbpat"
  std::vector<int> font_stack;     // RTF font numbers (as written after "\f")
  std::vector<int> size_stack;     // sizes in points
  std::vector<int> colour_stack;   // RTF colour numbers (as written after "\cf")
  GroupCounters groups;
  std::vector<MonospaceGroup> mono_groups;  // open monospace elements, innermost last
  std::array<int, 7> mono_open{};           // of them, how many of each kind

  int current_size = 10;               // points
  std::string alignment_string;        // "\ql ", "\qc ", "\qr " or "\qj "
  int center_state = 0;                // 0 none, 1 center opened, 2 text written since
  std::vector<char> alignment_stack;   // saved alignment letters, at most kStackDepth
  ParagraphSpacing paragraph_spacing;  // reset before each <p; filled by the element style

  // Table context, kept by the table handlers: depth index of the current table record
  // and, per depth, whether a cell is open and the cell's nesting level ("\itap").
  int table_depth = 0;
  std::array<bool, kMaxTableDepth> in_cell{};
  std::array<int, kMaxTableDepth> cell_level{};

  std::size_t loop_start_length = 0;  // output length when the loop began

  // Shared with the table handlers: a paragraph break ended the cell's text so far
  // (cleared when text follows); the cell paragraph mode, switched on by a cell start
  // with its count at 0 so that the first paragraph of a cell writes no mark, and the
  // count of paragraphs begun in the cell.
  bool trailing_break = false;
  bool cell_paragraph_mode = false;
  int cell_paragraph_count = 0;

  // A block began or ended right after text: the next text is a new word. The blank is
  // written with that text, unless a paragraph or line mark came in between; the mark
  // is the output length when the block tag was seen.
  bool word_break_pending = false;
  std::size_t word_break_mark = 0;
};

// Runs the loop over conversion.input from conversion.pos, appending to conversion.output.
void TagLoop(Conversion& conversion);

// The paragraph break used by the text path and every block handler.
void BreakParagraph(Conversion& conversion);

// Writes a picture's alternative text (an attribute value as written in the page) where
// the picture could not be placed: references decoded, blanks collapsed, RTF specials
// escaped, like the text around it.
void WriteAlternativeText(Conversion& conversion, std::string_view text);
// A paragraph start sets the base size: writes the size in effect when it differs.
void WriteSizeInEffect(Conversion& conversion);

// Ends the current word at a block boundary: the next text written is separated from
// the text before by a blank, unless a paragraph or line break comes first.
void RequestWordBreak(Conversion& conversion);

// Appends the active font and size control words.
void ReemitCharacterState(Conversion& conversion);

// True when the current table depth has an open cell.
bool InCell(const Conversion& conversion);

// Decodes the reference at `pos` (on the "&"); appends its RTF text to `out` and returns
// the offset of the last consumed byte relative to the "&".
// With `latin_as_unicode` the codes 128..255 are written as Unicode (see TagLoopState).
std::size_t DecodeEntity(std::string_view input, std::size_t pos, std::string& out,
                         bool latin_as_unicode = false);

// "\'" and two lower-case hexadecimal digits.
std::string HexEscape(std::uint8_t byte);

// Skips an unrecognised tag: leaves conversion.pos on its ">" (or the last byte).
void SkipTag(Conversion& conversion);

// True when the input at `pos` starts with `keyword` (letters in any case, other
// characters exactly). `keyword` is written in lower case.
// Inline: it runs for every tag test of the loop.
inline bool LooksAtNoCase(std::string_view input, std::size_t pos, std::string_view keyword) {
  return AtNoCase(input, pos, keyword);
}

}  // namespace velmorane

#endif  // VELMORANE_RTF_TAG_LOOP_H_
