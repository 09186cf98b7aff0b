// Stages whose conversion is not built yet: the text passes through them unchanged.
#include "core/conversion.h"
#include "core/plain_text.h"

namespace velmorane {

void ConvertToPlainText(Conversion& c) { c.output = c.raw; }

}  // namespace velmorane
