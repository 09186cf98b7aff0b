// Whether an "<html" tag still lies ahead in a page: the writers drop what they wrote
// before that tag, so that text must stay in memory until the tag is passed.
#ifndef VELMORANE_HTML_HTML_TAG_AHEAD_H_
#define VELMORANE_HTML_HTML_TAG_AHEAD_H_

#include <cstddef>
#include <string_view>

#include "base/text_match.h"

namespace velmorane {

class HtmlTagAhead {
 public:
  // True when "<html" (any case) stands at or after `pos` in `text`. Each "<" of the page
  // is looked at once over all calls with growing `pos`.
  bool At(std::string_view text, std::size_t pos) {
    if (next_ != std::string_view::npos && next_ < pos) {
      std::size_t at = text.find('<', pos);
      while (at != std::string_view::npos && !AtNoCase(text, at, "<html")) {
        at = text.find('<', at + 1);
      }
      next_ = at;
    }
    return next_ != std::string_view::npos;
  }

 private:
  std::size_t next_ = 0;  // the "<html" found last, npos for none
};

}  // namespace velmorane

#endif  // VELMORANE_HTML_HTML_TAG_AHEAD_H_
