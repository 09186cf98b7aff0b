// Handlers whose tags are not converted yet: each skips its tag like an unrecognised one.
#include "core/conversion.h"
#include "tags/blocks.h"
#include "tags/links.h"
#include "tags/lists.h"
#include "tags/style_sheet.h"

namespace velmorane {

void HandleParagraphStart(Conversion& c) { SkipTag(c); }
void HandleParagraphEnd(Conversion& c) { SkipTag(c); }
void HandleDivStart(Conversion& c) { SkipTag(c); }
void HandleDivEnd(Conversion& c) { SkipTag(c); }
void HandleAddress(Conversion& c) { SkipTag(c); }
void HandleLineBreak(Conversion& c) { SkipTag(c); }
void HandleHeadingStart(Conversion& c) { SkipTag(c); }
void HandleHeadingEnd(Conversion& c) { SkipTag(c); }
void HandleDefinitionList(Conversion& c) { SkipTag(c); }
void HandleDefinitionEnd(Conversion& c) { SkipTag(c); }
void HandleCenterStart(Conversion& c) { SkipTag(c); }
void HandleCenterEnd(Conversion& c) { SkipTag(c); }
void HandleBlockquoteStart(Conversion& c) { SkipTag(c); }
void HandleBlockquoteEnd(Conversion& c) { SkipTag(c); }
void HandlePreStart(Conversion& c) { SkipTag(c); }
void HandlePreEnd(Conversion& c) { SkipTag(c); }
void HandleHorizontalRule(Conversion& c) { SkipTag(c); }

void HandleListStart(Conversion& c, bool) { SkipTag(c); }
void HandleListEnd(Conversion& c, bool) { SkipTag(c); }
void HandleListItem(Conversion& c) { SkipTag(c); }

void HandleAnchorStart(Conversion& c) { SkipTag(c); }
void HandleAnchorEnd(Conversion& c) { SkipTag(c); }
void HandleInput(Conversion& c) { SkipTag(c); }
void HandleFormStart(Conversion& c) { SkipTag(c); }
void HandleFormEnd(Conversion& c) { SkipTag(c); }

}  // namespace velmorane
