// Stage 4: turns the input into 8-bit text (16-bit and UTF-8 input become bytes and
// "&#N;" references) and settles the character set, language and code page.
#include <cstdint>
#include <new>
#include <string>

#include "core/charset.h"
#include "core/append.h"
#include "core/byte_scan.h"
#include "core/conversion.h"
#include "core/text_match.h"
#include "platform/files.h"

namespace velmorane {

namespace {

// KOI8-R bytes 0x80..0xFF in Windows-1251. The letters follow the usual correspondence;
// the box-drawing bytes without a Windows-1251 counterpart keep their value, and a few
// bytes take the dash, bar and degree-like signs that readers of such pages expect.
constexpr std::uint8_t kKoi8rToWindows1251[128] = {
    0x97, 0xA6, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F,
    0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0xBA, 0xAA, 0x9A, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F,
    0xA0, 0xA1, 0xA2, 0xB8, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF,
    0xB0, 0xB1, 0xB2, 0xA8, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xB9,
    0xFE, 0xE0, 0xE1, 0xF6, 0xE4, 0xE5, 0xF4, 0xE3, 0xF5, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE,
    0xEF, 0xFF, 0xF0, 0xF1, 0xF2, 0xF3, 0xE6, 0xE2, 0xFC, 0xFB, 0xE7, 0xF8, 0xFD, 0xF9, 0xF7, 0xFA,
    0xDE, 0xC0, 0xC1, 0xD6, 0xC4, 0xC5, 0xD4, 0xC3, 0xD5, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE,
    0xCF, 0xDF, 0xD0, 0xD1, 0xD2, 0xD3, 0xC6, 0xC2, 0xDC, 0xDB, 0xC7, 0xD8, 0xDD, 0xD9, 0xD7, 0xDA,
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

// Honours every "charset=" declaration before "</head>"; the last match wins.
void ScanDeclarations(std::string_view text, CharsetState& state) {
  std::size_t p = 0;
  while (p < text.size()) {
    // Both keywords start with "<" or "c": other bytes are passed over untested.
    const char first = AsciiLower(text[p]);
    if (first != '<' && first != 'c') {
      ++p;
      continue;
    }
    if (AtNoCase(text, p, "</head>")) return;
    if (AtNoCase(text, p, "charset=")) {
      std::size_t end = text.find('>', p);
      if (end == std::string_view::npos) end = text.size();
      for (std::size_t q = p; q < end; ++q) ApplyDeclarationsAt(text, q, state);
      p = end + 1;
      continue;
    }
    ++p;
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

// Rewrites UTF-8 text as bytes below 256 and references for every other unit.
void RewriteUtf8(std::string& text) {
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
  auto emit = [&block](char16_t unit) {
    char* w = block.Room();
    if (unit < 256) {
      *w++ = static_cast<char>(unit);
    } else {
      w = WriteReference(w, unit);
    }
    block.Advance(w);
  };
  DecodeUtf8(
      body, [&block](std::string_view run) { block.Append(run.data(), run.size()); }, emit);
  block.Flush();
  text.swap(out);
}

}  // namespace

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

bool DecodeInput(Conversion& conversion) {
  CharsetState& state = conversion.charset;
  std::string& text = conversion.raw;

  if (RewriteSixteenBit(text)) conversion.input_size = text.size();

  if (conversion.encoding_name == "Auto-Select") {
    ScanDeclarations(text, state);
  } else {
    const EncodingChoice* choice = &kOtherEncoding;
    for (const NamedEncoding& named : kEncodingNames) {
      if (named.name == conversion.encoding_name) choice = &named.choice;
    }
    Apply(*choice, state);
  }

  // The document's language decides the character set over any encoding.
  const std::string& language = state.language_name;
  if (EqualsNoCase(language, "japanese")) state.charset = 128;
  if (EqualsNoCase(language, "simplifiedchinese")) state.charset = 134;
  if (EqualsNoCase(language, "traditionalchinese")) state.charset = 136;
  if (EqualsNoCase(language, "korean")) state.charset = 129;
  if (EqualsNoCase(language, "russian")) state.charset = 204;

  if (state.utf8) {
    try {
      RewriteUtf8(text);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  state.ansi_code_page = AnsiCodePage(language);
  return true;
}

}  // namespace velmorane
