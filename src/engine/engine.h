// The conversion engine's public face: the engine object that carries values from one
// conversion to the next, and the two entries (file to file, and bytes to bytes for
// tests, fuzzers and benchmarks).
#ifndef VELMORANE_ENGINE_ENGINE_H_
#define VELMORANE_ENGINE_ENGINE_H_

#include <string>
#include <string_view>

#include "base/options.h"
#include "base/request.h"

namespace velmorane {

// One engine object per thread; two engines may convert at the same time.
class Engine {
 public:
  // Converts one HTML file. `input_path` has its separators normalised in place;
  // `output_target` is a folder or a whole output file name, and on kOutputExists it
  // receives the output file name that would have been used.
  ConvertResult ConvertHtmlFile(std::string& input_path, std::string& output_target,
                                const ConvertRequest& request, ConversionOptions options,
                                EngineSettings settings);

  // Converts HTML bytes held in memory. Relative pictures and style sheets are looked
  // up in `input_folder`; picture temporaries go to `work_folder`. `output` receives the
  // document with LF line ends (a file gets CR LF for each of them).
  ConvertResult ConvertHtmlBytes(std::string_view html, std::string_view input_folder,
                                 std::string_view work_folder, const ConvertRequest& request,
                                 ConversionOptions options, EngineSettings settings,
                                 std::string& output);

  CarryOver& carry_over() { return carry_over_; }

 private:
  CarryOver carry_over_;
};

// The output file a conversion writes: a target whose last name ends in .rtf, .txt or
// .doc (any case) after at least one character is the file name itself; anything else is a folder that gets the input's name
// with the output extension in place of its last extension.
std::string OutputFileName(std::string_view input_path, std::string_view target,
                           const ConversionOptions& options, int output_mode);

// Appends one closing brace for every "{" in excess of "}" (a backslash escapes the
// next byte).
void BalanceBraces(std::string& text);

// The same on a file written in text mode; a file that cannot be opened is left alone.
void BalanceBracesInFile(const std::string& path);

}  // namespace velmorane

#endif  // VELMORANE_ENGINE_ENGINE_H_
