// The page as the stages before the tag pass see it: what the conversion was asked, where
// the page and its pictures live, the input's bytes as read, decoded and cleaned, and the
// style text of its head. The conversion record of the tag pass builds on it.
#ifndef VELMORANE_HTML_PAGE_H_
#define VELMORANE_HTML_PAGE_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "base/options.h"
#include "base/request.h"
#include "html/charset.h"
#include "html/shown_text.h"

namespace velmorane {

struct HtmlPage {
  HtmlPage(const ConvertRequest& request, const ConversionOptions& opts,
           const EngineSettings& engine_settings)
      : output_mode(request.output_mode),
        encoding_name(request.encoding_name),
        convert_images(request.convert_images),
        progress(request.progress),
        messages(request.messages),
        options(opts),
        settings(engine_settings) {}
  virtual ~HtmlPage() = default;
  HtmlPage(const HtmlPage&) = delete;
  HtmlPage& operator=(const HtmlPage&) = delete;

  // Appends a trace line "%s %s %s\n" when tracing is on (the engine writes the log).
  virtual void Trace(std::string_view message, std::string_view text1 = {},
                     std::string_view text2 = {}) const = 0;
  // Tells the caller's message sink a detail for the run log, shown safely.
  void Note(std::string_view text) const {
    if (messages != nullptr) messages->Message(MessageKind::kNote, ShownText(text));
  }

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

  std::string raw;     // the input as read, then decoded
  std::string input;   // the cleaned input of the tag pass

  CharsetState charset;
  std::string style_text;      // CSS from style blocks and linked sheets
  std::string body_text_colour;  // six digits from the body tag's text attribute, or empty
  bool style_present = false;
};

}  // namespace velmorane

#endif  // VELMORANE_HTML_PAGE_H_
