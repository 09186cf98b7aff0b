// The state of one conversion: the page with its pictures (pictures/picture_list.h), the
// output and the state of every stage from the prologue on. One object per call,
// released when the call returns.
#ifndef VELMORANE_RTF_CONVERSION_H_
#define VELMORANE_RTF_CONVERSION_H_

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "base/options.h"
#include "base/request.h"
#include "css/font_color.h"
#include "css/style_sheet.h"
#include "html/page.h"
#include "html/shown_text.h"
#include "pictures/picture_list.h"
#include "rtf/blocks.h"
#include "rtf/document_writer.h"
#include "rtf/links.h"
#include "rtf/lists.h"
#include "rtf/pictures.h"
#include "rtf/prologue.h"
#include "rtf/tables/tables.h"
#include "rtf/tag_loop.h"

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

struct Conversion final : PicturedPage {
  Conversion(CarryOver& carry, const ConvertRequest& request, const ConversionOptions& opts,
             const EngineSettings& engine_settings)
      : PicturedPage(request, opts, engine_settings), carry_over(carry) {}

  // Appends a trace line "%s %s %s\n" when tracing is on.
  void Trace(std::string_view message, std::string_view text1 = {},
             std::string_view text2 = {}) const override;
  // Tells the caller's message sink, when there is one, what the document lost.
  // A page's bytes in the text (picture addresses, names) never reach a terminal or
  // log raw: control bytes show as "?", and a text longer than kMaxWarningLength is cut
  // with "...".
  // The same holds for notes and trace lines.
  static constexpr std::size_t kMaxWarningLength = kMaxShownLength;
  void Warn(std::string_view text) const {
    if (messages == nullptr) return;
    messages->Message(MessageKind::kWarning, ShownText(text, kMaxWarningLength));
  }

  CarryOver& carry_over;

  DocumentWriter output;  // the document being written, from the prologue on
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

  FontTable fonts;
  ColorTable colors;
  bool has_headings = false;
  bool has_monospace = false;   // the input holds a monospace element (rtf/monospace.h)
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
  int pictures_left_out = 0;   // img tags passed over because pictures are off
};

}  // namespace velmorane

#endif  // VELMORANE_RTF_CONVERSION_H_
