// The RTF that opening and closing an element's style rules writes.
#include "rtf/style_rules.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "base/append.h"
#include "base/text_match.h"
#include "css/style_sheet.h"
#include "rtf/conversion.h"
#include "rtf/monospace.h"
#include "rtf/prologue.h"
#include "rtf/tag_loop.h"

namespace velmorane {

namespace {

// Class names read from a tag keep at most 30 bytes.
constexpr std::size_t kMaxClassName = 30;
// A tag's class and id attributes give at most this many names.
constexpr std::size_t kMaxNames = 8;
// The part of a tag that is searched for attributes and declarations.
constexpr std::size_t kMaxTagText = 499;
// A positioned block is this high, in twips; its position is 16 twips per pixel.
constexpr int kPositionedHeight = 160;
constexpr int kTwipsPerPixel = 16;

constexpr const char kPageBreak[] =
    "\n"
    R"(\pard\page\par)"
    "\n";

void PushBounded(std::vector<AppliedRule>& stack, AppliedRule entry) {
  if (stack.size() < kStackDepth) {
    stack.push_back(entry);
  } else {
    stack.back() = entry;
  }
}

// Removes the most recent entry of `type`; returns its rule index or -1.
int PopRuleOfType(std::vector<AppliedRule>& stack, int type) {
  for (std::size_t i = stack.size(); i-- > 0;) {
    if (stack[i].element_type == type) {
      const int rule = stack[i].rule;
      stack.erase(stack.begin() + static_cast<std::ptrdiff_t>(i));
      return rule;
    }
  }
  return -1;
}

char AlignmentLetter(const std::string& word) { return word.size() >= 3 ? word[2] : 'j'; }

void SetAlignment(TagLoopState& s, char letter) {
  s.alignment_string = StringF(R"(\q%c )", letter);
}

// Whether an element whose tag ends at `tag_end` has something to show: text outside
// tags or a picture before its end tag (nested elements of its kind are skipped).
bool HasVisibleContent(std::string_view in, std::size_t tag_end, int type) {
  std::string_view start_tag, end_tag;
  if (type == kElementSpan) {
    start_tag = "<span";
    end_tag = "</span>";
  } else if (type == kElementDiv) {
    start_tag = "<div";
    end_tag = "</div>";
  }
  int depth = 0;
  std::size_t p = tag_end + 1;
  while (p < in.size()) {
    if (in[p] != '<') {
      if (static_cast<unsigned char>(in[p]) > 32) return true;
      ++p;
      continue;
    }
    if (LooksAtNoCase(in, p, "<img") && p + 4 < in.size() &&
        (in[p + 4] == ' ' || in[p + 4] == '\n')) {
      return true;
    }
    if (!end_tag.empty() && LooksAtNoCase(in, p, end_tag)) {
      if (depth == 0) return false;
      --depth;
    } else if (!start_tag.empty() && LooksAtNoCase(in, p, start_tag) &&
               p + start_tag.size() < in.size() &&
               IsOneOf(static_cast<unsigned char>(in[p + start_tag.size()]), "> \n")) {
      ++depth;
    }
    const std::size_t close = in.find('>', p);
    if (close == std::string_view::npos) return false;
    p = close + 1;
  }
  return false;
}

// The font a closed rule goes back to: the most recent class rule that sets one, else
// the font tag's font, else the body font, else the default font.
void WriteFontToGoBackTo(Conversion& c) {
  const StyleSheet& sheet = c.sheet;
  for (std::size_t i = sheet.class_stack.size(); i-- > 0;) {
    const StyleRule& rule = sheet.rules[sheet.class_stack[i].rule];
    if (rule.has[kPropFontFamily] && rule.font < 25) {
      AppendF(c.output, R"(\f%d )", rule.font + 2);
      return;
    }
  }
  if (c.loop.font_active) {
    c.output += c.loop.font_string;
    return;
  }
  const StyleRule* body = BodyRule(sheet);
  if (body != nullptr && body->has[kPropFontFamily] && body->font < 25) {
    AppendF(c.output, R"(\f%d )", body->font + 2);
    return;
  }
  c.output += R"(\f0 )";
}

}  // namespace

int ScaledToBody(const Conversion& c, int css_half_points) {
  const double points = css_half_points / 2.0 * c.base_size / c.sheet.body_points;
  return std::max(1, static_cast<int>(points + 0.5));
}

void ParseStyleSheet(Conversion& c) {
  ParseStyleText(c.style_present ? std::string_view(c.style_text) : std::string_view(), c.sheet,
                 c.fonts, c.colors);
}

namespace {

// Whether the rule keeps the element's line breaks and blanks. Paragraphs are left out:
// their end tag is often missing, and kept lines would then run on to the end of the page.
bool KeepsLines(const StyleRule& rule, int type) {
  return rule.has[kPropWhiteSpace] && rule.keeps_lines && type != kElementP;
}

void ApplySpacing(ParagraphSpacing& spacing, const StyleRule& rule, std::string& out,
                  bool& after_control_word) {
  const auto& has = rule.has;
  if (has[kPropMarginTop]) {
    spacing.space_before = static_cast<int>(rule.margin_top);
    AppendF(out, R"(\sb%d )", spacing.space_before);
    after_control_word = false;
  }
  if (has[kPropMarginBottom]) spacing.space_after = static_cast<int>(rule.margin_bottom);
  if (has[kPropMarginLeft]) spacing.left_indent = static_cast<int>(rule.margin_left);
  if (has[kPropMarginRight]) spacing.right_indent = static_cast<int>(rule.margin_right);
}

}  // namespace

void ApplyStyleRule(Conversion& c, const StyleRule& rule, int type, std::size_t tag_end) {
  TagLoopState& s = c.loop;
  StyleSheet& sheet = c.sheet;
  const ConversionOptions& o = c.options;
  std::string& out = c.output.text();
  const auto& has = rule.has;

  if (!sheet.positioned.open && has[kPropTop] && has[kPropLeft] && has[kPropWidth]) {
    PositionedBlock& block = sheet.positioned;
    const long long page = o.orientation == 1 ? o.paper_height : o.paper_width;
    block.x = static_cast<int>(std::min<long long>(1LL * rule.left * kTwipsPerPixel, 1 << 30));
    block.y = static_cast<int>(std::min<long long>(1LL * rule.top * kTwipsPerPixel, 1 << 30));
    block.width = static_cast<int>(page - block.x);
    block.height = kPositionedHeight;
    if (HasVisibleContent(c.input, tag_end, type)) {
      AppendF(out, R"({\pard\plain\posx%d\posy%d\absw%d\absh%d )", block.x, block.y, block.width,
              block.height);
      block.open = true;
      s.after_control_word = true;
    }
  }
  if ((has[kPropPageBreakBefore] && rule.page_break_before == 1) ||
      (has[kPropPageBreakAfter] && rule.page_break_after == 1 &&
       (type == kElementHr || type == kElementBr))) {
    out += kPageBreak;
    s.after_control_word = false;
  }
  // A line break or a rule has no text of its own: its font, colours and decoration would
  // only leak into the text after it, since they are never closed.
  if (type == kElementHr || type == kElementBr) {
    if (o.keep_alignment && has[kPropTextAlign]) SetAlignment(s, rule.align);
    ApplySpacing(s.paragraph_spacing, rule, out, s.after_control_word);
    return;
  }
  if (KeepsLines(rule, type)) {
    ++s.kept_lines_depth;
    UpdatePreservedWhiteSpace(s);
  }
  if (has[kPropFontFamily]) {
    sheet.last_font.family = true;
    sheet.last_font.generic_monospace = rule.generic_monospace;
  }
  if (has[kPropFontSize]) {
    sheet.last_font.size = true;
    sheet.last_font.size_absolute = rule.size_percent == 0 && rule.size_absolute;
  }
  if (o.keep_font_face && has[kPropFontFamily] && rule.font < 25) {
    AppendF(out, R"(\f%d )", rule.font + 2);
    s.after_control_word = true;
  }
  if (o.keep_font_color && has[kPropColor]) {
    if (s.colour_active && s.colour_stack.size() < kStackDepth) {
      const std::string& word = s.colour_string;
      const bool numbered = word.size() > 3 && std::isdigit(static_cast<unsigned char>(word[3]));
      s.colour_stack.push_back(numbered ? std::atoi(word.c_str() + 3) : 1);
    }
    s.colour_string = StringF(R"(\cf%d )", rule.color + 3);
    s.colour_active = true;
    out += s.colour_string;
    s.after_control_word = true;
  }
  if (has[kPropFontWeight]) {
    // A group either way, so that the weight around the element comes back after it.
    out += rule.bold == 1 ? R"({\b )" : R"({\b0 )";
    sheet.bold_groups = sheet.bold_groups < 0 ? 1 : sheet.bold_groups + 1;
    s.after_control_word = true;
  }
  if (o.keep_font_size && has[kPropFontSize]) {
    // The size in effect comes back when the element closes (lines and rules never do).
    if (type != kElementBr && type != kElementHr) {
      if (sheet.size_stack.size() < kStackDepth) {
        sheet.size_stack.push_back(s.current_size);
      } else {
        sheet.size_stack.back() = s.current_size;
      }
    }
    // A percentage scales the size in effect ("100%" keeps it); an absolute size stands
    // to the body text as it does in a browser.
    s.current_size = rule.size_percent > 0
                         ? std::max(1, (s.current_size * rule.size_percent + 50) / 100)
                         : ScaledToBody(c, rule.size);
    s.size_string = StringF(R"(\fs%d )", s.current_size * 2);
    out += s.size_string;
    s.after_control_word = true;
  }
  if (o.keep_alignment && has[kPropTextAlign]) SetAlignment(s, rule.align);
  if (has[kPropFontStyle]) {
    // "normal" is a group too: it ends the italic of an em or a class around the element.
    out += rule.style == 'i' ? R"({\i )" : R"({\i0 )";
    sheet.italic_groups = sheet.italic_groups < 0 ? 1 : sheet.italic_groups + 1;
    if (rule.style != 'i') sheet.last_font.upright = true;
    s.after_control_word = true;
  }
  ApplySpacing(s.paragraph_spacing, rule, out, s.after_control_word);
  if (o.keep_background_color && has[kPropBackground] && type != kElementCell) {
    AppendF(out, R"(\chcbpat%d )", rule.background + 3);
    s.after_control_word = true;
  }
  if (has[kPropTextDecoration]) {
    out += rule.decoration == 'u'   ? R"({\ul )"
           : rule.decoration == 'n' ? R"({\ul0 )"
                                    : R"({\strike )";
    sheet.decoration_groups = sheet.decoration_groups < 0 ? 1 : sheet.decoration_groups + 1;
    s.after_control_word = true;
  }
  if (has[kPropVerticalAlign]) {
    out += rule.vertical_align == 'b' ? R"({\sub )" : R"({\super )";
    sheet.vertical_groups = sheet.vertical_groups < 0 ? 1 : sheet.vertical_groups + 1;
    s.after_control_word = true;
  }
}

void CloseStyleRule(Conversion& c, const StyleRule& rule, int type, bool /*from_class_stack*/,
                    int default_size) {
  TagLoopState& s = c.loop;
  StyleSheet& sheet = c.sheet;
  const ConversionOptions& o = c.options;
  std::string& out = c.output.text();
  const auto& has = rule.has;
  // Closing braces end no control word; control words end in the blank that ends them.
  auto close_group = [&](int& counter) {
    if (counter > 0) {
      out += "}";
      --counter;
      s.after_control_word = false;
    }
  };

  if (sheet.positioned.open && has[kPropTop] && has[kPropLeft] && has[kPropWidth]) {
    out += R"(\par})";
    sheet.positioned.open = false;
    s.after_control_word = false;
  }
  if (KeepsLines(rule, type) && s.kept_lines_depth > 0) {
    --s.kept_lines_depth;
    UpdatePreservedWhiteSpace(s);
  }
  if (has[kPropFontWeight] || type == kElementCell) {
    close_group(sheet.bold_groups);
  }
  if (o.keep_font_face && has[kPropFontFamily]) {
    WriteFontToGoBackTo(c);
    s.after_control_word = true;
  }
  if (o.keep_font_size && has[kPropFontSize]) {
    int size = default_size;
    if (!sheet.size_stack.empty()) {
      size = sheet.size_stack.back();
      sheet.size_stack.pop_back();
    }
    if (size != s.current_size) {
      s.current_size = size;
      s.size_string = StringF(R"(\fs%d )", 2 * size);
      out += s.size_string;
      s.after_control_word = true;
    }
  }
  if (has[kPropFontStyle] || type == kElementCell) {
    close_group(sheet.italic_groups);
  }
  if (o.keep_font_color && has[kPropColor]) {
    if (s.colour_stack.empty()) {
      const StyleRule* body = BodyRule(sheet);
      s.colour_string = body != nullptr && body->has[kPropColor]
                            ? StringF(R"(\cf%d )", body->color + 3)
                        : sheet.body_text_colour >= 0
                            ? StringF(R"(\cf%d )", sheet.body_text_colour + 3)
                            : std::string(R"(\cf1 )");
      s.colour_active = false;
    } else {
      s.colour_string = StringF(R"(\cf%d )", s.colour_stack.back());
      s.colour_stack.pop_back();
    }
    out += s.colour_string;
    s.after_control_word = true;
  }
  if (o.keep_background_color && has[kPropBackground] && type != kElementCell) {
    out += R"(\chcbpat0 )";
    s.after_control_word = true;
  }
  if (has[kPropTextDecoration]) close_group(sheet.decoration_groups);
  if (has[kPropVerticalAlign]) close_group(sheet.vertical_groups);
  if (has[kPropPageBreakAfter] && rule.page_break_after == 1) {
    out += kPageBreak;
    s.after_control_word = false;
  }
}

void OpenElementStyle(Conversion& c, std::size_t tag_pos, int type, bool in_cell) {
  TagLoopState& s = c.loop;
  StyleSheet& sheet = c.sheet;
  const ConversionOptions& o = c.options;
  const std::string_view in = c.input;
  if (in.empty()) return;

  if (type == kElementDiv || type == kElementP || type == kElementCell) {
    if (s.alignment_stack.size() < kStackDepth)
      s.alignment_stack.push_back(AlignmentLetter(s.alignment_string));
    if (!in_cell) s.alignment_string = std::string(DefaultAlignmentWord(o));
  }

  sheet.last_font = StyleSheet::AppliedFont{};

  // The tag's own text, behind "<" up to ">".
  const std::size_t close = in.find('>', tag_pos);
  const std::size_t tag_end = close == std::string_view::npos ? in.size() - 1 : close;
  const std::size_t text_start = std::min(tag_pos + 1, tag_end);
  const std::string_view tag = in.substr(text_start, std::min(tag_end - text_start, kMaxTagText));
  c.pos = std::max(c.pos, tag_end);

  // class, id and align attributes.
  std::vector<std::string> names;
  for (std::size_t i = 0; i < tag.size(); ++i) {
    const bool boundary = i == 0 || IsOneOf(static_cast<unsigned char>(tag[i - 1]), " \"'\n\t");
    std::size_t value_pos;
    if (boundary && (LooksAtNoCase(tag, i, "class=") || LooksAtNoCase(tag, i, "class "))) {
      value_pos = i + 5;
    } else if (boundary && LooksAtNoCase(tag, i, "id=")) {
      value_pos = i + 2;
    } else if (o.keep_alignment && i > 0 && tag[i - 1] == ' ' && LooksAtNoCase(tag, i, "align=")) {
      std::size_t p = i + 6;
      while (p < tag.size() && IsOneOf(static_cast<unsigned char>(tag[p]), "\"' ")) ++p;
      std::string value;
      while (p < tag.size() && !IsOneOf(static_cast<unsigned char>(tag[p]), "\"' >")) {
        value += AsciiLower(tag[p++]);
      }
      if (value == "center" || value == "middle") SetAlignment(s, 'c');
      if (value == "left") SetAlignment(s, 'l');
      if (value == "right") SetAlignment(s, 'r');
      if (value == "justify") SetAlignment(s, 'j');
      i = p > i ? p - 1 : i;
      continue;
    } else {
      continue;
    }
    std::size_t p = value_pos;
    while (p < tag.size() && IsOneOf(static_cast<unsigned char>(tag[p]), " \"'=")) ++p;
    // A quoted class value holds names separated by blanks.
    const bool quoted = p > value_pos && IsOneOf(static_cast<unsigned char>(tag[p - 1]), "\"'");
    while (p < tag.size()) {
      std::string name;
      while (p < tag.size() && name.size() < kMaxClassName) {
        const unsigned char ch = static_cast<unsigned char>(tag[p]);
        if (ch < 32 || IsOneOf(ch, " \"'>")) break;
        name += static_cast<char>(ch);
        ++p;
      }
      while (p < tag.size() && static_cast<unsigned char>(tag[p]) >= 32 &&
             !IsOneOf(static_cast<unsigned char>(tag[p]), " \"'>")) {
        ++p;  // the rest of a name too long to keep
      }
      if (!name.empty() && names.size() < kMaxNames) names.push_back(std::move(name));
      if (!quoted) break;
      while (p < tag.size() && (tag[p] == ' ' || tag[p] == '\t' || tag[p] == '\n')) ++p;
      if (p >= tag.size() || IsOneOf(static_cast<unsigned char>(tag[p]), "\"'>")) break;
    }
    i = p > i ? p - 1 : i;
  }

  // Line breaks and rules are never closed; their styles are applied, not kept.
  const bool kept = type != kElementBr && type != kElementHr;

  // The element rule, then the class and id rules. Header cells have rules of their own.
  const int selected_type =
      type == kElementCell && tag.size() >= 2 && AsciiLower(tag[1]) == 'h' ? kElementTh : type;
  if (const int element_rule = MatchRule(sheet, selected_type, {}); element_rule >= 0) {
    if (kept) PushBounded(sheet.element_stack, {element_rule, type});
    ApplyStyleRule(c, sheet.rules[static_cast<std::size_t>(element_rule)], type, tag_end);
  }
  if (!names.empty()) {
    if (const int class_rule = MatchRule(sheet, selected_type, names); class_rule >= 0) {
      const StyleRule& rule = sheet.rules[static_cast<std::size_t>(class_rule)];
      if (kept) PushBounded(sheet.class_stack, {class_rule, type});
      sheet.last_class_flags = rule.has;
      ApplyStyleRule(c, rule, type, tag_end);
      if (kept && IsElementType(type)) ++sheet.open_class_rules[type];
    }
  }
  if (kept && !sheet.conditions.empty()) {
    constexpr std::size_t kMaxOpenElements = 256;
    if (sheet.open_elements.size() < kMaxOpenElements) {
      sheet.open_elements.push_back({type, selected_type, std::move(names)});
    } else {
      ++sheet.open_elements_dropped;
    }
  }
  if (type == kElementFont) return;  // the font tag reads its own attributes

  // The tag's own declarations.
  InlineSlot slot;
  std::size_t p = 0;
  if (ParseDeclarations(tag, p, slot.rule, c.fonts, c.colors)) {
    slot.element_type = type;
    ApplyStyleRule(c, slot.rule, type, tag_end);
    if (kept) {
      if (sheet.inline_stack.size() < kStackDepth) {
        sheet.inline_stack.push_back(std::move(slot));
      } else {
        sheet.inline_stack.back() = std::move(slot);
      }
    }
  }
}

void CloseElementStyle(Conversion& c, int type, int default_size) {
  TagLoopState& s = c.loop;
  StyleSheet& sheet = c.sheet;

  // The element leaves the open elements, with those left open inside it.
  if (sheet.open_elements_dropped > 0) {
    --sheet.open_elements_dropped;
  } else {
    for (std::size_t i = sheet.open_elements.size(); i-- > 0;) {
      if (sheet.open_elements[i].type != type) continue;
      sheet.open_elements.resize(i);
      break;
    }
  }

  const int element_rule = PopRuleOfType(sheet.element_stack, type);
  if (element_rule >= 0) CloseStyleRule(c, sheet.rules[element_rule], type, false, default_size);

  // The element's own declarations; those of elements left open inside it close first.
  for (std::size_t i = sheet.inline_stack.size(); i-- > 0;) {
    if (sheet.inline_stack[i].element_type != type) continue;
    while (sheet.inline_stack.size() > i) {
      const InlineSlot slot = std::move(sheet.inline_stack.back());
      sheet.inline_stack.pop_back();
      CloseStyleRule(c, slot.rule, slot.element_type, false, default_size);
    }
    break;
  }

  if (type == kElementDiv || type == kElementP || type == kElementCell) {
    // Back to the alignment saved when the element opened.
    if (!s.alignment_stack.empty()) {
      SetAlignment(s, s.alignment_stack.back());
      s.alignment_stack.pop_back();
    }
  }

  if (type != kElementCell) {
    if (!IsElementType(type) || sheet.open_class_rules[type] <= 0) return;
    --sheet.open_class_rules[type];
  }
  const int class_rule = PopRuleOfType(sheet.class_stack, type);
  if (class_rule >= 0) {
    CloseStyleRule(c, sheet.rules[class_rule], type, true, default_size);
  } else if (type == kElementCell) {
    CloseStyleRule(c, StyleRule{}, type, true, default_size);  // closes open bold and italic groups
  }
}

}  // namespace velmorane
