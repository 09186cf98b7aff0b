// The tag loop is not built yet: the input passes through unchanged.
#include "core/conversion.h"
#include "tags/tag_loop.h"

namespace velmorane {

void TagLoop(Conversion& c) {
  c.output += c.input;
  c.pos = c.input.size();
}
void BreakParagraph(Conversion& c) { c.output += c.templates.paragraph_start; }
void ReemitCharacterState(Conversion&) {}
std::size_t DecodeEntity(std::string_view, std::size_t, std::string& out) {
  out += '&';
  return 0;
}
std::string HexEscape(std::uint8_t) { return {}; }
void SkipTag(Conversion& c) {
  const std::size_t close = c.input.find('>', c.pos);
  c.pos = close == std::string::npos ? c.input.size() - 1 : close;
}
bool LooksAtNoCase(std::string_view, std::size_t, std::string_view) { return false; }

}  // namespace velmorane
