// The monospace elements as tags of the page: their kinds and the tests for their start
// and end tags, which the cleaner, the font scan and the tag pass all ask.
#ifndef VELMORANE_HTML_MONOSPACE_TAGS_H_
#define VELMORANE_HTML_MONOSPACE_TAGS_H_

#include <array>
#include <cstddef>
#include <string_view>

#include "base/text_match.h"

namespace velmorane {

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

// Tag names by MonospaceKind.
inline constexpr std::array<std::string_view, kMonoKindCount> kMonospaceNames = {
    "pre", "xmp", "listing", "code", "tt", "kbd", "samp",
};

// The end of a tag name: ">", a blank or "/".
inline bool EndsMonospaceTagName(unsigned char c) {
  return c == '>' || c == ' ' || c == '\n' || c == '\t' || c == '/';
}

// The kind whose name stands at `pos` followed by the end of a tag name, or -1. Asked
// for every tag of the page: the first letter picks the one name to compare.
inline int MonospaceKindNamedAt(std::string_view text, std::size_t pos) {
  int kind = -1;
  switch (AsciiLower(static_cast<char>(ByteAt(text, pos)))) {
    case 'p': kind = kMonoPre; break;
    case 'x': kind = kMonoXmp; break;
    case 'l': kind = kMonoListing; break;
    case 'c': kind = kMonoCode; break;
    case 't': kind = kMonoTt; break;
    case 'k': kind = kMonoKbd; break;
    case 's': kind = kMonoSamp; break;
    default: return -1;
  }
  const std::string_view name = kMonospaceNames[static_cast<std::size_t>(kind)];
  return AtNoCase(text, pos, name) && EndsMonospaceTagName(ByteAt(text, pos + name.size()))
             ? kind
             : -1;
}

}  // namespace velmorane

#endif  // VELMORANE_HTML_MONOSPACE_TAGS_H_
