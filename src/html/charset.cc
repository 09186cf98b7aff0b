// Decoding: turns the input into 8-bit text (16-bit and UTF-8 input become bytes and
// "&#N;" references) and settles the character set, language and code page.
#include <algorithm>
#include <cstdint>
#include <new>
#include <string>

#include "html/charset.h"
#include "base/append.h"
#include "base/byte_scan.h"
#include "base/text_match.h"
#include "html/page.h"
#include "platform/files.h"
#include "platform/iconv_decoder.h"

namespace velmorane {

namespace {

// KOI8-R bytes 0x80..0xFF in Windows-1251. The letters follow the usual correspondence;
// the signs of the upper half map to their Windows-1251 byte, and those Windows-1251
// lacks (box drawing, mathematical signs) are 0: the decoding turns them into references
// (kKoi8rHighUnicode) before any byte mapping runs.
constexpr std::uint8_t kKoi8rToWindows1251[128] = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA0, 0x00, 0xB0, 0x00, 0xB7, 0x00,
    0x00, 0x00, 0x00, 0xB8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0xA8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA9,
    0xFE, 0xE0, 0xE1, 0xF6, 0xE4, 0xE5, 0xF4, 0xE3, 0xF5, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE,
    0xEF, 0xFF, 0xF0, 0xF1, 0xF2, 0xF3, 0xE6, 0xE2, 0xFC, 0xFB, 0xE7, 0xF8, 0xFD, 0xF9, 0xF7, 0xFA,
    0xDE, 0xC0, 0xC1, 0xD6, 0xC4, 0xC5, 0xD4, 0xC3, 0xD5, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE,
    0xCF, 0xDF, 0xD0, 0xD1, 0xD2, 0xD3, 0xC6, 0xC2, 0xDC, 0xDB, 0xC7, 0xD8, 0xDD, 0xD9, 0xD7, 0xDA,
};

// KOI8-R bytes 0x80..0xBF as Unicode.
constexpr char16_t kKoi8rHighUnicode[64] = {
    0x2500, 0x2502, 0x250C, 0x2510, 0x2514, 0x2518, 0x251C, 0x2524,
    0x252C, 0x2534, 0x253C, 0x2580, 0x2584, 0x2588, 0x258C, 0x2590,
    0x2591, 0x2592, 0x2593, 0x2320, 0x25A0, 0x2219, 0x221A, 0x2248,
    0x2264, 0x2265, 0x00A0, 0x2321, 0x00B0, 0x00B2, 0x00B7, 0x00F7,
    0x2550, 0x2551, 0x2552, 0x0451, 0x2553, 0x2554, 0x2555, 0x2556,
    0x2557, 0x2558, 0x2559, 0x255A, 0x255B, 0x255C, 0x255D, 0x255E,
    0x255F, 0x2560, 0x2561, 0x0401, 0x2562, 0x2563, 0x2564, 0x2565,
    0x2566, 0x2567, 0x2568, 0x2569, 0x256A, 0x256B, 0x256C, 0x00A9,
};

// ISO-8859-5 bytes 0xF0..0xFF in Windows-1251. Shifting them by 0x10 like the rest of
// the letters would wrap them round to control bytes, so they are looked up instead.
constexpr std::uint8_t kIso88595HighToWindows1251[16] = {
    0xB9, 0xE5, 0x90, 0x83, 0xBA, 0xBE, 0xB3, 0xBF,
    0xBC, 0x9A, 0x9C, 0x9E, 0x9D, 0xA7, 0xA2, 0x9F,
};

struct LanguageRow {
  std::string_view name;
  int language_id;
  int charset;  // -1: the language leaves charset and far-east flag alone
};

constexpr LanguageRow kLanguages[] = {
    {"albanian", 1052, -1},   {"english", 1033, -1},    {"belgian", 2067, -1},
    {"brazil", 1046, -1},     {"bulgarian", 1026, -1},  {"hungarian", 1038, -1},
    {"danish", 1030, -1},     {"italian", 1040, -1},    {"spanish", 3082, -1},
    {"latvian", 1062, -1},    {"lithuanian", 1063, -1}, {"german", 1031, -1},
    {"netherlands", 1043, -1}, {"norwegian", 2068, -1}, {"polish", 1045, -1},
    {"portuguese", 2070, -1}, {"romanian", 1048, -1},   {"russian", 1049, -1},
    {"ukrainian", 1058, -1},  {"finnish", 1035, -1},    {"french", 1036, -1},
    {"czech", 1029, -1},      {"swedish", 1053, -1},    {"arabic", 1025, -1},
    {"turkish", 1055, -1},
    {"japanese", 1033, 128},  {"simplifiedchinese", 1033, 134},
    {"traditionalchinese", 1033, 136}, {"korean", 1033, 129}, {"thai", 1033, 128},
};

// What an encoding name or a declaration selects.
struct EncodingChoice {
  ByteMapping mapping;
  int charset;  // -1: unchanged
  std::string_view family;
  bool utf8;
};

void Apply(const EncodingChoice& choice, CharsetState& state) {
  state.mapping = choice.mapping;
  if (choice.charset >= 0) state.charset = choice.charset;
  state.family = std::string(choice.family);
  if (choice.utf8) state.utf8 = true;
}

struct NamedEncoding {
  std::string_view name;
  EncodingChoice choice;
};

// Encoding names as the front ends offer them, compared exactly.
constexpr NamedEncoding kEncodingNames[] = {
    {"(Windows-1250) European", {ByteMapping::kIdentity, 238, "fswiss", false}},
    {"(Windows-1251) Cyrillic", {ByteMapping::kIdentity, 204, "fnil", false}},
    {"(Windows-1252) European", {ByteMapping::kIdentity, 0, "fswiss", false}},
    {"(Windows-1253) Greek", {ByteMapping::kIdentity, 161, "fswiss", false}},
    {"(Windows-1254) Turkish", {ByteMapping::kIdentity, 162, "fswiss", false}},
    {"(Windows-1255) Hebrew", {ByteMapping::kIdentity, 177, "fswiss", false}},
    {"(Windows-1256) Arabic", {ByteMapping::kIdentity, 178, "fswiss", false}},
    {"(Windows-1257) Baltic", {ByteMapping::kIdentity, 186, "fswiss", false}},
    {"(Windows-1258) European", {ByteMapping::kIdentity, 0, "fswiss", false}},
    {"(KOI8-R) Cyrillic", {ByteMapping::kKoi8rToWindows1251, 204, "fnil", false}},
    {"(ISO-8859-5) Cyrillic", {ByteMapping::kIso88595ToWindows1251, 204, "fnil", false}},
    {"(UTF-8) Unicode", {ByteMapping::kIdentity, -1, "fswiss", true}},
};
constexpr EncodingChoice kOtherEncoding = {ByteMapping::kIdentity, 0, "fswiss", false};

// Patterns looked for inside a "charset=" declaration (written in lower case).
constexpr NamedEncoding kDeclarations[] = {
    {"1250", {ByteMapping::kIdentity, 238, "fswiss", false}},
    {"1251", {ByteMapping::kIdentity, 204, "fnil", false}},
    {"1252", {ByteMapping::kIdentity, 0, "fswiss", false}},
    {"1253", {ByteMapping::kIdentity, 161, "fswiss", false}},
    {"1254", {ByteMapping::kIdentity, 162, "fswiss", false}},
    {"1255", {ByteMapping::kIdentity, 177, "fswiss", false}},
    {"1256", {ByteMapping::kIdentity, 178, "fswiss", false}},
    {"1257", {ByteMapping::kIdentity, 186, "fswiss", false}},
    {"1258", {ByteMapping::kIdentity, 0, "fswiss", false}},
    {"koi8", {ByteMapping::kKoi8rToWindows1251, 204, "fnil", false}},
    {"8859-5", {ByteMapping::kIso88595ToWindows1251, 204, "fnil", false}},
    {"latin5", {ByteMapping::kIso88595ToWindows1251, 204, "fnil", false}},
    {"8859-1", {ByteMapping::kIdentity, 0, "fswiss", false}},
    {"latin1", {ByteMapping::kIdentity, 0, "fswiss", false}},
    {"shift_jis", {ByteMapping::kIdentity, 128, "fswiss", false}},
    {"utf-8", {ByteMapping::kIdentity, -1, "fswiss", true}},
    {"utf-16", {ByteMapping::kIdentity, -1, "fswiss", true}},
};

// Applies every declaration pattern that stands at `q`.
void ApplyDeclarationsAt(std::string_view text, std::size_t q, CharsetState& state) {
  for (const NamedEncoding& declaration : kDeclarations) {
    if (!AtNoCase(text, q, declaration.name)) continue;
    Apply(declaration.choice, state);
    if (declaration.name == "shift_jis") {
      state.language_id = 1033;
      state.far_east = true;
    }
  }
  if (AtNoCase(text, q, "gb2312")) {
    state.language_name = "SimplifiedChinese";
    LookupLanguage(state.language_name, state);
  }
}

// The charset name behind "charset=" at `p`, in lower case (quotes and blanks passed over).
std::string DeclaredName(std::string_view text, std::size_t p) {
  std::size_t q = p + 8;
  while (q < text.size() && (text[q] == '"' || text[q] == '\'' || text[q] == ' ')) ++q;
  std::string name;
  for (; q < text.size() && name.size() < 40; ++q) {
    const char ch = AsciiLower(text[q]);
    const bool letter = (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9');
    if (!letter && ch != '-' && ch != '_' && ch != '.' && ch != ':') break;
    name += ch;
  }
  return name;
}

// Honours every "charset=" declaration before "</head>"; the last match wins. Returns
// the name the last declaration gave (empty for none).
std::string ScanDeclarations(std::string_view text, CharsetState& state) {
  std::string declared;
  std::size_t p = 0;
  while (p < text.size()) {
    // Both keywords start with "<" or "c": other bytes are passed over untested.
    const char first = AsciiLower(text[p]);
    if (first != '<' && first != 'c') {
      ++p;
      continue;
    }
    if (AtNoCase(text, p, "</head>")) break;
    if (AtNoCase(text, p, "charset=")) {
      std::size_t end = text.find('>', p);
      if (end == std::string_view::npos) end = text.size();
      for (std::size_t q = p; q < end; ++q) ApplyDeclarationsAt(text, q, state);
      std::string name = DeclaredName(text, p);
      if (!name.empty()) declared = std::move(name);
      p = end + 1;
      continue;
    }
    ++p;
  }
  return declared;
}

struct ConverterName {
  std::string_view name;   // as pages declare it, in lower case
  std::string_view iconv;  // the C library's name; empty: the byte table handles it
};

// Names whose text the byte table reads as it is, and names that need the C library's
// decoder (browsers read the older names as their larger successors).
constexpr ConverterName kConverterNames[] = {
    {"iso-8859-1", ""},          {"iso8859-1", ""},           {"latin1", ""},
    {"us-ascii", ""},            {"ascii", ""},               {"iso-8859-5", ""},
    {"iso8859-5", ""},           {"koi8-r", ""},              {"koi8r", ""},
    {"koi8", ""},                {"utf-8", ""},               {"utf8", ""},
    {"utf-16", ""},              {"shift_jis", "CP932"},      {"shift-jis", "CP932"},
    {"sjis", "CP932"},           {"x-sjis", "CP932"},         {"windows-31j", "CP932"},
    {"cp932", "CP932"},          {"euc-jp", "EUC-JP"},        {"x-euc-jp", "EUC-JP"},
    {"iso-2022-jp", "ISO-2022-JP"}, {"euc-kr", "CP949"},      {"ks_c_5601-1987", "CP949"},
    {"cp949", "CP949"},          {"windows-949", "CP949"},    {"gb2312", "GB18030"},
    {"gbk", "GB18030"},          {"gb18030", "GB18030"},      {"x-gbk", "GB18030"},
    {"cp936", "GB18030"},        {"big5", "BIG5-HKSCS"},      {"big5-hkscs", "BIG5-HKSCS"},
    {"cp950", "BIG5-HKSCS"},     {"x-x-big5", "BIG5-HKSCS"},  {"koi8-u", "KOI8-U"},
    {"windows-874", "CP874"},    {"tis-620", "CP874"},        {"iso-8859-11", "CP874"},
    {"utf-16be", "UTF-16BE"},    {"utf-16le", "UTF-16LE"},
};

// The C library's decoder for a declared or chosen name; empty when the byte table reads
// the text (or nothing knows the name).
std::string_view ConverterFor(std::string_view name) {
  for (const ConverterName& row : kConverterNames) {
    if (name == row.name) return row.iconv;
  }
  // Windows code pages 1250..1258 in any spelling are the byte table's.
  for (std::string_view page : {"1250", "1251", "1252", "1253", "1254", "1255", "1256", "1257",
                                "1258"}) {
    if (name.find(page) != std::string_view::npos) return "";
  }
  // The other ISO-8859 parts: "iso-8859-2", "iso8859-15", "latin2" ...
  if (name.starts_with("iso-8859-") || name.starts_with("iso8859-") ||
      name.starts_with("iso_8859-")) {
    return name;
  }
  return "";
}

// True when `text` is well-formed UTF-8 holding at least one multi-byte sequence.
bool LooksLikeUtf8(std::string_view text) {
  bool multi_byte = false;
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      i = AsciiRunEnd(text, i);
      continue;
    }
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return false;
    }
    multi_byte = true;
    i += length;
  }
  return multi_byte;
}

// The Windows code page of an RTF character set (1252 for the ones without their own).
int CodePageOfCharset(int charset) {
  switch (charset) {
    case 204: return 1251;
    case 238: return 1250;
    case 161: return 1253;
    case 162: return 1254;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 222: return 874;
    case 128: return 932;
    case 129: return 949;
    case 134: return 936;
    case 136: return 950;
    default: return 1252;
  }
}

// Writes "&#" + decimal value + ";" at `w` (at most 14 bytes) and returns its end.
char* WriteReference(char* w, unsigned value) {
  *w++ = '&';
  *w++ = '#';
  w = WriteDecimal(w, value);
  *w++ = ';';
  return w;
}

void AppendReference(std::string& out, unsigned value) {
  char text[14];
  out.append(text, static_cast<std::size_t>(WriteReference(text, value) - text));
}

// KOI8-R text: the upper-half signs Windows-1251 lacks become references, so that the
// byte mapping meets only bytes it has a Windows-1251 byte for.
void RewriteKoi8rSigns(std::string& text) {
  std::size_t signs = 0;
  for (char ch : text) {
    const unsigned char b = static_cast<unsigned char>(ch);
    signs += b >= 0x80 && kKoi8rToWindows1251[b - 0x80] == 0 ? 1 : 0;
  }
  if (signs == 0) return;
  std::string out;
  out.reserve(text.size() + 8 * signs);
  for (char ch : text) {
    const unsigned char b = static_cast<unsigned char>(ch);
    if (b >= 0x80 && kKoi8rToWindows1251[b - 0x80] == 0) {
      AppendReference(out, kKoi8rHighUnicode[b - 0x80]);
    } else {
      out += ch;
    }
  }
  text.swap(out);
}

// Mostly-zero input is taken as 16-bit little-endian text: a unit whose high byte is
// zero stays one byte, any other unit becomes a reference, lone zero bytes vanish.
bool RewriteSixteenBit(std::string& text) {
  std::size_t zeros = 0;
  for (char c : text) zeros += c == 0 ? 1 : 0;
  if (text.size() >= 3 * zeros) return false;
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char low = static_cast<unsigned char>(text[i]);
    if (low == 0) {
      ++i;
      continue;
    }
    const unsigned char high = ByteAt(text, i + 1);
    if (high == 0) {
      out += static_cast<char>(low);
      ++i;
    } else {
      AppendReference(out, high * 256u + low);
      i += 2;
    }
  }
  text.swap(out);
  return true;
}

constexpr char16_t kReplacement = 0xFFFD;

// Decodes UTF-8 into UTF-16 units handed to `emit`. A character above U+FFFF becomes a
// surrogate pair; each maximal ill-formed part of a sequence becomes one U+FFFD.
// Runs of ASCII bytes go whole to `emit_run`.
template <typename EmitRun, typename Emit>
void DecodeUtf8(std::string_view text, EmitRun&& emit_run, Emit&& emit) {
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      const std::size_t end = AsciiRunEnd(text, i);
      emit_run(text.substr(i, end - i));
      i = end;
      continue;
    }
    // Two-byte sequences (Cyrillic, Greek, most accented letters) in one step.
    if (lead >= 0xC2 && lead <= 0xDF && i + 1 < text.size()) {
      const unsigned char next = static_cast<unsigned char>(text[i + 1]);
      if (next >= 0x80 && next <= 0xBF) {
        emit(static_cast<char16_t>(((lead & 0x1F) << 6) | (next & 0x3F)));
        i += 2;
        continue;
      }
    }
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    char32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;   // no overlong forms
      if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
      emit(kReplacement);
      ++i;
      continue;
    }
    std::size_t k = 1;
    for (; k < length && i + k < text.size(); ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) break;
      code = (code << 6) | (next & 0x3F);
    }
    i += k;
    if (k < length) {
      emit(kReplacement);  // the bytes read so far; the next byte is read again
    } else if (code >= 0x10000) {
      code -= 0x10000;
      emit(static_cast<char16_t>(0xD800 + (code >> 10)));
      emit(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      emit(static_cast<char16_t>(code));
    }
  }
}

// Rewrites UTF-8 text as bytes below 256 and references for every other unit; with
// `latin_bytes` false (a code page other than Windows-1252 will read the bytes) only
// ASCII stays bytes.
void RewriteUtf8(std::string& text, bool latin_bytes = true) {
  const char16_t byte_limit = latin_bytes ? 256 : 128;
  std::string_view body = text;
  if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
  // Every unit a well-formed sequence gives fits in three bytes more than the sequence
  // ("&#1090;" for two bytes, two references for four): reserve that, so the output is
  // never copied while it grows.
  const std::size_t high_bytes = CountHighBytes(body);
  std::string out;
  out.reserve(body.size() + 3 * high_bytes + 64);
  AdviseHugePages(out);
  BlockAppender block(out);
  auto emit = [&block, byte_limit](char16_t unit) {
    char* w = block.Room();
    if (unit < byte_limit) {
      *w++ = static_cast<char>(unit);
    } else {
      w = WriteReference(w, unit);
    }
    block.Advance(w);
  };
  // The page read so far gives its memory back as the decoded text grows, so the two
  // are never held whole at once.
  constexpr std::size_t kReleaseStep = std::size_t{256} << 10;
  char* released = text.data();
  const char* const text_end = text.data() + text.size();
  const auto append_run = [&block, &released, text_end](std::string_view run) {
    // Runs are pieces of the page itself, read in order.
    if (run.data() >= released + 2 * kReleaseStep && run.data() <= text_end) {
      char* const until = const_cast<char*>(run.data()) - kReleaseStep;
      ReleasePages(released, until);
      released = until;
    }
    block.Append(run.data(), run.size());
  };
  DecodeUtf8(body, append_run, emit);
  block.Flush();
  text.swap(out);
}

}  // namespace

bool ConvertToUtf8(const std::string& from, std::string& text) {
  return IconvToUtf8(from, text);
}

bool IsLibraryDecodedCharset(std::string_view name) {
  std::string lowered;
  for (char ch : name) lowered += AsciiLower(ch);
  const std::string_view converter = ConverterFor(lowered);
  if (converter.empty()) return false;
  return IconvDecodes(std::string(converter));
}

// Bytes 0x80..0xFF of the Windows code pages other than 1252 that documents are written
// in, as Unicode (0 where the code page has no character).
struct CodePageTable {
  int code_page;
  char16_t high[128];
};
constexpr CodePageTable kCodePageTables[] = {
  {1250,
   {
      0x20AC, 0x0000, 0x201A, 0x0000, 0x201E, 0x2026, 0x2020, 0x2021, 0x0000, 0x2030, 0x0160, 0x2039,
      0x015A, 0x0164, 0x017D, 0x0179, 0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
      0x0000, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141,
      0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
      0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB,
      0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
      0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3,
      0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
      0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB,
      0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
      0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
   }},
  {1251,
   {
      0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
      0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
      0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
      0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
      0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
      0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
      0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
      0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
      0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
      0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
      0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
   }},
  {1253,
   {
      0x20AC, 0x0000, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x0000, 0x2030, 0x0000, 0x2039,
      0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
      0x0000, 0x2122, 0x0000, 0x203A, 0x0000, 0x0000, 0x0000, 0x0000, 0x00A0, 0x0385, 0x0386, 0x00A3,
      0x00A4, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x0000, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x2015,
      0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x0384, 0x00B5, 0x00B6, 0x00B7, 0x0388, 0x0389, 0x038A, 0x00BB,
      0x038C, 0x00BD, 0x038E, 0x038F, 0x0390, 0x0391, 0x0392, 0x0393, 0x0394, 0x0395, 0x0396, 0x0397,
      0x0398, 0x0399, 0x039A, 0x039B, 0x039C, 0x039D, 0x039E, 0x039F, 0x03A0, 0x03A1, 0x0000, 0x03A3,
      0x03A4, 0x03A5, 0x03A6, 0x03A7, 0x03A8, 0x03A9, 0x03AA, 0x03AB, 0x03AC, 0x03AD, 0x03AE, 0x03AF,
      0x03B0, 0x03B1, 0x03B2, 0x03B3, 0x03B4, 0x03B5, 0x03B6, 0x03B7, 0x03B8, 0x03B9, 0x03BA, 0x03BB,
      0x03BC, 0x03BD, 0x03BE, 0x03BF, 0x03C0, 0x03C1, 0x03C2, 0x03C3, 0x03C4, 0x03C5, 0x03C6, 0x03C7,
      0x03C8, 0x03C9, 0x03CA, 0x03CB, 0x03CC, 0x03CD, 0x03CE, 0x0000,
   }},
  {1254,
   {
      0x20AC, 0x0000, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039,
      0x0152, 0x0000, 0x0000, 0x0000, 0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x0000, 0x0000, 0x0178, 0x00A0, 0x00A1, 0x00A2, 0x00A3,
      0x00A4, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
      0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x00B9, 0x00BA, 0x00BB,
      0x00BC, 0x00BD, 0x00BE, 0x00BF, 0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
      0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF, 0x011E, 0x00D1, 0x00D2, 0x00D3,
      0x00D4, 0x00D5, 0x00D6, 0x00D7, 0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x0130, 0x015E, 0x00DF,
      0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB,
      0x00EC, 0x00ED, 0x00EE, 0x00EF, 0x011F, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
      0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x0131, 0x015F, 0x00FF,
   }},
  {1255,
   {
      0x20AC, 0x0000, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0000, 0x2039,
      0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
      0x02DC, 0x2122, 0x0000, 0x203A, 0x0000, 0x0000, 0x0000, 0x0000, 0x00A0, 0x00A1, 0x00A2, 0x00A3,
      0x20AA, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x00D7, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
      0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x00B9, 0x00F7, 0x00BB,
      0x00BC, 0x00BD, 0x00BE, 0x00BF, 0x05B0, 0x05B1, 0x05B2, 0x05B3, 0x05B4, 0x05B5, 0x05B6, 0x05B7,
      0x05B8, 0x05B9, 0x0000, 0x05BB, 0x05BC, 0x05BD, 0x05BE, 0x05BF, 0x05C0, 0x05C1, 0x05C2, 0x05C3,
      0x05F0, 0x05F1, 0x05F2, 0x05F3, 0x05F4, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
      0x05D0, 0x05D1, 0x05D2, 0x05D3, 0x05D4, 0x05D5, 0x05D6, 0x05D7, 0x05D8, 0x05D9, 0x05DA, 0x05DB,
      0x05DC, 0x05DD, 0x05DE, 0x05DF, 0x05E0, 0x05E1, 0x05E2, 0x05E3, 0x05E4, 0x05E5, 0x05E6, 0x05E7,
      0x05E8, 0x05E9, 0x05EA, 0x0000, 0x0000, 0x200E, 0x200F, 0x0000,
   }},
  {1256,
   {
      0x20AC, 0x067E, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0679, 0x2039,
      0x0152, 0x0686, 0x0698, 0x0688, 0x06AF, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
      0x06A9, 0x2122, 0x0691, 0x203A, 0x0153, 0x200C, 0x200D, 0x06BA, 0x00A0, 0x060C, 0x00A2, 0x00A3,
      0x00A4, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x06BE, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
      0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x00B9, 0x061B, 0x00BB,
      0x00BC, 0x00BD, 0x00BE, 0x061F, 0x06C1, 0x0621, 0x0622, 0x0623, 0x0624, 0x0625, 0x0626, 0x0627,
      0x0628, 0x0629, 0x062A, 0x062B, 0x062C, 0x062D, 0x062E, 0x062F, 0x0630, 0x0631, 0x0632, 0x0633,
      0x0634, 0x0635, 0x0636, 0x00D7, 0x0637, 0x0638, 0x0639, 0x063A, 0x0640, 0x0641, 0x0642, 0x0643,
      0x00E0, 0x0644, 0x00E2, 0x0645, 0x0646, 0x0647, 0x0648, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB,
      0x0649, 0x064A, 0x00EE, 0x00EF, 0x064B, 0x064C, 0x064D, 0x064E, 0x00F4, 0x064F, 0x0650, 0x00F7,
      0x0651, 0x00F9, 0x0652, 0x00FB, 0x00FC, 0x200E, 0x200F, 0x06D2,
   }},
  {1257,
   {
      0x20AC, 0x0000, 0x201A, 0x0000, 0x201E, 0x2026, 0x2020, 0x2021, 0x0000, 0x2030, 0x0000, 0x2039,
      0x0000, 0x00A8, 0x02C7, 0x00B8, 0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
      0x0000, 0x2122, 0x0000, 0x203A, 0x0000, 0x00AF, 0x02DB, 0x0000, 0x00A0, 0x0000, 0x00A2, 0x00A3,
      0x00A4, 0x0000, 0x00A6, 0x00A7, 0x00D8, 0x00A9, 0x0156, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00C6,
      0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00F8, 0x00B9, 0x0157, 0x00BB,
      0x00BC, 0x00BD, 0x00BE, 0x00E6, 0x0104, 0x012E, 0x0100, 0x0106, 0x00C4, 0x00C5, 0x0118, 0x0112,
      0x010C, 0x00C9, 0x0179, 0x0116, 0x0122, 0x0136, 0x012A, 0x013B, 0x0160, 0x0143, 0x0145, 0x00D3,
      0x014C, 0x00D5, 0x00D6, 0x00D7, 0x0172, 0x0141, 0x015A, 0x016A, 0x00DC, 0x017B, 0x017D, 0x00DF,
      0x0105, 0x012F, 0x0101, 0x0107, 0x00E4, 0x00E5, 0x0119, 0x0113, 0x010D, 0x00E9, 0x017A, 0x0117,
      0x0123, 0x0137, 0x012B, 0x013C, 0x0161, 0x0144, 0x0146, 0x00F3, 0x014D, 0x00F5, 0x00F6, 0x00F7,
      0x0173, 0x0142, 0x015B, 0x016B, 0x00FC, 0x017C, 0x017E, 0x02D9,
   }},
};

const char16_t* CodePageHighHalf(int code_page) {
  for (const CodePageTable& table : kCodePageTables) {
    if (table.code_page == code_page) return table.high;
  }
  return nullptr;
}

unsigned Windows1252ToUnicode(std::uint8_t byte) {
  // Bytes 0x80..0x9F; the rest is Latin-1.
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
  };
  return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
}

void LookupLanguage(std::string_view name, CharsetState& state) {
  state.language_id = 1033;
  for (const LanguageRow& row : kLanguages) {
    if (!EqualsNoCase(name, row.name)) continue;
    state.language_id = row.language_id;
    if (row.charset >= 0) {
      state.charset = row.charset;
      state.far_east = true;
    }
    return;
  }
}

int AnsiCodePage(std::string_view language_name) {
  if (EqualsNoCase(language_name, "turkish")) return 1254;
  if (EqualsNoCase(language_name, "arabic")) return 1256;
  if (EqualsNoCase(language_name, "russian")) return 1251;
  return 1252;
}

std::uint8_t MapByte(const CharsetState& state, std::uint8_t byte) {
  switch (state.mapping) {
    case ByteMapping::kIdentity:
      return byte;
    case ByteMapping::kKoi8rToWindows1251:
      return byte < 0x80 ? byte : kKoi8rToWindows1251[byte - 0x80];
    case ByteMapping::kIso88595ToWindows1251:
      if (byte < 0xA2) return byte;
      if (byte >= 0xF0) return kIso88595HighToWindows1251[byte - 0xF0];
      return static_cast<std::uint8_t>(byte + 0x10);
  }
  return byte;
}

bool IsDoubleByteLanguage(std::string_view language_name) {
  for (std::string_view name :
       {"japanese", "simplifiedchinese", "traditionalchinese", "korean", "thai"}) {
    if (EqualsNoCase(language_name, name)) return true;
  }
  return false;
}

bool DecodeInput(HtmlPage& page) {
  CharsetState& state = page.charset;
  std::string& text = page.raw;

  // A byte-order mark decides first, as in a browser.
  const std::string_view head(text.data(), std::min<std::size_t>(text.size(), 3));
  const bool utf8_mark = head == "\xEF\xBB\xBF";
  const bool big_endian_mark = head.starts_with("\xFE\xFF");
  const bool little_endian_mark = head.starts_with("\xFF\xFE");
  bool sixteen_bit = false;
  if (!big_endian_mark && RewriteSixteenBit(text)) {
    page.input_size = text.size();
    sixteen_bit = true;
  } else if (big_endian_mark || little_endian_mark) {
    try {
      if (IconvToUtf8(big_endian_mark ? "UTF-16BE" : "UTF-16LE", text)) {
        text.erase(0, text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0);
        page.input_size = text.size();
        sixteen_bit = true;
        RewriteUtf8(text);
      }
    } catch (const std::bad_alloc&) {
      return false;
    }
  }

  std::string converter;
  int chosen_charset = -1;  // the character set a declaration or the encoding option chose
  if (page.encoding_name == "Auto-Select") {
    const int before = state.charset;
    state.charset = -1;
    const std::string declared = ScanDeclarations(text, state);
    chosen_charset = state.charset;
    if (state.charset < 0) state.charset = before;
    converter = std::string(ConverterFor(declared));
    // An undeclared page that reads as UTF-8 is UTF-8.
    if (declared.empty() && !sixteen_bit && !utf8_mark && LooksLikeUtf8(text)) {
      state.utf8 = true;
    }
  } else {
    const EncodingChoice* choice = &kOtherEncoding;
    for (const NamedEncoding& named : kEncodingNames) {
      if (named.name == page.encoding_name) choice = &named.choice;
    }
    if (choice == &kOtherEncoding) {
      std::string name;
      for (char ch : page.encoding_name) name += AsciiLower(ch);
      converter = std::string(ConverterFor(name));
    }
    Apply(*choice, state);
    chosen_charset = choice->charset;
  }
  if (sixteen_bit) {
    state.utf8 = false;
    converter.clear();
  } else if (utf8_mark) {
    state.utf8 = true;
    state.mapping = ByteMapping::kIdentity;
    converter.clear();
  }

  // The document's language decides the character set over any encoding.
  const std::string& language = state.language_name;
  if (EqualsNoCase(language, "japanese")) state.charset = 128;
  if (EqualsNoCase(language, "simplifiedchinese")) state.charset = 134;
  if (EqualsNoCase(language, "traditionalchinese")) state.charset = 136;
  if (EqualsNoCase(language, "korean")) state.charset = 129;
  if (EqualsNoCase(language, "russian")) state.charset = 204;

  // The code page of the character set a declaration or the encoding option chose, unless
  // the language overruled it.
  const bool chosen = chosen_charset > 0 && chosen_charset == state.charset;
  state.ansi_code_page = chosen ? CodePageOfCharset(state.charset) : AnsiCodePage(language);
  try {
    if (!converter.empty() && IconvToUtf8(converter, text)) {
      // Decoded to Unicode: from here on the page reads as UTF-8 does.
      state.mapping = ByteMapping::kIdentity;
      state.utf8 = true;
    }
    if (state.utf8) {
      RewriteUtf8(text, state.ansi_code_page == 1252);
    } else if (state.mapping == ByteMapping::kKoi8rToWindows1251) {
      RewriteKoi8rSigns(text);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace velmorane
