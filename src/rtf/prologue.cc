// The fonts and colours a document uses, and the RTF prologue that
// declares them (font table, colour table, style sheet, info, page setup, footer).
#include <array>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/append.h"
#include "base/text_match.h"
#include "rtf/conversion.h"
#include "rtf/monospace.h"
#include "rtf/prologue.h"
#include "rtf/style_rules.h"

namespace velmorane {

namespace {

// A face attribute may list several fonts; the first one counts.
std::string FirstFace(std::string value) {
  const std::size_t comma = value.find(',');
  if (comma != std::string::npos) value.resize(comma);
  return value;
}

void AddColorAt(std::string_view text, std::size_t& pos, ColorTable& colors) {
  std::string six;
  (void)ParseColor(text, pos, six);  // unrecognised values count as black
  colors.Add(six);
}

// Collects face, colour and background of a font tag that opens at `p`; leaves `p`
// after its ">".
void ScanFontTag(Conversion& c, std::string_view text, std::size_t& p) {
  const ConversionOptions& o = c.options;
  const bool any_color = o.keep_font_color != 0 || o.keep_background_color != 0;
  p += 5;
  while (p < text.size() && text[p] != '>') {
    if (o.keep_font_face != 0 && AtNoCase(text, p, "face=")) {
      p += 5;
      c.fonts.Add(FirstFace(ReadAttributeValue(text, p)));
    } else if (any_color && (AtNoCase(text, p, "color=") || AtNoCase(text, p, "color:"))) {
      p += 6;
      AddColorAt(text, p, c.colors);
    } else if (o.keep_background_color != 0 && AtNoCase(text, p, "background-color:")) {
      p += 17;
      AddColorAt(text, p, c.colors);
    } else {
      ++p;
    }
  }
  if (p < text.size()) ++p;
}

// True when `index` names an entry of a table of `size` entries.
bool InTable(int index, std::size_t size) {
  return index >= 0 && static_cast<std::size_t>(index) < size;
}

// Two hexadecimal digits as a number; anything else reads as 0.
int HexPair(std::string_view six, std::size_t at) {
  int value = 0;
  for (std::size_t i = at; i < at + 2; ++i) {
    const char ch = AsciiLower(i < six.size() ? six[i] : '0');
    int digit = 0;
    if (ch >= '0' && ch <= '9') digit = ch - '0';
    if (ch >= 'a' && ch <= 'f') digit = ch - 'a' + 10;
    value = value * 16 + digit;
  }
  return value;
}

void WriteFontAndColorTables(Conversion& c, const std::string& face) {
  std::string& out = c.output.text();
  for (std::size_t i = 0; i < c.fonts.size(); ++i) {
    AppendF(out, R"({\f%d\fnil\fcharset%d %s;})" "\n", static_cast<int>(i + 2),
            c.charset.charset, EscapeRtfText(c.fonts[i]).c_str());
  }
  AppendF(out, R"({\f99\froman\fcharset0\fprq2{\*\panose 02020603050405020304}%s;})",
          face.c_str());
  AppendF(out,
          R"({\f100\fnil\fcharset2 Symbol;}{\f101\fnil\fcharset2 Wingdings;})"
          R"({\f102\fcharset204{\*\fname Courier New;}Courier New CYR;}{\f103\fcharset0 %s;})",
          face.c_str());
  if (c.monospace_font) {
    // A fixed-pitch modern face: readers that lack Courier New take another monospace
    // font from the family and pitch. Its charset is the document's, as for the page's
    // own fonts, so that its bytes read in the document's code page.
    AppendF(out, R"({\f%d\fmodern\fcharset%d\fprq1 Courier New;})", kMonospaceFontNumber,
            c.charset.charset);
  }
  out += "}";
  out += "\n" R"({\colortbl ;\red0\green0\blue0;\red51\green102\blue255;)";
  for (std::size_t i = 0; i < c.colors.size(); ++i) {
    const std::string& six = c.colors[i];
    AppendF(out, R"(\red%d\green%d\blue%d;)", HexPair(six, 0), HexPair(six, 2), HexPair(six, 4));
  }
  out += "}\n";
}

void WritePageSetup(Conversion& c) {
  const ConversionOptions& o = c.options;
  if (o.orientation == 1) {
    AppendF(c.output, R"(\paperh%d\paperw%d\landscape\margl%d\margr%d\margt%d\margb%d)",
            o.paper_width, o.paper_height, o.margin_left, o.margin_right, o.margin_top,
            o.margin_bottom);
  } else {
    AppendF(c.output, R"(\paperw%d\paperh%d\margl%d\margr%d\margt%d\margb%d)", o.paper_width,
            o.paper_height, o.margin_left, o.margin_right, o.margin_top, o.margin_bottom);
  }
}

}  // namespace

void ApplyBodyStyle(Conversion& c, const BodyStyle& body) {
  const ConversionOptions& o = c.options;
  if (o.keep_font_face != 0 && InTable(body.font, c.fonts.size())) {
    AppendF(c.output, "\n" R"(\f%d )", body.font + 2);
  }
  if (o.keep_font_color != 0 && InTable(body.color, c.colors.size())) {
    AppendF(c.output, "\n" R"(\cf%d )", body.color + 3);
  }
  if (o.keep_font_size != 0 && body.size_half_points >= 0) {
    const int points = body.size_half_points / 2;
    if (points >= 1) {
      c.base_size = points;
      BuildParagraphTemplates(c.templates, c.base_size, c.charset.language_id, true);
    } else {
      c.base_size = 10;
    }
  }
}

namespace {

// The footer frame that prints the page number, placed by the engine settings.
void WritePageNumberFooter(Conversion& c, const std::string& fs) {
  const ConversionOptions& o = c.options;
  const bool landscape = o.orientation == 1;
  const long width = landscape ? o.paper_height : o.paper_width;
  const long height = landscape ? o.paper_width : o.paper_height;
  long x = 0;
  if (c.settings.page_number_horizontal == 1) x = width / 2;
  if (c.settings.page_number_horizontal == 2) x = width - o.margin_right;
  long y = c.settings.page_number_vertical == 4 ? -(o.margin_top / 2) : height - 950;
  if (x > width) x = 0;
  if (y > height) y = 0;
  const std::string frame = StringF(
      R"( \pvpg\phpg\posx%ld\posy%ld{\field{\*\fldinst {\fs%s PAGE}}}\par)" "\n", x, y,
      fs.c_str());
  const std::string footer_text = EscapeRtfText(FieldText(o.footer_text));
  AppendF(c.output, "\n" R"({\footer%s\pard\plain %s \par})", frame.c_str(),
          footer_text.c_str());
}

}  // namespace

namespace {

// The bytes a keyword of the font and colour scan can start with.
constexpr std::array<bool, 256> kKeywordStart = [] {
  std::array<bool, 256> table{};
  for (const char c : std::string_view("<bBcCfF")) table[static_cast<unsigned char>(c)] = true;
  return table;
}();

// The first byte at or after `p` that may start a keyword ("<", "b", "c" or "f" in either
// case), or the text size. Sixteen bytes a step where the processor has SSE2: the bytes
// are folded to lower case by setting bit 5, which lets a few others through (0x1C for
// "<"); the table then has the last word.
std::size_t NextKeywordStart(std::string_view text, std::size_t p) {
#if defined(__SSE2__)
  const __m128i lower_bit = _mm_set1_epi8(0x20);
  const __m128i b = _mm_set1_epi8('b');
  const __m128i c = _mm_set1_epi8('c');
  const __m128i f = _mm_set1_epi8('f');
  const __m128i lt = _mm_set1_epi8('<');
  while (p + 16 <= text.size()) {
    const __m128i bytes =
        _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + p)),
                     lower_bit);
    const __m128i hits =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, b), _mm_cmpeq_epi8(bytes, c)),
                     _mm_or_si128(_mm_cmpeq_epi8(bytes, f), _mm_cmpeq_epi8(bytes, lt)));
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    while (mask != 0) {
      const std::size_t at = p + static_cast<std::size_t>(__builtin_ctz(mask));
      if (kKeywordStart[static_cast<unsigned char>(text[at])]) return at;
      mask &= mask - 1;
    }
    p += 16;
  }
#endif
  while (p < text.size() && !kKeywordStart[static_cast<unsigned char>(text[p])]) ++p;
  return p;
}

}  // namespace

void AnalyzeFontsAndColors(Conversion& c) {
  const std::string_view text = c.input;
  const ConversionOptions& o = c.options;
  const bool keep_face = o.keep_font_face != 0;
  const bool keep_background = o.keep_background_color != 0;
  const bool keep_any_color = o.keep_font_color != 0 || keep_background;
  std::size_t p = 0;
  while (p < text.size()) {
    // Every keyword starts with one of "<bcf" in either case: pass over the rest, and
    // test only the keywords that start with the byte found.
    p = NextKeywordStart(text, p);
    if (p >= text.size()) break;
    bool matched = false;
    switch (AsciiLower(text[p])) {
      case 'f':
        if (keep_face && AtNoCase(text, p, "font-family:")) {
          p += 12;
          const std::size_t value = p;
          c.fonts.Add(ReadCssValue(text, p));
          // Style attributes are read after the font table is written: the monospace
          // font a monospace family gives must be in it already.
          const std::string_view declaration = text.substr(value, 200);
          if (NamesMonospace(declaration.substr(0, declaration.find_first_of(";\">}")))) {
            (void)MonospaceFontIndex(c.fonts);
          }
          matched = true;
        }
        break;
      case 'c':
        if (keep_any_color && AtNoCase(text, p, "color:")) {
          p += 6;
          AddColorAt(text, p, c.colors);
          matched = true;
        }
        break;
      case 'b':
        if (keep_background && AtNoCase(text, p, "background:")) {
          p += 11;
          AddColorAt(text, p, c.colors);
          matched = true;
        } else if (keep_background &&
                   (AtNoCase(text, p, "bgcolor=") || AtNoCase(text, p, "bgcolor:"))) {
          p += 8;
          AddColorAt(text, p, c.colors);
          matched = true;
        }
        break;
      default:  // '<'
        if (AtNoCase(text, p, "<h") && ByteAt(text, p + 2) >= '0' &&
            ByteAt(text, p + 2) <= '9' &&
            (ByteAt(text, p + 3) == '>' || ByteAt(text, p + 3) == ' ')) {
          c.has_headings = true;
          const std::size_t close = text.find('>', p);
          p = close == std::string_view::npos ? text.size() : close + 1;
          matched = true;
        } else if (c.body_text_colour.empty() && AtNoCase(text, p, "<body") &&
                   (ByteAt(text, p + 5) == ' ' || ByteAt(text, p + 5) == '\n')) {
          const std::size_t close = text.find('>', p);
          const std::size_t end = close == std::string_view::npos ? text.size() : close;
          // The scan goes on inside the tag, for its bgcolor.
          ReadBodyTextColour(text.substr(p, end - p), c.body_text_colour);
        } else if (!c.has_monospace && MonospaceStartTagAtEachTag(text, p) >= 0) {
          c.has_monospace = true;
        } else if (AtNoCase(text, p, "<font")) {
          ScanFontTag(c, text, p);
          matched = true;
        }
        break;
    }
    if (!matched) ++p;
  }
  if (c.style_present) ParseStyleSheet(c);
  if (o.keep_font_color && !c.body_text_colour.empty()) {
    c.colors.Add(c.body_text_colour);
    c.sheet.body_text_colour = c.colors.Find(c.body_text_colour);
  }
  const std::optional<BodyStyle> body = BodyStyleOf(c);
  if (body && keep_face && InTable(body->font, c.fonts.size())) {
    c.font_face = c.fonts[static_cast<std::size_t>(body->font)];
  }
}

void WritePrologue(Conversion& c) {
  const ConversionOptions& o = c.options;
  const bool body_only = c.settings.body_only == 1;
  std::string& out = c.output.text();
  const std::string face = EscapeRtfText(c.font_face);
  const CharsetState& cs = c.charset;

  if (body_only) {
    out += "{";
  } else {
    const std::string fs = std::to_string(2 * c.base_size);
    if (cs.far_east) {
      AppendF(out,
              R"({\rtf1\ansi\ansicpg%d\deff0\deflang%d\fs%s{\fonttbl{\f0\%s\fprq2\fcharset%d %s Unicode MS;})"
              "\n",
              cs.ansi_code_page, cs.language_id, fs.c_str(), cs.family.c_str(), cs.charset,
              face.c_str());
    } else {
      AppendF(out,
              R"({\rtf1\ansi\ansicpg%d\deff0\deflang%d\fs%s{\fonttbl{\f0\%s\fprq2\fcharset%d %s;})"
              "\n",
              cs.ansi_code_page, cs.language_id, fs.c_str(), cs.family.c_str(), cs.charset,
              face.c_str());
    }
  }
  c.Trace("7. Start to creation RTF");
  // Body-only output goes into a document with its own font table: no font of ours.
  c.monospace_font = c.has_monospace && !body_only && o.keep_font_face != 0;
  if (!body_only) WriteFontAndColorTables(c, face);
  if (c.has_headings) {
    // The outline level (0 for "heading 1") makes the styles outline headings: LibreOffice
    // maps the names to its "Heading N" styles but without a level shows none of them in
    // its navigator or a table of contents.
    out += R"({\stylesheet {\s1\outlinelevel0 heading 1;}{\s2\outlinelevel1 heading 2;})"
           R"({\s3\outlinelevel2 heading 3;}{\s4\outlinelevel3 heading 4;})"
           R"({\s5\outlinelevel4 heading 5;}{\s6\outlinelevel5 heading 6;}})" "\n";
  }
  c.Trace("8. Color and font tables creation");
  if (!body_only) {
    out += R"({\info{\doccomm Created by the Velmorane Converter Pro 3.0.0.0 (February 6th, 2009)}})"
           "\n";
    WritePageSetup(c);
  }
  c.printable_width = PrintableWidth(o);

  if (const std::optional<BodyStyle> body = BodyStyleOf(c)) ApplyBodyStyle(c, *body);

  if (!body_only) {
    const std::string fs = std::to_string(2 * c.base_size);
    if (o.page_numbers >= 2) out += "\n" R"(\titlepg )";
    if (o.page_numbers >= 1) WritePageNumberFooter(c, fs);
    AppendF(out, "\n" R"(\pard\sb%d\sa%d\sbauto1\saauto1\f0\fs%s\lang%d)" "\n", 100, 100,
            fs.c_str(), cs.language_id);
  }
  c.loop.current_size = c.base_size;
}

void BuildParagraphTemplates(ParagraphTemplates& t, int base_size, int language_id,
                             bool after_body_rule) {
  const std::string fs = std::to_string(2 * base_size);
  const std::string half = std::to_string(base_size / 2);
  t.paragraph_start = StringF("\n" R"(\par\pard\sb%d\sa%d\sbauto1\saauto1\fs%s\lang%d )", 100,
                              100, fs.c_str(), language_id);
  t.cell_paragraph_start = StringF("\n" R"(\par\pard\intbl\sb%d\sa%d\sbauto1\saauto1\fs%s\lang%d )",
                                   100, 100, fs.c_str(), language_id);
  t.first_cell_paragraph =
      StringF("\n" R"(\pard\intbl\sb%d\fs%s\lang%d )", 100, fs.c_str(), language_id);
  t.heading_open_par = StringF("\n" R"({\par\b\fs%s )", fs.c_str());
  t.heading_open = StringF("\n" R"({\b\fs%s )", fs.c_str());
  t.subscript = StringF(R"({\sub\dn%s )", half.c_str());
  t.superscript = StringF(R"({\super\up%s )", half.c_str());
  t.zero_break = R"(\par\sa0\sb0 )";
  if (after_body_rule) {
    t.zero_line_end = StringF("\n" R"(\par\pard\sb%d\fs%s\lang%d )", 0, fs.c_str(), language_id);
    t.cell_zero_break =
        StringF("\n" R"(\par\pard\intbl\sb%d\fs%s\lang%d )", 0, fs.c_str(), language_id);
  } else {
    t.zero_line_end = StringF("\n" R"(\sb%d\sa%d\par )", 0, 0);
    t.cell_zero_break = StringF("\n" R"(\sb%d\sa%d\par\intbl\lang%d )", 0, 0, language_id);
  }
}

}  // namespace velmorane
