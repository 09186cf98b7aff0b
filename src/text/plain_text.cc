// Output mode 0: strips the markup from the decoded input and leaves its text, with line
// feeds for paragraphs, rows and breaks, tab-separated table cells, optional link
// addresses and optional line folding.
#include "text/plain_text.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/options.h"
#include "base/text_match.h"
#include "html/charset.h"
#include "html/entities.h"
#include "html/html_tag_ahead.h"
#include "rtf/conversion.h"

namespace velmorane {
namespace {

// A link address longer than this is cut; the look-ahead for a picture inside a link
// stops after kLinkLookAhead bytes.
constexpr std::size_t kMaxAddressLength = 1995;
constexpr std::size_t kLinkLookAhead = 500;
// Entity names and numbers longer than this are not references.
constexpr std::size_t kMaxEntityChars = 10;

constexpr char kCellEnd[] = "\t\t";

bool IsSpace(unsigned char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }

// True when `keyword` stands at `pos` and is followed by one of `next` (an end of text
// is no follower). Whitespace inside a tag is insignificant, so where a blank may
// follow, a tab or line feed may too.
bool TagAt(std::string_view text, std::size_t pos, std::string_view keyword,
           std::string_view next) {
  if (!AtNoCase(text, pos, keyword)) return false;
  const std::size_t after = pos + keyword.size();
  if (after >= text.size()) return false;
  const unsigned char c = static_cast<unsigned char>(text[after]);
  return next.find(static_cast<char>(c)) != std::string_view::npos ||
         (IsSpace(c) && next.find(' ') != std::string_view::npos);
}

// The length of a tag without attributes at `pos`: `name` (any case) and ">", with
// nothing but whitespace between them. 0 when there is none.
std::size_t BareTagAt(std::string_view text, std::size_t pos, std::string_view name,
                      bool exact_case = false) {
  if (exact_case ? !AtExact(text, pos, name) : !AtNoCase(text, pos, name)) return 0;
  std::size_t at = pos + name.size();
  while (at < text.size() && IsSpace(static_cast<unsigned char>(text[at]))) ++at;
  return at < text.size() && text[at] == '>' ? at + 1 - pos : 0;
}

// The position after the next end tag `name` ("</script", any case) at or after `pos`,
// or the end of the text when there is none.
std::size_t SkipThroughEndTag(std::string_view text, std::size_t pos, std::string_view name) {
  for (std::size_t at = text.find('<', pos); at != std::string_view::npos;
       at = text.find('<', at + 1)) {
    if (const std::size_t length = BareTagAt(text, at, name)) return at + length;
  }
  return text.size();
}

// The position after the next ">" at or after `pos`, or the end of the text.
std::size_t SkipThroughTagEnd(std::string_view text, std::size_t pos) {
  const std::size_t at = text.find('>', pos);
  return at == std::string_view::npos ? text.size() : at + 1;
}

// Elements that stand on lines of their own. Their tags separate the words on both sides
// even when no rule breaks the line for them.
constexpr std::string_view kBlockElements[] = {
    "address", "article", "aside", "blockquote", "body", "caption", "center", "dd",
    "div", "dl", "dt", "fieldset", "figcaption", "figure", "footer", "form", "h1", "h2",
    "h3", "h4", "h5", "h6", "head", "header", "hr", "html", "li", "main", "nav", "ol",
    "p", "pre", "section", "tbody", "tfoot", "thead", "title", "ul",
};

// True when the tag at `pos` (a "<") opens or closes a block element.
bool BlockTagAt(std::string_view text, std::size_t pos) {
  std::size_t start = pos + 1;
  if (ByteAt(text, start) == '/') ++start;
  std::size_t end = start;
  while (end < text.size() && end - start <= 10 &&
         ((text[end] >= 'a' && text[end] <= 'z') || (text[end] >= 'A' && text[end] <= 'Z') ||
          (text[end] >= '0' && text[end] <= '9'))) {
    ++end;
  }
  const unsigned char after = ByteAt(text, end);
  if (end == start || !(IsSpace(after) || after == '>' || after == '/')) return false;
  for (std::string_view name : kBlockElements) {
    if (name.size() == end - start && AtNoCase(text, start, name)) return true;
  }
  return false;
}

// Only these three spellings open or close a style block.
bool StyleStartAt(std::string_view text, std::size_t pos) {
  return AtExact(text, pos, "<style") || AtExact(text, pos, "<Style") ||
         AtExact(text, pos, "<STYLE");
}

// Skips a style block from its start tag through the first of its end tags.
std::size_t SkipStyleBlock(std::string_view text, std::size_t pos) {
  for (std::size_t at = text.find('<', pos + 1); at != std::string_view::npos;
       at = text.find('<', at + 1)) {
    for (std::string_view name : {"</style", "</Style", "</STYLE"}) {
      if (const std::size_t length = BareTagAt(text, at, name, /*exact_case=*/true)) {
        return at + length;
      }
    }
  }
  return text.size();
}

// Skips an option element. Its end tag may be left out, so the next option or the end
// of the select element ends it too; those are not consumed.
std::size_t SkipOption(std::string_view text, std::size_t pos) {
  for (std::size_t at = text.find('<', pos + 1); at != std::string_view::npos;
       at = text.find('<', at + 1)) {
    if (const std::size_t length = BareTagAt(text, at, "</option")) return at + length;
    if (AtNoCase(text, at, "<option") || AtNoCase(text, at, "</select")) return at;
  }
  return text.size();
}

// Skips a comment starting at `pos` ("<!--"), counting comments opened inside it.
std::size_t SkipNestedComment(std::string_view text, std::size_t pos) {
  int depth = 1;
  std::size_t at = pos + 4;
  while (at < text.size()) {
    if (AtExact(text, at, "-->")) {
      at += 3;
      if (--depth == 0) return at;
    } else if (AtExact(text, at, "<!--")) {
      at += 4;
      ++depth;
    } else {
      ++at;
    }
  }
  return text.size();
}

// Head mode: everything up to the end of the head is dropped. Returns where normal
// copying resumes (the end of the text when the head never ends).
std::size_t SkipHead(std::string_view text, std::size_t pos) {
  while (pos < text.size()) {
    if (StyleStartAt(text, pos)) {
      pos = SkipStyleBlock(text, pos);
    } else if (TagAt(text, pos, "<body", "> \n")) {
      return SkipThroughTagEnd(text, pos);
    } else if (TagAt(text, pos, "<p", "> \n") || TagAt(text, pos, "<div", "> ")) {
      return pos;  // the body has begun without its tag; copy this tag
    } else if (TagAt(text, pos, "<td", "> \n") || TagAt(text, pos, "<th", "> \n")) {
      return SkipThroughTagEnd(text, pos);
    } else if (AtNoCase(text, pos, "<script")) {
      pos = SkipThroughEndTag(text, pos, "</script");
    } else if (const std::size_t length = BareTagAt(text, pos, "</head")) {
      return pos + length;
    } else {
      ++pos;
    }
  }
  return pos;
}

// The pre-pass: a copy of the input without head, scripts, style blocks, option
// elements, server-side blocks and comments. Line feeds are kept as they are.
// The text without head, scripts, styles, options, server blocks and comments, in place:
// the pass only copies or drops bytes, so the kept ones move down over what it has read,
// and everything it reads ahead lies at or after the read position.
void StripNonText(std::string& page) {
  const std::string_view text = page;
  char* const data = page.data();
  std::size_t w = 0;
  bool body_started = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t head_length = body_started ? 0 : BareTagAt(text, pos, "<head");
    if (head_length != 0) {
      // A head tag with attributes is not taken for the head.
      pos = SkipHead(text, pos + head_length);
      body_started = true;
    } else if (AtNoCase(text, pos, "<script")) {
      pos = SkipThroughEndTag(text, pos, "</script");
    } else if (StyleStartAt(text, pos)) {
      pos = SkipStyleBlock(text, pos);
    } else if (TagAt(text, pos, "<option", "> ")) {
      pos = SkipOption(text, pos);
    } else if (AtExact(text, pos, "<%")) {
      const std::size_t end = text.find("%>", pos + 2);
      pos = end == std::string_view::npos ? text.size() : end + 2;
    } else if (AtExact(text, pos, "<!--")) {
      pos = SkipNestedComment(text, pos);
    } else {
      // Move the run up to the next byte that may start one of the constructs above.
      const std::size_t next = std::min(text.find('<', pos + 1), text.size());
      if (w != pos) std::memmove(data + w, data + pos, next - pos);
      w += next - pos;
      pos = next;
    }
  }
  page.resize(w);
}

// The code of a named reference plain text knows (the names of one byte), or 0.
unsigned char LookupEntity(std::string_view name) {
  const int code = NamedEntityCode(name);
  return code > 0 && code <= 255 ? static_cast<unsigned char>(code) : 0;
}

// Decodes the character reference at `amp` (an "&") into at most one byte of `result`.
// Returns the offset of the last consumed byte from the "&".
// A numeric reference above 255 leaves its code in `wide` (and a "?" in `result`, the
// writer's stand-in); `wide` is 0 otherwise.
std::size_t DecodeTextEntity(std::string_view text, std::size_t amp, std::string& result,
                             char32_t& wide) {
  result.clear();
  wide = 0;
  const unsigned char after_name = ByteAt(text, amp + 5);  // after "&nbsp" or "&quot"
  if (AtExact(text, amp, "&nbsp")) {
    result = " ";
    return after_name == ';' ? 5 : 4;
  }
  if (AtExact(text, amp, "&amp;")) {
    result = "&";
    return 4;
  }
  if (AtExact(text, amp, "&lt;") || AtExact(text, amp, "&gt;")) {
    result = text[amp + 1] == 'l' ? "<" : ">";
    return 3;
  }
  if (AtExact(text, amp, "&quot") &&
      (after_name == ' ' || after_name == ';' || after_name == '<')) {
    result = "\"";
    return after_name == ';' ? 5 : 4;
  }
  const unsigned char after_quote = ByteAt(text, amp + 6);
  const bool quote_ends = after_quote == ' ' || after_quote == ';' || after_quote == '<';
  if (quote_ends && (AtExact(text, amp, "&rsquo") || AtExact(text, amp, "&lsquo") ||
                     AtExact(text, amp, "&rdquo") || AtExact(text, amp, "&ldquo"))) {
    result = text[amp + 2] == 's' ? "'" : "\"";
    return after_quote == ';' ? 6 : 5;
  }

  if (AtExact(text, amp, "&#")) {
    const bool hex = ByteAt(text, amp + 2) == 'x';
    const std::size_t start = amp + (hex ? 3 : 2);
    // The number runs up to ";" or a blank; without either within ten characters the
    // "&" stands for itself and everything after it is read as text.
    std::size_t count = 0;
    while (count < kMaxEntityChars && start + count < text.size() &&
           text[start + count] != ';' && text[start + count] != ' ') {
      ++count;
    }
    const unsigned char number_end = ByteAt(text, start + count);
    if (start + count >= text.size() || (number_end != ';' && number_end != ' ')) {
      result = "&";
      return 0;
    }
    // Leading digits give the value, as a C number reader would.
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const unsigned char c = static_cast<unsigned char>(AsciiLower(text[start + i]));
      if (c >= '0' && c <= '9') {
        value = value * (hex ? 16 : 10) + (c - '0');
      } else if (hex && c >= 'a' && c <= 'f') {
        value = value * 16 + (c - 'a' + 10);
      } else {
        break;
      }
    }
    // A character above 255 is the writer's to place (a byte of the output's code page,
    // or Unicode text).
    const unsigned char low = static_cast<unsigned char>(value & 0xFF);
    if (value > 255) {
      result = "?";
      wide = value <= 0x10FFFF ? static_cast<char32_t>(value) : U'\uFFFD';
    } else if (value == 32) {
      result = " ";
    } else if (value >= 33) {
      result.assign(1, static_cast<char>(low));
    }
    return count + (hex ? 3 : 2);
  }

  // A named reference: the name runs up to ";" or a blank.
  std::size_t length = 0;
  while (length < kMaxEntityChars && amp + 1 + length < text.size() &&
         text[amp + 1 + length] != ';' && text[amp + 1 + length] != ' ') {
    ++length;
  }
  const unsigned char end = ByteAt(text, amp + 1 + length);
  if (amp + 1 + length >= text.size() || (end != ';' && end != ' ')) {
    result = "&";
    return 0;
  }
  const unsigned char code = LookupEntity(text.substr(amp + 1, length));
  if (code != 0) {
    result.assign(1, static_cast<char>(code));
    return length + 1;
  }
  // An unknown name closed by ";" vanishes with it. A bare "&" before a blank, or an
  // unknown word closed by a blank ("Q&A session"), is text and stays.
  if (end != ';' || length == 0) {
    result = "&";
    return 0;
  }
  return length + 1;
}

// The bytes 128..255 of the output's 8-bit code page as Unicode and back, looked up when
// a character beyond ASCII first has to be placed.
class CodePageBytes {
 public:
  explicit CodePageBytes(int code_page) : name_("CP" + std::to_string(code_page)) {}

  // The byte of `code` in the code page, or -1 when the code page has none.
  int ByteOf(char32_t code) {
    if (code < 0x80) return static_cast<int>(code);
    if (!built_) Build();
    const auto found = std::lower_bound(reverse_.begin(), reverse_.end(),
                                        std::pair<char32_t, int>(code, 0));
    return found != reverse_.end() && found->first == code ? found->second : -1;
  }
  // The character of a byte (U+FFFD where the code page has none).
  char32_t CharacterOf(unsigned char byte) {
    if (byte < 0x80) return byte;
    if (!built_) Build();
    const char32_t code = high_[byte - 0x80];
    return code != 0 ? code : U'\uFFFD';
  }

 private:
  void Build() {
    built_ = true;
    for (std::size_t i = 0; i < high_.size(); ++i) {
      std::string one(1, static_cast<char>(0x80 + i));
      if (!ConvertToUtf8(name_, one)) break;
      high_[i] = OnlyCharacter(one);
      if (high_[i] != 0) reverse_.emplace_back(high_[i], static_cast<int>(0x80 + i));
    }
    std::sort(reverse_.begin(), reverse_.end());
  }
  // The one character of a short UTF-8 text (0 for none, or for U+FFFD).
  static char32_t OnlyCharacter(std::string_view utf8) {
    if (utf8.empty()) return 0;
    const unsigned char lead = static_cast<unsigned char>(utf8[0]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (utf8.size() != length) return 0;
    char32_t code = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (std::size_t k = 1; k < length; ++k) code = (code << 6) | (utf8[k] & 0x3F);
    return code == 0xFFFD ? 0 : code;
  }

  std::string name_;
  std::array<char32_t, 128> high_{};
  std::vector<std::pair<char32_t, int>> reverse_;
  bool built_ = false;
};

// The state of the main walk.
class TextWriter {
 public:
  TextWriter(Conversion& c, std::string_view text)
      : c_(c),
        text_(text),
        out_(c.output.text()),
        folding_(c.options.line_folding != 0),
        keep_links_(c.options.keep_hyperlinks != 0),
        code_page_(c.charset.ansi_code_page) {
    const int width = MaxLineWidth(c.options);
    width_ = width > 0 ? static_cast<std::size_t>(width) : 80;
  }

  void Run();
  // When a character did not fit the 8-bit code page, the whole text is UTF-8 with a
  // byte-order mark.
  void FinishUnicode();

 private:
  // Each step handles the construct at pos_ and returns false when it does not apply.
  bool HtmlTag();
  bool Comment();
  bool BlockTag();
  bool LinkEnd();    // "</a>": writes the address waiting for it
  bool LinkStart();  // "href=" inside an "<a " tag: prepares the address
  bool TableTag();
  bool BreakTag();
  void TextByte(unsigned char byte);
  void Entity();

  // Appends bytes taken from the input (mapped to the output character set).
  void PutSource(std::string_view bytes);
  // Appends one byte of the code page (as UTF-8 once the text is Unicode).
  void PutByte(unsigned char byte) {
    if (unicode_ && byte >= 0x80) {
      AppendUtf8(out_, code_page_.CharacterOf(byte));
    } else {
      out_.push_back(static_cast<char>(byte));
    }
  }
  // Rewrites the text so far in UTF-8; what follows is written so.
  void SwitchToUnicode();
  // Writes a blank where a source blank belongs in folded output, then any pending break.
  void FoldedBlank();
  // Whitespace between words: at most one blank, never at the start of a line.
  void Whitespace();
  // Called before text is written: a tag that separates words but breaks no line has
  // left a gap, which becomes a blank now (so no line ends in one).
  void CloseGap();
  // A break becomes pending when the output length reaches a multiple of the width.
  void NoteFoldPoint() {
    const std::size_t size = c_.output.size() + spilled_growth_;
    if (size != 0 && size % width_ == 0) break_pending_ = true;
  }
  // The text before the first place still to be edited leaves memory.
  void FlushOutput();
  // Two tabs for each cell the open row still expects, then a line feed.
  void FinishRow();
  // Counts the cells of the row whose "<tr" is at pos_.
  int CountCells() const;
  bool EndsWith(char byte) const { return !out_.empty() && out_.back() == byte; }
  void Advance(std::size_t new_pos) { pos_ = std::max(new_pos, pos_ + 1); }
  void ReportProgress();

  Conversion& c_;
  // What the part of the text in the spill file grew by when it turned to UTF-8.
  std::size_t spilled_growth_ = 0;
  // An "<html" still ahead: the text written before it goes when it comes.
  HtmlTagAhead html_ahead_;
  std::string_view text_;
  std::string& out_;
  std::size_t pos_ = 0;
  std::size_t width_ = 80;
  bool folding_;
  bool keep_links_;

  bool html_seen_ = false;
  bool in_text_ = true;      // inside character data, not in a skipped tag
  bool in_link_tag_ = false; // the skipped tag is an "<a " tag
  bool last_blank_ = false;  // the last byte written for whitespace was a blank
  bool written_ = false;     // any text has been written
  bool break_pending_ = false;
  bool gap_ = false;         // a tag has separated words; see CloseGap
  std::string link_text_;    // "[address]" waiting for the end of the link
  bool link_pending_ = false;
  bool row_open_ = false;
  int cells_expected_ = 0;
  std::string entity_;
  CodePageBytes code_page_;
  // A character the code page lacks was met: the text so far was rewritten in UTF-8 and
  // everything after it is written so.
  bool unicode_ = false;
};

void TextWriter::ReportProgress() {
  // Constructs are consumed whole, so a checkpoint may be passed without being hit.
  ProgressSchedule& s = c_.schedule;
  while (s.index >= 0 && s.filled[s.index] && s.entries[s.index] <= pos_) {
    s.Check(s.entries[s.index], c_.progress);
  }
}

void TextWriter::PutSource(std::string_view bytes) {
  for (char byte : bytes) PutByte(MapByte(c_.charset, static_cast<std::uint8_t>(byte)));
}

void TextWriter::FoldedBlank() {
  if (!out_.empty() && !EndsWith(' ') && !EndsWith('\n')) PutSource(" ");
  if (break_pending_) {
    if (!out_.empty() && !EndsWith('\n')) out_.push_back('\n');
    break_pending_ = false;
  }
}

void TextWriter::Whitespace() {
  if (folding_) {
    FoldedBlank();
  } else if (!last_blank_ && !out_.empty() && !EndsWith('\n')) {
    PutSource(" ");
    last_blank_ = true;
  }
}

void TextWriter::CloseGap() {
  if (!gap_) return;
  gap_ = false;
  if (out_.empty() || EndsWith(' ') || EndsWith('\n') || EndsWith('\t')) return;
  if (folding_) {
    FoldedBlank();
    NoteFoldPoint();
  } else {
    Whitespace();
  }
}

void TextWriter::FinishRow() {
  for (int i = 0; i < cells_expected_; ++i) out_ += kCellEnd;
  out_.push_back('\n');
}

bool TextWriter::HtmlTag() {
  if (html_seen_ || !TagAt(text_, pos_, "<html", "> \n")) return false;
  // Whatever stood before the html tag is not part of the page's text.
  out_.clear();
  last_blank_ = written_ = break_pending_ = gap_ = false;
  html_seen_ = true;
  Advance(SkipThroughTagEnd(text_, pos_));
  return true;
}

bool TextWriter::BlockTag() {
  std::size_t length = BareTagAt(text_, pos_, "</p");
  if (length == 0) length = BareTagAt(text_, pos_, "<p");
  // A heading end: "</h" and one more byte.
  if (length == 0 && AtNoCase(text_, pos_, "</h") && pos_ + 3 < text_.size()) {
    const std::size_t rest = BareTagAt(text_, pos_ + 4, "");
    if (rest != 0) length = 4 + rest;
  }
  if (length == 0) return false;
  if (folding_) {
    // Folded text flows on, but the words on both sides stay apart.
    gap_ = true;
  } else {
    out_.push_back('\n');
  }
  Advance(pos_ + length);
  return true;
}

bool TextWriter::LinkEnd() {
  if (!keep_links_) return false;
  const std::size_t length = BareTagAt(text_, pos_, "</a");
  if (length == 0) return false;
  if (link_pending_) {
    CloseGap();
    PutSource(link_text_);
  }
  link_pending_ = false;
  link_text_.clear();
  Advance(pos_ + length);
  return true;
}

bool TextWriter::LinkStart() {
  if (!keep_links_ || in_text_ || !in_link_tag_ || !AtNoCase(text_, pos_, "href=")) {
    return false;
  }

  const std::size_t tag_end = SkipThroughTagEnd(text_, pos_);
  link_pending_ = false;
  link_text_.clear();

  bool shows_picture = false;
  if (c_.convert_images) {
    const std::size_t span_end = std::min(text_.size(), pos_ + kLinkLookAhead);
    for (std::size_t at = pos_; at < span_end; ++at) {
      if (AtNoCase(text_, at, "</a>")) break;
      if (AtNoCase(text_, at, "<img ")) {
        shows_picture = true;
        break;
      }
    }
  }
  if (!shows_picture) {
    // The value keeps its quotes. A quoted value ends at its closing quote; an unquoted
    // one at a blank or at the end of the tag. Neither reaches past the tag.
    const std::size_t start = pos_ + 5;
    const std::size_t limit = std::min(tag_end, start + kMaxAddressLength);
    const unsigned char quote = ByteAt(text_, start);
    std::size_t end = start;
    if (quote == '"' || quote == '\'') {
      const std::size_t close = text_.substr(0, limit).find(static_cast<char>(quote), start + 1);
      end = close == std::string_view::npos ? limit : close + 1;
    } else {
      while (end < limit && text_[end] != ' ' && text_[end] != '\n' && text_[end] != '\t' &&
             text_[end] != '>') {
        ++end;
      }
    }
    const std::string_view value = text_.substr(start, end - start);
    std::string lower(value);
    for (char& ch : lower) ch = AsciiLower(ch);
    if (!value.empty() && lower.find("javascript") == std::string::npos) {
      link_text_ = "[" + std::string(value) + "]";
      link_pending_ = true;
    }
  }
  in_link_tag_ = false;
  Advance(tag_end);
  return true;
}

int TextWriter::CountCells() const {
  // The row ends at its end tag; a row left open ends at the next row or table tag.
  int cells = 0;
  for (std::size_t at = text_.find('<', pos_ + 1); at != std::string_view::npos;
       at = text_.find('<', at + 1)) {
    if (BareTagAt(text_, at, "</tr") != 0 || TagAt(text_, at, "<tr", "> ") ||
        AtNoCase(text_, at, "<table") || AtNoCase(text_, at, "</table")) {
      break;
    }
    if (TagAt(text_, at, "<td", "> \n") || TagAt(text_, at, "<th", "> \n")) ++cells;
  }
  return cells;
}

bool TextWriter::TableTag() {
  if (AtNoCase(text_, pos_, "<table")) {
    if (row_open_ && cells_expected_ > 0) FinishRow();
    row_open_ = false;
    Advance(SkipThroughTagEnd(text_, pos_));
    return true;
  }
  if (const std::size_t length = BareTagAt(text_, pos_, "</table")) {
    row_open_ = false;
    while (out_.size() > 1 && (EndsWith(' ') || EndsWith('\n'))) out_.pop_back();
    out_.push_back('\n');
    Advance(pos_ + length);
    return true;
  }
  if (TagAt(text_, pos_, "<tr", "> ")) {
    if (row_open_ && cells_expected_ > 0) FinishRow();
    if (out_.size() >= 2 && out_.ends_with("\n ")) out_.pop_back();
    row_open_ = true;
    cells_expected_ = CountCells();
    Advance(SkipThroughTagEnd(text_, pos_));
    return true;
  }
  if (TagAt(text_, pos_, "<td", "> \n") || TagAt(text_, pos_, "<th", "> \n")) {
    Advance(SkipThroughTagEnd(text_, pos_));
    return true;
  }
  if (!row_open_) return false;
  std::size_t length = BareTagAt(text_, pos_, "</td");
  if (length == 0) length = BareTagAt(text_, pos_, "</th");
  if (length != 0) {
    out_ += kCellEnd;
    --cells_expected_;
    Advance(pos_ + length);
    return true;
  }
  if ((length = BareTagAt(text_, pos_, "</tr")) != 0) {
    FinishRow();
    row_open_ = false;
    Advance(pos_ + length);
    return true;
  }
  return false;
}

bool TextWriter::BreakTag() {
  if (!TagAt(text_, pos_, "<br", " \n/>") && !TagAt(text_, pos_, "<li", "> ")) return false;
  if (folding_) {
    gap_ = true;
  } else {
    out_.push_back('\n');
  }
  Advance(SkipThroughTagEnd(text_, pos_));
  return true;
}

void TextWriter::Entity() {
  char32_t wide = 0;
  const std::size_t last = DecodeTextEntity(text_, pos_, entity_, wide);
  // Under a code page other than Windows-1252 a reference to 128..255 means the
  // Windows-1252 character, which that code page may hold elsewhere or not at all.
  if (wide == 0 && entity_.size() == 1 && c_.charset.ansi_code_page != 1252 &&
      static_cast<unsigned char>(entity_[0]) >= 0x80) {
    wide = Windows1252ToUnicode(static_cast<unsigned char>(entity_[0]));
    if (wide == 0) wide = U'\uFFFD';
  }
  if (wide == U'\uFEFF' && !written_) {
    // The byte-order mark of a UTF-16 page: the text file gets its own mark, once.
    if (!unicode_) SwitchToUnicode();
    entity_.clear();
  } else if (wide != 0) {
    const int byte = unicode_ ? -1 : code_page_.ByteOf(wide);
    if (byte >= 0) {
      entity_.assign(1, static_cast<char>(byte));
    } else {
      if (!unicode_) SwitchToUnicode();
      entity_.clear();
      AppendUtf8(entity_, wide);
    }
  } else if (unicode_ && entity_.size() == 1 && static_cast<unsigned char>(entity_[0]) >= 0x80) {
    const char32_t code = code_page_.CharacterOf(static_cast<unsigned char>(entity_[0]));
    entity_.clear();
    AppendUtf8(entity_, code);
  }
  // A reference to a blank does not start the text.
  if (!entity_.empty() && !(entity_ == " " && !written_)) {
    CloseGap();
    out_ += entity_;
    written_ = true;
  }
  last_blank_ = false;
  Advance(pos_ + last + 1);
}

void TextWriter::TextByte(unsigned char byte) {
  if (byte == '\n' || byte == ' ' || byte == '\t') {
    Whitespace();
  } else if (byte >= 32) {
    CloseGap();
    PutByte(MapByte(c_.charset, byte));
    last_blank_ = false;
    written_ = true;
  }
  // Folded text is one stream, broken at the first blank past each multiple of the width.
  if (folding_) NoteFoldPoint();
}

bool TextWriter::Comment() {
  if (!AtExact(text_, pos_, "<!--")) return false;
  // Comments the pre-pass left behind; a comment opened inside is skipped first.
  std::size_t at = pos_ + 4;
  while (at < text_.size() && !AtExact(text_, at, "-->")) {
    if (AtExact(text_, at, "<!--")) {
      const std::size_t inner = text_.find("-->", at + 4);
      at = inner == std::string_view::npos ? text_.size() : inner + 3;
    } else {
      ++at;
    }
  }
  Advance(std::min(at + 3, text_.size()));
  return true;
}

void TextWriter::FlushOutput() {
  if (!html_seen_ && html_ahead_.At(text_, pos_)) return;
  c_.output.Flush(c_.output.size());
}

void TextWriter::Run() {
  while (pos_ < text_.size()) {
    if (c_.output.WantsFlush()) FlushOutput();
    ReportProgress();
    if (pos_ == 0 && AtExact(text_, 0, "\xEF\xBB\xBF")) {
      pos_ = 3;
      continue;
    }
    const unsigned char byte = static_cast<unsigned char>(text_[pos_]);
    // Every rule but the link address starts at a "<"; the address stands in a tag.
    if (byte == '<' && (HtmlTag() || Comment() || BlockTag() || LinkEnd() || TableTag() ||
                        BreakTag())) {
      continue;
    }
    // Character data starts after the ">" of a tag.
    if (pos_ > 0 && text_[pos_ - 1] == '>' && byte != '<') {
      in_text_ = true;
      in_link_tag_ = false;
    }
    if (!in_text_ && (byte == 'h' || byte == 'H') && LinkStart()) continue;
    if (byte == '<') {
      in_text_ = false;
      in_link_tag_ = TagAt(text_, pos_, "<a", " ");
      if (BlockTagAt(text_, pos_)) gap_ = true;
    } else if (in_text_ && byte == '&') {
      Entity();
      continue;
    } else if (in_text_) {
      TextByte(byte);
    }
    ++pos_;
  }
}

}  // namespace

void TextWriter::SwitchToUnicode() {
  unicode_ = true;
  // Each byte of the code page as UTF-8; ASCII stays as it is.
  std::array<std::string, 256> table;
  for (int byte = 0; byte < 256; ++byte) {
    if (byte < 0x80) {
      table[byte] = std::string(1, static_cast<char>(byte));
    } else {
      AppendUtf8(table[byte], code_page_.CharacterOf(static_cast<unsigned char>(byte)));
    }
  }
  std::string text;
  text.reserve(out_.size() + out_.size() / 4 + 16);
  for (const char ch : out_) text += table[static_cast<unsigned char>(ch)];
  out_.swap(text);
  // The part already in the spill file turns to UTF-8 as it is written out.
  if (c_.output.TailStart() > 0) {
    spilled_growth_ = c_.output.RecodeSpilled(std::move(table)) - c_.output.TailStart();
  }
}

void TextWriter::FinishUnicode() {
  if (unicode_) c_.output.Insert(0, "\xEF\xBB\xBF");
}

void ConvertToPlainText(Conversion& c) {
  StripNonText(c.raw);
  c.input.swap(c.raw);
  std::string().swap(c.raw);
  if (c.progress != nullptr) c.progress->SetPosition(1);
  c.schedule.Build(c.input.size());
  c.output.clear();
  c.output.text().reserve(c.input.size());
  TextWriter writer(c, c.input);
  writer.Run();
  writer.FinishUnicode();
}

}  // namespace velmorane
