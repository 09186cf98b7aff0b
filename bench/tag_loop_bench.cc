// Throughput of the tag pass on a large generated page of styled text, through the
// in-memory entry. Reports MB/s of input; the rate must not fall as the page grows.
#include <benchmark/benchmark.h>

#include <string>

#include "base/options.h"
#include "engine/engine.h"

namespace {

using velmorane::ConversionOptions;

// A page of about `bytes` bytes: styled paragraphs with every kind of inline formatting.
std::string StyledPage(std::size_t bytes) {
  std::string page =
      "<html><head><style>.note{color:red;font-weight:bold} p{margin-top:5px}"
      " span.big{font-size:14pt}</style></head><body>\n";
  constexpr const char* kParagraph =
      "<p class=note>Some <b>bold</b> and <i>italic</i> text &amp; an entity &copy; "
      "with <span class=big style=\"color:blue\">a styled span</span>, a "
      "<font face=\"Arial\" color=\"#336699\" size=3>font tag</font>, "
      "<u>underlined</u>, <s>struck</s>, H<sub>2</sub>O and x<sup>2</sup> "
      "{braces} \\ backslash\n   and   collapsed   whitespace.</p>\n";
  while (page.size() < bytes) page += kParagraph;
  page += "</body></html>\n";
  return page;
}

ConversionOptions BenchOptions() {
  ConversionOptions o{};
  o.keep_font_face = o.keep_font_size = o.keep_font_color = o.keep_alignment = 1;
  velmorane::SetField(o.font_face, "Arial");
  velmorane::SetField(o.font_size, "10");
  velmorane::SetField(o.page_alignment, "justify");
  o.keep_background_color = 1;
  o.paper_width = 11906;
  o.paper_height = 16838;
  o.margin_left = o.margin_right = o.margin_top = o.margin_bottom = 720;
  velmorane::SetField(o.rtf_language, "English");
  velmorane::SetField(o.output_extension, ".rtf");
  return o;
}

void BM_TagLoopStyledPage(benchmark::State& state) {
  const std::string page = StyledPage(static_cast<std::size_t>(state.range(0)));
  velmorane::EngineSettings settings;
  velmorane::InitEngineSettings(settings);
  velmorane::ConvertRequest request;
  request.output_mode = velmorane::kModeRtfNoTables;
  std::string output;
  for (auto _ : state) {
    velmorane::Engine engine;
    (void)engine.ConvertHtmlBytes(page, "/tmp", "/tmp", request, BenchOptions(), settings, output);
    benchmark::DoNotOptimize(output.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(page.size()));
}
// 2 MB and 20 MB: equal rates show the pass is linear.
BENCHMARK(BM_TagLoopStyledPage)->Arg(2 << 20)->Arg(20 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

