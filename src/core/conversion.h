// The state of one conversion: the records, the folders, the working buffers and the
// state of every stage. One object per call, released when the call returns.
#ifndef VELMORANE_CORE_CONVERSION_H_
#define VELMORANE_CORE_CONVERSION_H_

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "core/charset.h"
#include "core/document_writer.h"
#include "core/engine.h"
#include "core/options.h"
#include "core/prologue.h"
#include "core/shown_text.h"
#include "images/pictures.h"
#include "tables/tables.h"
#include "tags/blocks.h"
#include "tags/links.h"
#include "tags/lists.h"
#include "tags/style_sheet.h"
#include "tags/tag_loop.h"

namespace velmorane {

// Fifty input positions at which the progress moves on; entry t - 1 belongs to target t.
struct ProgressSchedule {
  std::array<std::size_t, 50> entries{};
  std::array<bool, 50> filled{};
  int index = 49;  // counts down
  int step = 1;    // the next step number

  // Builds the schedule over an input of `length` bytes.
  void Build(std::size_t length);
  // Reports a step when `pos` is the next checkpoint.
  void Check(std::size_t pos, ProgressSink* sink);
};

struct Conversion;

// Releases the input before the tag pass's position, less a margin, when no table is
// open; sets the position of the next release.
void ReleaseConsumedInput(Conversion& conversion);

struct Conversion {
  Conversion(CarryOver& carry, const ConvertRequest& request, const ConversionOptions& opts,
             const EngineSettings& engine_settings)
      : carry_over(carry),
        output_mode(request.output_mode),
        encoding_name(request.encoding_name),
        convert_images(request.convert_images),
        progress(request.progress),
        messages(request.messages),
        options(opts),
        settings(engine_settings) {}

  // Appends a trace line "%s %s %s\n" when tracing is on.
  void Trace(std::string_view message, std::string_view text1 = {},
             std::string_view text2 = {}) const;
  // The two ways the engine speaks to the caller's message sink, when there is one: a
  // warning for what the document lost, a note for the run log.
  // A page's bytes in the text (picture addresses, names) never reach a terminal or
  // log raw: control bytes show as "?", and a text longer than kMaxWarningLength is cut
  // with "...".
  // The same holds for trace lines.
  static constexpr std::size_t kMaxWarningLength = kMaxShownLength;
  void Warn(std::string_view text) const {
    if (messages == nullptr) return;
    messages->Message(MessageKind::kWarning, ShownText(text, kMaxWarningLength));
  }
  void Note(std::string_view text) const {
    if (messages != nullptr) messages->Message(MessageKind::kNote, ShownText(text));
  }

  CarryOver& carry_over;
  int output_mode;
  std::string encoding_name;
  bool convert_images;
  ProgressSink* progress;
  MessageSink* messages;
  ConversionOptions options;   // the engine's own copy, normalised
  EngineSettings settings;

  std::string input_folder;    // ends with "/"; base of relative picture and sheet paths
  std::string work_folder;     // ends with "/"; picture temporaries go here
  std::string output_path;     // empty for the in-memory entry
  std::size_t input_size = 0;  // S: the input's size as stored

  std::string raw;     // the input as read, then decoded (stages 3 and 4)
  std::string input;   // the cleaned input of the tag pass (stage 5)
  DocumentWriter output;  // the document being written (from stage 7)
  std::size_t pos = 0; // position in `input` during the tag pass
  // The tag pass gives the memory of the input it has left behind back to the system:
  // while the output grows, the input shrinks. Bytes before `input_released` read as 0.
  static constexpr std::size_t kInputReleaseStep = std::size_t{1} << 20;
  // No handler looks back further than a byte or two; the table code keeps positions
  // into the tables it is in, so nothing is released while one is open.
  static constexpr std::size_t kInputReleaseMargin = std::size_t{256} << 10;
  std::size_t input_release_step = kInputReleaseStep;
  std::size_t input_release_margin = kInputReleaseMargin;
  std::size_t input_released = 0;
  std::size_t next_input_release = kInputReleaseStep;

  ProgressSchedule schedule;

  CharsetState charset;
  std::string style_text;      // CSS from style blocks and linked sheets
  std::string body_text_colour;  // six digits from the body tag's text attribute, or empty
  bool style_present = false;

  FontTable fonts;
  ColorTable colors;
  bool has_headings = false;
  bool has_monospace = false;   // the input holds a monospace element (tags/monospace.h)
  bool monospace_font = false;  // the font table declares the monospace font
  std::string font_face;       // the working face of f0
  int base_size = 10;          // points
  int printable_width = 9500;  // twips
  ParagraphTemplates templates;
  StyleSheet sheet;

  TagLoopState loop;
  BlockState blocks;
  ListState lists;
  LinkState links;
  TableContext tables;
  PictureList pictures;
  int pictures_left_out = 0;   // img tags passed over because pictures are off
};

}  // namespace velmorane

#endif  // VELMORANE_CORE_CONVERSION_H_
