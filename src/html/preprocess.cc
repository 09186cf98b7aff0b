// Cleaning: one forward pass from the decoded input to the tag pass's input. The head,
// scripts, style blocks, server code, comments, option lists and link tags are dropped;
// style blocks and linked sheets go to the style text; runs of line feeds become one.
#include "html/preprocess.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "base/paths.h"
#include "base/text_match.h"
#include "css/font_color.h"
#include "html/monospace_tags.h"
#include "html/page.h"
#include "platform/files.h"

namespace velmorane {

namespace {

// Only these three spellings open and close a style block.
constexpr std::array<std::string_view, 3> kStyleOpen = {"<style", "<Style", "<STYLE"};
constexpr std::array<std::string_view, 3> kStyleClose = {"</style>", "</Style>", "</STYLE>"};

// A style path is cut like the fixed path buffer it once lived in.
constexpr std::size_t kMaxHrefLength = 260;

bool AtStyleOpen(std::string_view text, std::size_t p) {
  for (std::string_view open : kStyleOpen) {
    if (AtExact(text, p, open)) return true;
  }
  return false;
}

// Position of the first of the style end tags at or after `from`, or the text size.
std::size_t FindStyleClose(std::string_view text, std::size_t from, std::size_t& length) {
  for (std::size_t p = text.find('<', from); p != std::string_view::npos;
       p = text.find('<', p + 1)) {
    for (std::string_view close : kStyleClose) {
      if (AtExact(text, p, close)) {
        length = close.size();
        return p;
      }
    }
  }
  length = 0;
  return text.size();
}

// Position of the next occurrence of `keyword` (any case) at or after `from`, or npos.
std::size_t FindNoCase(std::string_view text, std::size_t from, std::string_view keyword) {
  const char first = keyword[0];
  for (std::size_t p = from; p < text.size(); ++p) {
    if (AsciiLower(text[p]) == first && AtNoCase(text, p, keyword)) return p;
  }
  return std::string_view::npos;
}

// Position just after the next occurrence of `keyword` (any case) at or after `from`,
// or the text size when there is none.
std::size_t SkipThroughNoCase(std::string_view text, std::size_t from, std::string_view keyword) {
  const std::size_t found = FindNoCase(text, from, keyword);
  return found == std::string_view::npos ? text.size() : found + keyword.size();
}

// Position just after the next ">" at or after `from`, or the text size.
std::size_t SkipThroughTagEnd(std::string_view text, std::size_t from) {
  const std::size_t end = text.find('>', from);
  return end == std::string_view::npos ? text.size() : end + 1;
}

// Position just after a comment that opens at `p` ("<!--"); comments nest.
std::size_t SkipComment(std::string_view text, std::size_t p) {
  int depth = 1;
  p += 4;
  while (p < text.size()) {
    if (AtExact(text, p, "-->")) {
      p += 3;
      if (--depth == 0) return p;
    } else if (AtExact(text, p, "<!--")) {
      p += 4;
      ++depth;
    } else {
      ++p;
    }
  }
  return text.size();
}

// Appends a style element's content to the style text. Assumes a style open tag at
// `p`; leaves `p` just after the block's end tag (or at the end of the text).
void CollectStyleBlock(HtmlPage& c, std::string_view text, std::size_t& p) {
  std::size_t close_length = 0;
  const std::size_t close = FindStyleClose(text, p, close_length);
  const std::size_t tag_end = text.find('>', p);
  const std::size_t start =
      tag_end == std::string_view::npos ? close : std::min(tag_end + 1, close);
  if (close > start) {
    c.style_text.append(text.substr(start, close - start));
    c.style_present = true;
  }
  p = close + close_length;
}

// Loads the sheet named by a link tag that opens at `p`; leaves `p` after the tag.
void HandleLinkTag(HtmlPage& c, std::string_view text, std::size_t& p) {
  const std::size_t next = SkipThroughTagEnd(text, p);
  const std::string_view tag = text.substr(p, next - p);
  p = next;
  if (FindNoCase(tag, 0, "stylesheet") == std::string_view::npos) return;
  // Sheets a browser does not show the page with: alternates and sheets for print only.
  if (FindNoCase(tag, 0, "alternate") != std::string_view::npos) return;
  if (const std::size_t media = FindNoCase(tag, 0, "media="); media != std::string_view::npos) {
    std::size_t value_pos = media + 6;
    const std::string value = ReadHrefValue(tag, value_pos);
    if (FindNoCase(value, 0, "screen") == std::string_view::npos &&
        FindNoCase(value, 0, "all") == std::string_view::npos) {
      return;
    }
  }
  // The href may stand before or after the rel attribute.
  std::size_t href = FindNoCase(tag, 0, "href=");
  if (href == std::string_view::npos) return;
  href += 5;
  std::string value = ReadHrefValue(tag, href);
  // "sheet.css?v=2" and "sheet.css#x" name the file sheet.css: the query and fragment are
  // for a web server and the browser's cache.
  if (const std::size_t query = value.find_first_of("?#"); query != std::string::npos) {
    value.resize(query);
  }
  if (value.empty() || LoadStyleFile(c, ResolveStylePath(value, c.input_folder))) return;
  // File names here are case-sensitive; a page made for case-blind systems may name its
  // sheet in other case than the file, so the lower-case name is tried as well.
  std::string lower = value;
  for (char& ch : lower) ch = AsciiLower(ch);
  if (lower != value) (void)LoadStyleFile(c, ResolveStylePath(lower, c.input_folder));
}

// Head mode, entered after "<head>": everything is dropped except style blocks and
// linked sheets, until the head ends or something of the body shows up.
void SkipHead(HtmlPage& c, std::string_view text, std::size_t& p, bool& body_started) {
  while (p < text.size()) {
    p = text.find('<', p);
    if (p == std::string_view::npos) {
      p = text.size();
      return;
    }
    if (LooksAtTag(text, p, "<link", " \n")) {
      HandleLinkTag(c, text, p);
    } else if (AtStyleOpen(text, p)) {
      CollectStyleBlock(c, text, p);
    } else if (LooksAtTag(text, p, "<body", "> \n")) {
      body_started = true;
      const std::size_t end = SkipThroughTagEnd(text, p);
      ReadBodyTextColour(text.substr(p, end - p), c.body_text_colour);
      p = end;
      return;
    } else if (LooksAtTag(text, p, "<p", "> \n") || LooksAtTag(text, p, "<div", "> ")) {
      body_started = true;  // the tag itself is read again outside the head
      return;
    } else if (LooksAtTag(text, p, "<td", "> \n") || LooksAtTag(text, p, "<th", "> \n")) {
      body_started = true;
      p = SkipThroughTagEnd(text, p);
      return;
    } else if (AtNoCase(text, p, "<script")) {
      p = SkipThroughNoCase(text, p, "</script>");
    } else if (AtNoCase(text, p, "</head>")) {
      body_started = true;
      p += 7;
      return;
    } else {
      ++p;
    }
  }
}

}  // namespace

std::string ReadHrefValue(std::string_view text, std::size_t& pos) {
  while (pos < text.size() &&
         (text[pos] == ' ' || text[pos] == '"' || text[pos] == '\'' || text[pos] == '=')) {
    ++pos;
  }
  std::string value;
  if (pos >= text.size() || static_cast<unsigned char>(text[pos]) < 32) return value;
  const char before = pos > 0 ? text[pos - 1] : ' ';
  const char stop = before == '"' || before == '\'' ? before : ' ';
  while (pos < text.size() && value.size() < kMaxHrefLength) {
    const char ch = text[pos];
    if (ch == stop || ch == '>') break;
    value += ch;
    ++pos;
  }
  return value;
}

std::string ResolveStylePath(std::string_view href, std::string_view input_folder) {
  const std::string path = ToForwardSlashes(href);
  std::string joined;
  if ((!path.empty() && path[0] == '/') || ByteAt(path, 2) == '/') {
    joined = ResolveRelativePath(input_folder, path);
  } else {
    joined = WithTrailingSeparator(input_folder) + path;
  }
  return CollapseSeparators(joined);
}

bool LoadStyleFile(HtmlPage& page, const std::string& path) {
  if (IsDirectory(path) || FileSize(path) <= 0) return false;
  std::string sheet;
  if (!ReadTextFile(path, sheet) || sheet.empty()) return false;
  page.style_text += sheet;
  page.style_present = true;
  return true;
}

bool IsTagBlank(char ch) { return ch == ' ' || ch == '\n' || ch == '\t' || ch == '\r'; }

// The length of "<head>" at `p`, blanks before its ">" allowed (0 for none; a head with
// attributes is not this tag).
std::size_t BareHeadLength(std::string_view text, std::size_t p) {
  if (!AtNoCase(text, p, "<head")) return 0;
  std::size_t end = p + 5;
  while (end < text.size() && IsTagBlank(text[end])) ++end;
  return end < text.size() && text[end] == '>' ? end + 1 - p : 0;
}

// Tags written with a line break after their name ("<H1\nCLASS=...>", "</P\n>", as some
// documentation generators write every tag) take the usual one-blank form, and blanks
// between the name and ">" go: every tag test of the later stages then knows them. Called
// with `p` just after a copied "<" (`w` the end of the kept text, never beyond `p`).
void NormalizeTagName(std::string_view text, char* data, std::size_t& w, std::size_t& p) {
  const std::size_t n = text.size();
  std::size_t name = p;
  if (name < n && text[name] == '/') ++name;
  if (name >= n || AsciiLower(text[name]) < 'a' || AsciiLower(text[name]) > 'z') return;
  std::size_t end = name + 1;
  while (end < n && (AsciiLower(text[end]) >= 'a' && AsciiLower(text[end]) <= 'z')) ++end;
  while (end < n && text[end] >= '0' && text[end] <= '9') ++end;
  if (end >= n || !IsTagBlank(text[end])) return;  // nearly every tag
  std::size_t blanks_end = end + 1;
  while (blanks_end < n && IsTagBlank(text[blanks_end])) ++blanks_end;
  const bool closes = blanks_end < n && text[blanks_end] == '>';
  if (!closes && blanks_end == end + 1 && text[end] == ' ') return;  // already "<p class"
  if (w != p) std::memmove(data + w, data + p, end - p);
  w += end - p;
  if (!closes) data[w++] = ' ';
  p = blanks_end;
}

void PreprocessHtml(HtmlPage& c) {
  // The pass only copies or drops bytes, so it writes over the text it has read: the
  // kept bytes move down in place and no second buffer of the page's size is touched.
  // Everything read ahead (style blocks, link tags) lies at or after the read position.
  const std::string_view text = c.raw;
  char* const data = c.raw.data();
  std::size_t w = 0;  // end of the kept text, never beyond p
  bool body_started = false;
  std::size_t p = 0;
  // The next "<" and line feed at or after where each was last searched.
  std::size_t next_tag = std::min(text.find('<'), text.size());
  std::size_t next_lf = std::min(text.find('\n'), text.size());
  // Open pre, xmp and listing blocks: their empty lines are text and stay.
  int pre_depth = 0;
  while (p < text.size()) {
    const char ch = text[p];
    if (ch != '<') {
      // Copy the run up to the next tag or line feed in one piece.
      if (ch == '\n') {
        if (pre_depth > 0 || w < 2 || data[w - 1] != '\n') data[w++] = '\n';
        ++p;
        continue;
      }
      // Each is searched again only once passed: the byte here is neither.
      if (next_tag < p) next_tag = std::min(text.find('<', p), text.size());
      if (next_lf < p) next_lf = std::min(text.find('\n', p), text.size());
      const std::size_t next = std::min(next_tag, next_lf);
      if (w != p) std::memmove(data + w, data + p, next - p);
      w += next - p;
      p = next;
      continue;
    }
    if (LooksAtTag(text, p, "<link", " \n")) {
      HandleLinkTag(c, text, p);
    } else if (!body_started && BareHeadLength(text, p) != 0) {
      p += BareHeadLength(text, p);
      SkipHead(c, text, p, body_started);
    } else if (AtNoCase(text, p, "<script")) {
      p = SkipThroughNoCase(text, p, "</script>");
    } else if (AtStyleOpen(text, p)) {
      CollectStyleBlock(c, text, p);
    } else if (LooksAtTag(text, p, "<option", "> ")) {
      p = SkipThroughNoCase(text, p, "</option>");
    } else if (LooksAtTag(text, p, "<select", "> \n")) {
      p = SkipThroughNoCase(text, p, "</select>");
    } else if (AtExact(text, p, "<%")) {
      const std::size_t end = text.find("%>", p + 2);
      p = end == std::string_view::npos ? text.size() : end + 2;
    } else if (AtExact(text, p, "<!--")) {
      p = SkipComment(text, p);
    } else {
      const int kind = MonospaceStartTagAtEachTag(text, p);
      if (kind >= 0 && IsMonospaceBlock(kind)) {
        ++pre_depth;
      } else if (pre_depth > 0 && EndsMonospaceBlock(text, p)) {
        --pre_depth;
      }
      data[w++] = ch;
      ++p;
      NormalizeTagName(text, data, w, p);
    }
  }
  c.raw.resize(w);
  c.input.clear();
  c.input.swap(c.raw);
}

}  // namespace velmorane
