// Output mode 0: the HTML text as plain text, optionally folded.
#ifndef VELMORANE_TEXT_PLAIN_TEXT_H_
#define VELMORANE_TEXT_PLAIN_TEXT_H_

namespace velmorane {

struct Conversion;

// Reads conversion.raw (decoded) and writes the text into conversion.output.
void ConvertToPlainText(Conversion& conversion);

}  // namespace velmorane

#endif  // VELMORANE_TEXT_PLAIN_TEXT_H_
