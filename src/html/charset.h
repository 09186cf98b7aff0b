// Character-set decisions of one conversion: decoding 16-bit and UTF-8 input, the
// encoding name and "charset=" declarations, the language table and the byte mappings.
#ifndef VELMORANE_HTML_CHARSET_H_
#define VELMORANE_HTML_CHARSET_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace velmorane {

struct HtmlPage;

enum class ByteMapping { kIdentity, kKoi8rToWindows1251, kIso88595ToWindows1251 };

struct CharsetState {
  std::string family = "fswiss";   // font family word of f0: "fswiss" or "fnil"
  int charset = 0;                 // \fcharset of f0 and of collected fonts
  int language_id = 1033;          // \deflang and \lang
  bool far_east = false;           // Japanese, Chinese, Korean, Thai
  int ansi_code_page = 1252;       // \ansicpg
  ByteMapping mapping = ByteMapping::kIdentity;
  bool utf8 = false;
  std::string language_name;       // the RTF language option, maybe "SimplifiedChinese"
};

// Sets language id, far-east flag and charset from the language table.
void LookupLanguage(std::string_view name, CharsetState& state);

// "Turkish" 1254, "Arabic" 1256, "Russian" 1251, anything else 1252.
int AnsiCodePage(std::string_view language_name);

// The selected byte mapping, applied to every text byte written.
std::uint8_t MapByte(const CharsetState& state, std::uint8_t byte);

// True for the languages whose text is written as hexadecimal escapes throughout.
bool IsDoubleByteLanguage(std::string_view language_name);

// The Unicode character of a Windows-1252 byte (0 for the five bytes without one).
unsigned Windows1252ToUnicode(std::uint8_t byte);

// The Unicode characters of bytes 0x80..0xFF of Windows code page `code_page` (1250,
// 1251 and 1253 to 1257; 0 where the code page leaves a byte undefined), or null for
// any other code page.
const char16_t* CodePageHighHalf(int code_page);

// Appends the UTF-8 form of `code` (below 0x110000).
void AppendUtf8(std::string& out, char32_t code);

// Converts `text` from the charset the C library calls `from` to UTF-8; a byte that does
// not decode becomes U+FFFD. False (text unchanged) when the library does not know the
// name. May throw std::bad_alloc.
bool ConvertToUtf8(const std::string& from, std::string& text);

// True for a character set name (any case) that the C library decodes for the engine,
// such as "EUC-KR" or "Shift_JIS", as an encoding option names it.
bool IsLibraryDecodedCharset(std::string_view name);

// Decodes page.raw in place and settles page.charset.
// Returns false when memory for the UTF-8 decoding cannot be had.
[[nodiscard]] bool DecodeInput(HtmlPage& page);

}  // namespace velmorane

#endif  // VELMORANE_HTML_CHARSET_H_
