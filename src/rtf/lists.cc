// Bulleted and numbered lists: each li is its own paragraph with a complete numbering
// group and a hanging indent taken from the nesting depth.
#include "rtf/lists.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/append.h"
#include "base/byte_scan.h"
#include "rtf/blocks.h"
#include "rtf/conversion.h"
#include "rtf/pictures.h"
#include "rtf/prologue.h"
#include "rtf/style_rules.h"
#include "rtf/tag_loop.h"
#include "rtf/tag_scan.h"

namespace velmorane {
namespace {

constexpr std::array<const char*, 20> kLowerRoman = {
    "i",  "ii",  "iii",  "iv",  "v",  "vi",  "vii",  "viii",  "ix",  "x",
    "xi", "xii", "xiii", "xiv", "xv", "xvi", "xvii", "xviii", "xix", "xx"};
constexpr std::array<const char*, 20> kUpperRoman = {
    "I",  "II",  "III",  "IV",  "V",  "VI",  "VII",  "VIII",  "IX",  "X",
    "XI", "XII", "XIII", "XIV", "XV", "XVI", "XVII", "XVIII", "XIX", "XX"};

constexpr char kBulletItem[] =
    R"(%s{\*\pn\pnlvlblt\pnf%d\pnindent0{\pntxtb%s}}\fi%d\li%d{\pntext%s\tab})";

struct Bullet {
  const char* text;
  int font;
};

// The bullet of a ul level: its own style, else the glyph of its depth.
Bullet BulletFor(int style, int ul_depth) {
  const Bullet by_depth = ul_depth <= 1   ? Bullet{R"(\'B7)", 100}
                          : ul_depth == 2 ? Bullet{" o", 102}
                                          : Bullet{R"(\'A7)", 101};
  switch (style) {
    case kListNone: return Bullet{"", by_depth.font};
    case kListDisc: return Bullet{R"(\'B7)", 100};
    case kListCircle: return Bullet{" o", 102};
    case kListSquare: return Bullet{R"(\'A7)", 101};
    default: return by_depth;
  }
}

// Indents grow with the depths, which the input controls: keep them printable.
int ClampTwips(long long twips) {
  return static_cast<int>(std::clamp<long long>(twips, INT_MIN, INT_MAX));
}

// A keyword value after "list-style:" or "list-style-type:": blanks skipped, then
// letters, digits and "-".
std::string ReadStyleWord(std::string_view text, std::size_t& pos) {
  while (pos < text.size() && text[pos] == ' ') ++pos;
  std::string word;
  while (pos < text.size() && word.size() < 40) {
    char c = text[pos];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) break;
    word += c;
    ++pos;
  }
  return word;
}

// none, disc, circle, square as list styles 1 to 4; 0 for any other word.
int BulletWord(std::string word) {
  for (char& c : word) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (word == "none") return kListNone;
  if (word == "disc") return kListDisc;
  if (word == "circle") return kListCircle;
  if (word == "square") return kListSquare;
  return kListDefault;
}

// `name` at `pos` begins an attribute (a blank, line feed or quote before it) and is
// followed by "=", possibly after blanks. The position is left behind the name.
bool AttributeAt(std::string_view text, std::size_t& pos, std::string_view name) {
  if (pos == 0 || !AtNoCase(text, pos, name)) return false;
  const unsigned char before = ByteAt(text, pos - 1);
  if (before != ' ' && before != '\n' && before != '"' && before != '\'') return false;
  std::size_t after = pos + name.size();
  while (ByteAt(text, after) == ' ') ++after;
  if (ByteAt(text, after) != '=') return false;
  pos += name.size();
  return true;
}

// Reads the attributes of <ul or <ol up to the tag's ">" into the style of the level
// the list opens; returns the position of the ">".
std::size_t ScanListAttributes(Conversion& c, std::size_t pos, bool ordered) {
  const std::string_view in = c.input;
  ListState& lists = c.lists;
  int& style = lists.LevelStyle(ordered ? lists.ol_depth : lists.ul_depth);
  while (pos < in.size() && in[pos] != '>') {
    const bool type_css = AtNoCase(in, pos, "list-style-type:");
    if (type_css || AtNoCase(in, pos, "list-style:")) {
      pos += type_css ? 16 : 11;
      const int word = BulletWord(ReadStyleWord(in, pos));
      if (ordered) {
        if (word == kListNone) style = kListNone;
      } else if (word != kListDefault) {
        style = word;
      }
    } else if (AttributeAt(in, pos, "class")) {
      const std::string name = ReadAttributeValue(in, pos);
      const int rule = RuleListStyle(c, name, ordered ? kElementOl : kElementUl);
      if (!ordered) {
        if (rule >= kListNone && rule <= kListSquare) style = rule;
      } else if (rule == kListNone || (rule >= kListLowerRoman && rule <= kListUpperAlpha)) {
        style = rule;
      } else if (rule == kListArabic) {
        style = kListDefault;
      }
    } else if (AttributeAt(in, pos, "type")) {
      const std::string value = ReadAttributeValue(in, pos);
      if (!ordered) {
        const int word = BulletWord(value);
        if (word != kListDefault) style = word;
      } else if (value == "i") {
        style = kListLowerRoman;
      } else if (value == "I") {
        style = kListUpperRoman;
      } else if (value == "a") {
        style = kListLowerAlpha;
      } else if (value == "A") {
        style = kListUpperAlpha;
      } else if (value == "1") {
        style = kListDefault;
      }
    } else {
      ++pos;
    }
  }
  return std::min(pos, in.empty() ? 0 : in.size() - 1);
}

// The number text of an ol item in roman or alphabetic styles; empty otherwise.
std::string NumberText(int style, int counter) {
  switch (style) {
    case kListLowerRoman:
      return counter >= 1 && counter <= 20 ? kLowerRoman[counter - 1] : "i";
    case kListUpperRoman:
      return counter >= 1 && counter <= 20 ? kUpperRoman[counter - 1] : "I";
    case kListLowerAlpha:
      return std::string(1, counter >= 1 && counter <= 26 ? static_cast<char>('a' + counter - 1)
                                                           : 'a');
    case kListUpperAlpha:
      return std::string(1, counter >= 1 && counter <= 26 ? static_cast<char>('A' + counter - 1)
                                                           : 'A');
    default:
      return {};
  }
}

// The lists of the list table (see ListState).
constexpr int kBulletList = 1;
constexpr int kContinuationList = 2;
constexpr int kFirstOrderedList = 3;
// Ordered lists with a list of their own; later ones share the last.
constexpr std::size_t kMaxOrderedLists = 1000;
// Levels of an RTF list.
constexpr int kListTableLevels = 9;

// The level of the innermost open list, counted from 0 as "\ilvl" has it.
int CurrentLevel(const ListState& lists) {
  return std::clamp(static_cast<int>(lists.list_ids.size()) - 1, 0, kListTableLevels - 1);
}

// The highest level each list of the table is used at; grown as items refer to lists.
void NoteListUse(ListState& lists, int list, int level) {
  if (lists.used_levels.size() <= static_cast<std::size_t>(list)) {
    lists.used_levels.resize(static_cast<std::size_t>(list) + 1, -1);
  }
  int& used = lists.used_levels[static_cast<std::size_t>(list)];
  used = std::max(used, level);
  lists.any_item = true;
}

// "\levelnfc" of an ol level style.
int NumberFormat(int style) {
  switch (style) {
    case kListNone: return 255;
    case kListUpperRoman: return 1;
    case kListLowerRoman: return 2;
    case kListUpperAlpha: return 3;
    case kListLowerAlpha: return 4;
    default: return 0;
  }
}

// One level of a list: its number format, the text around the number and the indent.
void AppendListLevel(std::string& out, int format, int level) {
  AppendF(out, R"({\listlevel\levelnfc%d\levelnfcn%d\leveljc0\leveljcn0\levelfollow0\levelstartat1)",
          format, format);
  if (format == 23) {
    // Bullets by depth: a disc, a circle, then a square.
    const int glyph = level == 0 ? 8226 : level == 1 ? 9702 : 9642;
    AppendF(out, R"({\leveltext\'01\u%d ?;}{\levelnumbers;})", glyph);
  } else if (format == 255) {
    out += R"({\leveltext\'00;}{\levelnumbers;})";
  } else {
    AppendF(out, R"({\leveltext\'02\'%02x.;}{\levelnumbers\'01;})", level);
  }
  AppendF(out, R"(\fi-360\li%d\lin%d })", 360 * (level + 1), 360 * (level + 1));
}

}  // namespace

int& ListState::LevelStyle(int depth) {
  const std::size_t index =
      std::min<std::size_t>(static_cast<std::size_t>(std::max(depth, 0)), kListLevels - 1);
  return level_styles[index];
}

namespace {

// Whether a list or item tag at `tag` can get a style: the page has style rules, or the
// tag has attributes (a style attribute or an alignment). A bare tag of a page without
// rules gets none, and is passed over quickly.
bool MayHaveStyle(const Conversion& c, std::size_t tag) {
  if (c.style_present) return true;
  const std::size_t name_end = tag + 3;  // "<ul", "<ol", "<li"
  return ByteAt(c.input, name_end) != '>';
}

void CloseItemStyle(Conversion& c) {
  ListState& lists = c.lists;
  if (lists.item_styled.empty() || lists.item_styled.back() == 0) return;
  lists.item_styled.back() = 0;
  CloseElementStyle(c, kElementLi, c.base_size);
}

}  // namespace

void HandleListItemEnd(Conversion& c) {
  CloseItemStyle(c);
  c.pos = TagEndFrom(c.input, c.pos);
}

void HandleListStart(Conversion& c, bool ordered) {
  ListState& lists = c.lists;
  const std::size_t tag = c.pos;
  if (ordered) lists.item_counter = 0;
  c.pos = ScanListAttributes(c, c.pos + 3, ordered);

  int& depth = ordered ? lists.ol_depth : lists.ul_depth;
  if (depth < INT_MAX) ++depth;
  // A list writes its own paragraph mark.
  c.loop.after_paragraph_close = false;
  c.loop.after_div_close = false;
  if (lists.kinds.size() < kStackDepth) lists.kinds.push_back(ordered ? 1 : 0);

  if (!c.loop.at_paragraph_start) {
    if (InTableCell(c)) {
      c.output += c.templates.cell_paragraph_start;
      AppendCellNesting(c);
    } else {
      c.output += c.templates.paragraph_start;
      c.loop.at_paragraph_start = true;
    }
  }
  lists.innermost_kind = ordered ? 1 : 0;
  c.loop.list_par_pending = true;
  c.output += R"(\sb0\sa0 )";

  int list = kBulletList;
  if (ordered) {
    if (lists.ordered_styles.size() < kMaxOrderedLists) {
      lists.ordered_styles.push_back(lists.LevelStyle(lists.ol_depth - 1));
    }
    list = kFirstOrderedList - 1 + static_cast<int>(lists.ordered_styles.size());
  } else if (lists.LevelStyle(lists.ul_depth - 1) == kListNone) {
    list = kContinuationList;
  }
  lists.list_ids.push_back(list);
  lists.item_indents.push_back(0);
  lists.item_styled.push_back(0);
  lists.in_item = false;
  // The page's rules for the list (its colours and background reach its items).
  lists.list_styled.push_back(MayHaveStyle(c, tag) ? 1 : 0);
  if (lists.list_styled.back() != 0) {
    const std::size_t after = c.pos;
    OpenElementStyle(c, tag, ordered ? kElementOl : kElementUl, InTableCell(c));
    c.pos = after;
  }
}

namespace {

// True when, blanks aside, `<li`, `</li`, `</ul`, `</ol`, `<ul` or `<ol` stands at `pos`.
bool ItemOrListTagFollows(std::string_view in, std::size_t pos) {
  while (pos < in.size() && (in[pos] == ' ' || in[pos] == '\n' || in[pos] == '\t' ||
                             in[pos] == '\r')) {
    ++pos;
  }
  if (ByteAt(in, pos) != '<') return false;
  const std::size_t name = pos + (ByteAt(in, pos + 1) == '/' ? 2 : 1);
  const unsigned char after = ByteAt(in, name + 2);
  if (after != '>' && after != ' ' && after != '\n' && after != '\t' && after != '/') return false;
  return AtNoCase(in, name, "li") || AtNoCase(in, name, "ul") || AtNoCase(in, name, "ol");
}

}  // namespace

void HandleListEnd(Conversion& c, bool ordered) {
  ListState& lists = c.lists;
  int& depth = ordered ? lists.ol_depth : lists.ul_depth;
  if (depth > 0) --depth;
  if (ordered) lists.item_counter = 0;
  if (!lists.kinds.empty()) lists.kinds.pop_back();
  // With no list left the kind is not read until the next list sets it.
  lists.innermost_kind = lists.kinds.empty() ? 0 : lists.kinds.back();
  lists.LevelStyle(depth) = kListDefault;
  // The item's last paragraph ended ("</p></li></ul>") and set the next one in the item:
  // that paragraph comes after the list.
  const bool continued = !InTableCell(c) && c.loop.at_paragraph_start &&
                         lists.continuation_end == c.output.size() &&
                         lists.continuation_end > lists.continuation_begin;
  if (continued) c.output.Resize(lists.continuation_begin);
  CloseItemStyle(c);
  if (!lists.list_ids.empty()) {
    lists.list_ids.pop_back();
    lists.item_indents.pop_back();
    lists.item_styled.pop_back();
    if (lists.list_styled.back() != 0) {
      CloseElementStyle(c, ordered ? kElementOl : kElementUl, c.base_size);
    }
    lists.list_styled.pop_back();
  }
  // Back in the item the list stood in, if any.
  lists.in_item = !lists.list_ids.empty();

  c.loop.after_paragraph_close = false;
  c.loop.after_div_close = false;
  if (InTableCell(c)) {
    c.output += c.templates.cell_paragraph_start;
    AppendCellNesting(c);
  } else if (!c.loop.at_paragraph_start) {
    c.output += c.templates.paragraph_start;
    c.loop.at_paragraph_start = true;
  }
  c.loop.list_par_pending = false;
  c.pos = TagEndFrom(c.input, c.pos);
  // After an inner list the item around it goes on, unless the item or the list ends or
  // another item starts right away.
  if (!InTableCell(c) && !ItemOrListTagFollows(c.input, c.pos + 1)) ContinueListItem(c);
}

void HandleListItem(Conversion& c) {
  ListState& lists = c.lists;
  if (lists.item_counter < INT_MAX) ++lists.item_counter;
  CloseItemStyle(c);  // the item before, when its end tag was left out
  const std::size_t tag = c.pos;
  c.pos = TagEndFrom(c.input, c.pos);
  // The item writes its own paragraph mark.
  c.loop.after_paragraph_close = false;
  c.loop.after_div_close = false;

  const bool in_cell = InTableCell(c);
  if (!c.loop.at_paragraph_start) {
    if (in_cell) {
      c.output += c.templates.cell_zero_break;
      AppendCellNesting(c);
    } else {
      c.output += c.templates.zero_line_end;
    }
  }
  const char* prefix = in_cell ? R"(\pard\intbl)" : "";
  int indent = 360;

  if (lists.ul_depth >= 1 && lists.innermost_kind == 0) {
    const Bullet bullet = BulletFor(lists.LevelStyle(lists.ul_depth - 1), lists.ul_depth);
    const long long m = lists.ol_depth >= 1 ? lists.ol_depth + 1LL : 1LL;
    indent = ClampTwips(m * lists.ul_depth * 360);
    AppendF(c.output, kBulletItem, prefix, bullet.font, bullet.text, -180, indent, bullet.text);
  } else if (lists.ol_depth >= 1 && lists.innermost_kind == 1) {
    const int style = lists.LevelStyle(lists.ol_depth - 1);
    const std::string number = NumberText(style, lists.item_counter);
    const long long m = lists.ul_depth >= 1 ? lists.ul_depth + 1LL : 1LL;
    AppendF(c.output,
            R"(%s{\*\pn\pnlvlbody\pnf0\pnindent0\pnstart1%s{\pntxta %s.}}\fi%d\li%d{\pntext})",
            prefix, style == kListDefault ? R"(\pndec)" : "", number.c_str(), -240,
            ClampTwips(lists.ol_depth * m * 400));
    indent = ClampTwips(lists.ol_depth * m * 400);
  } else {
    // An item outside any list is bulleted like a first-level ul item.
    AppendF(c.output, kBulletItem, prefix, 100, R"(\'B7)", -180, 360, R"(\'B7)");
  }
  // Items in table cells keep only their numbering groups: AbiWord fails on some documents
  // whose cell paragraphs refer to the list table.
  if (lists.real_lists && in_cell) lists.in_item = false;
  if (lists.real_lists && !in_cell) {
    const int list = lists.list_ids.empty() ? kBulletList : lists.list_ids.back();
    const int level = CurrentLevel(lists);
    AppendF(c.output, R"(\ls%d\ilvl%d )", list, level);
    NoteListUse(lists, list, level);
    if (!lists.item_indents.empty()) lists.item_indents.back() = indent;
    lists.in_item = !lists.list_ids.empty();
  }
  if (in_cell) AppendCellNesting(c);

  c.loop.at_paragraph_start = true;
  ReemitCharacterState(c);
  c.loop.list_par_pending = true;
  if (!lists.item_styled.empty() && MayHaveStyle(c, tag)) {
    const std::size_t after = c.pos;
    OpenElementStyle(c, tag, kElementLi, in_cell);
    c.pos = after;
    lists.item_styled.back() = 1;
  }
}

void ContinueListItem(Conversion& c) {
  ListState& lists = c.lists;
  if (!lists.real_lists || !lists.in_item || lists.list_ids.empty()) return;
  const int level = CurrentLevel(lists);
  lists.continuation_begin = c.output.size();
  AppendF(c.output, R"(\ls%d\ilvl%d\fi0\li%d )", kContinuationList, level,
          lists.item_indents.back());
  lists.continuation_end = c.output.size();
  NoteListUse(lists, kContinuationList, level);
}

namespace {

// True when the finished document will hold a metafile picture: the rule, or a picture
// group written as a metafile.
bool HoldsMetafile(const Conversion& c) {
  for (const PictureRecord& record : c.pictures.records) {
    if (record.kind == PictureKind::kDib) continue;
    if (c.options.image_format == 1 || record.kind == PictureKind::kMetafile) return true;
  }
  return c.output.HoldsWatchedText();
}

}  // namespace

void WriteListTables(Conversion& c) {
  ListState& lists = c.lists;
  if (!lists.any_item) return;
  // A reader (AbiWord) fails on documents that hold both a metafile picture and a list
  // table: such documents keep only the numbering groups.
  if (HoldsMetafile(c)) {
    // The "\lsN\ilvlN" references of the items go as the document is written out.
    lists.remove_references = true;
    return;
  }
  const std::string_view head = c.output.Head();
  const std::size_t at = head.substr(0, std::min(c.loop.loop_start_length, head.size())).find(R"({\info)");
  if (at == std::string_view::npos) return;
  std::string tables = R"({\*\listtable)";
  std::string overrides = R"({\*\listoverridetable)";
  for (std::size_t list = 1; list < lists.used_levels.size(); ++list) {
    const int used = lists.used_levels[list];
    if (used < 0) continue;
    const int id = static_cast<int>(list);
    int format = 23;
    if (id == kContinuationList) {
      format = 255;
    } else if (id >= kFirstOrderedList) {
      const std::size_t k = static_cast<std::size_t>(id - kFirstOrderedList);
      format = NumberFormat(k < lists.ordered_styles.size() ? lists.ordered_styles[k] : 0);
    }
    tables += "\n" R"({\list\listhybrid)";
    for (int level = 0; level <= used; ++level) AppendListLevel(tables, format, level);
    AppendF(tables, R"({\listname ;}\listid%d})", id);
    AppendF(overrides, R"({\listoverride\listid%d\listoverridecount0\ls%d})", id, id);
  }
  tables += "}\n";
  tables += overrides;
  tables += "}\n";
  c.output.Insert(at, tables);
}

}  // namespace velmorane
