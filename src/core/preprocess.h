// Stage 5: copies the decoded input into the tag pass's input without head, scripts,
// comments, select lists and server code; gathers style blocks and linked sheets.
#ifndef VELMORANE_CORE_PREPROCESS_H_
#define VELMORANE_CORE_PREPROCESS_H_

namespace velmorane {

struct Conversion;

// Reads conversion.raw, writes conversion.input and appends style text to
// conversion.style_text (setting conversion.style_present).
void PreprocessHtml(Conversion& conversion);

}  // namespace velmorane

#endif  // VELMORANE_CORE_PREPROCESS_H_
