// Stages whose conversion is not built yet: the text passes through them unchanged.
#include "core/charset.h"
#include "core/conversion.h"
#include "core/plain_text.h"
#include "core/preprocess.h"
#include "core/prologue.h"

namespace velmorane {

void LookupLanguage(std::string_view, CharsetState&) {}
int AnsiCodePage(std::string_view) { return 1252; }
std::uint8_t MapByte(const CharsetState&, std::uint8_t byte) { return byte; }
bool IsDoubleByteLanguage(std::string_view) { return false; }
bool DecodeInput(Conversion&) { return true; }

void PreprocessHtml(Conversion& c) { c.input = c.raw; }
void AnalyzeFontsAndColors(Conversion&) {}
void WritePrologue(Conversion& c) { c.Trace("7. Start to creation RTF"); c.Trace("8. Color and font tables creation"); }

}  // namespace velmorane
