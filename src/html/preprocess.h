// Cleaning: copies the decoded input into the tag pass's input without head, scripts,
// comments, select lists and server code; gathers style blocks and linked sheets.
#ifndef VELMORANE_HTML_PREPROCESS_H_
#define VELMORANE_HTML_PREPROCESS_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace velmorane {

struct HtmlPage;

// Reads the value after "href=" at `pos` (advanced past it): blanks, quotes and "=" are
// skipped; a quoted value ends at its quote, a bare one at a blank; both end at ">" or
// after 260 characters. A value that starts with a control byte is empty.
std::string ReadHrefValue(std::string_view text, std::size_t& pos);

// The file a style-sheet href names: "\" reads as "/", an absolute path or one with
// parent steps is resolved against the input folder, anything else is joined to it.
std::string ResolveStylePath(std::string_view href, std::string_view input_folder);

// Appends a whole style-sheet file to page.style_text. False when it cannot be
// read or is empty.
bool LoadStyleFile(HtmlPage& page, const std::string& path);

// Turns page.raw into page.input, in raw's own buffer (raw is left empty),
// and appends style text to page.style_text (setting page.style_present).
void PreprocessHtml(HtmlPage& page);

}  // namespace velmorane

#endif  // VELMORANE_HTML_PREPROCESS_H_
