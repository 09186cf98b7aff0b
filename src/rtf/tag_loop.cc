// The tag loop: one forward pass over the cleaned HTML that hands each recognised tag to
// its handler and writes everything else as RTF text (escapes, entities, whitespace).
#include "rtf/tag_loop.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "base/append.h"
#include "base/text_match.h"
#include "css/style_sheet.h"
#include "html/charset.h"
#include "html/entities.h"
#include "platform/files.h"
#include "rtf/blocks.h"
#include "rtf/conversion.h"
#include "rtf/formatting.h"
#include "rtf/links.h"
#include "rtf/lists.h"
#include "rtf/monospace.h"
#include "rtf/pictures.h"
#include "rtf/tables/tables.h"
#include "rtf/tag_scan.h"

namespace velmorane {

namespace {


// Longest entity name, and the most characters a numeric reference may hold.
constexpr std::size_t kMaxEntityName = 10;
constexpr std::size_t kMaxReferenceDigits = 10;
// The output keeps at least this much free room (or the input length, if larger).
constexpr std::size_t kMinHeadRoom = 5000;
// Highest Unicode code point; larger numeric references are dropped.
constexpr long long kMaxCodePoint = 0x10FFFF;

// Makes sure the output has room for what one step may append; false when memory for
// the enlargement cannot be had.
bool EnsureHeadRoom(std::string& output, std::size_t step) {
  const std::size_t free = output.capacity() - output.size();
  if (free >= step) return true;
  try {
    // Grow by half at least, so a long output is not copied once per step.
    output.reserve(output.capacity() + std::max(step, output.capacity() / 2));
    AdviseHugePages(output);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

// The output before the first place a handler may still edit leaves memory.
void FlushOutput(Conversion& c) {
  TagLoopState& s = c.loop;
  // The rows of an open table are edited until it ends, and the html tag drops what the
  // loop wrote before it.
  if (s.table_depth != 0) return;
  if (!s.html_seen && s.html_ahead.At(c.input, c.pos)) return;
  std::size_t limit = c.output.size();
  if (s.last_element_br) limit = std::min(limit, s.br_output_start);
  if (s.word_break_pending) limit = std::min(limit, s.word_break_mark);
  if (c.lists.continuation_end == c.output.size()) {
    limit = std::min(limit, c.lists.continuation_begin);
  }
  c.output.Flush(limit);
}

// Reports the progress checkpoints up to `pos`. A handler may jump over a checkpoint
// inside its tag; it is reported late rather than stalling the bar for good.
void ReportProgress(Conversion& c) {
  ProgressSchedule& schedule = c.schedule;
  // Nearly always the next checkpoint lies ahead: one test, no call.
  if (schedule.index < 0 || !schedule.filled[static_cast<std::size_t>(schedule.index)] ||
      schedule.entries[static_cast<std::size_t>(schedule.index)] > c.pos) {
    return;
  }
  while (schedule.index >= 0 && schedule.filled[schedule.index] &&
         schedule.entries[schedule.index] < c.pos) {
    schedule.Check(schedule.entries[schedule.index], c.progress);
  }
  schedule.Check(c.pos, c.progress);
}

// Writes "\'hh" for a byte at `w` and returns its end.
char* WriteHex(char* w, unsigned char byte) {
  static constexpr char kDigits[] = "0123456789abcdef";
  *w++ = '\\';
  *w++ = '\'';
  *w++ = kDigits[byte >> 4];
  *w++ = kDigits[byte & 15];
  return w;
}

void AppendHex(std::string& out, unsigned char byte) {
  char text[4];
  WriteHex(text, byte);
  out.append(text, sizeof text);
}

// Writes R"(\u%dF)" for a 16-bit unit at `w` (at most 8 bytes) and returns its end: this
// runs once per character of non-Latin text.
char* WriteUnicodeWord(char* w, unsigned unit) {
  *w++ = '\\';
  *w++ = 'u';
  w = WriteDecimal(w, unit);
  *w++ = 'F';
  return w;
}

// Writes a text byte of 128 or more of the document's code page at `w` (at most 12
// bytes) and returns its end: "\\'hh", preceded by the character as "\\uN" where the
// code page is not Windows-1252, so the byte is only the fallback of older readers.
char* WriteHighByte(char* w, std::uint8_t byte, const char16_t* code_page_high) {
  if (code_page_high != nullptr && code_page_high[byte - 0x80] != 0) {
    *w++ = '\\';
    *w++ = 'u';
    w = WriteDecimal(w, code_page_high[byte - 0x80]);
  }
  return WriteHex(w, byte);
}

}  // namespace

// The text WriteHighByte gives for each byte of 128 or more after the byte mapping, so
// that a text run writes such a byte with one table look-up and one fixed-size copy.
struct HighByteTexts {
  struct Entry {
    char text[15];
    std::uint8_t size;
  };
  static_assert(sizeof(Entry) == 16);
  std::array<Entry, 128> entries;

  HighByteTexts(const CharsetState& charset, const char16_t* code_page_high) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      Entry& entry = entries[i];
      const std::uint8_t mapped = MapByte(charset, static_cast<std::uint8_t>(0x80 + i));
      char* end = entry.text;
      if (mapped >= 128) {
        end = WriteHighByte(entry.text, mapped, code_page_high);
      } else {
        *end++ = static_cast<char>(mapped);
      }
      entry.size = static_cast<std::uint8_t>(end - entry.text);
    }
  }
  // Writes the text of `byte` (128 or more) at `w`, which has room for 16 bytes, and
  // returns its end.
  char* Write(char* w, unsigned char byte) const {
    const Entry& entry = entries[byte - 0x80];
    std::memcpy(w, entry.text, sizeof entry.text);
    return w + entry.size;
  }
};

namespace {

// Writes the RTF text of a character code at `w` (at most 16 bytes) and returns its end:
// a byte as "\'hh", a code point above 255 as "\uNF" (as a surrogate pair beyond the
// 16-bit plane). With `latin_as_unicode` (a document whose code page is not Windows-1252)
// the codes 128..255, Windows-1252 characters, are written as "\uNF" too, since the
// reader would take a byte in the document's own code page.
char* WriteCharacterCode(char* w, long long code, bool latin_as_unicode = false) {
  if (code < 32 || code > kMaxCodePoint) return w;
  if (latin_as_unicode && code >= 128 && code <= 255) {
    const unsigned unit = Windows1252ToUnicode(static_cast<unsigned char>(code));
    return unit == 0 ? WriteHex(w, static_cast<unsigned char>(code)) : WriteUnicodeWord(w, unit);
  }
  if (code == 32) {
    *w++ = ' ';
  } else if (code <= 255) {
    w = WriteHex(w, static_cast<unsigned char>(code));
  } else if (code <= 0xFFFF) {
    w = WriteUnicodeWord(w, static_cast<unsigned>(code));
  } else {
    // R"(\u%dF\u%dF)": the surrogate pair.
    const long long v = code - 0x10000;
    w = WriteUnicodeWord(w, static_cast<unsigned>(0xD800 + (v >> 10)));
    w = WriteUnicodeWord(w, static_cast<unsigned>(0xDC00 + (v & 0x3FF)));
  }
  return w;
}

void AppendCharacterCode(std::string& out, long long code, bool latin_as_unicode) {
  char text[16];
  out.append(text,
             static_cast<std::size_t>(WriteCharacterCode(text, code, latin_as_unicode) - text));
}

// Characters of a numeric reference behind `start`: up to the ";" or a blank, at most
// kMaxReferenceDigits. `terminated` tells whether a ";" or blank (or the end) came.
std::size_t ReferenceLength(std::string_view input, std::size_t start, bool& terminated) {
  std::size_t n = 0;
  while (start + n < input.size() && n < kMaxReferenceDigits) {
    const char c = input[start + n];
    if (c == ';' || c == ' ') break;
    ++n;
  }
  terminated = start + n >= input.size() || input[start + n] == ';' || input[start + n] == ' ';
  return n;
}

long long ParseNumber(std::string_view digits, int base) {
  long long value = 0;
  for (char ch : digits) {
    // ASCII tests, not the locale's: they run for every reference of decoded text.
    const char c = AsciiLower(ch);
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else {
      break;
    }
    value = value * base + d;
    if (value > kMaxCodePoint) return kMaxCodePoint + 1;  // too large either way
  }
  return value;
}

void SkipComment(Conversion& c) {
  const std::string_view in = c.input;
  int depth = 1;
  std::size_t p = c.pos + 4;
  while (p < in.size()) {
    if (in.compare(p, 3, "-->") == 0) {
      p += 2;
      if (--depth == 0) {
        c.pos = p;
        return;
      }
      ++p;
    } else if (in.compare(p, 4, "<!--") == 0) {
      ++depth;
      p += 4;
    } else {
      ++p;
    }
  }
  c.pos = in.size() - 1;
}

// What the loop wrote before the html tag is dropped, and with it the formatting that
// text had opened.
void ForgetOutputBeforeHtml(Conversion& c) {
  TagLoopState& s = c.loop;
  const std::size_t start = std::min(s.loop_start_length, c.output.size());
  c.output.Erase(start, c.output.size() - start);

  s.at_paragraph_start = true;
  s.after_paragraph_close = s.after_div_close = s.after_control_word = false;
  s.list_par_pending = false;
  s.font_string.clear();
  s.size_string.clear();
  s.colour_string.clear();
  s.font_active = s.size_active = s.colour_active = s.background_active = false;
  s.font_stack.clear();
  s.size_stack.clear();
  s.colour_stack.clear();
  s.groups = GroupCounters{};
  s.mono_groups.clear();
  s.mono_open.fill(0);
  s.in_pre = false;
  s.kept_lines_depth = 0;
  s.current_size = c.base_size;

  StyleSheet& sheet = c.sheet;
  sheet.bold_groups = sheet.italic_groups = sheet.decoration_groups = sheet.vertical_groups = 0;
  sheet.open_class_rules.fill(0);
  sheet.element_stack.clear();
  sheet.class_stack.clear();
  sheet.inline_stack.clear();
  sheet.positioned = PositionedBlock{};
  c.links.link_open = false;  // its field opening went with the dropped text
  c.blocks.open_definition = 0;
}

// One tag test of the dispatch: `tag` (written in lower case; letters match in any case)
// followed by one of the bytes of `follow` (by anything when it is empty), while `guard`
// (when there is one) allows. `handle` then takes the tag, or returns false to leave it
// to the entries after it.
struct DispatchEntry {
  std::string_view tag;
  std::string_view follow;
  bool (*guard)(const Conversion&);
  bool (*handle)(Conversion&);
};

template <void (*kHandle)(Conversion&)>
bool Take(Conversion& c) {
  kHandle(c);
  return true;
}

bool NotAtParagraphStart(const Conversion& c) { return !c.loop.at_paragraph_start; }
bool InStyledListItem(const Conversion& c) {
  return !c.lists.item_styled.empty() && c.lists.item_styled.back() != 0;
}
// "<h" and a digit, then ">" or a blank.
bool HeadingLevelFollows(const Conversion& c) {
  return std::isdigit(ByteAt(c.input, c.pos + 2)) && IsOneOf(ByteAt(c.input, c.pos + 3), "> ");
}
// "</h" and one byte, then ">".
bool HeadingEndFollows(const Conversion& c) {
  return c.pos + 3 < c.input.size() && ByteAt(c.input, c.pos + 4) == '>';
}
bool InDefinition(const Conversion& c) { return c.blocks.open_definition != 0; }
bool KeepsAlignment(const Conversion& c) { return c.options.keep_alignment != 0; }
bool KeepsHyperlinks(const Conversion& c) { return c.options.keep_hyperlinks != 0; }

void StartBulletList(Conversion& c) { HandleListStart(c, false); }
void EndBulletList(Conversion& c) { HandleListEnd(c, false); }
void StartNumberedList(Conversion& c) { HandleListStart(c, true); }
void EndNumberedList(Conversion& c) { HandleListEnd(c, true); }

// The end of a term, a definition or a definition list while a definition is styled.
void CloseDefinition(Conversion& c) {
  if (!c.loop.at_paragraph_start) RequestWordBreak(c);
  CloseDefinitionStyle(c);
  c.pos = TagEndFrom(c.input, c.pos);
}

// The tag tests in their fixed order; the first that matches and takes the tag wins.
constexpr DispatchEntry kDispatchTable[] = {
    {"<p", "> ", nullptr, Take<HandleParagraphStart>},
    {"</p>", "", nullptr, Take<HandleParagraphEnd>},
    {"<div", "> ", nullptr, Take<HandleDivStart>},
    {"</div>", "", nullptr, Take<HandleDivEnd>},
    {"<!--", "", nullptr, Take<SkipComment>},
    {"<address>", "", NotAtParagraphStart, Take<HandleAddress>},
    {"</address>", "", NotAtParagraphStart, Take<HandleAddress>},
    {"<font", "> \n", nullptr, Take<HandleFontStart>},
    {"</font>", "", nullptr, Take<HandleFontEnd>},
    {"<span", " \n", nullptr, Take<HandleSpanStart>},
    {"</span>", "", nullptr, Take<HandleSpanEnd>},
    {"<input", " \n", nullptr, Take<HandleInput>},
    {"<form", "> \n", nullptr, Take<HandleFormStart>},
    {"</form>", "", nullptr, Take<HandleFormEnd>},
    {"<br", " />", nullptr, Take<HandleLineBreak>},
    {"<ul", "> ", nullptr, Take<StartBulletList>},
    {"</ul>", "", nullptr, Take<EndBulletList>},
    {"<ol", "> ", nullptr, Take<StartNumberedList>},
    {"</ol>", "", nullptr, Take<EndNumberedList>},
    {"<li", "> ", nullptr, Take<HandleListItem>},
    {"</li>", "", InStyledListItem, Take<HandleListItemEnd>},
    {"<h", "", HeadingLevelFollows, Take<HandleHeadingStart>},
    {"</h", "", HeadingEndFollows, Take<HandleHeadingEnd>},
    // The group tags (b, strong, i, em, u, s, strike, sub, sup) test themselves.
    {"<b", "", nullptr, TryGroupTag},
    {"</b", "", nullptr, TryGroupTag},
    {"<e", "", nullptr, TryGroupTag},
    {"</e", "", nullptr, TryGroupTag},
    {"<i", "", nullptr, TryGroupTag},
    {"</i", "", nullptr, TryGroupTag},
    {"<s", "", nullptr, TryGroupTag},
    {"</s", "", nullptr, TryGroupTag},
    {"<u", "", nullptr, TryGroupTag},
    {"</u", "", nullptr, TryGroupTag},
    {"<dl>", "", NotAtParagraphStart, Take<HandleDefinitionList>},
    {"</dd>", "", NotAtParagraphStart, Take<HandleDefinitionEnd>},
    {"</dt>", "", InDefinition, Take<CloseDefinition>},
    {"</dd>", "", InDefinition, Take<CloseDefinition>},
    {"</dl>", "", InDefinition, Take<CloseDefinition>},
    {"<dt", "> \n", nullptr, Take<HandleDefinitionTerm>},
    {"<dd", "> \n", nullptr, Take<HandleDefinitionData>},
    {"<center", "> ", KeepsAlignment, Take<HandleCenterStart>},
    {"</center>", "", KeepsAlignment, Take<HandleCenterEnd>},
    {"<a", " \n", KeepsHyperlinks, Take<HandleAnchorStart>},
    {"</a>", "", KeepsHyperlinks, Take<HandleAnchorEnd>},
    {"<blockquote", "> ", nullptr, Take<HandleBlockquoteStart>},
    {"</blockquote>", "", nullptr, Take<HandleBlockquoteEnd>},
};

// Every tag of the table begins with "<" and a byte, or "</" and a byte: the key of an
// entry, and of a position on a "<", is that byte (in lower case), 256 higher after "/".
// Only the entries of a position's key can match there.
constexpr std::size_t kDispatchKeys = 2 * 256;

constexpr char LowerLetter(char ch) {
  return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + ('a' - 'A')) : ch;
}

constexpr std::size_t DispatchKey(std::string_view text, std::size_t pos) {
  const bool closing = pos + 1 < text.size() && text[pos + 1] == '/';
  const std::size_t at = pos + 1 + (closing ? 1 : 0);
  const char byte = at < text.size() ? LowerLetter(text[at]) : '\0';
  return (closing ? 256 : 0) + static_cast<unsigned char>(byte);
}

// The table sorted by key, table order kept within a key, and where each key's entries
// begin: those of key k are entries[begin[k]] up to entries[begin[k + 1]].
struct DispatchIndex {
  std::array<DispatchEntry, std::size(kDispatchTable)> entries{};
  std::array<std::uint8_t, kDispatchKeys + 1> begin{};
};

constexpr DispatchIndex MakeDispatchIndex() {
  static_assert(std::size(kDispatchTable) < 256);
  DispatchIndex index;
  std::array<std::size_t, kDispatchKeys + 1> count{};
  for (const DispatchEntry& entry : kDispatchTable) {
    if (entry.tag.size() < 2 || entry.tag[0] != '<' || DispatchKey(entry.tag, 0) % 256 == 0) {
      throw std::logic_error("a dispatched tag needs a byte after \"<\" or \"</\"");
    }
    ++count[DispatchKey(entry.tag, 0) + 1];
  }
  for (std::size_t k = 1; k <= kDispatchKeys; ++k) count[k] += count[k - 1];
  for (std::size_t k = 0; k <= kDispatchKeys; ++k) {
    index.begin[k] = static_cast<std::uint8_t>(count[k]);
  }
  for (const DispatchEntry& entry : kDispatchTable) {
    index.entries[count[DispatchKey(entry.tag, 0)]++] = entry;
  }
  return index;
}

constexpr DispatchIndex kDispatchIndex = MakeDispatchIndex();

// Runs the first entry of the table that matches at the position (which is on a "<") and
// takes the tag. Returns false when none does.
bool DispatchTag(Conversion& c) {
  const std::string_view in = c.input;
  const std::size_t p = c.pos;
  const std::size_t key = DispatchKey(in, p);
  for (std::size_t i = kDispatchIndex.begin[key]; i < kDispatchIndex.begin[key + 1]; ++i) {
    const DispatchEntry& entry = kDispatchIndex.entries[i];
    if (!LooksAtNoCase(in, p, entry.tag)) continue;
    if (!entry.follow.empty() && !IsOneOf(ByteAt(in, p + entry.tag.size()), entry.follow)) continue;
    if (entry.guard != nullptr && !entry.guard(c)) continue;
    if (entry.handle(c)) return true;
  }
  return false;
}

// False when no tag of the table can stand at `pos` (on a "<"), such as the table tags:
// they then skip the dispatch.
bool MayStartDispatchedTag(std::string_view in, std::size_t pos) {
  const std::size_t key = DispatchKey(in, pos);
  return kDispatchIndex.begin[key] != kDispatchIndex.begin[key + 1];
}

// Tags tested after the character references: tables, rules and pictures.
bool DispatchLateTag(Conversion& c) {
  if (TryMonospaceTag(c)) return true;
  if (c.output_mode != kModePlainText && TryTableTag(c)) return true;
  if (LooksAtTag(c.input, c.pos, "<hr", "> \n")) {
    HandleHorizontalRule(c);
    return true;
  }
  if (c.convert_images) return TryImageTag(c);
  // Counted for the warning at the end; the tag itself is passed over as any other.
  if (LooksAtTag(c.input, c.pos, "<img", " \n")) ++c.pictures_left_out;
  return false;
}

// Where the control word that ends out[..end) begins (its backslash), or npos when
// out[..end) ends in text.
std::size_t ControlWordBefore(std::string_view out, std::size_t end) {
  std::size_t i = end;
  while (i > 0 && out[i - 1] >= '0' && out[i - 1] <= '9') --i;
  if (i > 0 && out[i - 1] == '-') --i;
  const std::size_t letters_end = i;
  while (i > 0 && AsciiLower(out[i - 1]) >= 'a' && AsciiLower(out[i - 1]) <= 'z') --i;
  if (i == letters_end || i == 0 || out[i - 1] != '\\') return std::string_view::npos;
  // After an escaped backslash the letters are text.
  std::size_t slashes = 0;
  for (std::size_t j = i; j > 0 && out[j - 1] == '\\'; --j) ++slashes;
  return slashes % 2 == 1 ? i - 1 : std::string_view::npos;
}

// True when the blank at `at` ends a control word ("\\fs20 ") rather than being text.
bool EndsControlWord(std::string_view out, std::size_t at) {
  return ControlWordBefore(out, at) != std::string_view::npos;
}

// The output ends in a word: the last thing a reader shows, behind group braces and
// character formatting, is text other than a blank, not a paragraph, line, cell or tab
// mark. Looks back a bounded stretch; beyond it the output counts as ending in a word.
bool EndsInWord(const Conversion& c) {
  if (c.loop.at_paragraph_start) return false;
  constexpr std::size_t kLookBack = 256;
  const std::string_view whole = c.output.text();
  const std::size_t floor = whole.size() > kLookBack ? whole.size() - kLookBack : 0;
  const std::string_view out = whole.substr(floor);
  std::size_t end = out.size();
  while (end > 0) {
    const char last = out[end - 1];
    if (last == '}' || last == '{' || last == '\n' || last == '\r') {
      --end;
      continue;
    }
    const bool blank = last == ' ';
    const std::size_t word = ControlWordBefore(out, blank ? end - 1 : end);
    if (word == std::string_view::npos) return !blank;
    std::size_t letters = word + 1;
    while (letters < out.size() && AsciiLower(out[letters]) >= 'a' &&
           AsciiLower(out[letters]) <= 'z') {
      ++letters;
    }
    const std::string_view name = out.substr(word + 1, letters - word - 1);
    for (const std::string_view mark :
         {"par", "pard", "line", "cell", "row", "nestcell", "nestrow", "tab", "sect", "page"}) {
      if (name == mark) return false;
    }
    end = word;
    if (end >= 2 && out[end - 1] == '*' && out[end - 2] == '\\') end -= 2;  // "\\*"
  }
  return true;
}

// Elements a browser lays out as blocks (and the line break): their tags end a word even
// where the page has no blank around them.
bool IsBlockElementTag(std::string_view in, std::size_t pos) {
  static constexpr std::string_view kBlockNames[] = {
      "address", "article", "aside",    "blockquote", "body",       "br",     "caption",
      "center",  "dd",      "details",  "dialog",     "dir",        "div",    "dl",
      "dt",      "fieldset", "figcaption", "figure",  "footer",     "form",   "frameset",
      "h1",      "h2",      "h3",       "h4",         "h5",         "h6",     "header",
      "hgroup",  "hr",      "legend",   "li",         "listing",    "main",   "menu",
      "nav",     "ol",      "optgroup", "option",     "p",          "plaintext", "pre",
      "section", "summary", "table",    "td",         "th",         "tr",     "ul",
      "xmp"};
  std::size_t at = pos + 1;
  if (ByteAt(in, at) == '/') ++at;
  char name[12];
  std::size_t n = 0;
  while (at < in.size() && n < sizeof name) {
    const char ch = AsciiLower(in[at]);
    if (!((ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9'))) break;
    name[n++] = ch;
    ++at;
  }
  if (n == 0 || n == sizeof name) return false;
  const char next = static_cast<char>(ByteAt(in, at));
  if (at < in.size() && next != '>' && next != '/' && next != ' ' && next != '\n' &&
      next != '\t' && next != '\r') {
    return false;
  }
  const std::string_view key(name, n);
  return std::find(std::begin(kBlockNames), std::end(kBlockNames), key) != std::end(kBlockNames);
}

// Writes the blank a block boundary left pending before the text byte `byte`; source
// whitespace makes the boundary itself.
void WritePendingWordBreak(Conversion& c, unsigned char byte) {
  TagLoopState& s = c.loop;
  s.word_break_pending = false;
  if (byte == ' ' || byte == '\n' || byte == '\t' || !EndsInWord(c)) return;
  const std::string_view since =
      c.output.From(s.word_break_mark);
  for (const std::string_view mark : {"\\par", "\\line", "\\cell", "\\row", "\\tab"}) {
    if (since.find(mark) != std::string_view::npos) return;
  }
  c.output += ' ';
  s.after_control_word = false;
}

// The paragraph a closed p or div leaves pending starts with the next text.
void StartPendingParagraph(Conversion& c, unsigned char byte) {
  TagLoopState& s = c.loop;
  if (s.word_break_pending) {
    if (!s.after_paragraph_close && !(s.after_div_close && byte != '\n' && byte != ' ')) {
      WritePendingWordBreak(c, byte);
    }
    s.word_break_pending = false;
  }
  if (s.after_paragraph_close) {
    BreakParagraph(c);
    ReemitMonospace(c);
  } else if (s.after_div_close && byte != '\n' && byte != ' ') {
    if (InCell(c)) {
      c.output +=
          "\n"
          R"(\par\pard\intbl )";
      if (s.table_depth >= 1 && c.options.keep_nested_tables) {
        AppendF(c.output, R"(\itap%d )", s.cell_level[s.table_depth]);
      }
    } else {
      c.output +=
          "\n"
          R"(\par\pard )";
    }
    ContinueListItem(c);
    s.at_paragraph_start = true;
    s.list_par_pending = false;
  } else {
    return;
  }
  s.after_paragraph_close = false;
  s.after_div_close = false;
}

// Text other than whitespace was written.
void MarkTextWritten(TagLoopState& s) {
  s.at_paragraph_start = false;
  s.cell_has_text = true;
  s.after_control_word = false;
  s.last_element_br = false;
  s.trailing_break = false;
  if (s.center_state == 1) s.center_state = 2;
}

// Printable ASCII bytes that are plain text: not a tag, entity or RTF special, and
// unchanged by every byte mapping.
constexpr std::array<bool, 256> kPlainText = [] {
  std::array<bool, 256> table{};
  for (int b = 0x21; b < 0x7F; ++b) table[static_cast<std::size_t>(b)] = true;
  for (const char b : std::string_view("<>&{}\\")) table[static_cast<unsigned char>(b)] = false;
  return table;
}();

// The length of a decimal reference "&#digits;" at `p` whose character a text run writes
// as the entity rules do (a code from 32 up to the highest code point), or 0. `value` is
// the code to write.
std::size_t RunReference(std::string_view in, std::size_t p, long long& value) {
  if (p + 1 >= in.size() || in[p + 1] != '#') return 0;
  // Four digits (Cyrillic, Greek, most of the decoded text) in one step.
  if (p + 6 < in.size() && in[p + 6] == ';') {
    const auto digit = [&](std::size_t i) {
      return static_cast<unsigned>(static_cast<unsigned char>(in[p + i])) - '0';
    };
    const unsigned d0 = digit(2), d1 = digit(3), d2 = digit(4), d3 = digit(5);
    if (d0 < 10 && d1 < 10 && d2 < 10 && d3 < 10) {
      long long code = d0 * 1000 + d1 * 100 + d2 * 10 + d3;
      if (code == 160) code = 32;
      if (code < 32) return 0;
      value = code;
      return 7;
    }
  }
  const std::size_t first = p + 2;
  const std::size_t limit = std::min(in.size(), first + kMaxReferenceDigits);
  std::size_t q = first;
  long long code = 0;  // at most ten digits: no overflow
  for (; q < limit && in[q] >= '0' && in[q] <= '9'; ++q) code = code * 10 + (in[q] - '0');
  if (q == first || q >= in.size() || in[q] != ';') return 0;
  if (code == 160) code = 32;
  if (code < 32 || code > kMaxCodePoint) return 0;
  value = code;
  return q + 1 - p;
}

// Writes the run of text at the position in one step, exactly as the byte-by-byte path
// would: plain bytes, blanks, decimal references, escaped braces and backslashes, bytes
// above 127 and stray ">" signs. After the first of them the paragraph has begun and no
// control word is pending, so each run of blanks becomes one space. Assumes such an item
// at c.pos, character data allowed, and neither pre-formatted text nor a double-byte
// language. Leaves c.pos on the first byte it did not take. Kept out of line: called once
// a run, it keeps the character writers inlined into its own loop.
[[gnu::noinline]] void WriteTextRun(Conversion& c) {
  TagLoopState& s = c.loop;
  const std::string_view in = c.input;
  StartPendingParagraph(c, static_cast<unsigned char>(in[c.pos]));
  MarkTextWritten(s);
  BlockAppender out(c.output.text());
  std::size_t p = c.pos;
  while (p < in.size()) {
    const unsigned char b = static_cast<unsigned char>(in[p]);
    if (kPlainText[b]) {
      const std::size_t start = p;
      while (p < in.size() && kPlainText[static_cast<unsigned char>(in[p])]) ++p;
      out.Append(in.data() + start, p - start);
    } else if (b == ' ' || b == '\n' || b == '\t') {
      if (out.Last() != ' ') out.Put(' ');
      ++p;
    } else if (b == '&') {
      long long value = 0;
      const std::size_t length = RunReference(in, p, value);
      if (length == 0) break;
      out.Advance(WriteCharacterCode(out.Room(), value, s.latin_as_unicode));
      p += length;
    } else if (b == '{' || b == '}' || b == '\\') {
      char* w = out.Room();
      *w++ = '\\';
      *w++ = static_cast<char>(b);
      out.Advance(w);
      ++p;
    } else if (b >= 128) {
      out.Advance(s.high_byte_texts->Write(out.Room(), b));
      ++p;
    } else if (b == '>') {
      ++p;
    } else {
      break;
    }
  }
  out.Flush();
  c.pos = p;
}

// True when a text run can start at `pos`: see WriteTextRun.
bool StartsTextRun(std::string_view in, std::size_t pos, unsigned char byte) {
  if (kPlainText[byte] || byte >= 128 || byte == '{' || byte == '}' || byte == '\\') {
    return true;
  }
  long long value = 0;
  return byte == '&' && RunReference(in, pos, value) != 0;
}

void WriteWhitespace(Conversion& c, unsigned char byte) {
  TagLoopState& s = c.loop;
  std::string& out = c.output.text();
  if (!s.at_paragraph_start) {
    const char last = out.empty() ? '\0' : out.back();
    if (byte == '\n' && last == '}') {
      // A group just closed: one blank, unless text before it already ended in one.
      const std::size_t before = out.size() - 2;
      if (out.size() >= 3 && (out[before] != ' ' || EndsControlWord(out, before))) out += ' ';
    } else if (last != ' ') {
      out += ' ';
    } else if (s.after_control_word) {
      out += ' ';
      s.cell_has_text = true;
    }
  }
  s.after_control_word = false;
}

}  // namespace

std::string HexEscape(std::uint8_t byte) {
  std::string text;
  AppendHex(text, byte);
  return text;
}

std::size_t DecodeEntity(std::string_view input, std::size_t pos, std::string& out,
                         bool latin_as_unicode) {
  auto next = [&](std::size_t offset) { return ByteAt(input, pos + offset); };
  // Numeric references first: no named test below can match "&#", and decoded UTF-8
  // text reaches the loop as these.
  if (next(1) == '#') {
    // The common form, decimal digits closed by ";", read in one pass; anything else
    // takes the general reading below, which gives the same for this form.
    const std::size_t first = pos + 2;
    const std::size_t limit = std::min(input.size(), first + kMaxReferenceDigits);
    std::size_t q = first;
    long long value = 0;  // at most ten digits: no overflow
    for (; q < limit && input[q] >= '0' && input[q] <= '9'; ++q) {
      value = value * 10 + (input[q] - '0');
    }
    if (q > first && q < input.size() && input[q] == ';') {
      AppendCharacterCode(out, value == 160 ? 32 : value, latin_as_unicode);
      return q - pos;
    }
    bool terminated = false;
    if (next(2) == 'x' || next(2) == 'X') {
      const std::size_t n = ReferenceLength(input, pos + 3, terminated);
      if (!terminated) {
        out += '&';  // the rest is written as text
        return 0;
      }
      AppendCharacterCode(out, ParseNumber(input.substr(pos + 3, n), 16), latin_as_unicode);
      return n + 3;
    }
    const std::size_t n = ReferenceLength(input, pos + 2, terminated);
    if (!terminated) {
      out += '&';
      return 0;
    }
    const long long code = ParseNumber(input.substr(pos + 2, n), 10);
    AppendCharacterCode(out, code == 160 ? 32 : code, latin_as_unicode);
    return n + 2;
  }
  if (LooksAtNoCase(input, pos, "&nbsp")) {
    out += ' ';
    return next(5) == ';' ? 5 : 4;
  }
  if (LooksAtNoCase(input, pos, "&amp;")) {
    out += '&';
    return 4;
  }
  if (LooksAtNoCase(input, pos, "&lt;")) {
    out += '<';
    return 3;
  }
  if (LooksAtNoCase(input, pos, "&gt;")) {
    out += '>';
    return 3;
  }
  if (LooksAtNoCase(input, pos, "&quot") && IsOneOf(ByteAt(input, pos + 5), " ;<")) {
    out += '"';
    return next(5) == ';' ? 5 : 4;
  }
  if (next(1) == ' ') {
    out += '&';
    return 0;
  }
  // A named entity: up to kMaxEntityName characters ended by ";" or a blank.
  std::size_t n = 0;
  while (pos + 1 + n < input.size() && n <= kMaxEntityName) {
    const char c = input[pos + 1 + n];
    if (c == ';' || c == ' ') break;
    ++n;
  }
  if (n <= kMaxEntityName) {
    const std::string_view name = input.substr(pos + 1, n);
    const int code = NamedEntityCode(name);
    if (code != 0) {
      AppendCharacterCode(out, code, latin_as_unicode);
      return n + 1;
    }
  }
  out += '&';
  return 0;
}

void SkipTag(Conversion& c) {
  const std::size_t close = c.input.find('>', c.pos);
  c.pos = close == std::string::npos ? c.input.size() - 1 : close;
}

bool InCell(const Conversion& c) {
  const int depth = c.loop.table_depth;
  return depth >= 0 && depth < kMaxTableDepth && c.loop.in_cell[depth];
}

void WriteSizeInEffect(Conversion& c) {
  if (c.options.keep_font_size && c.loop.current_size != c.base_size) {
    AppendF(c.output, R"(\fs%d )", 2 * c.loop.current_size);
  }
}

void BreakParagraph(Conversion& c) {
  TagLoopState& s = c.loop;
  if (InCell(c)) {
    c.output += c.templates.cell_paragraph_start;
    if (s.table_depth >= 1 && c.options.keep_nested_tables) {
      AppendF(c.output, R"(\itap%d )", s.cell_level[s.table_depth]);
    }
  } else {
    c.output += c.templates.paragraph_start;
  }
  WriteSizeInEffect(c);
  s.at_paragraph_start = true;
  s.list_par_pending = false;
  s.trailing_break = true;
  ContinueListItem(c);
}

void WriteAlternativeText(Conversion& c, std::string_view text) {
  std::size_t first = 0;
  while (first < text.size() && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  if (first == text.size()) return;
  const bool double_byte = IsDoubleByteLanguage(c.charset.language_name);
  StartPendingParagraph(c, static_cast<unsigned char>(text[first]));
  std::string& out = c.output.text();
  bool blank_pending = false;
  for (std::size_t i = first; i < text.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    if (byte <= ' ') {
      blank_pending = true;
      continue;
    }
    if (blank_pending) {
      out += ' ';
      blank_pending = false;
    }
    if (byte == '&') {
      i += DecodeEntity(text, i, out);
    } else if (byte == '{' || byte == '}' || byte == '\\') {
      out += '\\';
      out += static_cast<char>(byte);
    } else {
      const std::uint8_t mapped = MapByte(c.charset, byte);
      if (double_byte || mapped >= 160) {
        AppendHex(out, mapped);
      } else {
        out += static_cast<char>(mapped);
      }
    }
  }
  MarkTextWritten(c.loop);
}

void RequestWordBreak(Conversion& c) {
  if (c.loop.word_break_pending || !EndsInWord(c)) return;
  c.loop.word_break_pending = true;
  c.loop.word_break_mark = c.output.size();
}

void ReemitCharacterState(Conversion& c) {
  if (c.loop.font_active) c.output += c.loop.font_string;
  if (c.loop.size_active) c.output += c.loop.size_string;
  ReemitMonospace(c);
}

void TagLoop(Conversion& c) {
  TagLoopState& s = c.loop;
  const std::string_view in = c.input;
  std::string& out = c.output.text();
  s.loop_start_length = c.output.size();
  c.output.MarkBodyStart();
  s.latin_as_unicode = c.charset.ansi_code_page != 1252;
  s.code_page_high = CodePageHighHalf(c.charset.ansi_code_page);
  const HighByteTexts high_byte_texts(c.charset, s.code_page_high);
  s.high_byte_texts = &high_byte_texts;
  const std::size_t head_room = std::max(kMinHeadRoom, in.size());
  const bool double_byte = IsDoubleByteLanguage(c.charset.language_name);

  while (c.pos < in.size()) {
    if (!EnsureHeadRoom(out, head_room)) break;
    if (c.pos >= c.next_input_release) ReleaseConsumedInput(c);
    if (c.output.WantsFlush()) FlushOutput(c);
    ReportProgress(c);
    const std::size_t pos = c.pos;
    const unsigned char byte = static_cast<unsigned char>(in[pos]);

    // Text comes back after a table or cell start with the first byte that is neither a
    // tag nor a blank (blanks right behind a tag other than a line feed count too).
    if (!s.char_data_allowed && byte != '<' &&
        ((pos > 0 && in[pos - 1] == '>' && byte != '\n') ||
         (byte != '\n' && byte != ' ' && byte != '\t' && byte != '\r'))) {
      s.char_data_allowed = true;
    }

    if (byte == '<' && !s.html_seen && LooksAtTag(in, pos, "<html", "> \n")) {
      SkipTag(c);
      s.html_seen = true;
      ForgetOutputBeforeHtml(c);
      ++c.pos;
      continue;
    }
    if (pos == 0 && in.size() >= 3 && in.compare(0, 3, "\xEF\xBB\xBF") == 0) {
      c.pos = 3;
      continue;
    }
    if (pos > 0 && s.char_data_allowed && !s.in_pre && !double_byte &&
        StartsTextRun(in, pos, byte)) {
      WriteTextRun(c);
      continue;
    }
    if (byte == '<' && MayStartDispatchedTag(in, pos) && DispatchTag(c)) {
      ++c.pos;
      continue;
    }

    // Character references and the bytes RTF reserves.
    if (byte == '&' && s.char_data_allowed) {
      // The pending paragraph first, then the character straight into the output: the
      // decoding reads only the input.
      StartPendingParagraph(c, byte);
      const std::size_t consumed = DecodeEntity(in, pos, out, s.latin_as_unicode);
      MarkTextWritten(s);
      c.pos = pos + consumed + 1;
      continue;
    }
    if ((byte == '{' || byte == '}') && !double_byte) {
      if (s.char_data_allowed) {
        StartPendingParagraph(c, byte);
        out += '\\';
        out += static_cast<char>(byte);
        MarkTextWritten(s);
      }
      ++c.pos;
      continue;
    }
    if (byte == '\\' && s.char_data_allowed && !double_byte) {
      StartPendingParagraph(c, byte);
      out += R"(\\)";
      MarkTextWritten(s);
      ++c.pos;
      continue;
    }

    if (byte == '<' && DispatchLateTag(c)) {
      ++c.pos;
      continue;
    }

    if (s.in_pre && (byte == '\n' || byte == ' ' || byte == '\t')) {
      if (byte == '\n') {
        // A line break, not a paragraph: the block stays one paragraph (in a list item
        // or a cell too). The line feed that ends the block's last line shows nothing.
        if (!EndsMonospaceBlock(in, pos + 1)) {
          out += R"(\line)"
                 "\n";
        }
      } else if (byte == ' ') {
        out += ' ';
      } else {
        out += R"(\tab)"
               "\n";
      }
      ++c.pos;
      continue;
    }

    if (byte == '<') {
      if (!s.at_paragraph_start && IsBlockElementTag(in, pos)) RequestWordBreak(c);
      if (!TryStyledTag(c)) SkipTag(c);
    } else if (byte != '>' && (s.char_data_allowed || s.in_pre)) {
      StartPendingParagraph(c, byte);
      if (byte == '\n' || byte == ' ' || byte == '\t') {
        WriteWhitespace(c, byte);
      } else if (byte >= 32) {
        const std::uint8_t mapped = MapByte(c.charset, byte);
        if (!double_byte && mapped >= 128) {
          char text[12];
          out.append(text, static_cast<std::size_t>(
                               WriteHighByte(text, mapped, s.code_page_high) - text));
        } else if (double_byte) {
          AppendHex(out, mapped);
        } else {
          out += static_cast<char>(mapped);
        }
        MarkTextWritten(s);
      }
    }
    ++c.pos;
  }
  s.high_byte_texts = nullptr;
}

}  // namespace velmorane
