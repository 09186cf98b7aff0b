// The whole engine on HTML bytes, in every output mode, with options from the leading
// bytes. Checks the output's shape on every run.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/engine.h"
#include "fuzz_support.h"
#include "pictures/raw_picture.h"

namespace {

using velmorane::ConversionOptions;

ConversionOptions OptionsFrom(velmorane::fuzz::Input& input) {
  ConversionOptions o{};
  const std::uint8_t flags = input.TakeByte();
  o.keep_hyperlinks = flags & 1;
  o.keep_font_face = (flags >> 1) & 1;
  o.keep_font_size = (flags >> 2) & 1;
  o.keep_font_color = (flags >> 3) & 1;
  o.keep_alignment = (flags >> 4) & 1;
  o.keep_table_width = (flags >> 5) & 1;
  o.keep_nested_tables = (flags >> 6) & 1;
  o.keep_background_color = (flags >> 7) & 1;
  const std::uint8_t more = input.TakeByte();
  o.orientation = more & 1;
  o.image_format = (more >> 1) & 1;
  o.table_border = (more >> 2) % 3;
  o.page_numbers = (more >> 4) & 3;
  o.line_folding = (more >> 6) & 1;
  velmorane::SetField(o.font_face, "Arial");
  velmorane::SetField(o.font_size, (more & 0x80) ? "12" : "10");
  velmorane::SetField(o.page_alignment, "justify");
  velmorane::SetField(o.max_line_width, "20");
  static const char* const kLanguages[] = {"English", "Russian", "Japanese", "Turkish"};
  velmorane::SetField(o.rtf_language, kLanguages[input.TakeByte() % 4]);
  velmorane::SetField(o.output_extension, ".rtf");
  o.paper_width = 11906;
  o.paper_height = 16838;
  o.margin_left = 720;
  o.margin_right = 1800;
  o.margin_top = 720;
  o.margin_bottom = 720;
  return o;
}

// A temporary folder that serves as input and work folder. It holds the fixture pictures
// (pic.png, pic.gif, pic.bmp, pic.jpg), so that pages naming them reach the picture code.
const std::string& WorkFolder() {
  static const std::string folder = [] {
    const std::string made = velmorane::fuzz::TempFolder("velmorane-fuzz");
#ifdef VELMORANE_FUZZ_PICTURES
    std::error_code ignored;
    for (const char* name : {"pic.png", "pic.gif", "pic.bmp", "pic.jpg", "pic.svg", "pic.webp",
                             "pic.ico", "pic.tif", "truncated.webp"}) {
      std::filesystem::copy_file(std::filesystem::path(VELMORANE_FUZZ_PICTURES) / name,
                                 std::filesystem::path(made) / name, ignored);
    }
#endif
    return made;
  }();
  return folder;
}

// The fields the converter writes are its own links, page numbers and form fields, and
// every picture group, made from a file or passed through from the page, is a picture
// and nothing else.
void CheckFieldsAndPictures(std::string_view rtf) {
  constexpr std::string_view kFieldStart = "{\\*\\fldinst";
  for (std::size_t at = rtf.find(kFieldStart); at != std::string_view::npos;
       at = rtf.find(kFieldStart, at + 1)) {
    const std::string_view rest = rtf.substr(at + kFieldStart.size());
    if (rest.rfind(" { HYPERLINK ", 0) != 0 && rest.rfind(" { FORMCHECKBOX }", 0) != 0 &&
        rest.rfind(" { FORMTEXT }", 0) != 0 && rest.rfind(" {\\fs", 0) != 0) {
      velmorane::fuzz::Fail("a field the converter does not write reached the output");
    }
  }
  constexpr std::string_view kPictureStart = "{\\pict";
  for (std::size_t at = rtf.find(kPictureStart); at != std::string_view::npos;
       at = rtf.find(kPictureStart, at + 1)) {
    if (at > 0 && rtf[at - 1] == '\\') continue;  // an escaped brace in text
    // The group runs to its matching brace.
    long depth = 0;
    std::size_t end = at;
    for (; end < rtf.size(); ++end) {
      if (rtf[end] == '\\') {
        ++end;
      } else if (rtf[end] == '{') {
        ++depth;
      } else if (rtf[end] == '}' && --depth == 0) {
        break;
      }
    }
    if (end >= rtf.size() || !velmorane::IsSinglePictureGroup(rtf.substr(at, end + 1 - at))) {
      velmorane::fuzz::Fail("a picture group holds more than a picture");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velmorane::fuzz::Input input(data, size);
  const std::uint8_t mode_byte = input.TakeByte();
  velmorane::ConvertRequest request;
  request.output_mode = mode_byte % 3;
  request.convert_images = (mode_byte >> 2) & 1;
  static const char* const kEncodings[] = {"Auto-Select", "(UTF-8) Unicode",
                                           "(KOI8-R) Cyrillic", "(Windows-1251) Cyrillic"};
  request.encoding_name = kEncodings[(mode_byte >> 3) & 3];
  const ConversionOptions options = OptionsFrom(input);
  velmorane::EngineSettings settings;
  velmorane::InitEngineSettings(settings);
  settings.body_only = (mode_byte >> 5) & 1;
  // imagertf is the one deliberate way to write RTF from the page: a picture group only.
  settings.raw_rtf_passthrough = (mode_byte >> 6) & 1;
  settings.download_images = 0;

  velmorane::Engine engine;
  std::string output;
  const auto result = engine.ConvertHtmlBytes(input.rest(), WorkFolder(), WorkFolder(), request,
                                              options, settings, output);
  if (input.rest().empty()) return 0;
  if (result != velmorane::ConvertResult::kDone) velmorane::fuzz::Fail("conversion failed");
  if (request.output_mode != velmorane::kModePlainText) {
    if (settings.body_only == 1) {
      if (output.empty() || output[0] != '{') velmorane::fuzz::Fail("body does not start with {");
    } else if (output.rfind("{\\rtf1", 0) != 0) {
      velmorane::fuzz::Fail("document does not start with {\\rtf1");
    } else if (!velmorane::fuzz::BracesBalance(output)) {
      velmorane::fuzz::Fail("braces do not balance");
    }
    // Control words the converter never writes can only come from the input.
    for (const std::string_view word : velmorane::fuzz::ControlWords(output)) {
      if (word == "object" || word == "objdata" || word == "objemb" || word == "objlink" ||
          word == "objclass" || word == "bin" || word == "htmltag" || word == "result") {
        velmorane::fuzz::Fail("a control word from the input reached the output");
      }
    }
    CheckFieldsAndPictures(output);
  }
  return 0;
}
