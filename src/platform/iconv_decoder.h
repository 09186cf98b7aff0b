// The C library's character-set converters (iconv): text of a page in a character set
// the engine has no table of its own for, turned into UTF-8.
#ifndef VELMORANE_PLATFORM_ICONV_DECODER_H_
#define VELMORANE_PLATFORM_ICONV_DECODER_H_

#include <string>

namespace velmorane {

// Converts `text` from the character set the C library calls `from` to UTF-8; an invalid
// or cut-off sequence becomes one U+FFFD and decoding goes on at the next byte. False
// (text unchanged) when the library does not know the name. May throw std::bad_alloc.
bool IconvToUtf8(const std::string& from, std::string& text);

// True when the C library converts the character set it calls `from` to UTF-8.
bool IconvDecodes(const std::string& from);

}  // namespace velmorane

#endif  // VELMORANE_PLATFORM_ICONV_DECODER_H_
