// Hyperlinks and bookmarks from anchors, form fields from input controls, and the
// paragraph breaks of forms. Every name, value and target taken from the tag is written
// with "\", "{" and "}" escaped, so no attribute can leave its field.
#include "rtf/links.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/append.h"
#include "html/charset.h"
#include "rtf/blocks.h"
#include "rtf/conversion.h"
#include "rtf/prologue.h"
#include "rtf/tag_loop.h"
#include "rtf/tag_scan.h"

namespace velmorane {
namespace {

// Capacity of a link target or bookmark name, and of an input's name, value and type.
constexpr std::size_t kMaxLinkValue = 1995;
constexpr std::size_t kMaxControlText = 99;
constexpr std::size_t kMaxControlType = 100;
// How far behind href an image makes the link an image link.
constexpr std::size_t kImageLookAhead = 500;
// The radio pictures are stored padded to this size.
constexpr std::size_t kRadioPictureBytes = 256;

// Our own radio buttons, 28 x 25 palette images drawn by scripts/radio_pictures.py: a
// dark centre dot on the selected one (8 colours), none on the empty one (4 colours).
constexpr std::uint8_t kRadioSelectedPng[] = {  // 198 bytes
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d,
    0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x00, 0x1c, 0x00, 0x00, 0x00, 0x19,
    0x08, 0x03, 0x00, 0x00, 0x00, 0x15, 0x1e, 0xbe, 0x15, 0x00, 0x00, 0x00,
    0x18, 0x50, 0x4c, 0x54, 0x45, 0xff, 0xff, 0xff, 0x40, 0x40, 0x40, 0x80,
    0x80, 0x80, 0xc8, 0xc8, 0xc8, 0x00, 0x00, 0x00, 0x30, 0x30, 0x30, 0x90,
    0x90, 0x90, 0xfc, 0xfc, 0xfc, 0xa7, 0x88, 0xda, 0x62, 0x00, 0x00, 0x00,
    0x69, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0xad, 0x92, 0xd1, 0x0e, 0x80,
    0x20, 0x08, 0x45, 0xe5, 0x82, 0xf3, 0xff, 0xff, 0x38, 0x95, 0xda, 0x90,
    0xea, 0xb6, 0x5a, 0xe7, 0x45, 0xe7, 0x19, 0x88, 0x60, 0x29, 0xbf, 0x00,
    0xe0, 0xce, 0x88, 0x73, 0xe1, 0x75, 0x1c, 0x0f, 0xfa, 0xaa, 0x67, 0x87,
    0xe6, 0x20, 0xdb, 0xee, 0xb4, 0x1d, 0x68, 0xb2, 0xd1, 0x4d, 0xbb, 0xd4,
    0x82, 0x16, 0x41, 0xac, 0x4a, 0x64, 0x9e, 0x55, 0x33, 0xab, 0x73, 0x17,
    0x43, 0x3d, 0x70, 0xb8, 0xdd, 0x42, 0x72, 0x56, 0x73, 0x52, 0xde, 0xef,
    0x92, 0xde, 0xc9, 0xab, 0xa5, 0xef, 0xa4, 0x1d, 0xe2, 0xbd, 0xa5, 0x53,
    0xe1, 0xf3, 0xe4, 0x3f, 0xe1, 0xe1, 0x0f, 0xbd, 0x65, 0x03, 0xbe, 0xba,
    0x05, 0x75, 0xbf, 0x52, 0xb5, 0x88, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45,
    0x4e, 0x44, 0xae, 0x42, 0x60, 0x82,
};
constexpr std::uint8_t kRadioEmptyPng[] = {  // 172 bytes
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d,
    0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x00, 0x1c, 0x00, 0x00, 0x00, 0x19,
    0x08, 0x03, 0x00, 0x00, 0x00, 0x15, 0x1e, 0xbe, 0x15, 0x00, 0x00, 0x00,
    0x0c, 0x50, 0x4c, 0x54, 0x45, 0xff, 0xff, 0xff, 0x40, 0x40, 0x40, 0x80,
    0x80, 0x80, 0xc8, 0xc8, 0xc8, 0x00, 0xa7, 0x74, 0x93, 0x00, 0x00, 0x00,
    0x5b, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0xad, 0x92, 0xc1, 0x12, 0x00,
    0x10, 0x08, 0x44, 0xb5, 0xfd, 0xff, 0x3f, 0xcb, 0x38, 0xa8, 0xb0, 0x86,
    0xb1, 0x17, 0x53, 0x6f, 0x64, 0x55, 0xa5, 0x7c, 0x11, 0x80, 0x1d, 0x91,
    0xae, 0x05, 0xd7, 0x96, 0x6e, 0xb2, 0x53, 0x67, 0x86, 0x51, 0x41, 0x33,
    0xd3, 0x75, 0x60, 0x8a, 0xa1, 0xd1, 0xe0, 0x05, 0xc9, 0x1b, 0xfc, 0xc5,
    0x64, 0xc1, 0x27, 0x26, 0xfb, 0x90, 0x6d, 0xd5, 0x90, 0x79, 0x87, 0xf4,
    0x4d, 0xee, 0x96, 0xfe, 0x93, 0x76, 0x88, 0xf7, 0x96, 0x4e, 0x85, 0xcf,
    0x93, 0x6f, 0xc2, 0x61, 0x87, 0x6e, 0x55, 0x01, 0x46, 0x30, 0x00, 0xe5,
    0x1c, 0xc7, 0xcf, 0x77, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44,
    0xae, 0x42, 0x60, 0x82,
};

bool IsQuote(unsigned char c) { return c == '"' || c == '\''; }

// The quoted value behind an opening quote at `pos`: up to the same quote or a ">", cut
// to `max` bytes. The position is left on the closing quote or the ">".
std::string_view ReadQuotedValue(std::string_view text, std::size_t& pos, std::size_t max) {
  const char quote = text[pos];
  const std::size_t start = pos + 1;
  std::size_t end = start;
  while (end < text.size() && text[end] != quote && text[end] != '>') ++end;
  pos = end;
  return text.substr(start, std::min(end - start, max));
}

// An attribute value of an input tag at `pos`: blanks, line feeds and "=" skipped, then
// a quoted value (which may hold ">") or a bare one up to a blank, line feed or ">".
// Cut to `max` bytes; the position is left behind the value.
std::string ReadControlValue(std::string_view text, std::size_t& pos, std::size_t max) {
  while (pos < text.size() && (IsBlankOrLineFeed(ByteAt(text, pos)) || text[pos] == '=')) {
    ++pos;
  }
  if (pos >= text.size() || text[pos] == '>') return {};
  std::size_t start = pos;
  std::size_t end;
  if (IsQuote(ByteAt(text, pos))) {
    start = pos + 1;
    end = text.find(text[pos], start);
    if (end == std::string_view::npos) end = std::min(text.find('>', start), text.size());
    pos = end < text.size() && text[end] != '>' ? end + 1 : end;
  } else {
    end = start;
    while (end < text.size() && !IsBlankOrLineFeed(ByteAt(text, end)) && text[end] != '>') {
      ++end;
    }
    pos = end;
  }
  return std::string(text.substr(start, std::min(end - start, max)));
}

// Skips the value of a title attribute, so that its text is not read as attributes.
void SkipTitleValue(std::string_view text, std::size_t& pos) {
  (void)ReadControlValue(text, pos, 0);
}

// An <img followed by a blank within the look-ahead and before the anchor's end tag.
bool LinksToImage(std::string_view text, std::size_t pos) {
  const std::size_t end = std::min(text.size(), pos + kImageLookAhead);
  for (std::size_t i = pos; i < end; ++i) {
    if (text[i] != '<') continue;
    if (AtNoCase(text, i, "</a>")) return false;
    if (AtNoCase(text, i, "<img") && ByteAt(text, i + 4) == ' ') return true;
  }
  return false;
}

bool IsTagBlank(unsigned char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }

// An attribute `name` at `pos` written with blanks or line feeds around its "=" before
// a quoted value (`href = "x"`), as browsers read it; the name must begin the attribute.
// On success `pos` is on the value's opening quote. The plain `name="` form is left to
// the caller's own test.
bool SpacedAttributeAt(std::string_view text, std::size_t& pos, std::string_view name) {
  if (pos == 0 || !IsTagBlank(ByteAt(text, pos - 1)) || !AtNoCase(text, pos, name)) {
    return false;
  }
  std::size_t at = pos + name.size();
  while (IsTagBlank(ByteAt(text, at))) ++at;
  if (ByteAt(text, at) != '=') return false;
  ++at;
  while (IsTagBlank(ByteAt(text, at))) ++at;
  if (!IsQuote(ByteAt(text, at))) return false;
  pos = at;
  return true;
}

bool NameFollowedBy(std::string_view text, std::size_t pos, std::string_view name) {
  if (!AtNoCase(text, pos, name)) return false;
  const unsigned char next = ByteAt(text, pos + name.size());
  return next == '=' || IsBlankOrLineFeed(next);
}

// The link target an href value names: character references decoded, and a double
// quote (which would end the field's argument and let the rest add switches) written
// as "%22", as in an address.
std::string LinkTarget(std::string_view value) {
  std::string target;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char ch = value[i];
    if (ch == '&') {
      const std::size_t end = value.find(';', i);
      const std::string_view name =
          end == std::string_view::npos || end - i > 10 ? std::string_view()
                                                        : value.substr(i + 1, end - i - 1);
      long code = -1;
      if (name == "amp") code = '&';
      else if (name == "lt") code = '<';
      else if (name == "gt") code = '>';
      else if (name == "quot") code = '"';
      else if (name == "apos") code = '\'';
      else if (name.size() >= 2 && name[0] == '#') {
        const bool hex = name[1] == 'x' || name[1] == 'X';
        const std::string digits(name.substr(hex ? 2 : 1));
        char* parsed_end = nullptr;
        const long parsed = std::strtol(digits.c_str(), &parsed_end, hex ? 16 : 10);
        if (!digits.empty() && *parsed_end == '\0' && parsed > 0 && parsed < 0x110000) {
          code = parsed;
        }
      }
      if (code >= 0) {
        if (code < 0x80) {
          target += static_cast<char>(code);
        } else {
          // Beyond ASCII: the UTF-8 bytes, percent-encoded as browsers send them.
          std::string utf8;
          AppendUtf8(utf8, static_cast<char32_t>(code));
          for (const char byte : utf8) AppendF(target, "%%%02X", static_cast<unsigned char>(byte));
        }
        i = end;
        continue;
      }
    }
    target += ch;
  }
  // No double quote may end the argument early.
  std::string safe;
  for (char ch : target) {
    if (ch == '"') {
      safe += "%22";
    } else {
      safe += ch;
    }
  }
  return safe;
}

// A relative address that climbs out of the page's folder only to come back into it
// ("../mod/index.html" on a page in mod/, "../../en/mod/x.html" in en/mod/) without the
// detour: the same file, named as the page's own folder names it, so readers that place
// the document elsewhere still find its neighbours.
std::string_view WithoutDetour(std::string_view target, std::string_view folder) {
  std::size_t ups = 0;
  while (target.substr(ups * 3, 3) == "../") ++ups;
  if (ups == 0) return target;
  // The last `ups` names of the folder, in order.
  if (!folder.empty() && folder.back() == '/') folder.remove_suffix(1);
  std::size_t start = folder.size();
  for (std::size_t i = 0; i < ups; ++i) {
    const std::size_t slash = folder.rfind('/', start == 0 ? 0 : start - 1);
    if (slash == std::string_view::npos || start == 0) return target;
    start = slash;
  }
  const std::string_view names = folder.substr(start + 1);  // "en/mod"
  const std::string_view rest = target.substr(ups * 3);
  if (names.empty() || rest.size() <= names.size() || rest.compare(0, names.size(), names) != 0 ||
      rest[names.size()] != '/') {
    return target;
  }
  return rest.substr(names.size() + 1);
}

// Writes the HYPERLINK field of an href value.
void WriteLinkField(Conversion& c, std::string_view raw_value, bool image_link) {
  const std::string decoded = LinkTarget(raw_value);
  std::string_view value = decoded;
  const char* result_format = image_link ? "" : R"(\ul\cf2)";
  // The field's argument: "#" for the page itself ("" and "#" name it), \\l and the
  // bookmark for a place in it, else the address.
  std::string argument;
  if (value.empty() || value == "#") {
    argument = R"("#")";
  } else if (value.front() == '#') {
    argument = "\\\\l \"" + EscapeRtfText(value.substr(1)) + "\"";
  } else {
    // "file:" before a path that is not absolute ("file:~/.bashrc") names a file beside
    // the page; readers take the bare path as such, not the half address.
    if (value.size() > 5 && AtNoCase(value, 0, "file:") && value[5] != '/') {
      value.remove_prefix(5);
    }
    argument = "\"" + EscapeRtfText(WithoutDetour(value, c.input_folder)) + "\"";
  }
  AppendF(c.output, R"({\field{\*\fldinst { HYPERLINK %s }}{\fldrslt {%s )", argument.c_str(),
          result_format);
  c.links.link_open = true;
  // The result group ends in a control word: a blank that follows is the link's text.
  if (!image_link) c.loop.after_control_word = true;
}

void CloseOpenLink(Conversion& c) {
  if (!c.links.link_open) return;
  c.output += "}}}";
  c.links.link_open = false;
}

}  // namespace

std::string RadioButtonPicture(bool selected) {
  const std::uint8_t* png = selected ? kRadioSelectedPng : kRadioEmptyPng;
  const std::size_t size = selected ? sizeof(kRadioSelectedPng) : sizeof(kRadioEmptyPng);
  std::string group =
      R"({\pict\pngblip\picw420\pich375\picwgoal420\pichgoal375\picscalex100\picscaley100)" "\n";
  for (std::size_t i = 0; i < kRadioPictureBytes; ++i) {
    AppendF(group, "%02x", i < size ? png[i] : 0);
  }
  group += "}\n";
  return group;
}

void HandleAnchorStart(Conversion& c) {
  if (c.options.keep_hyperlinks == 0) {
    c.pos = TagEndFrom(c.input, c.pos);
    return;
  }
  // An anchor inside an anchor closes the outer field first.
  CloseOpenLink(c);
  const std::string_view in = c.input;
  std::size_t i = c.pos + 2;
  while (i < in.size() && in[i] != '>') {
    if (const bool plain = AtNoCase(in, i, "href=") && IsQuote(ByteAt(in, i + 5));
        plain || SpacedAttributeAt(in, i, "href")) {
      if (plain) i += 5;
      const bool image_link = LinksToImage(in, i + 1);
      const std::string_view value = ReadQuotedValue(in, i, kMaxLinkValue);
      if (!image_link || c.convert_images) WriteLinkField(c, value, image_link);
    } else if (const bool plain_name = AtNoCase(in, i, "name=") && IsQuote(ByteAt(in, i + 5));
               plain_name || SpacedAttributeAt(in, i, "name")) {
      if (plain_name) i += 5;
      std::string name;
      for (char ch : ReadQuotedValue(in, i, kMaxLinkValue)) {
        if (!IsQuote(static_cast<unsigned char>(ch))) name += ch;
      }
      const std::string escaped = EscapeRtfText(name);
      AppendF(c.output, R"({\*\bkmkstart %s}{\*\bkmkend %s})", escaped.c_str(),
              escaped.c_str());
    } else if (NameFollowedBy(in, i, "title")) {
      i += 5;
      SkipTitleValue(in, i);
      continue;
    }
    // Step over the closing quote of a value, or the byte just tested.
    if (i < in.size() && in[i] != '>') ++i;
  }
  c.pos = std::min(i, in.size() - 1);
}

void HandleAnchorEnd(Conversion& c) {
  if (c.options.keep_hyperlinks != 0) CloseOpenLink(c);
  c.pos = TagEndFrom(c.input, c.pos);
}

void HandleInput(Conversion& c) {
  enum : int { kNone = 0, kCheckbox = 1, kRadio = 2, kText = 3 };
  int type = kNone;
  bool selected = false;
  std::string name, value;
  const std::string_view in = c.input;
  std::size_t i = c.pos + 6;
  while (i < in.size() && in[i] != '>') {
    if (NameFollowedBy(in, i, "type")) {
      i += 4;
      std::string word = ReadControlValue(in, i, kMaxControlType);
      for (char& ch : word) {
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
      }
      type = word == "checkbox" ? kCheckbox : word == "radio" ? kRadio
                                            : word == "text"  ? kText
                                                              : kNone;
    } else if (NameFollowedBy(in, i, "value")) {
      i += 5;
      value = ReadControlValue(in, i, kMaxControlText);
    } else if (NameFollowedBy(in, i, "name")) {
      i += 4;
      name = ReadControlValue(in, i, kMaxControlText);
    } else if (IsBlankOrLineFeed(ByteAt(in, i)) && AtNoCase(in, i + 1, "checked")) {
      selected = true;
      i += 8;
    } else {
      ++i;
    }
  }
  c.pos = std::min(i, in.size() - 1);

  const std::string safe_name = EscapeRtfText(name);
  const std::string safe_value = EscapeRtfText(value);
  switch (type) {
    case kCheckbox:
      if (selected) {
        AppendF(c.output,
                R"({\*\bkmkstart %s}{\field\fldpriv{\*\fldinst { FORMCHECKBOX }{{\*\formfield{\fftype1\ffres25\fftypetxt0\ffhps20{\*\ffname %s}\ffdefres1}}}}{\fldrslt }}{\*\bkmkend %s})" "\n",
                safe_name.c_str(), safe_name.c_str(), safe_name.c_str());
      } else {
        AppendF(c.output,
                R"({\*\bkmkstart %s}{\field\fldpriv{\*\fldinst { FORMCHECKBOX }{{\*\formfield{\fftype1\ffres25\fftypetxt0\ffhps20{\*\ffname %s}\ffdefres0}}}}{\fldrslt }}{\*\bkmkend %s})" "\n",
                safe_name.c_str(), safe_name.c_str(), safe_name.c_str());
      }
      break;
    case kRadio:
      c.output += RadioButtonPicture(selected);
      break;
    case kText:
      AppendF(c.output,
              R"({\*\bkmkstart %s}{\field{\*\fldinst { FORMTEXT }{{\*\formfield{\fftype0\fftypetxt0{\*\ffname %s}{\*\ffdeftext %s}}}}}{\fldrslt {\noproof %s}}}{\*\bkmkend %s})" "\n",
              safe_name.c_str(), safe_name.c_str(), safe_value.c_str(), safe_value.c_str(),
              safe_name.c_str());
      break;
    default:
      break;  // submit, hidden, password and the rest write nothing
  }
}

void HandleFormStart(Conversion& c) {
  c.pos = TagEndFrom(c.input, c.pos);
  // A form writes its own paragraph mark.
  c.loop.after_paragraph_close = false;
  c.loop.after_div_close = false;
  if (c.loop.at_paragraph_start) return;
  if (InTableCell(c)) {
    c.output += c.loop.cell_has_text ? c.templates.cell_paragraph_start
                                     : c.templates.first_cell_paragraph;
    AppendCellNesting(c);
  } else {
    c.output += c.templates.paragraph_start;
  }
  c.loop.at_paragraph_start = true;
  c.loop.list_par_pending = false;
}

void HandleFormEnd(Conversion& c) {
  c.loop.after_paragraph_close = true;
  c.pos = TagEndFrom(c.input, c.pos);
}

}  // namespace velmorane
