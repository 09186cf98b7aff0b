// Runs the tag loop on a conversion set up by hand: the decoding, pre-processing and
// prologue stages are left out, so the output is exactly what the loop writes.
#ifndef VELMORANE_TESTS_RTF_LOOP_HARNESS_H_
#define VELMORANE_TESTS_RTF_LOOP_HARNESS_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rtf/conversion.h"
#include "rtf/prologue.h"
#include "rtf/style_rules.h"
#include "rtf/tag_loop.h"
#include "support/test_support.h"

namespace velmorane::testing {

struct LoopSetup {
  std::string css;                  // style text for the sheet; none when empty
  std::vector<std::string> fonts;   // font table entries (RTF numbers from 2)
  std::vector<std::string> colors;  // colour table entries (RTF numbers from 3)
  std::string language = "English";
  ConversionOptions options = DefaultOptions();
};

// Owns everything a Conversion refers to.
struct LoopRun {
  explicit LoopRun(const LoopSetup& setup = {})
      : settings(DefaultSettings()), conversion(carry, request, setup.options, settings) {
    Conversion& c = conversion;
    c.base_size = 10;
    c.loop.current_size = 10;
    c.loop.alignment_string = std::string(DefaultAlignmentWord(setup.options));
    c.charset.language_name = setup.language;
    BuildParagraphTemplates(c.templates, 10, 1033, false);
    for (const std::string& font : setup.fonts) c.fonts.Add(font);
    for (const std::string& color : setup.colors) c.colors.Add(color);
    if (!setup.css.empty()) {
      c.style_text = setup.css;
      c.style_present = true;
      ParseStyleSheet(c);
    }
  }

  // Runs the loop over `html` and returns what it wrote.
  std::string Run(std::string_view html) {
    conversion.input = std::string(html);
    conversion.pos = 0;
    conversion.output.clear();
    TagLoop(conversion);
    return conversion.output.text();
  }

  CarryOver carry;
  ConvertRequest request;
  EngineSettings settings;
  Conversion conversion;
};

inline std::string RunLoop(std::string_view html, const LoopSetup& setup = {}) {
  LoopRun run(setup);
  return run.Run(html);
}

}  // namespace velmorane::testing

#endif  // VELMORANE_TESTS_RTF_LOOP_HARNESS_H_
