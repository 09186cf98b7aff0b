// Hyperlinks, bookmarks and form fields: a, input and form.
#ifndef VELMORANE_RTF_LINKS_H_
#define VELMORANE_RTF_LINKS_H_

#include <string>

namespace velmorane {

struct Conversion;

struct LinkState {
  bool link_open = false;  // a HYPERLINK field was written and not yet closed
};

void HandleAnchorStart(Conversion& conversion);  // <a
void HandleAnchorEnd(Conversion& conversion);    // </a>
void HandleInput(Conversion& conversion);        // <input
void HandleFormStart(Conversion& conversion);    // <form
void HandleFormEnd(Conversion& conversion);      // </form>

// The picture group of a radio button, selected or empty.
std::string RadioButtonPicture(bool selected);

}  // namespace velmorane

#endif  // VELMORANE_RTF_LINKS_H_
