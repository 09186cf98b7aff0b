// Throughput of the passes before the tag pass on a generated multi-megabyte page.
#include <benchmark/benchmark.h>

#include <string>

#include "html/charset.h"
#include "html/preprocess.h"
#include "rtf/conversion.h"

namespace velmorane {
namespace {

ConversionOptions BenchOptions() {
  ConversionOptions o{};
  o.keep_font_face = o.keep_font_size = o.keep_font_color = o.keep_alignment = 1;
  SetField(o.font_face, "Arial");
  SetField(o.font_size, "10");
  SetField(o.rtf_language, "English");
  o.paper_width = 11906;
  o.paper_height = 16838;
  return o;
}

// A page of about `megabytes` MB with a head, UTF-8 text, comments, scripts, style
// blocks, select lists and line-feed runs.
std::string GeneratePage(int megabytes) {
  std::string page =
      "<html><head><meta http-equiv=Content-Type content=\"text/html; charset=utf-8\">"
      "<title>Bench</title><style>p{color:red}</style></head>\n<body>\n";
  const std::string block =
      "<p class=x>Plain words, caf\xC3\xA9 cr\xC3\xA8me and 20 \xE2\x82\xAC or "
      "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 in a paragraph.</p>\n\n\n"
      "<!-- a comment <!-- nested --> still --><script>if (a < b) { c(); }</script>\n"
      "<style type=text/css>td{background:navy}</style><select name=s><option>1</option>"
      "<option>2</option></select><% server %><div>more <b>bold</b> text</div>\n";
  const std::size_t size = static_cast<std::size_t>(megabytes) << 20;
  while (page.size() < size) page += block;
  page += "</body></html>\n";
  return page;
}

// The pages of 2 and 8 MB: equal MB/s for both shows the passes are linear.
const std::string& Page(int megabytes) {
  static const std::string small = GeneratePage(2);
  static const std::string large = GeneratePage(8);
  return megabytes <= 2 ? small : large;
}

void BM_DecodeInputUtf8(benchmark::State& state) {
  const std::string& page = Page(static_cast<int>(state.range(0)));
  CarryOver carry;
  ConvertRequest request;
  for (auto _ : state) {
    state.PauseTiming();
    Conversion c(carry, request, BenchOptions(), EngineSettings{});
    c.raw = page;
    c.input_size = c.raw.size();
    state.ResumeTiming();
    benchmark::DoNotOptimize(DecodeInput(c));
    benchmark::DoNotOptimize(c.raw.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_DecodeInputUtf8)->Arg(2)->Arg(8)->Unit(benchmark::kMillisecond);

void BM_PreprocessHtml(benchmark::State& state) {
  CarryOver carry;
  ConvertRequest request;
  Conversion decoded(carry, request, BenchOptions(), EngineSettings{});
  decoded.raw = Page(static_cast<int>(state.range(0)));
  (void)DecodeInput(decoded);
  for (auto _ : state) {
    state.PauseTiming();
    Conversion c(carry, request, BenchOptions(), EngineSettings{});
    c.raw = decoded.raw;
    state.ResumeTiming();
    PreprocessHtml(c);
    benchmark::DoNotOptimize(c.input.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * decoded.raw.size()));
}
BENCHMARK(BM_PreprocessHtml)->Arg(2)->Arg(8)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmorane
