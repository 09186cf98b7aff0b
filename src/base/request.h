// What a conversion is asked and what it answers: result codes, progress reporting, the
// messages, and the values that carry over from one conversion to the next.
#ifndef VELMORANE_BASE_REQUEST_H_
#define VELMORANE_BASE_REQUEST_H_

#include <string>
#include <string_view>

#include "base/options.h"

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

}  // namespace velmorane

#endif  // VELMORANE_BASE_REQUEST_H_
