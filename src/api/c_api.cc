// The C interface of the library: the options record of the header turned into the
// command line's record, and the two conversions (file to file, bytes to bytes).
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>

#include "api/velmorane.h"
#include "base/paths.h"
#include "engine/engine.h"
#include "frontends/cli/command_line.h"
#include "platform/files.h"
#include "platform/temporary_folder.h"
#include "velmorane_version.h"

namespace velmorane {
namespace {

// Field widths of the command line's font copies.
constexpr std::size_t kFaceLength = 49;
constexpr std::size_t kSizeLength = 9;

// The command line's record for the options of the header; false for options of another
// size (a caller built against another version of the header).
bool ToRecord(const velmorane_options* given, CommandLineRecord& record) {
  velmorane_options defaults;
  velmorane_default_options(&defaults);
  const velmorane_options& in = given != nullptr ? *given : defaults;
  if (in.struct_size != sizeof(velmorane_options)) return false;

  record = DefaultCommandLine();
  record.log_path.clear();  // the library writes no run log
  ConversionOptions& o = record.options;
  record.output_kind = in.format == VELMORANE_FORMAT_TEXT ? 0 : 2;
  record.convert_tables = in.format == VELMORANE_FORMAT_RTF_NO_TABLES ? 0 : 1;
  record.convert_images = in.convert_images != 0 ? 1 : 0;
  o.download_images = in.download_images != 0 ? 1 : 0;
  o.image_format = in.wmf_pictures == 2 ? 2 : in.wmf_pictures != 0 ? 1 : 0;
  o.keep_hyperlinks = in.keep_hyperlinks != 0 ? 1 : 0;
  o.keep_font_face = in.keep_font_face != 0 ? 1 : 0;
  o.keep_font_size = in.keep_font_size != 0 ? 1 : 0;
  o.keep_font_color = in.keep_font_color != 0 ? 1 : 0;
  o.keep_alignment = in.keep_alignment != 0 ? 1 : 0;
  o.keep_table_width = in.keep_table_width != 0 ? 1 : 0;
  o.keep_nested_tables = in.keep_nested_tables != 0 ? 1 : 0;
  o.table_border = in.table_border >= 0 && in.table_border <= 2 ? in.table_border : 0;
  // Margins follow the command line's rule: kept only when they give 2 to 7199 twips.
  const struct { int millimetres; std::int32_t& margin; } margins[] = {
      {in.margin_left_mm, o.margin_left},
      {in.margin_right_mm, o.margin_right},
      {in.margin_top_mm, o.margin_top},
      {in.margin_bottom_mm, o.margin_bottom},
  };
  for (const auto& m : margins) {
    if (m.millimetres != 0) ApplyMarginMillimetres(std::to_string(m.millimetres), m.margin);
  }
  if (in.font_face != nullptr) record.font_face = std::string(in.font_face).substr(0, kFaceLength);
  if (in.font_size != nullptr) record.font_size = std::string(in.font_size).substr(0, kSizeLength);
  SetField(o.font_face, record.font_face);
  SetField(o.font_size, record.font_size);
  if (in.language != nullptr) SetField(o.rtf_language, in.language);
  if (in.alignment != nullptr) SetField(o.page_alignment, in.alignment);
  if (in.paper != nullptr) {
    const PaperSize paper = LookupPaper(in.paper);
    o.paper_width = paper.width;
    o.paper_height = paper.height;
  }
  if (in.encoding != nullptr && in.encoding[0] != '\0') {
    record.encoding_name = std::string(LookupEncoding(in.encoding));
  }
  return true;
}

velmorane_result ToResult(ConvertResult result) {
  return static_cast<velmorane_result>(static_cast<int>(result));
}

}  // namespace
}  // namespace velmorane

extern "C" {

void velmorane_default_options(velmorane_options* options) {
  if (options == nullptr) return;
  std::memset(options, 0, sizeof *options);
  options->struct_size = sizeof *options;
  options->format = VELMORANE_FORMAT_RTF;
  options->keep_font_face = options->keep_font_size = 1;
  options->keep_font_color = options->keep_alignment = 1;
  options->keep_table_width = options->keep_nested_tables = 1;
}

namespace velmorane {
namespace {

// Passes the warnings of a conversion to the caller's callback; other messages are not
// the caller's concern.
class CallbackMessages : public MessageSink {
 public:
  CallbackMessages(velmorane_warning_callback callback, void* user_data)
      : callback_(callback), user_data_(user_data) {}
  void Message(MessageKind kind, std::string_view text) override {
    if (kind != MessageKind::kWarning || callback_ == nullptr) return;
    const std::string line(text);
    callback_(line.c_str(), user_data_);
  }

 private:
  velmorane_warning_callback callback_;
  void* user_data_;
};

}  // namespace
}  // namespace velmorane

velmorane_result velmorane_convert_file(const char* input_path, const char* output,
                                        const velmorane_options* options) {
  return velmorane_convert_file_warn(input_path, output, options, nullptr, nullptr);
}

velmorane_result velmorane_convert_bytes(const char* html, size_t html_size,
                                         const char* input_folder,
                                         const velmorane_options* options, char** output,
                                         size_t* output_size) {
  return velmorane_convert_bytes_warn(html, html_size, input_folder, options, output,
                                      output_size, nullptr, nullptr);
}

velmorane_result velmorane_convert_file_warn(const char* input_path, const char* output,
                                             const velmorane_options* options,
                                             velmorane_warning_callback on_warning,
                                             void* user_data) {
  using namespace velmorane;
  if (input_path == nullptr) return VELMORANE_INVALID_ARGUMENT;
  try {
    CommandLineRecord record;
    if (!ToRecord(options, record)) return VELMORANE_INVALID_ARGUMENT;
    record.input_file = input_path;
    record.out_folder = output != nullptr ? output : "";
    // "-" names a file here, never a standard stream.
    if (record.input_file == kStandardStream) record.input_file = "./-";
    if (record.out_folder == kStandardStream) record.out_folder = "./-";
    Engine engine;
    RunLog no_log("");
    CallbackMessages messages(on_warning, user_data);
    return ToResult(RunConversion(record, engine, no_log, nullptr, &messages));
  } catch (const std::bad_alloc&) {
    return VELMORANE_NO_MEMORY;
  } catch (...) {
    return VELMORANE_NO_MEMORY;
  }
}

velmorane_result velmorane_convert_bytes_warn(const char* html, size_t html_size,
                                              const char* input_folder,
                                              const velmorane_options* options, char** output,
                                              size_t* output_size,
                                              velmorane_warning_callback on_warning,
                                              void* user_data) {
  using namespace velmorane;
  if (output != nullptr) *output = nullptr;
  if (output_size != nullptr) *output_size = 0;
  if ((html == nullptr && html_size != 0) || output == nullptr || output_size == nullptr) {
    return VELMORANE_INVALID_ARGUMENT;
  }
  try {
    CommandLineRecord record;
    if (!ToRecord(options, record)) return VELMORANE_INVALID_ARGUMENT;
    ConvertRequest request;
    request.output_mode = PrepareOutputMode(record);
    request.encoding_name = record.encoding_name;
    request.convert_images = record.convert_images != 0;
    CallbackMessages messages(on_warning, user_data);
    request.messages = &messages;
    EngineSettings settings;
    InitEngineSettings(settings);
    std::string folder;
    if (input_folder != nullptr && input_folder[0] != '\0') {
      folder = input_folder;
    } else {
      std::error_code error;
      folder = std::filesystem::current_path(error).string();
    }
    // Picture temporaries go to a folder of this call's own.
    TemporaryFolder work;
    if (work.path().empty()) return VELMORANE_CANNOT_CREATE_OUTPUT;
    Engine engine;
    std::string document;
    const ConvertResult result = engine.ConvertHtmlBytes(
        std::string_view(html != nullptr ? html : "", html_size), folder, work.path(),
        request, record.options, settings, document);
    if (result != ConvertResult::kDone) return ToResult(result);
    const std::string bytes = ToTextMode(document);
    char* copy = static_cast<char*>(std::malloc(bytes.size() + 1));
    if (copy == nullptr) return VELMORANE_NO_MEMORY;
    std::memcpy(copy, bytes.data(), bytes.size());
    copy[bytes.size()] = '\0';
    *output = copy;
    *output_size = bytes.size();
    return VELMORANE_OK;
  } catch (...) {
    return VELMORANE_NO_MEMORY;
  }
}

void velmorane_free(void* memory) { std::free(memory); }

const char* velmorane_version(void) { return VELMORANE_VERSION; }

const char* velmorane_result_message(velmorane_result result) {
  switch (result) {
    case VELMORANE_OK:
      return "converted";
    case VELMORANE_NO_MEMORY:
      return "not enough memory";
    case VELMORANE_CANNOT_CREATE_OUTPUT:
      return "the output file cannot be created";
    case VELMORANE_CANNOT_OPEN_INPUT:
      return "the input file cannot be opened";
    case VELMORANE_INPUT_EMPTY:
      return "the input is empty";
    case VELMORANE_OUTPUT_EXISTS:
      return "the output file exists and was kept";
    case VELMORANE_CANNOT_WRITE_OUTPUT:
      return "the output file cannot be written to its end";
    case VELMORANE_INVALID_ARGUMENT:
      return "invalid argument";
  }
  return "unknown result";
}

}  // extern "C"
