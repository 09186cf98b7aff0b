// Tables are not converted yet: their tags are skipped like unrecognised ones.
#include "tables/tables.h"

namespace velmorane {

bool TryTableTag(Conversion&) { return false; }

}  // namespace velmorane
