// Throughput of plain-text output on a generated 10 MB page: paragraphs, links,
// references and tables, with and without line folding.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "base/options.h"
#include "engine/engine.h"

namespace {

using velmorane::ConversionOptions;

// A page of about `size` bytes that exercises every rule of the plain-text walk.
std::string GeneratePage(std::size_t size) {
  static constexpr char kHead[] =
      "<!DOCTYPE html>\n<html>\n<head>\n<title>Bench</title>\n"
      "<style>p { margin: 0 }</style>\n<script>var x = 1;</script>\n</head>\n<body>\n";
  static constexpr char kBlock[] =
      "<h2>Section heading</h2>\n"
      "<p class=\"text\">The quick brown fox jumps over the lazy dog &amp; keeps running "
      "past the caf&eacute; &ndash; &ldquo;quoted&rdquo; words, numbers &#169; and "
      "&#8364; signs.<br>\nA second line with a <a href=\"http://example.com/page\">link "
      "text</a> and <b>bold</b>, <i>italic</i> words.</p>\n"
      "<!-- a comment that the pre-pass removes -->\n"
      "<table border=\"1\">\n<tr><th>Name</th><th>Value</th><th>Note</th></tr>\n"
      "<tr><td>alpha</td><td>1</td><td>first</td></tr>\n"
      "<tr><td>beta</td><td>2</td><td>second</tr>\n</table>\n"
      "<ul><li>one item</li><li>another item</li></ul>\n";
  std::string page = kHead;
  page.reserve(size + sizeof(kBlock));
  while (page.size() < size) page += kBlock;
  page += "</body>\n</html>\n";
  return page;
}

ConversionOptions BenchOptions(bool folding) {
  ConversionOptions o{};
  velmorane::SetField(o.font_face, "Arial");
  velmorane::SetField(o.font_size, "10");
  velmorane::SetField(o.rtf_language, "English");
  velmorane::SetField(o.max_line_width, "72");
  velmorane::SetField(o.output_extension, ".txt");
  o.paper_width = 11906;
  o.paper_height = 16838;
  o.keep_hyperlinks = 1;
  o.line_folding = folding ? 1 : 0;
  return o;
}

void BM_PlainText(benchmark::State& state) {
  static const std::string page = GeneratePage(10 * 1024 * 1024);
  const ConversionOptions options = BenchOptions(state.range(0) != 0);
  velmorane::EngineSettings settings;
  velmorane::InitEngineSettings(settings);
  velmorane::ConvertRequest request;
  request.output_mode = velmorane::kModePlainText;
  velmorane::Engine engine;
  std::string output;
  for (auto _ : state) {
    const auto result =
        engine.ConvertHtmlBytes(page, "/tmp/", "/tmp/", request, options, settings, output);
    if (result != velmorane::ConvertResult::kDone) state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(output.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_PlainText)->Arg(0)->Arg(1)->ArgName("folding")->Unit(benchmark::kMillisecond);

}  // namespace
