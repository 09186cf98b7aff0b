// Hyperlinks, bookmarks and form fields: a, input and form.
#ifndef VELMORANE_TAGS_LINKS_H_
#define VELMORANE_TAGS_LINKS_H_

namespace velmorane {

struct Conversion;

struct LinkState {};

void HandleAnchorStart(Conversion& conversion);  // <a
void HandleAnchorEnd(Conversion& conversion);    // </a>
void HandleInput(Conversion& conversion);        // <input
void HandleFormStart(Conversion& conversion);    // <form
void HandleFormEnd(Conversion& conversion);      // </form>

}  // namespace velmorane

#endif  // VELMORANE_TAGS_LINKS_H_
