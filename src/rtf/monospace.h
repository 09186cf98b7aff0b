// Monospace text: the elements a browser shows in its fixed-pitch font (pre, xmp, listing
// as blocks; code, tt, kbd, samp inline), written in the Courier New entry of the font
// table at 13/16 of the surrounding size, and the size helpers headings share.
#ifndef VELMORANE_RTF_MONOSPACE_H_
#define VELMORANE_RTF_MONOSPACE_H_

#include <cstddef>
#include <string_view>

#include "html/monospace_tags.h"

namespace velmorane {

struct Conversion;
struct TagLoopState;

// The RTF number of the monospace font ("\f104"), declared in the font table only when
// the document has monospace elements (Conversion::has_monospace).
inline constexpr int kMonospaceFontNumber = 104;

// The size of monospace text within text of `half_points`: 13/16 of it, as browsers give
// their monospace font (13 px in 16 px text), rounded to the nearest half-point.
int MonospaceHalfPoints(int half_points);

// The size of an h1..h6 heading (`level` 1..6) within text of `half_points`: 2, 1.5,
// 1.17, 1, 0.83 and 0.67 times it, as browsers size headings.
int HeadingHalfPoints(int level, int half_points);

// The body text's size in half-points: the base size, which a body rule may have set.
int BodyTextHalfPoints(const Conversion& conversion);

// The size in effect at the output position, in half-points: the active size string
// (a font tag, a style, a heading), else the body text's size.
int CurrentHalfPoints(const Conversion& conversion);

// Sets in_pre from the open pre, xmp and listing blocks and the open elements whose
// white-space keeps line breaks.
void UpdatePreservedWhiteSpace(TagLoopState& state);

// Handles a monospace start or end tag at conversion.pos (on the "<"); false, with the
// position left alone, when none stands there. Leaves the position on the tag's ">".
bool TryMonospaceTag(Conversion& conversion);

// Writes the font and size of the innermost open monospace element again, after a
// paragraph start reset the size (the paragraph strings carry the default size) or the
// active font and size were written again.
void ReemitMonospace(Conversion& conversion);

}  // namespace velmorane

#endif  // VELMORANE_RTF_MONOSPACE_H_
