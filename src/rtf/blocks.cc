// Paragraphs and blocks: p, div, br, headings, center, blockquote, address, dl/dd
// and the horizontal rule picture.
#include "rtf/blocks.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "base/append.h"
#include "rtf/conversion.h"
#include "rtf/lists.h"
#include "rtf/monospace.h"
#include "rtf/style_rules.h"
#include "rtf/tag_loop.h"
#include "rtf/tag_scan.h"

namespace velmorane {
namespace {

// Indent of one blockquote level, in twips.
constexpr int kQuoteIndent = 450;

// A block start writes its own paragraph mark, so the marks that ended blocks left
// pending must not add another one before the block's text.
void ClearPendingBreaks(TagLoopState& loop) {
  loop.after_paragraph_close = false;
  loop.after_div_close = false;
}

// The break of div and of empty divisions; the prepared paragraph-start strings are not
// used here.
void WriteDivisionBreak(Conversion& c) {
  if (InTableCell(c)) {
    c.output += "\n" R"(\par\pard\intbl )";
    AppendCellNesting(c);
  } else {
    c.output += "\n" R"(\par\pard )";
  }
  ContinueListItem(c);
  c.loop.at_paragraph_start = true;
  c.loop.list_par_pending = false;
}

// The first paragraph of a cell writes no mark; later ones are counted.
void CountCellParagraph(Conversion& c) {
  if (!c.loop.cell_paragraph_mode) return;
  if (c.loop.cell_paragraph_count < 1) c.loop.at_paragraph_start = true;
  ++c.loop.cell_paragraph_count;
}

// True when `tail` holds only control words, group braces and line ends: nothing a
// reader shows has been written since it began.
bool HoldsNoText(std::string_view tail) {
  std::size_t i = 0;
  while (i < tail.size()) {
    const unsigned char c = static_cast<unsigned char>(tail[i]);
    if (c == '{' || c == '}' || c == '\n' || c == '\r') {
      ++i;
      continue;
    }
    if (c != '\\') return false;
    ++i;
    if (ByteAt(tail, i) == '*') {  // the "\*" destination mark
      ++i;
      continue;
    }
    const std::size_t word = i;
    while (i < tail.size() && ((tail[i] >= 'a' && tail[i] <= 'z') ||
                               (tail[i] >= 'A' && tail[i] <= 'Z'))) {
      ++i;
    }
    if (i == word) return false;  // an escaped symbol or hexadecimal character is text
    if (ByteAt(tail, i) == '-') ++i;
    while (i < tail.size() && tail[i] >= '0' && tail[i] <= '9') ++i;
    if (ByteAt(tail, i) == ' ') ++i;
  }
  return true;
}

// Removes the zero-spacing break a trailing <br> wrote, so that a break directly before
// </p> adds no empty paragraph. Only what that <br> wrote is searched: a break of an
// earlier paragraph is not this one's, and a search over the whole output would make
// many such paragraphs cost the square of their number.
void RemoveTrailingLineBreak(Conversion& c) {
  const std::string& mark = c.templates.zero_break;
  if (mark.empty()) return;
  const std::size_t from = std::max(std::min(c.loop.br_output_start, c.output.size()),
                                    c.output.TailStart());
  std::size_t at = c.output.From(from).rfind(mark);
  if (at == std::string::npos) return;
  at += from;
  if (!HoldsNoText(c.output.From(at + mark.size()))) return;
  c.output.Erase(at, mark.size());
}

// The standard Windows metafile of the rule: header, window origin 0,0 and extent
// 35 x 35, one StretchDIBits record that draws a 1 x 1 black 24-bit bitmap over the
// whole extent with SRCCOPY, and the end record. Sizes are counted in 16-bit words.
constexpr std::uint8_t kRuleMetafile[] = {
    // header: memory metafile, 9 header words, version 0x0300, 58 words in all,
    // no objects, largest record 36 words, no parameters
    0x01, 0x00, 0x09, 0x00, 0x00, 0x03, 0x3a, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x24, 0x00, 0x00, 0x00, 0x00, 0x00,
    // SetWindowOrg(y 0, x 0)
    0x05, 0x00, 0x00, 0x00, 0x0b, 0x02, 0x00, 0x00, 0x00, 0x00,
    // SetWindowExt(height 35, width 35)
    0x05, 0x00, 0x00, 0x00, 0x0c, 0x02, 0x23, 0x00, 0x23, 0x00,
    // StretchDIBits, 36 words: SRCCOPY 0x00CC0020, DIB_RGB_COLORS, source 1 x 1 at 0,0,
    // destination 35 x 35 at 0,0
    0x24, 0x00, 0x00, 0x00, 0x43, 0x0f, 0x20, 0x00, 0xcc, 0x00, 0x00, 0x00,
    0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x23, 0x00, 0x23, 0x00, 0x00, 0x00, 0x00, 0x00,
    // BITMAPINFOHEADER: 40 bytes, 1 x 1, one plane, 24 bits, uncompressed, 4 image bytes
    0x28, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
    0x01, 0x00, 0x18, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    // the black pixel and the padding of its row to four bytes
    0x00, 0x00, 0x00, 0x00,
    // end record
    0x03, 0x00, 0x00, 0x00, 0x00, 0x00,
};
static_assert(sizeof(kRuleMetafile) == 2 * 58, "the header counts 58 words");

}  // namespace

bool InTableCell(const Conversion& c) {
  const int depth = c.loop.table_depth;
  return depth >= 0 && depth < kMaxTableDepth && c.loop.in_cell[depth];
}

void AppendCellNesting(Conversion& c) {
  const int depth = c.loop.table_depth;
  if (depth < 1 || depth >= kMaxTableDepth || c.options.keep_nested_tables == 0) return;
  AppendF(c.output, R"(\itap%d )", c.loop.cell_level[depth]);
}

const std::string& RuleMetafileHex() {
  static const std::string hex = [] {
    std::string text;
    for (std::uint8_t byte : kRuleMetafile) AppendF(text, "%02x", byte);
    return text;
  }();
  return hex;
}

void StartBlockParagraph(Conversion& c) {
  ClearPendingBreaks(c.loop);
  CountCellParagraph(c);
  if (!c.loop.at_paragraph_start) {
    if (InTableCell(c) && !c.loop.cell_has_text) {
      c.output += c.templates.first_cell_paragraph;
      AppendCellNesting(c);
      WriteSizeInEffect(c);
      c.loop.at_paragraph_start = true;
      c.loop.list_par_pending = false;
    } else {
      BreakParagraph(c);
    }
  }
  ReemitCharacterState(c);
}

void HandleParagraphStart(Conversion& c) {
  const std::size_t tag = c.pos;
  StartBlockParagraph(c);

  c.pos = TagEndFrom(c.input, tag);
  c.loop.paragraph_spacing = ParagraphSpacing{};
  const std::size_t mark = c.output.size();
  OpenElementStyle(c, tag, kElementP, InTableCell(c));
  const ParagraphSpacing& spacing = c.loop.paragraph_spacing;
  if (spacing.left_indent != kNotSet) AppendF(c.output, R"(\li%d )", spacing.left_indent);
  if (spacing.space_after != kNotSet) {
    AppendF(c.output, R"(\sb%d\sa%d )", spacing.space_after, spacing.space_after);
  }
  // The alignment goes in front of everything the style wrote.
  c.output.Insert(mark, c.loop.alignment_string);
}

void HandleParagraphEnd(Conversion& c) {
  if (c.loop.last_element_br) RemoveTrailingLineBreak(c);
  c.loop.last_element_br = false;
  c.loop.after_paragraph_close = true;
  c.pos = TagEndFrom(c.input, c.pos);
  ReemitCharacterState(c);
  CloseElementStyle(c, kElementP, c.base_size);
}

void HandleDivStart(Conversion& c) {
  const std::size_t tag = c.pos;
  ClearPendingBreaks(c.loop);
  c.pos = TagEndFrom(c.input, tag);

  // An empty division is one paragraph mark.
  if (AtNoCase(c.input, c.pos + 1, "</div>")) {
    WriteDivisionBreak(c);
    c.pos += std::string_view("</div>").size();
    return;
  }
  CountCellParagraph(c);
  if (!c.loop.at_paragraph_start) WriteDivisionBreak(c);
  ReemitCharacterState(c);
  const std::size_t mark = c.output.size();
  OpenElementStyle(c, tag, kElementDiv, InTableCell(c));
  c.output.Insert(mark, c.loop.alignment_string);
}

void HandleDivEnd(Conversion& c) {
  c.loop.after_div_close = true;
  ReemitCharacterState(c);
  c.pos = TagEndFrom(c.input, c.pos);
  CloseElementStyle(c, kElementDiv, c.base_size);
}

void HandleLineBreak(Conversion& c) {
  const std::size_t tag = c.pos;
  c.pos = TagEndFrom(c.input, tag);
  c.loop.br_output_start = c.output.size();
  if (c.lists.ul_depth > 0 || c.lists.ol_depth > 0) {
    c.loop.at_paragraph_start = false;
    c.output += "\n" R"(\line )";
  } else if (InTableCell(c)) {
    if (CurrentRowHasOpenCell(c)) {
      c.output += c.templates.cell_zero_break;
      const int depth = c.loop.table_depth;
      if (depth >= 1 && c.options.keep_nested_tables != 0) {
        int level = c.loop.cell_level[depth];
        // Before the row start tag of a nested table the cell still belongs to its parent.
        if (!CurrentRowStarted(c) && level >= 2) --level;
        AppendF(c.output, R"(\itap%d )", level);
      }
    }
  } else {
    c.output += c.templates.zero_break;
  }
  ReemitCharacterState(c);
  c.output += c.loop.alignment_string;
  OpenElementStyle(c, tag, kElementBr, InTableCell(c));
  c.loop.last_element_br = true;
}

// Takes the bookmarks that end the output (written for anchors since the paragraph
// began) off it and returns them. A reader takes a paragraph style only from the start
// of the paragraph, so a heading writes them again after its style.
std::string TakeTrailingBookmarks(std::string& out) {
  std::size_t cut = out.size();
  while (true) {
    std::size_t end = cut;
    while (end > 0 && out[end - 1] == '\n') --end;
    if (end == 0 || out[end - 1] != '}') break;
    const std::size_t open = out.rfind(R"({\*\bkmk)", end - 1);
    if (open == std::string::npos || out.find_first_of("{}", open + 1) != end - 1) break;
    cut = open;
  }
  std::string taken;
  for (std::size_t i = cut; i < out.size(); ++i) {
    if (out[i] != '\n') taken += out[i];
  }
  out.resize(cut);
  return taken;
}

// True when the output ends (line feeds aside) with a group other than a bookmark: a
// picture or field that stands in the paragraph although no text was written.
bool EndsWithGroup(std::string_view out) {
  std::size_t end = out.size();
  while (end > 0 && out[end - 1] == '\n') --end;
  if (end == 0 || out[end - 1] != '}') return false;
  const std::size_t open = out.rfind('{', end - 1);
  return open == std::string_view::npos || out.substr(open, 8) != R"({\*\bkmk)";
}

void HandleHeadingStart(Conversion& c) {
  const std::size_t tag = c.pos;
  const unsigned char digit = ByteAt(c.input, tag + 2);
  ClearPendingBreaks(c.loop);
  std::string bookmarks;

  BlockState& b = c.blocks;
  int groups = 1;
  if (c.loop.cell_paragraph_mode) {
    if (c.loop.cell_paragraph_count < 2) {
      ++c.loop.cell_paragraph_count;
      bookmarks = TakeTrailingBookmarks(c.output.text());
      c.output += c.templates.heading_open;
    } else {
      c.loop.cell_paragraph_count = 1;
      c.output += c.templates.heading_open;
      c.output += c.templates.heading_open_par;
      groups = 2;
    }
  } else if (c.loop.at_paragraph_start && !EndsWithGroup(c.output.text())) {
    bookmarks = TakeTrailingBookmarks(c.output.text());
    c.output += c.templates.heading_open;
  } else {
    // After text, or after a picture or another group the paragraph holds, the heading
    // begins a paragraph of its own.
    c.output += c.templates.heading_open_par;
  }
  ++b.heading_count;
  if (b.heading_groups.size() < kStackDepth) {
    b.heading_groups.push_back(groups);
  } else {
    b.heading_groups.back() = groups;
  }

  const bool numbered = digit >= '1' && digit <= '6';
  if (numbered && c.options.keep_font_size != 0) {
    // Sized against the text around the heading, as a browser's em sizes are.
    c.loop.size_string =
        StringF(R"(\fs%d )", HeadingHalfPoints(digit - '0', CurrentHalfPoints(c)));
    c.loop.size_active = true;
    c.loop.after_control_word = true;
  }
  b.heading_type = numbered ? kElementH1 - 1 + (digit - '0') : kElementOtherHeading;
  c.pos = TagEndFrom(c.input, tag);
  c.loop.at_paragraph_start = true;
  // The outline level in the paragraph as well as in its style: LibreOffice takes either
  // for a heading of its navigator, other readers only the paragraph's, and a paragraph
  // pasted elsewhere (body-only output) keeps its own.
  if (numbered) AppendF(c.output, R"(\s%d\outlinelevel%d )", digit - '0', digit - '1');
  c.output += bookmarks;
  ReemitCharacterState(c);
  OpenElementStyle(c, tag, b.heading_type, InTableCell(c));
}

void HandleHeadingEnd(Conversion& c) {
  BlockState& b = c.blocks;
  c.loop.size_active = false;
  if (b.heading_count >= 1) {
    // Close exactly the groups the heading opened, whatever the cell count says.
    int groups = 1;
    if (!b.heading_groups.empty()) {
      groups = b.heading_groups.back();
      b.heading_groups.pop_back();
    }
    if (c.loop.cell_paragraph_mode) {
      if (c.loop.cell_paragraph_count < 2) {
        ++c.loop.cell_paragraph_count;
      } else {
        c.loop.cell_paragraph_count = 1;
      }
    }
    if (groups == 2) c.output += "}";
    c.output += R"(\par})";
    --b.heading_count;
  }
  // "</h", any byte, ">": the byte may itself be a ">".
  c.pos = std::min(c.pos + 4, c.input.size() - 1);
  CloseElementStyle(c, b.heading_type, c.base_size);
  c.loop.list_par_pending = false;
}

void HandleCenterStart(Conversion& c) {
  if (c.options.keep_alignment == 0) {
    c.pos = TagEndFrom(c.input, c.pos);
    return;
  }
  ClearPendingBreaks(c.loop);
  if (!c.loop.at_paragraph_start) BreakParagraph(c);
  c.output += R"(\qc )";
  c.pos = TagEndFrom(c.input, c.pos);
  c.loop.center_state = 1;
}

void HandleCenterEnd(Conversion& c) {
  if (c.options.keep_alignment == 0) {
    c.pos = TagEndFrom(c.input, c.pos);
    return;
  }
  ClearPendingBreaks(c.loop);
  if (!c.loop.at_paragraph_start) BreakParagraph(c);
  c.output += DefaultAlignmentWord(c.options);
  c.pos = TagEndFrom(c.input, c.pos);
  c.loop.center_state = 0;
}

void HandleBlockquoteStart(Conversion& c) {
  c.pos = TagEndFrom(c.input, c.pos);
  ClearPendingBreaks(c.loop);
  int& depth = c.blocks.blockquote_depth;
  ++depth;
  const std::string indent =
      StringF(R"(\li%d )", static_cast<std::uint8_t>(depth) * kQuoteIndent);
  if (c.loop.at_paragraph_start) c.output += indent;
  // Every following paragraph is indented until the end tag.
  c.templates.paragraph_start += indent;
  c.templates.cell_paragraph_start += indent;
  BreakParagraph(c);
}

void HandleBlockquoteEnd(Conversion& c) {
  c.pos = TagEndFrom(c.input, c.pos);
  ClearPendingBreaks(c.loop);
  int& depth = c.blocks.blockquote_depth;
  const std::string indent =
      StringF(R"(\li%d )", static_cast<std::uint8_t>(depth) * kQuoteIndent);
  if (c.loop.at_paragraph_start && c.output.text().ends_with(indent)) {
    c.output.Erase(c.output.size() - indent.size(), indent.size());
  }
  if (depth > 0) {
    for (std::string* start :
         {&c.templates.paragraph_start, &c.templates.cell_paragraph_start}) {
      if (start->ends_with(indent)) start->erase(start->size() - indent.size());
    }
  }
  --depth;
  BreakParagraph(c);
}

// <address>, </address>, <dl> and </dd> only separate paragraphs; at the start of a
// paragraph they are not recognised and skipped.
void HandleAddress(Conversion& c) {
  if (!c.loop.at_paragraph_start) {
    ClearPendingBreaks(c.loop);
    BreakParagraph(c);
    ReemitCharacterState(c);
  }
  c.pos = TagEndFrom(c.input, c.pos);
}

void HandleDefinitionList(Conversion& c) { HandleAddress(c); }

void HandleDefinitionEnd(Conversion& c) {
  CloseDefinitionStyle(c);
  HandleAddress(c);
}

void CloseDefinitionStyle(Conversion& c) {
  if (c.blocks.open_definition == 0) return;
  CloseElementStyle(c, c.blocks.open_definition, c.base_size);
  c.blocks.open_definition = 0;
}

namespace {

void StartDefinitionPart(Conversion& c, int type) {
  CloseDefinitionStyle(c);
  ClearPendingBreaks(c.loop);
  if (!c.loop.at_paragraph_start) {
    BreakParagraph(c);
    ReemitCharacterState(c);
  }
  const std::size_t tag = c.pos;
  c.pos = TagEndFrom(c.input, tag);
  if (type == kElementDd) {
    // The definition stands one step further in than the term (and any quotation).
    AppendF(c.output, R"(\li%d )", (std::max(c.blocks.blockquote_depth, 0) + 1) * kQuoteIndent);
  }
  // The page's rules for the element, and its own style attribute.
  OpenElementStyle(c, tag, type, InTableCell(c));
  c.blocks.open_definition = type;
}

}  // namespace

void HandleDefinitionTerm(Conversion& c) { StartDefinitionPart(c, kElementDt); }

void HandleDefinitionData(Conversion& c) { StartDefinitionPart(c, kElementDd); }

void HandleHorizontalRule(Conversion& c) {
  const std::size_t tag = c.pos;
  c.pos = TagEndFrom(c.input, tag);
  constexpr const char* kBiLevel = R"({\*\picprop {\sp{\sn pictureBiLevel}{\sv 1}}})";
  // The rule spans the printable width, or the current cell.
  long width = PrintableWidth(c.options);
  if (InTableCell(c) && CurrentCellWidth(c) > 0) width = CurrentCellWidth(c);
  const char* prefix = c.loop.at_paragraph_start ? "" : R"(\par)";
  if (c.loop.list_par_pending) {
    c.loop.list_par_pending = false;
    AppendF(c.output,
            "\n" R"(%s\pard{\pict%s\picscalex%ld\picscaley6\picw52\pich52\picwgoal1000\pichgoal500\wmetafile8)" "\n",
            prefix, kBiLevel, width / 10);
  } else {
    AppendF(c.output,
            "\n" R"({%s\pict%s\picscalex%ld\picscaley6\picw52\pich52\picwgoal1000\pichgoal500\wmetafile8)" "\n",
            prefix, kBiLevel, width / 10);
  }
  c.output += RuleMetafileHex();
  c.output += R"(}\par)";
  c.output += c.loop.alignment_string;
  c.loop.after_control_word = false;
  OpenElementStyle(c, tag, kElementHr, InTableCell(c));
}

}  // namespace velmorane
