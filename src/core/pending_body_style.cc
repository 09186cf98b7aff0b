// The style-sheet parser does not report a body rule yet.
#include "core/conversion.h"
#include "core/prologue.h"

namespace velmorane {

std::optional<BodyStyle> BodyStyleOf(const Conversion&) { return std::nullopt; }

}  // namespace velmorane
