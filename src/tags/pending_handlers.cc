// Style rules are not converted yet: no rule applies and no list style is found.
#include <string_view>

#include "core/conversion.h"
#include "tags/lists.h"
#include "tags/style_sheet.h"

namespace velmorane {

void ParseStyleSheet(Conversion&) {}
void OpenElementStyle(Conversion&, std::size_t, int, bool) {}
void CloseElementStyle(Conversion&, int, int) {}
int RuleListStyle(const Conversion&, std::string_view, int) { return 0; }

}  // namespace velmorane
