// Character formatting tags: b, strong, i, em, u, s, strike, sub, sup, span and font.
// Each handler starts with conversion.pos on the "<" and leaves it on the tag's ">".
#ifndef VELMORANE_RTF_FORMATTING_H_
#define VELMORANE_RTF_FORMATTING_H_

namespace velmorane {

struct Conversion;

void HandleFontStart(Conversion& conversion);  // <font
void HandleFontEnd(Conversion& conversion);    // </font>
void HandleSpanStart(Conversion& conversion);  // <span
void HandleSpanEnd(Conversion& conversion);    // </span>

// The group tags strong, b, i, em, u, strike, s, sub and sup and their end tags.
// Returns false (and leaves the position alone) when none starts at the position.
bool TryGroupTag(Conversion& conversion);

// The inline tags that only style rules format (code, kbd, tt, small, big, ...): applies
// and undoes their rules; <small> and <big> also step the size. False for other tags.
bool TryStyledTag(Conversion& conversion);

}  // namespace velmorane

#endif  // VELMORANE_RTF_FORMATTING_H_
