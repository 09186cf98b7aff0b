// ConvertHtmlFile: one HTML file to one output file in numbered stages, with the trace
// log, the progress schedule and the result codes; and the in-memory entry.
#include <algorithm>
#include <cctype>
#include <new>

#include "base/append.h"
#include "base/byte_scan.h"
#include "base/paths.h"
#include "engine/engine.h"
#include "html/charset.h"
#include "html/preprocess.h"
#include "platform/files.h"
#include "rtf/conversion.h"
#include "rtf/document_writer.h"
#include "rtf/lists.h"
#include "rtf/pictures.h"
#include "rtf/prologue.h"
#include "rtf/tag_loop.h"
#include "text/plain_text.h"

namespace velmorane {

void Conversion::Trace(std::string_view message, std::string_view text1,
                       std::string_view text2) const {
  const bool stages = messages != nullptr && messages->WantsStages();
  if (settings.trace_enabled != 1 && !stages) return;
  // The texts come from the page or its folder (addresses, names): shown safely.
  std::string line;
  line.append(message).append(" ").append(ShownText(text1)).append(" ").append(ShownText(text2));
  if (stages) {
    // Without the blanks that stand for missing texts.
    const std::size_t end = line.find_last_not_of(' ');
    messages->Message(MessageKind::kStage, std::string_view(line).substr(0, end + 1));
  }
  if (settings.trace_enabled != 1) return;
  line += '\n';
  // A trace file that cannot be opened loses the line; the conversion goes on.
  (void)AppendTextFile(settings.trace_file, line);
}

void ProgressSchedule::Build(std::size_t length) {
  filled.fill(false);
  index = 49;
  step = 1;
  if (length < 2) return;
  // Entry t - 1 is the first p with (L - 1) / p == t. Instead of one division per byte,
  // jump straight to that p: the smallest p with (L - 1) / p <= t is (L - 1) / (t + 1) + 1.
  const std::size_t last = length - 1;
  for (std::size_t t = 50; t >= 1; --t) {
    const std::size_t p = last / (t + 1) + 1;
    if (p <= last && last / p == t) {
      entries[t - 1] = p;
      filled[t - 1] = true;
    }
  }
}

void ProgressSchedule::Check(std::size_t pos, ProgressSink* sink) {
  if (index < 0 || !filled[index] || entries[index] != pos) return;
  if (sink != nullptr) {
    sink->SetLabel(std::to_string(2 * step));
    sink->SetPosition(step);
  }
  ++step;
  --index;
}

void ReleaseConsumedInput(Conversion& c) {
  c.next_input_release = c.pos + c.input_release_step;
  if (c.loop.table_depth != 0 || c.pos < c.input_release_margin) return;
  const std::size_t until = c.pos - c.input_release_margin;
  if (until <= c.input_released) return;
  ReleasePages(c.input.data() + c.input_released, c.input.data() + until);
  c.input_released = until;
}

void BalanceBraces(std::string& text) {
  BraceCounter braces;
  braces.Add(text);
  if (braces.open() > 0) text.append(static_cast<std::size_t>(braces.open()), '}');
}

void BalanceBracesInFile(const std::string& path) {
  std::string text;
  if (!ReadTextFile(path, text)) return;
  const std::size_t before = text.size();
  BalanceBraces(text);
  if (text.size() > before) (void)AppendTextFile(path, text.substr(before));
}

namespace {

std::string ClockText() {
  const UtcTime now = NowUtc();
  return StringF("(min:sec:msec) %d : %d : %d", now.minute, now.second, now.millisecond);
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  std::string_view tail = text.substr(text.size() - suffix.size());
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(tail[i])) != suffix[i]) return false;
  }
  return true;
}

// The output extension of the options, corrected to ".txt" or ".rtf" for the mode.
std::string OutputExtension(const ConversionOptions& options, int output_mode) {
  std::string_view extension = FieldText(options.output_extension);
  if (EndsWithNoCase(extension, ".doc") && extension.size() == 4) return std::string(extension);
  if (EndsWithNoCase(extension, ".rtf") && extension.size() == 4) return std::string(extension);
  if (EndsWithNoCase(extension, ".txt") && extension.size() == 4) return std::string(extension);
  return output_mode == kModePlainText ? ".txt" : ".rtf";
}

}  // namespace

std::string OutputFileName(std::string_view input_path, std::string_view target,
                           const ConversionOptions& options, int output_mode) {
  // A name with one of the three endings is a file, however short ("f.rtf"); the ending
  // alone (".rtf") names no file.
  const std::size_t slash = target.find_last_of('/');
  const std::string_view last = slash == std::string_view::npos ? target : target.substr(slash + 1);
  if (last.size() > 4 && (EndsWithNoCase(last, ".rtf") || EndsWithNoCase(last, ".txt") ||
                          EndsWithNoCase(last, ".doc"))) {
    return std::string(target);
  }
  std::string name(FileNameOf(input_path));
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);  // a name without a dot keeps it whole
  name += OutputExtension(options, output_mode);
  // No target at all means the current directory, never the root folder.
  if (target.empty()) return name;
  return WithTrailingSeparator(target) + name;
}

namespace {

// The normalisations of the engine's copy of the options.
void NormalizeOptions(Conversion& c) {
  ConversionOptions& o = c.options;
  SetField(o.header_text, "");
  SetField(o.footer_text, "");
  o.page_break_switch = 1;
  if (FieldText(o.font_face).size() < 4) SetField(o.font_face, "Times New Roman");
  c.settings.download_images = o.download_images == 1 ? 1 : 0;
  c.charset.language_name = std::string(FieldText(o.rtf_language));
  LookupLanguage(c.charset.language_name, c.charset);
  NormalizeMargins(o);
  // Table cell padding: a valid value replaces the paddings kept from the last call.
  const int padding = c.settings.table_cell_padding;
  if (padding >= 0 && padding <= 10) {
    CarryOver& carry = c.carry_over;
    carry.cell_padding_left = carry.cell_padding_right = 20 * padding;
    carry.cell_padding_top = carry.cell_padding_bottom = 20 * padding;
    carry.row_left_offset = -20 * padding;
  }
  c.font_face = std::string(FieldText(o.font_face));
  c.base_size = BaseFontSize(o);
  c.printable_width = PrintableWidth(o);
  c.loop.alignment_string = std::string(DefaultAlignmentWord(o));
  c.loop.current_size = c.base_size;
}

void StartProgress(Conversion& c) {
  if (c.progress == nullptr) return;
  c.progress->SetRange(0, 50);
  c.progress->SetPosition(0);
  c.progress->SetLabel("0");
}

// Address room for the whole output, so that it never moves while it grows: moving
// holds the old and the new copy at once, twice the memory of the document at the worst
// moment. Room is only address space until it is written, so it is reserved generously:
// tables and deep lists write up to twelve times their input and more, plus the "\'hh"
// of each byte above 127 and the head room the tag pass keeps. When the system refuses
// that much, less is asked for.
void ReserveOutput(std::string& output, std::size_t input_size, std::size_t high_bytes) {
  for (const std::size_t factor : {16, 8, 4}) {
    std::size_t room = 0;
    if (__builtin_mul_overflow(input_size, factor, &room) || room > output.max_size() / 2) {
      continue;
    }
    try {
      output.reserve(room + 3 * high_bytes + 5000);
      return;
    } catch (const std::bad_alloc&) {
      // try a smaller room
    }
  }
  output.reserve(4 * input_size + 3 * high_bytes + 5000);
}

// Decoding, then the plain-text conversion or the RTF stages. Returns
// false when memory for the decoding ran out (result 2).
[[nodiscard]] bool RunStages(Conversion& c) {
  if (!DecodeInput(c)) return false;
  c.Trace("4. Detect encoding.");
  BuildParagraphTemplates(c.templates, c.base_size, c.charset.language_id, false);

  if (c.output_mode == kModePlainText) {
    ConvertToPlainText(c);
  } else {
    c.Trace("5. Reading CSS, removing scripts and comments");
    PreprocessHtml(c);
    std::string().swap(c.raw);
    c.schedule.Build(c.input.size());
    if (c.progress != nullptr) c.progress->SetPosition(1);

    c.Trace("6. Analyzing font and color tables");
    AnalyzeFontsAndColors(c);
    const std::size_t high_bytes = CountHighBytes(c.input);
    ReserveOutput(c.output.text(), c.input.size(), high_bytes);
    // Huge pages save page faults on a document that grows in memory; one that goes to
    // the spill file reuses the same small stretch.
    if (!c.output.spill_enabled()) AdviseHugePages(c.output.text());
    WritePrologue(c);

    c.Trace("9. Detecting HTML tags and conversion");
    c.pos = 0;
    c.lists.real_lists = c.settings.body_only != 1;
    TagLoop(c);
    if (c.loop.list_par_pending) c.output += "\\par";
    WriteListTables(c);
  }
  // Both modes report the end of the conversion proper; the picture lines follow it.
  c.Trace("Detection HTML tags done");
  return true;
}

// The document in text mode to its file.
class FileSink final : public ByteSink {
 public:
  explicit FileSink(ReplacementFile& file) : file_(file) {}
  bool Write(std::string_view bytes) override { return file_.WriteText(bytes); }

 private:
  ReplacementFile& file_;
};

// The end of a conversion: the progress at its end, the closing brace of body-only
// output, and the document written to `sink` with the pictures at their places and, for
// a whole RTF document, the missing braces. False when the sink failed.
[[nodiscard]] bool FinishDocument(Conversion& c, ByteSink& sink) {
  if (c.progress != nullptr) {
    c.progress->SetPosition(50);
    c.progress->SetLabel("100");
  }
  const bool rtf = c.output_mode != kModePlainText;
  if (rtf && c.settings.body_only == 1) c.output += "}";
  const bool with_pictures = c.convert_images && !c.pictures.records.empty();
  PictureGroupWriter groups(c);
  const bool written = c.output.Finish(sink, with_pictures ? &groups : nullptr,
                                       c.lists.remove_references,
                                       rtf && c.settings.body_only != 1);
  // The picture temporaries, the shared bitmap with them, are no longer needed.
  if (with_pictures) c.pictures.temporaries.RemoveAll();
  if (c.pictures_left_out > 0) {
    c.Warn(StringF("%d picture%s left out: converting pictures is off", c.pictures_left_out,
                   c.pictures_left_out == 1 ? "" : "s"));
  }
  return written;
}

}  // namespace

ConvertResult Engine::ConvertHtmlFile(std::string& input_path, std::string& output_target,
                                      const ConvertRequest& request, ConversionOptions options,
                                      EngineSettings settings) {
  try {
    Conversion c(carry_over_, request, options, settings);
    NormalizeOptions(c);
    StartProgress(c);

    // Folders. Paths use "/"; a "\" is read as a separator too.
    if (input_path.find('/') != std::string::npos) c.settings.forward_slashes = 1;
    input_path = UserPath(input_path);
    c.input_folder = FolderOf(input_path);
    const UtcTime start = NowUtc();
    c.Trace(StringF("Conversion started at (min:sec:msec) %d : %d : %d", start.minute,
                    start.second, start.millisecond));
    c.Trace("1. Trying to open file:", input_path);

    // Open the input and name the output.
    std::string bytes;
    if (IsDirectory(input_path) || !ReadBinaryFile(input_path, bytes)) {
      return ConvertResult::kCannotOpenInput;
    }
    c.Trace("Opened.");
    c.output_path = OutputFileName(input_path, UserPath(output_target), c.options,
                                   c.output_mode);
    c.work_folder = FolderOf(c.output_path);
    if (request.keep_existing_output && FileExists(c.output_path)) {
      output_target = c.output_path;
      return ConvertResult::kOutputExists;
    }

    // Create the output. An output that is the input itself is refused. The
    // document goes into a temporary beside the output, which takes the output's name
    // only when complete: until then an existing output keeps its content.
    c.Trace("2. Trying to create file:", c.output_path);
    if (IsDirectory(c.output_path) || SameFile(c.output_path, input_path)) {
      return ConvertResult::kCannotCreateOutput;
    }
    ReplacementFile output(c.output_path);
    if (!output.created()) return ConvertResult::kCannotCreateOutput;
    c.Trace("Created.");
    // A large document leaves memory for a spill file beside the output while it is made.
    c.output.EnableSpill(c.work_folder);

    // Size, buffers and reading.
    c.input_size = bytes.size();
    if (c.input_size < 1) {
      // An empty input writes nothing: an earlier output of that name keeps its content.
      output.Discard();
      return ConvertResult::kInputEmpty;
    }
    c.Trace("3. Memory allocation",
            StringF("%lld Kb", static_cast<long long>(4 * c.input_size / 1024)));
    c.raw.swap(bytes);
    FromTextModeInPlace(c.raw);
    c.Trace("Done.");

    // Decoding and the conversion proper; input that reads as empty goes straight to the end.
    if (!c.raw.empty() && !RunStages(c)) return ConvertResult::kNoMemory;

    // The rest of the document to the file.
    FileSink sink(output);
    if (!FinishDocument(c, sink) || !output.Commit()) return ConvertResult::kCannotWriteOutput;
    c.Trace("10. Conversion finished. Memory freeing");
    c.Trace("Done at ", ClockText());
    return ConvertResult::kDone;
  } catch (...) {
    // std::bad_alloc and anything unexpected: the caller reports it as lack of memory.
    return ConvertResult::kNoMemory;
  }
}

ConvertResult Engine::ConvertHtmlBytes(std::string_view html, std::string_view input_folder,
                                       std::string_view work_folder,
                                       const ConvertRequest& request, ConversionOptions options,
                                       EngineSettings settings, std::string& output) {
  output.clear();
  try {
    Conversion c(carry_over_, request, options, settings);
    NormalizeOptions(c);
    StartProgress(c);
    c.input_folder = WithTrailingSeparator(UserPath(input_folder));
    c.work_folder = WithTrailingSeparator(UserPath(work_folder));
    c.input_size = html.size();
    if (c.input_size < 1) return ConvertResult::kInputEmpty;
    c.raw = FromTextMode(html);
    if (!c.raw.empty() && !RunStages(c)) return ConvertResult::kNoMemory;
    StringSink sink(output);
    (void)FinishDocument(c, sink);
    return ConvertResult::kDone;
  } catch (...) {
    output.clear();
    return ConvertResult::kNoMemory;
  }
}

}  // namespace velmorane
