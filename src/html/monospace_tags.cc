// The start and end tags of the monospace elements.
#include "html/monospace_tags.h"

namespace velmorane {

int MonospaceStartTagAt(std::string_view text, std::size_t pos) {
  if (ByteAt(text, pos) != '<') return -1;
  return MonospaceKindNamedAt(text, pos + 1);
}

bool EndsMonospaceBlock(std::string_view text, std::size_t pos) {
  if (ByteAt(text, pos) != '<' || ByteAt(text, pos + 1) != '/') return false;
  const int kind = MonospaceKindNamedAt(text, pos + 2);
  return kind >= 0 && IsMonospaceBlock(kind);
}

}  // namespace velmorane
