// The conversion engine's public face: result codes, progress reporting, the engine
// object that carries values from one conversion to the next, and the two entries
// (file to file, and bytes to bytes for tests, fuzzers and benchmarks).
#ifndef VELMORANE_CORE_ENGINE_H_
#define VELMORANE_CORE_ENGINE_H_

#include <string>
#include <string_view>

#include "core/options.h"

namespace velmorane {

enum class ConvertResult : int {
  kDone = 0,
  kNoMemory = 2,
  kCannotCreateOutput = 3,
  kCannotOpenInput = 4,
  kInputEmpty = 5,
  kOutputExists = 6,
  // The output could be created but not written to its end (a full disk, an I/O error);
  // an earlier file of that name keeps its content.
  kCannotWriteOutput = 7,
};

// Receives the progress of one conversion: range 0..50, positions 1..50 and the
// percentage texts "0", "2", ... "100". Every method may be left as it is. Positions
// only: what the conversion says goes to its MessageSink.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void SetRange(int /*low*/, int /*high*/) {}
  virtual void SetPosition(int /*position*/) {}
  virtual void SetLabel(std::string_view /*text*/) {}
};

// Hears what a conversion has to say besides its result, in the order it says it. Called
// on the converting thread.
enum class MessageKind {
  kWarning,  // something the document lost: a picture left out
  kNote,     // a detail for the run log: a picture decoder's words about a damaged file
  kStage,    // the conversion reached a stage; asked for only when WantsStages()
};
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void Message(MessageKind kind, std::string_view text) = 0;
  virtual bool WantsStages() const { return false; }
};

// Values that live from one conversion to the next within one engine object.
struct CarryOver {
  int cell_padding_left = 0;
  int cell_padding_right = 0;
  int cell_padding_top = 0;
  int cell_padding_bottom = 0;
  int row_left_offset = 0;
  int current_table_width = 9500;  // twips; the table analysis keeps it between tables
};

// What a conversion is asked to do, besides the two records.
struct ConvertRequest {
  int output_mode = kModeRtfTables;
  std::string encoding_name = "Auto-Select";
  bool convert_images = false;
  bool keep_existing_output = false;
  ProgressSink* progress = nullptr;
  MessageSink* messages = nullptr;
};

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

#endif  // VELMORANE_CORE_ENGINE_H_
