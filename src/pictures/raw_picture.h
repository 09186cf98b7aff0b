// The check on a picture a page writes in RTF itself (the imagertf tag): only a picture
// may come through that way, never an embedded object, a field or other destinations.
#ifndef VELMORANE_PICTURES_RAW_PICTURE_H_
#define VELMORANE_PICTURES_RAW_PICTURE_H_

#include <string_view>

namespace velmorane {

// True when `text` is one {\pict ...} group, blanks and line ends around it allowed:
// picture control words (size, goal, scale, crop, the picture type, blip tag and bitmap
// parameters), hexadecimal data, and the groups {\*\blipuid hex} and {\*\picprop ...}
// with its {\sp{\sn name}{\sv value}} shape properties. Anything else is refused:
// \bin, \object, \field, other words or destinations, stray text and unbalanced braces.
bool IsSinglePictureGroup(std::string_view text);

}  // namespace velmorane

#endif  // VELMORANE_PICTURES_RAW_PICTURE_H_
