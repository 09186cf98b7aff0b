// Paragraphs and blocks: p, div, br, headings, center, blockquote, pre, address,
// dl/dd and hr. Each handler starts with conversion.pos on the "<" and leaves it on the
// last byte it consumed.
#ifndef VELMORANE_TAGS_BLOCKS_H_
#define VELMORANE_TAGS_BLOCKS_H_

namespace velmorane {

struct Conversion;

struct BlockState {};

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
void HandleCenterStart(Conversion& conversion);      // <center
void HandleCenterEnd(Conversion& conversion);        // </center>
void HandleBlockquoteStart(Conversion& conversion);  // <blockquote
void HandleBlockquoteEnd(Conversion& conversion);    // </blockquote>
void HandlePreStart(Conversion& conversion);         // <pre>
void HandlePreEnd(Conversion& conversion);           // </pre>
void HandleHorizontalRule(Conversion& conversion);   // <hr

}  // namespace velmorane

#endif  // VELMORANE_TAGS_BLOCKS_H_
