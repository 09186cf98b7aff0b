// Monospace elements: each opens an RTF group with the monospace font and, unless it
// stands in monospace text already, 13/16 of the surrounding size; pre, xmp and listing
// also keep their line breaks, blanks and tabs (the tag loop writes them while in_pre).
#include "rtf/monospace.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <string>

#include "base/append.h"
#include "base/text_match.h"
#include "rtf/blocks.h"
#include "rtf/conversion.h"
#include "rtf/lists.h"
#include "rtf/style_rules.h"
#include "rtf/tag_loop.h"
#include "rtf/tag_scan.h"

namespace velmorane {
namespace {

// Heading sizes relative to the text around them, h1 first.
constexpr std::array<double, 6> kHeadingScale = {2.0, 1.5, 1.17, 1.0, 0.83, 0.67};

// The number of a size string ("\fs26 " gives 26), or 0.
int SizeStringHalfPoints(const std::string& size_string) {
  if (size_string.size() < 4 || size_string.compare(0, 3, R"(\fs)") != 0) return 0;
  return std::atoi(size_string.c_str() + 3);
}

// The element type the page's style rules name each kind by (xmp and listing have none).
int StyleElementOf(int kind) {
  switch (kind) {
    case kMonoPre: return kElementPre;
    case kMonoCode: return kElementCode;
    case kMonoTt: return kElementTt;
    case kMonoKbd: return kElementKbd;
    case kMonoSamp: return kElementSamp;
    default: return -1;
  }
}


// Closes the innermost open group, writing its brace.
void CloseInnermost(Conversion& c) {
  TagLoopState& s = c.loop;
  const MonospaceGroup group = s.mono_groups.back();
  // The page's own style of the element ends inside the monospace group.
  if (const int element = StyleElementOf(group.kind); element >= 0) {
    CloseElementStyle(c, element, c.base_size);
  }
  s.mono_groups.pop_back();
  --s.mono_open[static_cast<std::size_t>(group.kind)];
  if (group.braced) c.output += "}";
}

// Browsers give monospace text their smaller monospace size only while its family is
// just "monospace" and no absolute size reaches it; a percentage or em of the page's
// rules then scales that smaller size. Corrects the size written at the group's start
// (`scaled`, 13/16 of the text around) once the page's rules for the element are applied.
void FitToPageRules(Conversion& c, int scaled) {
  const StyleSheet::AppliedFont& font = c.sheet.last_font;
  const bool smaller = !(font.family && !font.generic_monospace) &&
                       !c.sheet.document_size_absolute;
  if (font.size && font.size_absolute) return;  // the page's own size stands
  int half_points = 0;
  if (font.size) {
    if (!smaller) return;  // a percentage of the size around, as written
    half_points = MonospaceHalfPoints(CurrentHalfPoints(c));
  } else {
    if (smaller) return;  // the monospace size, as written
    half_points = CurrentHalfPoints(c);
  }
  if (half_points == scaled && !font.size) return;
  AppendF(c.output, R"(\fs%d )", half_points);
  c.loop.after_control_word = true;
  c.loop.mono_groups.back().half_points = half_points;
}

// Out of line, as CloseMonospace: TryMonospaceTag runs for most tags and finds none.
[[gnu::noinline]] void OpenMonospace(Conversion& c, int kind) {
  TagLoopState& s = c.loop;
  const std::size_t tag = c.pos;
  if (s.mono_groups.size() >= kStackDepth) {
    // Deeper nesting changes nothing: its end tags find no group of their own to close.
    c.pos = TagEndFrom(c.input, tag);
    return;
  }
  if (IsMonospaceBlock(kind)) {
    // A block of its own, like a paragraph, so that its first line starts a line.
    StartBlockParagraph(c);
    s.char_data_allowed = true;
  }
  const bool font = c.monospace_font;
  // Text inside monospace text keeps its size: browsers scale only once.
  const bool inherits = !s.mono_groups.empty();
  int half_points = 0;
  if (inherits) {
    half_points = s.mono_groups.back().half_points;
  } else if (c.options.keep_font_size != 0) {
    half_points = MonospaceHalfPoints(CurrentHalfPoints(c));
  }
  MonospaceGroup group{kind, font, half_points, false};
  if (font || (half_points > 0 && !inherits)) {
    group.braced = true;
    c.output += "{";
    if (font) AppendF(c.output, R"(\f%d)", kMonospaceFontNumber);
    if (half_points > 0 && !inherits) AppendF(c.output, R"(\fs%d)", half_points);
    c.output += " ";
    s.after_control_word = true;
  }
  s.mono_groups.push_back(group);
  ++s.mono_open[static_cast<std::size_t>(kind)];
  UpdatePreservedWhiteSpace(s);
  // The page's style rules for the element come inside the group, so a size or font the
  // page sets wins over the monospace defaults.
  if (const int element = StyleElementOf(kind); element >= 0) {
    OpenElementStyle(c, tag, element, InTableCell(c));
    if (group.braced && !inherits && c.options.keep_font_size != 0) {
      FitToPageRules(c, half_points);
    }
  }
  c.pos = TagEndFrom(c.input, tag);
  // Browsers drop the line feed right after a pre start tag.
  if (IsMonospaceBlock(kind) && ByteAt(c.input, c.pos + 1) == '\n') ++c.pos;
}

[[gnu::noinline]] void CloseMonospace(Conversion& c, int kind) {
  TagLoopState& s = c.loop;
  c.pos = TagEndFrom(c.input, c.pos);
  if (s.mono_open[static_cast<std::size_t>(kind)] <= 0) return;  // no such element open
  // Elements opened inside this one end with it.
  while (!s.mono_groups.empty()) {
    const bool last = s.mono_groups.back().kind == kind;
    CloseInnermost(c);
    if (last) break;
  }
  UpdatePreservedWhiteSpace(s);
  if (!IsMonospaceBlock(kind)) {
    s.after_control_word = false;
    return;
  }
  // The block ends its paragraph.
  if (InTableCell(c)) {
    c.output += c.templates.cell_paragraph_start;
    AppendCellNesting(c);
  } else {
    c.output += c.templates.paragraph_start;
  }
  // The paragraph after a block inside a list item stays in the item.
  ContinueListItem(c);
  s.at_paragraph_start = true;
  ReemitMonospace(c);
}

}  // namespace

void UpdatePreservedWhiteSpace(TagLoopState& s) {
  s.in_pre = s.mono_open[kMonoPre] + s.mono_open[kMonoXmp] + s.mono_open[kMonoListing] > 0 ||
             s.kept_lines_depth > 0;
}

int MonospaceHalfPoints(int half_points) {
  return std::max(1, static_cast<int>(std::lround(half_points * 13.0 / 16.0)));
}

int HeadingHalfPoints(int level, int half_points) {
  if (level < 1 || level > 6) return half_points;
  return std::max(1, static_cast<int>(std::lround(
                         half_points * kHeadingScale[static_cast<std::size_t>(level - 1)])));
}

int BodyTextHalfPoints(const Conversion& c) { return 2 * c.base_size; }

int CurrentHalfPoints(const Conversion& c) {
  if (c.loop.size_active) {
    const int half_points = SizeStringHalfPoints(c.loop.size_string);
    if (half_points > 0) return half_points;
  }
  return BodyTextHalfPoints(c);
}

bool TryMonospaceTag(Conversion& c) {
  const std::string_view in = c.input;
  const std::size_t p = c.pos;
  if (ByteAt(in, p + 1) == '/') {
    const int kind = MayBeMonospaceName(in, p + 2) ? MonospaceKindNamedAt(in, p + 2) : -1;
    if (kind < 0) return false;
    CloseMonospace(c, kind);
    return true;
  }
  const int kind = MonospaceStartTagAtEachTag(in, p);
  if (kind < 0) return false;
  OpenMonospace(c, kind);
  return true;
}

void ReemitMonospace(Conversion& c) {
  const std::vector<MonospaceGroup>& groups = c.loop.mono_groups;
  if (groups.empty()) return;
  const MonospaceGroup& inner = groups.back();
  if (inner.font) AppendF(c.output, R"(\f%d )", kMonospaceFontNumber);
  if (inner.half_points > 0) AppendF(c.output, R"(\fs%d )", inner.half_points);
}

}  // namespace velmorane
