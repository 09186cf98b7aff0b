// The document languages the command line takes: the list of the settings dialog.
// (A file of its own: the settings' paper record and the command line's share a name.)
#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

#include "frontends/settings/page_setup.h"

namespace velmorane {

bool IsDocumentLanguage(std::string_view name) {
  return std::any_of(kLanguages.begin(), kLanguages.end(), [&](std::string_view language) {
    return language.size() == name.size() &&
           std::equal(language.begin(), language.end(), name.begin(), [](char a, char b) {
             return std::tolower(static_cast<unsigned char>(a)) ==
                    std::tolower(static_cast<unsigned char>(b));
           });
  });
}

std::string DocumentLanguageList() {
  std::string list;
  for (const std::string_view language : kLanguages) {
    if (!list.empty()) list += ", ";
    list += language;
  }
  return list;
}

}  // namespace velmorane
