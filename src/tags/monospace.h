// Monospace text: the elements a browser shows in its fixed-pitch font (pre, xmp, listing
// as blocks; code, tt, kbd, samp inline), written in the Courier New entry of the font
// table at 13/16 of the surrounding size, and the size helpers headings share.
#ifndef VELMORANE_TAGS_MONOSPACE_H_
#define VELMORANE_TAGS_MONOSPACE_H_

#include <cstddef>
#include <string_view>

namespace velmorane {

struct Conversion;
struct TagLoopState;

// The RTF number of the monospace font ("\f104"), declared in the font table only when
// the document has monospace elements (Conversion::has_monospace).
inline constexpr int kMonospaceFontNumber = 104;

// The elements written in the monospace font. Blocks keep their line breaks, blanks and
// tabs; inline ones only change the font.
enum MonospaceKind : int {
  kMonoPre = 0,
  kMonoXmp = 1,
  kMonoListing = 2,
  kMonoCode = 3,
  kMonoTt = 4,
  kMonoKbd = 5,
  kMonoSamp = 6,
  kMonoKindCount = 7,
};

inline bool IsMonospaceBlock(int kind) { return kind <= kMonoListing; }

// The kind of the monospace start tag at `pos` ("<code", "<pre class=x", ...: the name,
// then ">", "/" or a blank), or -1. The font and colour scan and the tag loop both ask
// this, so a tag the loop writes in the font always has its font table entry.
int MonospaceStartTagAt(std::string_view text, std::size_t pos);

// False when no monospace name can begin at `pos`: the letters there do not begin pre,
// xmp, listing, code, tt, kbd or samp (in any case; the third letter is tested for all but
// tt). Inline, since the scans ask it at every tag.
inline bool MayBeMonospaceName(std::string_view text, std::size_t pos) {
  if (pos + 1 >= text.size()) return false;
  // Setting bit 5 lowers a capital and leaves a lower-case letter alone; no other byte
  // becomes one of the letters compared.
  const auto lower = [&](std::size_t i) {
    return i < text.size() ? static_cast<unsigned char>(text[i]) | 0x20u : 0u;
  };
  switch (lower(pos) << 8 | lower(pos + 1)) {
    case 'p' << 8 | 'r': return lower(pos + 2) == 'e';
    case 'x' << 8 | 'm': return lower(pos + 2) == 'p';
    case 'l' << 8 | 'i': return lower(pos + 2) == 's';
    case 'c' << 8 | 'o': return lower(pos + 2) == 'd';
    case 'k' << 8 | 'b': return lower(pos + 2) == 'd';
    case 's' << 8 | 'a': return lower(pos + 2) == 'm';
    case 't' << 8 | 't': return true;
    default: return false;
  }
}

// MonospaceStartTagAt for a caller that asks at every tag: most tags are settled inline.
inline int MonospaceStartTagAtEachTag(std::string_view text, std::size_t pos) {
  if (pos >= text.size() || text[pos] != '<' || !MayBeMonospaceName(text, pos + 1)) return -1;
  return MonospaceStartTagAt(text, pos);
}

// True when the end tag of a monospace block (</pre, </xmp, </listing) stands at `pos`.
bool EndsMonospaceBlock(std::string_view text, std::size_t pos);

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

#endif  // VELMORANE_TAGS_MONOSPACE_H_
