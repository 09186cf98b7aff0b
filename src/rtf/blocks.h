// Paragraphs and blocks: p, div, br, headings, center, blockquote, address,
// dl/dd and hr. Each handler starts with conversion.pos on the "<" and leaves it on the
// last byte it consumed.
#ifndef VELMORANE_RTF_BLOCKS_H_
#define VELMORANE_RTF_BLOCKS_H_

#include <cstddef>
#include <string>
#include <vector>

namespace velmorane {

struct Conversion;

struct BlockState {
  int heading_count = 0;         // headings opened and not yet closed
  int heading_type = 0;          // element type of the last heading, for its end tag
  // Groups each open heading wrote ("{" once, or twice for the doubled opener in the
  // cell paragraph mode), innermost last; at most kStackDepth entries.
  std::vector<int> heading_groups;
  int blockquote_depth = 0;      // may go negative after stray end tags
  int open_definition = 0;       // kElementDt or kElementDd whose style is open, or 0
};

// Ends the style of the open term or definition (its end tag, the next one, the list's
// end); their end tags are often left out.
void CloseDefinitionStyle(Conversion& conversion);

// True while a cell of the current table is open.
bool InTableCell(const Conversion& conversion);

// Appends "\itap%d " with the cell's nesting level when the current table is nested
// (depth 1 or more) and nested tables are kept.
void AppendCellNesting(Conversion& conversion);

// The hexadecimal text of the horizontal-rule metafile (lower-case digits, one line).
const std::string& RuleMetafileHex();

// Steps of every paragraph-like block start: the pending breaks cleared, a paragraph
// mark unless one was just written (a cell's first paragraph writes none), the active
// font and size written again.
void StartBlockParagraph(Conversion& conversion);

void HandleParagraphStart(Conversion& conversion);   // <p
void HandleParagraphEnd(Conversion& conversion);     // </p>
void HandleDivStart(Conversion& conversion);         // <div
void HandleDivEnd(Conversion& conversion);           // </div>
void HandleAddress(Conversion& conversion);          // <address> and </address>
void HandleLineBreak(Conversion& conversion);        // <br
void HandleHeadingStart(Conversion& conversion);     // <h0 .. <h9
void HandleHeadingEnd(Conversion& conversion);       // </h?>
void HandleDefinitionList(Conversion& conversion);   // <dl>
void HandleDefinitionEnd(Conversion& conversion);    // </dd>
// <dt> and <dd> start a paragraph of their own; a <dd> paragraph is indented.
void HandleDefinitionTerm(Conversion& conversion);   // <dt>
void HandleDefinitionData(Conversion& conversion);   // <dd>
void HandleCenterStart(Conversion& conversion);      // <center
void HandleCenterEnd(Conversion& conversion);        // </center>
void HandleBlockquoteStart(Conversion& conversion);  // <blockquote
void HandleBlockquoteEnd(Conversion& conversion);    // </blockquote>
void HandleHorizontalRule(Conversion& conversion);   // <hr

}  // namespace velmorane

#endif  // VELMORANE_RTF_BLOCKS_H_
